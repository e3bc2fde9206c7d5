#include "statusxml.h"

#include "config/settings.h"
#include "util/ansicodec.h"
#include "util/clock.h"
#include "util/errors.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace {

QString escaped(const QString &value)
{
    QString out = value;
    out.replace(u'&', u"&amp;"_s);
    out.replace(u'<', u"&lt;"_s);
    out.replace(u'>', u"&gt;"_s);
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        throw KorvanError(u"Bestand "_s + QDir::toNativeSeparators(path) + u" kan niet worden geschreven: "_s
                          + file.errorString());
}

} // namespace

QString statusXmlContent(const QString &order, const QString &kind, const QString &comment, const QString &x,
                         const QString &y, const QDate &date, const QTime &time, QChar timeSeparator)
{
    const QString sep(timeSeparator);
    const QString clock = time.toString(u"HH"_s) + sep + time.toString(u"mm"_s) + sep + time.toString(u"ss"_s);
    const QStringList lines {
        u"<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>"_s,
        u"<exchanges version=\"3.0\">"_s,
        u"<order_exchange>"_s,
        u"<actor>LUDOR</actor>"_s,
        u"<orderId>"_s + escaped(order) + u"</orderId>"_s,
        u"<taskevents>"_s,
        u"<taskevent>"_s,
        u"<taskevent_DateTime>"_s + date.toString(u"yyyy-MM-dd"_s) + u'T' + escaped(clock) + u"</taskevent_DateTime>"_s,
        u"<TaskEventKindCode>"_s + escaped(kind) + u"</TaskEventKindCode>"_s,
        u"<comment>"_s + escaped(comment) + u"</comment>"_s,
        u"<coordinates>"_s,
        u"<x_coord>"_s + escaped(x) + u"</x_coord>"_s,
        u"<y_coord>"_s + escaped(y) + u"</y_coord>"_s,
        u"</coordinates>"_s,
        u"</taskevent>"_s,
        u"</taskevents>"_s,
        u"</order_exchange>"_s,
        u"</exchanges>"_s,
    };
    return lines.join(u"\r\n"_s) + u"\r\n"_s;
}

QString statusXmlFileName(const QString &kind, const QString &order, const QDateTime &t)
{
    const QString seconds = QString::number(t.time().second());
    return u"Ludor_"_s + kind + u'_' + order + u'_' + seconds + QString::number(t.date().month()) + seconds + u".xml"_s;
}

QString exportDirectory(const QString &setting, const QString &programDir)
{
#ifndef Q_OS_WIN
    if (setting == u"C:\\"_s)
        return QDir(programDir).filePath(u"VXLXML"_s);
#endif
    // A relative directory is the program directory's, as the database file is.
    return QDir(programDir).filePath(setting);
}

QString exportPath(const QString &directory, const QString &fileName)
{
    return QDir::toNativeSeparators(QDir(directory).filePath(fileName));
}

void StatusExport::StatusXML(const QString &order, const QString &kind, const QString &comment, const QString &x,
                             const QString &y)
{
    if (!m_settings.VXLActief)
        return;
    // Date and time are read one after the other, and the name's stamp after the content.
    const QDate date = m_clock.now().date();
    const QTime time = m_clock.now().time();
    const QByteArray bytes = AnsiCodec::instance().encode(
        statusXmlContent(order, kind, comment, x, y, date, time, m_regional.timeSeparator));
    const QString name = statusXmlFileName(kind, order, m_clock.now());

    writeFile(exportPath(exportDirectory(m_settings.xVXLUitgaand, m_programDir), name), bytes);
    if (m_settings.VXLBackup)
        writeFile(exportPath(QDir(m_programDir).filePath(u"VXLXML/BACKUPS/UIT"_s), name), bytes);
}
