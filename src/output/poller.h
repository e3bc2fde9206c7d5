#pragma once

#include "link/outqueue.h"

#include <QString>

class Clock;
class LinkState;
class Log;
class Output;
class StatusNotifier;
class Statements;

// The outgoing-message poller (`UitgaandeBerichtenTimer`): while the host driver is on, takes
// the oldest waiting `berichtenbox` row for the vehicle link, turns it into a ride order, an
// undo order or a chat message, and marks it processed. One row a tick.
class OutgoingPoller
{
public:
    struct Parts
    {
        Statements &statements;
        Output &output;
        Log &log;
        StatusNotifier &status;
        const LinkState &link;
        const Clock &clock;
    };
    explicit OutgoingPoller(const Parts &parts) : p(parts) {}

    // One tick without its timer handling, as one unit of work: the row is marked processed
    // and its message queued together, or neither is. A database error during a ride order or
    // an undo escapes to the caller's guard; the same row is then taken at the next tick.
    void tick();

    // At shutdown: the rows of messages that never reached the host wait again, with the
    // `bbo_datum` the dispatcher gave them, so the next start sends them in their turn. One
    // log line a row.
    void putBack(const QList<MessageRow> &rows);

private:
    void take();
    void markProcessed(int message);
    // A row that can never be sent is marked processed, so it does not block every later row.
    void skip(int message, const QString &why);
    void chat(const MessageRow &origin, int vehicle, const QString &imei, const QString &text);

    Parts p;
};
