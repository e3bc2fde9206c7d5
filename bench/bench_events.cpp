// Vehicle events end to end: a host thread on loopback sends, for 200 vehicles, a shift start
// and end (OD1/SD1), and a shift with a street-hail ride (OD1, SV1, BV1 without a ride number, a
// position report, SD1), all with positions, each message as soon as the previous one is
// answered, to the gateway's listener, dispatcher and event handlers, on SQLite and on a
// throwaway PostgreSQL server.
// Beside it, in the same run, the same SQL statements through plain QtSql, no gateway code, in
// one transaction per event as the gateway runs them.
// Reports events per second, the median and 99th percentile from send to "[RS2_EV_ACK]", and
// the cost per event of both sides, the statements each sends per event, and the link's floor:
// an event that needs no SQL. SQLite runs in each journal mode a site may choose.
// Usage: bench_events [--rounds N] (default 5: 2,000 shift events, then 5,000 with the rides)
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "events/eventtable.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusxml.h"
#include "support/dbfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Vehicles = 200;

// Four characters, so that position reports, which name a vehicle by the last four characters
// of its identity, find it too.
QString imei(int i)
{
    return QString::number(1000 + i);
}

// The identity a position report carries: 15 digits ending in the vehicle's four.
QString terminal(int i)
{
    return u"35700000000"_s + imei(i);
}

QString pass(int i)
{
    return u"P%1"_s.arg(i);
}

enum class Workload { Shifts, Rides };

// The host's messages: per round, every vehicle signs on, then (rides) every vehicle takes a
// customer off the street, ends that ride and reports its position, then every vehicle signs
// off.
QList<QByteArray> messages(int rounds, Workload w)
{
    QList<QByteArray> out;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < Vehicles; ++i)
            out << u"[RS2_EV,%1,OD1,+%2,0,%3,91437890,8529620]"_s.arg(imei(i)).arg(1200000 + r * 1000).arg(pass(i)).toLatin1();
        if (w == Workload::Rides) {
            for (int i = 0; i < Vehicles; ++i)
                out << u"[RS2_EV,%1,SV1,+%2,0,0,91437890,8529620,%3,0,0,0]"_s.arg(imei(i)).arg(1200100 + r * 1000).arg(pass(i)).toLatin1();
            for (int i = 0; i < Vehicles; ++i)
                out << u"[RS2_EV,%1,BV1,900,0,0,0,0,1850,0,0,0,91437890,8529620,0]"_s.arg(imei(i)).toLatin1();
            for (int i = 0; i < Vehicles; ++i)
                out << u"[RS2_RGD,%1,A,91437890,8529620]"_s.arg(terminal(i)).toLatin1();
        }
        for (int i = 0; i < Vehicles; ++i)
            out << u"[RS2_EV,%1,SD1,+%2,0,91437890,8529620]"_s.arg(imei(i)).arg(1200500 + r * 1000).toLatin1();
    }
    return out;
}

struct Timing
{
    double seconds = 0;
    double handlers = 0; // seconds inside the event handlers
    std::vector<double> latencies; // microseconds
    int acks = 0;
    qint64 statements = 0; // sent to the server, the unit's own among them
    qint64 savepoints = 0;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// The event handlers and the commit with a stopwatch around them: what the gateway's own code
// and its SQL cost, without the link.
class TimedEvents : public InboundWork
{
public:
    explicit TimedEvents(InboundWork &events) : m_events(events) {}
    void begin() override { m_events.begin(); }
    void commit() override
    {
        QElapsedTimer t;
        t.start();
        m_events.commit();
        nanoseconds += t.nsecsElapsed();
    }
    void rollback() noexcept override { m_events.rollback(); }
    void vehicleEvent(const InboundMessage &m) override
    {
        QElapsedTimer t;
        t.start();
        m_events.vehicleEvent(m);
        nanoseconds += t.nsecsElapsed();
    }
    void positionReport(const InboundMessage &m) override
    {
        QElapsedTimer t;
        t.start();
        m_events.positionReport(m);
        nanoseconds += t.nsecsElapsed();
    }
    qint64 nanoseconds = 0;

private:
    InboundWork &m_events;
};

// The gateway's side, wired as the gateway wires it.
struct GatewaySide
{
    Clock clock;
    Regional regional;
    QTemporaryDir logDir;
    Settings &settings;
    Log log { clock, regional };
    LinkState link;
    Database database;
    Statements statements { database };
    ApplicationErrors errors { log, &database };
    DatabaseNotifier status { statements, errors };
    LastPosition position;
    StatusExport exporter { settings, clock, regional, logDir.path() };
    VehicleEvents events { { statements, log, status, errors, settings, clock, position, exporter,
                             [](const QString &, const QString &) { return true; } } };
    TimedEvents timed { events };
    InboundDispatcher dispatcher { log, link, settings, errors, timed, clock, regional };
    HostServer server { log, link, settings, status, errors, dispatcher, regional };

    qint64 sent = 0;
    qint64 savepoints = 0;

    GatewaySide(Settings &s, const QString &dir) : settings(s), database(s, dir, clock)
    {
        log.setLogDir(logDir.path());
        database.open();
        server.start(0);
        QObject::connect(&database, &Database::aboutToRun, [this](const QString &sql) {
            ++sent;
            if (sql.startsWith(u"SAVE"_s))
                ++savepoints;
        });
    }

    Timing run(const QList<QByteArray> &sends)
    {
        Timing t;
        t.latencies.reserve(size_t(sends.size()));
        timed.nanoseconds = 0;
        sent = savepoints = 0;
        std::atomic<bool> done = false;
        const quint16 port = server.port();
        std::thread host([&] {
            QTcpSocket socket;
            socket.connectToHost(u"127.0.0.1"_s, port);
            if (!socket.waitForConnected(5000)) {
                done = true;
                return;
            }
            QByteArray in;
            while (!in.endsWith(']') && socket.waitForReadyRead(5000))
                in += socket.readAll(); // the banner
            QElapsedTimer total;
            total.start();
            for (const QByteArray &m : sends) {
                QElapsedTimer one;
                one.start();
                socket.write(m);
                socket.flush();
                in.clear();
                while (!in.contains(']') && socket.waitForReadyRead(5000))
                    in += socket.readAll();
                t.latencies.push_back(double(one.nsecsElapsed()) / 1000);
                if (in == "[RS2_EV_ACK]" || in == "[RS2_RGD_ACK]")
                    ++t.acks;
            }
            t.seconds = double(total.nsecsElapsed()) / 1e9;
            socket.disconnectFromHost();
            done = true;
        });
        // Sleeps until the socket has news; the timer only makes sure the end is noticed.
        QTimer wake;
        wake.start(100);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        host.join();
        QCoreApplication::processEvents();
        t.handlers = double(timed.nanoseconds) / 1e9;
        t.statements = sent;
        t.savepoints = savepoints;
        return t;
    }
};

// The same statements, with the same values, through prepared QSqlQuery objects, each event in
// a transaction of its own, with the savepoints the gateway sets where it sets them: its own
// statements without its code.
struct DirectSide
{
    QSqlDatabase db;
    Dialect dialect;
    QString routeCheck; // the procedure call, none on SQLite
    qint64 statements = 0;
    QSqlQuery vehicle { db }, driver { db }, pairShift { db }, constants { db }, newShift { db }, message { db },
        status { db }, gps { db }, openShift { db }, endShift { db }, freeShift { db }, newRide { db }, newestRide { db },
        takeRide { db }, transaction { db }, rideInHand { db }, ride { db }, release { db }, freeAgain { db }, route { db },
        plainVehicle { db };

    DirectSide(QSqlDatabase connection, const Dialect &d) : db(connection), dialect(d), routeCheck(d.procedureCall())
    {
        auto prepare = [](QSqlQuery &q, const QString &sql) {
            q.setForwardOnly(true);
            if (!q.prepare(sql))
                qFatal("%s", qPrintable(q.lastError().text()));
        };
        prepare(vehicle, u"select * from (wagens INNER JOIN BEDRIJVEN ON bdr_id =wag_bdr_id) where wag_imei =?"_s);
        prepare(driver, u"select * from chauffeurs where chf_pasnummer=? and chf_bdr_id=?"_s);
        prepare(pairShift, u"select * from ritstaten where lsn_wag_id=? AND lsn_chf_id=? AND lsn_status=0"_s);
        prepare(constants, u"select * from constanten where con_bdr_id=?"_s);
        prepare(newShift, u"INSERT INTO ritstaten (lsn_bdr_id, lsn_aanvang, lsn_einde, lsn_status, lsn_actie, lsn_wag_id,"
                          " lsn_chf_id, lsn_omschrijving, lsn_kilometerstand_aanvang) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        prepare(message, u"INSERT INTO berichtenbox (bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code) VALUES (?, ?, ?, ?)"_s);
        prepare(status, u"INSERT INTO Statusmeldingen (mel_status, mel_opmerking) VALUES (?, ?)"_s);
        prepare(gps, u"INSERT INTO GPS (GPS_Datum, GPS_Datum_UTC, GPS_IP, GPS_Imei, GPS_Statuscode, GOS_bdr_id, GPS_Latitude,"
                     " GPS_Longitude) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"_s);
        prepare(openShift, u"select * from ritstaten where lsn_wag_id=? AND lsn_status=0"_s);
        prepare(endShift, u"UPDATE ritstaten SET lsn_einde = ?, lsn_status = ?, lsn_actie = ?, lsn_kilometerstand_einde = ?"
                          " WHERE lsn_id = ?"_s);
        prepare(freeShift, u"select * from ritstaten where lsn_wag_id=? AND ((lsn_actie = 'B') OR (lsn_actie= 'L')) AND lsn_status=0"_s);
        prepare(newRide, u"INSERT INTO planning (pla_wagen, pla_chauffeur, pla_datum, pla_tijdstip, pla_tijdstip_locatie,"
                         " pla_tijdstip_toewijzen, pla_tijdstip_bestemmen, pla_status, pla_rc, pla_lopers, pla_reiziger,"
                         " pla_tarief_bedrijf, pla_lsn, pla_bdr_id, pla_oph_land, pla_ophstraat, pla_ophstad, pla_opmerking,"
                         " pla_km_map, pla_rolstoel, pla_soortvervoer, pla_soortwagen, pla_soortrit, pla_naam_reiziger,"
                         " pla_combineren, pla_filter) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        prepare(newestRide, u"select MAX(PLA_ID) as waarde from planning where pla_status = 'K' and pla_wagen=?"_s);
        prepare(takeRide, u"UPDATE ritstaten SET lsn_rit = ?, lsn_route = ?, lsn_actie = ? WHERE lsn_id = ?"_s);
        prepare(transaction, u"INSERT INTO TRANSACTIES (tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code,"
                             " tra_opmerking) VALUES (?, ?, ?, ?, ?, ?, ?)"_s);
        prepare(rideInHand, u"select lsn_rit from (Wagens inner join ritstaten on lsn_wag_id=wag_id AND lsn_status=0) where wag_imei=?"_s);
        prepare(ride, u"select * from planning where pla_id=?"_s);
        prepare(release, u"UPDATE planning SET pla_status = ?, pla_tijdstip_vrijmelden = ?, pla_bedrag_1 = ?, pla_km_map = ?,"
                         " pla_odo_stop = ? WHERE pla_id = ?"_s);
        prepare(freeAgain, u"UPDATE RITSTATEN SET lsn_actie='B' where lsn_id=?"_s);
        if (!routeCheck.isEmpty())
            prepare(route, routeCheck);
        prepare(plainVehicle, u"select * from wagens where wag_imei=?"_s);
    }

    // One event: its statements between BEGIN and COMMIT, begun with its first statement as the
    // gateway begins it.
    bool beginPending = false;
    template <typename F>
    void unit(F &&work)
    {
        beginPending = true;
        work();
        if (!std::exchange(beginPending, false))
            plain(dialect.transaction(Dialect::Commit));
    }
    void beginIfPending()
    {
        if (std::exchange(beginPending, false))
            plain(dialect.transaction(Dialect::Begin));
    }
    // The savepoint of a step at depth `n`, with the BEGIN in the same batch when both are due.
    void savepoint(int n)
    {
        const QString sql = dialect.savepoint(Dialect::Set, n);
        if (beginPending && dialect.takesBatches()) {
            beginPending = false;
            plain(dialect.transaction(Dialect::Begin) + u"; "_s + sql);
            return;
        }
        beginIfPending();
        plain(sql);
    }
    // A status row, each under a savepoint of its own.
    void post(int depth, const QString &text)
    {
        savepoint(depth);
        exec(status, { 999, text });
    }
    void plain(const QString &sql)
    {
        ++statements;
        QSqlQuery q(db);
        if (!q.exec(sql))
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    QSqlRecord first(QSqlQuery &q, const QVariantList &values)
    {
        beginIfPending();
        ++statements;
        for (qsizetype i = 0; i < values.size(); ++i)
            q.bindValue(int(i), values[i]);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
        QSqlRecord r;
        if (q.next())
            r = q.record();
        q.finish();
        return r;
    }
    void exec(QSqlQuery &q, const QVariantList &values)
    {
        beginIfPending();
        ++statements;
        for (qsizetype i = 0; i < values.size(); ++i)
            q.bindValue(int(i), values[i]);
        if (!q.exec())
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    void position(const QString &code, const QString &terminal)
    {
        const QDateTime now = QDateTime::currentDateTime();
        savepoint(0);
        exec(gps, { now, now, u""_s, terminal, code, 1, u"52.3901"_s, u"4.8871"_s });
    }

    // SV1 without a ride number: the position, then a street-hail ride on the free ritstaat.
    void streetHail(int i)
    {
        position(u"SV1"_s, imei(i));
        const QSqlRecord v = first(vehicle, { imei(i) });
        const int wag = v.value(u"wag_id"_s).toInt();
        savepoint(0);
        const QSqlRecord lsn = first(freeShift, { wag });
        const int shift = lsn.value(u"lsn_id"_s).toInt();
        const int chf = lsn.value(u"lsn_chf_id"_s).toInt();
        const QSqlRecord c = first(constants, { 1 });
        const QDateTime now = QDateTime::currentDateTime();
        const QString hail = u"INSTAPRIT"_s;
        exec(newRide, { wag, chf, now, now, now, now, now, u"K"_s, 0, 1, c.value(u"con_contant"_s), c.value(u"con_tarief"_s), shift,
                        1, c.value(u"con_land"_s).toString().left(2), hail, hail, hail, u"0.0000"_s, 0, u"P"_s, v.value(u"wag_type"_s),
                        u"S"_s, hail, 0, u"I"_s });
        const int rideId = first(newestRide, { wag }).value(u"waarde"_s).toInt();
        exec(takeRide, { rideId, 0, u"K"_s, shift });
        savepoint(1);
        exec(transaction, { 0, shift, rideId, wag, chf, 7, hail });
        post(0, u"Wagen 1 heeft een instaprit gestart"_s);
    }

    // BV1 without a ride number: the position, then the ride in hand released with zeros.
    void rideEnd(int i)
    {
        position(u"BV1"_s, imei(i));
        const int rideId = first(rideInHand, { imei(i) }).value(u"lsn_rit"_s).toInt();
        savepoint(0);
        const QSqlRecord p = first(ride, { rideId });
        const int shift = p.value(u"pla_lsn"_s).toInt();
        const int wag = p.value(u"pla_wagen"_s).toInt();
        exec(release, { u"V"_s, QDateTime::currentDateTime(), u"0.0000"_s, u"0.0000"_s, u"0.0000"_s, rideId });
        exec(freeAgain, { shift });
        savepoint(1);
        exec(transaction, { 0, shift, rideId, wag, 0, 8, u""_s });
        if (!routeCheck.isEmpty()) {
            exec(route, { wag });
            route.finish();
        }
        post(0, u"Chauffeur in 1000 melding einde rit"_s);
    }

    void positionReport(int i)
    {
        first(plainVehicle, { imei(i) });
        position(u"ATU"_s, terminal(i));
    }

    double run(int rounds, Workload w)
    {
        statements = 0;
        QElapsedTimer t;
        t.start();
        for (int r = 0; r < rounds; ++r) {
            for (int i = 0; i < Vehicles; ++i) unit([&] {
                savepoint(0);
                const QSqlRecord v = first(vehicle, { imei(i) });
                const int wag = v.value(u"wag_id"_s).toInt();
                const QSqlRecord d = first(driver, { pass(i), 1 });
                const int chf = d.value(u"chf_id"_s).toInt();
                first(pairShift, { wag, chf });
                const int hours = first(constants, { 1 }).value(u"con_standaard_uren"_s).toInt();
                const QDateTime now = QDateTime::currentDateTime();
                exec(newShift, { 1, now, now.addSecs(hours * 3600), 0, u"B"_s, wag, chf,
                                 u"TIM-%1-%2-%3"_s.arg(now.toString(u"yyyyMMdd"_s)).arg(wag).arg(chf).left(20), u"12000.0000"_s });
                exec(message, { 1, 1, wag, u"TIM-003"_s });
                post(0, u"Aanvang dienst Bench Driver"_s);
                position(u"OD1"_s, imei(i));
            });
            if (w == Workload::Rides) {
                for (int i = 0; i < Vehicles; ++i)
                    unit([&] { streetHail(i); });
                for (int i = 0; i < Vehicles; ++i)
                    unit([&] { rideEnd(i); });
                for (int i = 0; i < Vehicles; ++i)
                    unit([&] { positionReport(i); });
            }
            for (int i = 0; i < Vehicles; ++i) unit([&] {
                savepoint(0);
                const int wag = first(vehicle, { imei(i) }).value(u"wag_id"_s).toInt();
                const int lsn = first(openShift, { wag }).value(u"lsn_id"_s).toInt();
                exec(endShift, { QDateTime::currentDateTime(), 1, u"E"_s, u"12005.0000"_s, lsn });
                post(1, u"Einde dienst in wagen 1"_s);
                position(u"SD1"_s, imei(i));
            });
        }
        return t.nsecsElapsed() / 1e3 / (rounds * Vehicles * (w == Workload::Rides ? 5 : 2));
    }
};

void addFleet(QSqlDatabase db)
{
    for (int i = 0; i < Vehicles; ++i) {
        fixture::run(db, u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei) VALUES (%1, 1, '%2')"_s.arg(1000 + i).arg(imei(i)));
        fixture::run(db, u"INSERT INTO chauffeurs (chf_pasnummer, chf_bdr_id, chf_naam, chf_voornaam) VALUES ('%1', 1, 'Driver', 'Bench')"_s.arg(pass(i)));
    }
}

void bench(const char *engine, Settings &settings, const QString &dir, int rounds, Workload w, const char *journal)
{
    settings.MapPointOK = true;
    GatewaySide gateway(settings, dir);
    addFleet(gateway.database.connection());
    if (journal)
        fixture::run(gateway.database.connection(), u"PRAGMA journal_mode="_s + QLatin1StringView(journal));
    DirectSide direct(gateway.database.connection(), gateway.database.dialect());
    const QList<QByteArray> sends = messages(rounds, w);
    const char *mix = w == Workload::Rides ? "OD1, SV1, BV1, position report, SD1" : "OD1, SD1";

    // Interleaved, twice, best of each: a slow moment of the machine hits both sides.
    Timing best;
    double directBest = 1e300;
    for (int pass = 0; pass < 2; ++pass) {
        Timing t = gateway.run(sends);
        if (t.acks != sends.size())
            std::printf("%s: only %d of %lld events acknowledged\n", engine, t.acks, qlonglong(sends.size()));
        if (best.seconds == 0 || t.seconds < best.seconds)
            best = std::move(t);
        directBest = std::min(directBest, direct.run(rounds, w));
    }
    // The link's floor: events of a code nobody handles, acknowledged without any SQL.
    QList<QByteArray> idle;
    for (qsizetype i = 0; i < sends.size(); ++i)
        idle << u"[RS2_EV,%1,XXX]"_s.arg(imei(int(i % Vehicles))).toLatin1();
    const Timing floor = gateway.run(idle);

    const double perEvent = best.seconds * 1e6 / double(sends.size());
    const double inHandlers = best.handlers * 1e6 / double(sends.size());
    const double events = double(sends.size());
    std::printf("%s%s%s (%s): %lld events, %.0f events/s, send to ack median %.0f us, p99 %.0f us\n"
                "  end to end %.0f us/event (handlers and commit %.0f, link %.0f), same SQL through QtSql %.0f us/event\n"
                "  end to end / QtSql %.2f, handlers / QtSql %.2f; an event without SQL: %.0f us send to ack (median)\n"
                "  statements per event: gateway %.1f (savepoints %.1f), QtSql %.1f\n",
                engine, journal ? ", journal " : "", journal ? journal : "", mix, qlonglong(sends.size()), events / best.seconds,
                percentile(best.latencies, 0.5), percentile(best.latencies, 0.99), perEvent, inHandlers, perEvent - inHandlers,
                directBest, perEvent / directBest, inHandlers / directBest, percentile(floor.latencies, 0.5),
                double(best.statements) / events, double(best.savepoints) / events, double(direct.statements) / events);
    for (const QString &failure : { u"mislukt"_s, u"niet gevonden"_s, u"ontbreekt"_s }) {
        if (const QStringList lines = gateway.log.lines().filter(failure); !lines.isEmpty())
            std::printf("  gateway logged failures, e.g. %s\n", qPrintable(lines.first()));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    QTemporaryDir dir;
    for (const Workload w : { Workload::Shifts, Workload::Rides }) {
        fixture::eachEngine(dir.path(), [&](const char *engine, Settings &s) {
            bench(engine, s, dir.path(), rounds, w, nullptr);
            // The other journal mode a site can run the embedded database in.
            if (std::strcmp(engine, "SQLite") == 0) {
                fixture::useFreshDatabase(s, u"sqlite"_s, dir.path());
                bench(engine, s, dir.path(), rounds, w, "DELETE");
            }
        });
    }
    return 0;
}
