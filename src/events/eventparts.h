#pragma once

#include <QString>

#include <functional>

class Clock;
class ErrorHandler;
class Log;
class StatusNotifier;
class Statements;
class StatusExport;
struct Settings;

// The last GPS position handled, as decimal-degree texts (`LastLatitude` with its "00" in
// front); the order-status export of the ride handlers passes them on. Empty after a call
// that stored nothing, and at start.
struct LastPosition
{
    QString LastLatitude;
    QString LastLongitude;
};

// `VerzendenChat`: queues a chat text for a vehicle address; false when it was not queued.
// The gateway wires it to the dispatch output, which the event handlers do not know.
using ChatSender = std::function<bool(const QString &text, const QString &vehicle)>;

// What every vehicle-event handler works with. The gateway owns all of it.
struct EventParts
{
    Statements &statements;
    Log &log;
    StatusNotifier &status;
    ErrorHandler &errors;
    const Settings &settings;
    const Clock &clock;
    LastPosition &position;
    StatusExport &exporter;
    ChatSender chat;
};
