#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>

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

// The `berichtenbox` row a queued message was made from: its key, and its `bbo_datum` as the
// dispatcher left it. A message of no row has id 0.
struct MessageRow
{
    int id = 0;
    QVariant datum;
};

// `RamQOut`: complete RS2 messages waiting for the host, oldest first. Builders append; only
// the queue tick removes, from the front. In memory only; each message keeps the row it came
// from, so that a shutdown can give the dispatcher's orders back to the database.
class OutgoingQueue : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Appends one message; reports whether it was taken.
    bool append(const QString &message, const MessageRow &row = {});
    // Removes every message that came from a row and returns those rows, oldest first.
    QList<MessageRow> takeRows();
    const QStringList &messages() const { return m_messages; }
    bool isEmpty() const { return m_messages.isEmpty(); }
    qsizetype size() const { return m_messages.size(); }
    const QString &first() const { return m_messages.constFirst(); }
    void removeFirst();

signals:
    void changed(const QStringList &messages);

private:
    QStringList m_messages;
    QList<MessageRow> m_rows; // beside m_messages, one each
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
