#pragma once

#include "util/ansicodec.h"
#include "util/clock.h"

#include <QObject>
#include <QStringList>

// "dd-mm hh:nn:ss" with the regional time separator.
QString lineStamp(const QDateTime &t, QChar timeSeparator);
// "DDMMYYHHMMSS", then the month and the seconds again without leading zero: 14 to 16 characters.
QString fileStamp(const QDateTime &t);

// The operational log `RamLog` and the received list `TimQIn`. Neither is written line by line;
// checkpoints write a whole list to a file and empty it.
//
// No line is lost and memory stays bounded: a checkpoint appends to a file of the same name
// instead of replacing it; a list that grows past `Ceiling` entries (or characters) is written
// at once; while the log directory cannot be written the lists are kept up to `HardBound`
// entries (or characters), past which the oldest give way to one line that counts them.
class Log : public QObject
{
    Q_OBJECT
public:
    enum class List { View, Received };
    static constexpr int Ceiling = 5000;
    // The same for the characters a list holds: a host that writes in large chunks fills few
    // entries with much text.
    static constexpr qsizetype CeilingCharacters = 256 * 1024;
    static constexpr int HardBound = 100000;
    static constexpr qsizetype HardBoundCharacters = 32 * 1024 * 1024;

    Log(const Clock &clock, const Regional &regional, QObject *parent = nullptr);

    // Appends a stamped line; a text with line breaks becomes several lines.
    bool Logger(const QString &text);
    // Empties the view and sets it to text alone (the host's reset report).
    void resetTo(const QString &text);
    void addReceived(const QString &chunk);

    const QStringList &lines() const { return m_lines; }
    const QStringList &received() const { return m_received; }

    void setLogDir(const QString &dir) { m_logDir = dir; }
    const QString &logDir() const { return m_logDir; }

    // When the list holds more than `threshold` entries, writes it to
    // LogDir/prefix + stamp + ".TXT" and empties it. Throws KorvanError when the file cannot
    // be written, before anything is emptied, but only for the first failure of an outage:
    // later ones are counted, tried at most once a second, and the first success logs how
    // many attempts failed.
    void checkpoint(List list, int threshold, const QString &prefix);
    // At shutdown: the view to LogDir/stamp.TXT, then the received list to
    // LogDir/RAM-IN + stamp + ".TXT", neither emptied. Throws on the first failure.
    void writeShutdownFiles();

signals:
    void linesAdded(const QStringList &lines);
    // The view was emptied, reset or trimmed: show lines() anew.
    void viewReset();
    void receivedAdded(const QString &chunk);
    // The received list was emptied or trimmed: show received() anew.
    void receivedReset();

private:
    QStringList &entries(List list) { return list == List::View ? m_lines : m_received; }
    qsizetype &characters(List list) { return list == List::View ? m_lineCharacters : m_receivedCharacters; }
    void changed(List list);
    // After an append: the ceiling checkpoint and the hard bound.
    void limit(List list, const QString &prefix);
    void writeFile(const QStringList &list, const QString &name) const;
    const QString &stampNow();

    const Clock &m_clock;
    const Regional &m_regional;
    QStringList m_lines;
    QStringList m_received;
    QString m_logDir;
    qint64 m_stampSecond = -1;
    QString m_stamp;

    // The outage of the log directory: failed attempts since the first, and when the last was.
    int m_failedAttempts = 0;
    qint64 m_lastAttempt = 0;
    bool m_limiting = false;
    qsizetype m_droppedLines = 0;
    qsizetype m_droppedReceived = 0;
    qsizetype m_lineCharacters = 0;
    qsizetype m_receivedCharacters = 0;
};
