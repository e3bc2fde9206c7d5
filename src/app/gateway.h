#pragma once

#include "app/applicationerrors.h"
#include "config/configfile.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "link/outqueue.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "update/updater.h"
#include "util/clock.h"

#include <QObject>
#include <QTimer>

// The work of the timers that the later parts of the gateway fill in: the outgoing-message
// poller, position polling and the keep-alive. Each runs inside the application-wide guard.
class TimerWork
{
public:
    virtual ~TimerWork() = default;
    virtual void UitgaandeBerichtenTimer() {}
    virtual void PollenTimer() {}
    virtual void AortaTimer() {}
};

// The composition root: owns every part of the gateway, its timers, and the start-up and
// shutdown sequences. The window and the headless runner drive it; nothing here knows widgets.
class Gateway : public QObject
{
    Q_OBJECT
public:
    Gateway(const QString &programDir, const Clock &clock, const Regional &regional, QObject *parent = nullptr);
    ~Gateway() override;

    static QString version() { return QStringLiteral(KORVAN_VERSION); }
    static QString caption() { return QStringLiteral("Ludor Korvan Tim koppeling - v") + version(); }
    static QString configFileName() { return QStringLiteral("KorvanTim.xml"); }

    // `FormCreate`: the working directories, the settings from the configuration file, the
    // log directory, and the timers that run from the start.
    void create();
    // `FormShow`: every time the window becomes visible.
    void show();
    // The confirmed shutdown, steps 1 to 8; the caller then lets the program end and calls
    // saveConfiguration().
    void shutdown();
    // Copies the settings into the configuration document (`BtnRedoClick`, shutdown).
    void copySettings();
    // Writes the document to "KorvanTim.xml"; false when it cannot (nothing is shown).
    bool saveConfiguration();
    bool settingsCopied() const { return m_copied; }

    // The timer ticks, callable directly (tests drive them without waiting).
    void RamQOutTimerTimer();
    void BufferTimer();
    void VerbergenTimer();
    void UitgaandeBerichtenTimer();
    void PollenTimer();
    void AortaTimer();

    // Buttons of the window.
    bool Button3Click(); // "TEST": true when the database opened
    void Button6Click(); // the queue-full warning test

    void setTimerWork(TimerWork *work) { m_timerWork = work ? work : &m_noTimerWork; }
    void setInboundWork(InboundWork *work);

    const QString &programDir() const { return m_programDir; }
    Settings &settings() { return m_settings; }
    Log &log() { return m_log; }
    LinkState &link() { return m_link; }
    OutgoingQueue &queue() { return m_queue; }
    HostServer &server() { return m_server; }
    InboundDispatcher &dispatcher() { return m_dispatcher; }
    Database &database() { return m_database; }
    Statements &statements() { return m_statements; }
    DatabaseNotifier &status() { return m_status; }
    UdpNotifier &udp() { return m_udp; }
    ApplicationErrors &errors() { return m_errors; }
    UpdateService &update() { return m_update; }
    bool closing() const { return m_closing; }

    QTimer &ramQOutTimer() { return m_ramQOutTimer; }
    QTimer &ramQInTimer() { return m_ramQInTimer; }
    QTimer &verbergenTimer() { return m_verbergen; }
    QTimer &pollenTimer() { return m_pollen; }

signals:
    // `Minimaliseren` is ticked and the window has been shown for 3 seconds.
    void hideRequested();

private:
    // Forwards to whatever inbound work is set, so the dispatcher can hold a reference.
    class InboundRelay : public InboundWork
    {
    public:
        InboundWork *target = nullptr;
        void positionReport(const InboundMessage &m) override { target->positionReport(m); }
        void vehicleEvent(const InboundMessage &m) override { target->vehicleEvent(m); }
        void unloading(const QString &v, const QString &r) override { target->unloading(v, r); }
        void refusal(const QString &v) override { target->refusal(v); }
    };

    QString m_programDir;
    const Clock &m_clock;
    const Regional &m_regional;
    Settings m_settings;
    ConfigDocument m_config;
    bool m_copied = false;
    bool m_closing = false;

    Log m_log;
    LinkState m_link;
    OutgoingQueue m_queue;
    Database m_database;
    Statements m_statements;
    ApplicationErrors m_errors;
    DatabaseNotifier m_status;
    UdpNotifier m_udp;
    InboundWork m_noInboundWork;
    InboundRelay m_inbound;
    InboundDispatcher m_dispatcher;
    HostServer m_server;
    QueueTick m_tick;
    UpdateService m_update;
    TimerWork m_noTimerWork;
    TimerWork *m_timerWork = &m_noTimerWork;

    QTimer m_ramQOutTimer;
    QTimer m_ramQInTimer;
    QTimer m_buffer;
    QTimer m_uitgaandeBerichten;
    QTimer m_pollen;
    QTimer m_aorta;
    QTimer m_verbergen;
};
