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
class Log : public QObject
{
    Q_OBJECT
public:
    enum class List { View, Received };

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
    // be written, before anything is emptied.
    void checkpoint(List list, int threshold, const QString &prefix);
    // At shutdown: the view to LogDir/stamp.TXT, then the received list to
    // LogDir/RAM-IN + stamp + ".TXT", neither emptied. Throws on the first failure.
    void writeShutdownFiles();

signals:
    void linesAdded(const QStringList &lines);
    void viewReset();
    void receivedAdded(const QString &chunk);
    void receivedCleared();

private:
    void writeFile(const QStringList &list, const QString &name) const;
    const QString &stampNow();

    const Clock &m_clock;
    const Regional &m_regional;
    QStringList m_lines;
    QStringList m_received;
    QString m_logDir;
    qint64 m_stampSecond = -1;
    QString m_stamp;
};
