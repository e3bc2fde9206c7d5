#include "log.h"

#include "util/errors.h"

#include <QRegularExpression>
#include <QSaveFile>

QString lineStamp(const QDateTime &t, QChar sep)
{
    const QDate d = t.date();
    const QTime h = t.time();
    auto two = [](int v) { return QString::number(v).rightJustified(2, u'0'); };
    return two(d.day()) + u'-' + two(d.month()) + u' ' + two(h.hour()) + sep + two(h.minute()) + sep
         + two(h.second());
}

QString fileStamp(const QDateTime &t)
{
    const QDate d = t.date();
    const QTime h = t.time();
    return t.toString(QStringLiteral("ddMMyyHHmmss")) + QString::number(d.month()) + QString::number(h.second());
}

Log::Log(const Clock &clock, const Regional &regional, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_regional(regional)
{
}

const QString &Log::stampNow()
{
    // Formatting local time is the only real cost of logging; do it once a second.
    const qint64 second = m_clock.msecsSinceEpoch() / 1000;
    if (second != m_stampSecond || m_stamp.isEmpty()) {
        m_stampSecond = second;
        m_stamp = lineStamp(m_clock.now(), m_regional.timeSeparator) + u' ';
    }
    return m_stamp;
}

static QStringList splitLines(const QString &text)
{
    // Only LF (alone or after CR) breaks a line, as in the view; a lone CR stays in its line.
    static const QRegularExpression breaks(QStringLiteral("\r?\n"));
    return text.split(breaks);
}

bool Log::Logger(const QString &text)
{
    QString line = stampNow() + text;
    QStringList added;
    if (line.contains(u'\n'))
        added = splitLines(line);
    else
        added.append(std::move(line));
    m_lines.append(added);
    emit linesAdded(added);
    return true;
}

void Log::resetTo(const QString &text)
{
    m_lines = splitLines(text);
    // A break that ends the text, like the terminator after a message, opens no line of its own.
    if (m_lines.size() > 1 && m_lines.constLast().isEmpty())
        m_lines.removeLast();
    emit viewReset();
}

void Log::addReceived(const QString &chunk)
{
    m_received.append(chunk);
    emit receivedAdded(chunk);
}

void Log::writeFile(const QStringList &list, const QString &name) const
{
    const QString path = m_logDir + u'/' + name;
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    const AnsiCodec &codec = AnsiCodec::instance();
    for (qsizetype i = 0; ok && i < list.size(); ++i)
        ok = file.write(codec.encode(list[i]) + "\r\n") >= 0;
    if (!ok || !file.commit())
        throw KorvanError(QStringLiteral("Logbestand %1 kan niet worden geschreven: %2").arg(path, file.errorString()));
}

void Log::checkpoint(List list, int threshold, const QString &prefix)
{
    QStringList &entries = list == List::View ? m_lines : m_received;
    if (entries.size() <= threshold)
        return;
    writeFile(entries, prefix + fileStamp(m_clock.now()) + QStringLiteral(".TXT"));
    entries.clear();
    if (list == List::View)
        emit viewReset();
    else
        emit receivedCleared();
}

void Log::writeShutdownFiles()
{
    writeFile(m_lines, fileStamp(m_clock.now()) + QStringLiteral(".TXT"));
    writeFile(m_received, QStringLiteral("RAM-IN") + fileStamp(m_clock.now()) + QStringLiteral(".TXT"));
}
