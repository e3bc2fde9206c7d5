#pragma once

#include <QString>

class Clock;
class ErrorHandler;
class Log;
class StatusNotifier;
class Statements;
struct Settings;

// The last GPS position handled, as decimal-degree texts (`LastLatitude` with its "00" in
// front); the order-status export of the ride handlers passes them on. Empty after a call
// that stored nothing, and at start.
struct LastPosition
{
    QString LastLatitude;
    QString LastLongitude;
};

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
};
