#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>

// Local time for everything the gateway stamps; tests set it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const { return QDateTime::currentDateTime(); }
    // The same moment as milliseconds since the epoch: cheap, where now() pays for the time zone.
    virtual qint64 msecsSinceEpoch() const { return QDateTime::currentMSecsSinceEpoch(); }
};

class FixedClock : public Clock
{
public:
    explicit FixedClock(QDateTime t = {}) : m_now(std::move(t)) {}
    QDateTime now() const override { return m_now; }
    qint64 msecsSinceEpoch() const override { return m_now.toMSecsSinceEpoch(); }
    void set(QDateTime t) { m_now = std::move(t); }
    void advance(qint64 ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now;
};

// The workstation's regional separators and network name, read in one place.
struct Regional
{
    QChar decimalSeparator = u'.';
    QChar timeSeparator = u':';
    QString machineName; // as the system reports it; may be empty

    static Regional system();

    // The name that notifications carry: at most 15 characters, "(Unknown)" when the system
    // gives none, letters a to z upper-cased.
    QString stationName() const;
    // The long time format: hours, minutes and seconds with the time separator.
    QString longTime(const QTime &t) const;
};
