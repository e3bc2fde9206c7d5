#pragma once

#include <QObject>
#include <QStringList>

class Database;
class ErrorHandler;
class HostServer;
class LinkState;
class Log;
class StatusNotifier;
class UdpNotifier;
class Clock;
struct Regional;
struct Settings;

// `RamQOut`: complete RS2 messages waiting for the host, oldest first. Builders append; only
// the queue tick removes, from the front. In memory only.
class OutgoingQueue : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Appends one message; reports whether it was taken.
    bool append(const QString &message);
    const QStringList &messages() const { return m_messages; }
    bool isEmpty() const { return m_messages.isEmpty(); }
    qsizetype size() const { return m_messages.size(); }
    const QString &first() const { return m_messages.constFirst(); }
    void removeFirst();

signals:
    void changed(const QStringList &messages);

private:
    QStringList m_messages;
};

// The queue tick run by both queue timers, and the queue-full warning: keeps the listener in
// step with `RamActive` and the database, shows the lamps and sends one queued message a tick.
class QueueTick
{
public:
    struct Parts
    {
        const Settings &settings;
        const bool &closing;
        OutgoingQueue &queue;
        HostServer &server;
        LinkState &link;
        Database &database;
        Log &log;
        StatusNotifier &status;
        UdpNotifier &udp;
        ErrorHandler &errors;
        const Clock &clock;
        const Regional &regional;
    };
    explicit QueueTick(const Parts &parts) : p(parts) {}

    // `RamQOutTimerTimer` without its timer handling. A failure to open the database escapes
    // to the caller's guard; the rest of the tick is then skipped.
    void tick();
    // `BufferTimer`: warns while the queue holds `RamGetalMax` or more messages.
    void BufferTimer();
    // `Button6Click`: the same warning, unconditionally.
    void Button6Click();

private:
    void switchOn();
    void send();

    Parts p;
    bool m_running = false;
};
