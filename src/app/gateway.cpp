#include "gateway.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

Gateway::Gateway(const QString &programDir, const Clock &clock, const Regional &regional, QObject *parent)
    : QObject(parent)
    , m_programDir(programDir)
    , m_clock(clock)
    , m_regional(regional)
    , m_log(clock, regional)
    , m_database(m_settings, programDir, clock)
    , m_statements(m_database)
    , m_errors(m_log, &m_database)
    , m_status(m_statements, m_errors)
    , m_udp(m_settings, m_errors)
    , m_export(m_settings, clock, regional, programDir)
    , m_events({ m_statements, m_log, m_status, m_errors, m_settings, clock, m_position, m_export,
                 [this](const QString &text, const QString &vehicle) { return m_output.VerzendenChat(text, vehicle); } })
    , m_dispatcher(m_log, m_link, m_settings, m_errors, m_events, clock, regional)
    , m_server(m_log, m_link, m_settings, m_status, m_errors, m_dispatcher, regional)
    , m_tick({ m_settings, m_closing, m_queue, m_server, m_link, m_database, m_log, m_status, m_udp, m_errors, clock, regional })
    , m_output(m_statements, m_queue, m_log, m_settings, regional)
    , m_poller({ m_statements, m_output, m_log, m_status, m_link, clock })
    , m_polling({ m_settings, m_statements, m_queue, m_log, m_status, m_udp, m_server, clock, regional })
    , m_update(m_settings, programDir, clock, m_log)
{
    auto every = [this](QTimer &timer, int ms, void (Gateway::*tick)()) {
        timer.setInterval(ms);
        connect(&timer, &QTimer::timeout, this, tick);
    };
    every(m_ramQOutTimer, 1000, &Gateway::RamQOutTimerTimer);
    every(m_ramQInTimer, 2000, &Gateway::RamQOutTimerTimer);
    every(m_buffer, 10000, &Gateway::BufferTimer);
    every(m_uitgaandeBerichten, 5000, &Gateway::UitgaandeBerichtenTimer);
    every(m_pollen, 1000, &Gateway::PollenTimer);
    every(m_aorta, 10000, &Gateway::AortaTimer);
    every(m_verbergen, 3000, &Gateway::VerbergenTimer);
    m_verbergen.setSingleShot(true);
}

Gateway::~Gateway()
{
    m_server.stop();
}

void Gateway::create()
{
    const QDir dir(m_programDir);
    // One level at a time, in this order; a directory that cannot be made shows up where it is used.
    for (const char *sub : { "Tim", "Backups", "TempDownloads", "VXLXML", "VXLXML/BACKUPS", "VXLXML/BACKUPS/UIT" })
        dir.mkdir(QString::fromLatin1(sub));

    m_log.setLogDir(dir.filePath(u"Tim"_s));

    readSettings();
    if (m_config.problem().kind != ConfigDocument::Problem::Kind::None)
        reportConfigProblem(dir.filePath(configFileName()));

    m_buffer.start();
    m_uitgaandeBerichten.start();
    m_pollen.start();
    m_aorta.start();
}

void Gateway::readSettings()
{
    m_config = ConfigDocument::load(QDir(m_programDir).filePath(configFileName()));
    m_config.read(m_settings);
    m_settings.Bedrijfsnummer = u"1"_s;
}

// The operator's file is never lost: a broken one is kept beside under a stamped name before
// anything can replace it, and one that cannot be read at all is left alone.
void Gateway::reportConfigProblem(const QString &path)
{
    const ConfigDocument::Problem &problem = m_config.problem();
    QString text;
    // The status row holds 100 characters: the workstations get the gist, the log the whole.
    QString status;
    if (problem.kind == ConfigDocument::Problem::Kind::Unreadable) {
        status = u"Configuratiebestand %1 kan niet worden gelezen, zie het logboek"_s.arg(configFileName());
        m_keepConfigFile = true;
        text = u"Configuratiebestand %1 kan niet worden gelezen (%2): de standaardinstellingen gelden en het "
               u"bestand wordt niet overschreven"_s.arg(QDir::toNativeSeparators(path), problem.detail);
    } else {
        status = u"Configuratiebestand %1 onleesbaar (regel %2, kolom %3), zie het logboek"_s.arg(
            configFileName(), QString::number(problem.line), QString::number(problem.column));
        const QFileInfo info(path);
        const QString stamp = m_clock.now().toString(u"yyyyMMdd-HHmmss"_s);
        QString kept;
        for (int n = 1; n < 100 && kept.isEmpty(); ++n) {
            const QString name = info.completeBaseName() + u".onleesbaar-"_s + stamp + (n > 1 ? u"-"_s + QString::number(n) : QString())
                               + u'.' + info.suffix();
            if (QFile::copy(path, info.dir().filePath(name)))
                kept = name;
        }
        m_keepConfigFile = kept.isEmpty();
        text = u"Configuratiebestand %1 is onleesbaar op regel %2, kolom %3 (%4): de instellingen tot daar zijn "
               u"gelezen, de rest heeft de standaardwaarde; "_s.arg(QDir::toNativeSeparators(path), QString::number(problem.line),
                                                                    QString::number(problem.column), problem.detail)
             + (kept.isEmpty() ? u"het bestand kan niet worden bewaard en wordt niet overschreven"_s
                               : u"het origineel is bewaard als "_s + kept);
    }
    // The operator's notification address is unknown: tell nobody rather than the whole network.
    if (!m_config.has("NotifyAddress_Text"_L1)) {
        m_settings.NotifyAddress.clear();
        m_notifyStandIn = true;
        text += u"; netwerkmeldingen staan uit tot het adres is ingesteld of de gateway opnieuw start"_s;
    }
    m_configProblem = text;
    m_log.Logger(u"M-> "_s + text);
    m_errors.guard([&] { m_status.SendUDPKorvanDB(status); });
}

void Gateway::show()
{
    m_ramQOutTimer.start();
    m_ramQInTimer.start();
    m_verbergen.start();
    m_closing = false;
    m_errors.guard([&] { m_status.SendUDPKorvanDB(u"Ludor Korvan TIM communicatie wordt opgestart"_s); });
}

void Gateway::shutdown()
{
    try {
        m_closing = true;
        m_ramQOutTimer.stop();
        m_ramQInTimer.stop();
        m_verbergen.stop();
        m_server.stop();
        m_log.Logger(u"M-> Ludor Korvan TIM server normaal uitgeschakeld"_s);
        // The dispatcher's orders that never reached the host are not thrown away.
        m_poller.putBack(m_queue.takeRows());
        m_database.close();
        m_status.SendUDPKorvanDB(u"TIM/RAMSERV communicatie wordt afgesloten"_s);
        m_log.writeShutdownFiles();
    } catch (const std::exception &e) {
        m_log.Logger(u"M-> "_s + errorText(e));
    }
    copySettings();
}

void Gateway::copySettings()
{
    m_config.copyFrom(m_settings);
    // The run's silence is not the operator's setting: a file that had no address keeps none.
    if (m_notifyStandIn && m_settings.NotifyAddress.isEmpty())
        m_config.remove("NotifyAddress_Text"_L1);
    m_copied = true;
}

bool Gateway::saveConfiguration()
{
    if (m_keepConfigFile)
        return false;
    const QString path = QDir(m_programDir).filePath(configFileName());
    QString why;
    if (m_config.save(path, &why))
        return true;
    m_log.Logger(u"M-> Instellingen niet opgeslagen in "_s + QDir::toNativeSeparators(path) + u": "_s + why);
    return false;
}

void Gateway::RamQOutTimerTimer()
{
    m_ramQOutTimer.stop();
    m_errors.guard([&] { m_tick.tick(); });
    // Restarted even while closing: the shutdown stops it again after this tick.
    if (!m_closing)
        m_ramQOutTimer.start();
}

void Gateway::BufferTimer()
{
    m_errors.guard([&] { m_tick.BufferTimer(); });
}

void Gateway::Button6Click()
{
    m_errors.guard([&] { m_tick.Button6Click(); });
}

bool Gateway::Button3Click(const std::function<void()> &opened)
{
    return testConnection(m_database, m_log, m_errors, opened);
}

void Gateway::VerbergenTimer()
{
    m_verbergen.stop();
    if (m_settings.Minimaliseren)
        emit hideRequested();
}

void Gateway::UitgaandeBerichtenTimer()
{
    m_uitgaandeBerichten.stop();
    m_errors.guard([&] { m_poller.tick(); });
    m_uitgaandeBerichten.start();
}

void Gateway::PollenTimer()
{
    m_pollen.stop();
    // From the first tick on, the interval is RGDMIN minutes, read at every tick.
    const double interval = std::floor(m_settings.RGDMIN * 60.0 * 1000.0);
    m_errors.guard([&] { m_polling.PollenTimer(); });
    // An interval of zero stops the polling until the next start, as the operator expects of
    // "0 minutes"; a QTimer would otherwise fire without pause.
    if (interval >= 1) {
        m_pollen.setInterval(int(std::min(interval, double(std::numeric_limits<int>::max()))));
        m_pollen.start();
    }
}

void Gateway::AortaTimer()
{
    m_errors.guard([&] { m_polling.AortaTimer(); });
}
