#pragma once

#include "app/applicationerrors.h"
#include "config/configfile.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "events/eventtable.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "link/outqueue.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusxml.h"
#include "output/output.h"
#include "output/poller.h"
#include "output/polling.h"
#include "update/updater.h"
#include "util/clock.h"

#include <QObject>
#include <QTimer>

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
    // The application's title: the caption of message boxes that have none of their own.
    static QString applicationTitle() { return QStringLiteral("Ludor Korvan voor Tim"); }

    // `FormCreate`: the working directories, the settings from the configuration file, the
    // log directory, and the timers that run from the start.
    void create();
    // The settings from the configuration file and nothing else: no directories, timers,
    // status rows or copies of a broken file (`--check-update`).
    void readSettings();
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
    // What was wrong with KorvanTim.xml at start-up, as logged; empty when it was read whole.
    const QString &configProblem() const { return m_configProblem; }

    // The timer ticks, callable directly (tests drive them without waiting).
    void RamQOutTimerTimer();
    void BufferTimer();
    void VerbergenTimer();
    void UitgaandeBerichtenTimer();
    void PollenTimer();
    void AortaTimer();

    // Buttons of the window.
    // "TEST": opens the database, runs `opened` (the message box), closes it; true when it opened.
    bool Button3Click(const std::function<void()> &opened = {});
    void Button6Click(); // the queue-full warning test


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
    Output &output() { return m_output; }
    Polling &polling() { return m_polling; }
    StatusExport &statusExport() { return m_export; }
    // `LastLatitude` and `LastLongitude`.
    const LastPosition &lastPosition() const { return m_position; }
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
    void reportConfigProblem(const QString &path);

    QString m_programDir;
    const Clock &m_clock;
    const Regional &m_regional;
    Settings m_settings;
    ConfigDocument m_config;
    QString m_configProblem;
    bool m_keepConfigFile = false; // a file we could not read is never replaced
    bool m_notifyStandIn = false;  // notifications off for this run only: the file had no address
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
    LastPosition m_position;
    StatusExport m_export;
    VehicleEvents m_events;
    InboundDispatcher m_dispatcher;
    HostServer m_server;
    QueueTick m_tick;
    Output m_output;
    OutgoingPoller m_poller;
    Polling m_polling;
    UpdateService m_update;

    QTimer m_ramQOutTimer;
    QTimer m_ramQInTimer;
    QTimer m_buffer;
    QTimer m_uitgaandeBerichten;
    QTimer m_pollen;
    QTimer m_aorta;
    QTimer m_verbergen;
};
