#include "log.h"

#include "util/errors.h"

#include <QFile>
#include <QScopeGuard>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

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
    for (const QString &l : std::as_const(added))
        m_lineCharacters += l.size();
    m_lines.append(added);
    emit linesAdded(added);
    limit(List::View, u"RAM"_s);
    return true;
}

void Log::resetTo(const QString &text)
{
    m_lines = splitLines(text);
    // A break that ends the text, like the terminator after a message, opens no line of its own.
    if (m_lines.size() > 1 && m_lines.constLast().isEmpty())
        m_lines.removeLast();
    m_droppedLines = 0;
    m_lineCharacters = 0;
    for (const QString &l : std::as_const(m_lines))
        m_lineCharacters += l.size();
    emit viewReset();
}

void Log::addReceived(const QString &chunk)
{
    m_received.append(chunk);
    m_receivedCharacters += chunk.size();
    emit receivedAdded(chunk);
    limit(List::Received, u"RAM-IN"_s);
}

void Log::changed(List list)
{
    if (list == List::View)
        emit viewReset();
    else
        emit receivedReset();
}

void Log::limit(List list, const QString &prefix)
{
    QStringList &e = entries(list);
    if ((e.size() <= Ceiling && characters(list) <= CeilingCharacters) || m_limiting)
        return;
    // The failure line below is itself an append; it must not start another round.
    m_limiting = true;
    const auto done = qScopeGuard([this] { m_limiting = false; });
    try {
        checkpoint(list, 0, prefix);
    } catch (const std::exception &ex) {
        Logger(u"M-> "_s + errorText(ex));
    }
    if (e.size() <= HardBound && characters(list) <= HardBoundCharacters)
        return;
    // Dropped a tenth at a time, so that a long outage costs one trim per 10,000 appends.
    qsizetype &dropped = list == List::View ? m_droppedLines : m_droppedReceived;
    const qsizetype notice = dropped > 0 ? 1 : 0;
    qsizetype kept = e.size() - notice;
    qsizetype chars = characters(list) - (notice ? e.constFirst().size() : 0);
    auto last = e.cbegin() + notice;
    while (kept > HardBound - HardBound / 10 || chars > HardBoundCharacters - HardBoundCharacters / 10) {
        chars -= last->size();
        ++last;
        --kept;
    }
    dropped += (last - e.cbegin()) - notice;
    e.erase(e.cbegin(), last);
    e.prepend(stampNow() + u"M-> %1 oudste regels weggelaten: de logmap %2 is niet te schrijven"_s.arg(dropped).arg(m_logDir));
    characters(list) = chars + e.constFirst().size();
    changed(list);
}

void Log::writeFile(const QStringList &list, const QString &name) const
{
    // Appends: a file of the same name (two checkpoints in one second) is never replaced. A
    // write that fails is taken back, so the retry does not leave a half copy of the list.
    const QString path = m_logDir + u'/' + name;
    QFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append);
    const qint64 before = ok ? file.size() : 0;
    const AnsiCodec &codec = AnsiCodec::instance();
    QByteArray bytes;
    for (qsizetype i = 0; ok && i < list.size(); ++i) {
        bytes += codec.encode(list[i]);
        bytes += "\r\n";
        if (bytes.size() >= 1 << 16 || i + 1 == list.size()) {
            ok = file.write(bytes) == bytes.size();
            bytes.clear();
        }
    }
    ok = ok && file.flush();
    if (!ok) {
        const QString error = file.errorString();
        if (file.isOpen())
            file.resize(before);
        throw KorvanError(u"Logbestand %1 kan niet worden geschreven: %2"_s.arg(path, error));
    }
}

void Log::checkpoint(List list, int threshold, const QString &prefix)
{
    QStringList &e = entries(list);
    if (e.size() <= threshold)
        return;
    const qint64 now = m_clock.msecsSinceEpoch();
    if (m_failedAttempts > 0 && now - m_lastAttempt < 1000)
        return;
    m_lastAttempt = now;
    try {
        writeFile(e, prefix + fileStamp(m_clock.now()) + u".TXT"_s);
    } catch (const std::exception &) {
        if (m_failedAttempts++ == 0)
            throw; // reported once, when the outage starts
        return;
    }
    e.clear();
    characters(list) = 0;
    (list == List::View ? m_droppedLines : m_droppedReceived) = 0;
    changed(list);
    if (m_failedAttempts > 0) {
        const int failed = std::exchange(m_failedAttempts, 0);
        Logger(u"M-> Logbestanden worden weer geschreven in %1, na %2 mislukte pogingen"_s.arg(m_logDir).arg(failed));
    }
}

void Log::writeShutdownFiles()
{
    writeFile(m_lines, fileStamp(m_clock.now()) + u".TXT"_s);
    writeFile(m_received, u"RAM-IN"_s + fileStamp(m_clock.now()) + u".TXT"_s);
}
