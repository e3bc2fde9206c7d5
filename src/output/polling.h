#pragma once

#include <QString>

class Clock;
class HostServer;
class Log;
class OutgoingQueue;
class StatusNotifier;
class Statements;
class UdpNotifier;
struct Regional;
struct Settings;

// Position polling (`PollenTimer`), the keep-alive (`AortaTimer`) and the test sends of the
// tab "Verzenden" that are not ride orders.
class Polling
{
public:
    struct Parts
    {
        const Settings &settings;
        Statements &statements;
        OutgoingQueue &queue;
        Log &log;
        StatusNotifier &status;
        UdpNotifier &udp;
        const HostServer &server;
        const Clock &clock;
        const Regional &regional;
    };
    explicit Polling(const Parts &parts) : p(parts) {}

    // With `RGD` on and the listener listening, one position request per GPS vehicle on shift.
    // A database error escapes to the caller's guard.
    void PollenTimer();
    // The 922 notification, every 10 seconds whatever the link or the settings.
    void AortaTimer();

    // `Button4Click`: a position request for the typed terminal address.
    void sendPositionTest(const QString &imei);
    // `Button2Click`: the voice-call status message (1000) for the typed vehicle key.
    void sendVoiceTest(const QString &vehicle);

private:
    Parts p;
    bool m_silenceLogged = false; // the keep-alive's missing address, said once per silence
};
