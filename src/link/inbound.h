#pragma once

#include <QObject>
#include <QStringList>

class ErrorHandler;
class LinkState;
class Log;
class Clock;
struct Regional;
struct Settings;

// One connection as the read side sees it: its address, a way to answer on it, and its own
// `ReceiveBuffer`, so that halves of messages on two connections are never cut as one.
class HostConnection
{
public:
    virtual ~HostConnection() = default;
    virtual QString address() const = 0;
    // Writes the text in the link's code page, nothing added. Throws KorvanError on failure.
    virtual void write(const QString &text) = 0;

    // Received text not yet cut into messages; it ends with the connection.
    QString receiveBuffer;
};

// A message as it is dispatched: its text as cut, its fields (`IDARR`) and its sender.
struct InboundMessage
{
    QString text;
    QStringList fields;
    QString address;

    // Field i. A field that the work reads and the message lacks ends the message as a
    // failure: throws KorvanError, so no reply is sent.
    const QString &field(qsizetype i) const;
};

// The work some rows hand on to the vehicle-event, position and refusal handlers. An
// exception from here ends the message: no reply, and the error goes to the handler.
class InboundWork
{
public:
    virtual ~InboundWork() = default;
    // A message's work is one unit: what it stores is committed before its reply is written,
    // or, when it fails, none of it is. Every kind of work says what that means for it, so a
    // wrapper cannot drop the unit by forgetting it.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() noexcept = 0;
    virtual void positionReport(const InboundMessage &) {}
    virtual void vehicleEvent(const InboundMessage &) {}
    // `LoosmeldenVanRit`: the host reports the ride of a route order unloaded.
    virtual void unloading(const QString & /*vehicle*/, const QString & /*remark*/) {}
    // `WeigeringBericht`: an order was refused or could not be delivered.
    virtual void refusal(const QString & /*vehicle*/) {}
};

// The read side of the host link (`RamServerSocketClientRead`): buffers received text, cuts
// out every complete message, splits it into fields, runs it through the inbound table and
// answers on the same connection.
class InboundDispatcher : public QObject
{
    Q_OBJECT
public:
    InboundDispatcher(Log &log, LinkState &link, const Settings &settings, ErrorHandler &errors,
                      InboundWork &work, const Clock &clock, const Regional &regional,
                      QObject *parent = nullptr);

    // One read event with the text just received on the connection.
    void onRead(HostConnection &connection, const QString &newText);

    // `IDARR`: the fields of the last dispatched message.
    const QStringList &fields() const { return m_fields; }

signals:
    void fieldsChanged(const QStringList &fields);

private:
    void dispatch(HostConnection &connection, const QString &message);
    // Returns false when further work failed; the reply is then not sent.
    bool runRows(HostConnection &connection, const InboundMessage &message, QString &reply);
    void unloading(HostConnection &connection, const InboundMessage &message, QString &reply);

    Log &m_log;
    LinkState &m_link;
    const Settings &m_settings;
    ErrorHandler &m_errors;
    InboundWork &m_work;
    const Clock &m_clock;
    const Regional &m_regional;
    QStringList m_fields;
};
