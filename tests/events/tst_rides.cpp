// Customer on board, street-hail rides, unloading and release, against SQLite and PostgreSQL:
// the rows before and after, the log lines, the status messages and the order-status files.
#include "events/records.h"
#include "events/release.h"
#include "events/rides.h"
#include "handlers.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Wagen12 = u"356000000000012"_s; // wag_id 1, plate 12-ABC-3, open ritstaat 1 (driver 1)

const QString Transacties = u"SELECT tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code, tra_opmerking FROM TRANSACTIES ORDER BY tra_id"_s;
const QString Ritstaten = u"SELECT lsn_id, lsn_actie, lsn_rit, lsn_route FROM ritstaten ORDER BY lsn_id"_s;

QString rideColumns(int ride, const char *columns)
{
    return u"SELECT "_s + QLatin1StringView(columns) + u" FROM planning WHERE pla_id = "_s + QString::number(ride);
}

// Ride `ride`, booked for 10:00 today, on its way with vehicle 1 (ritstaat 1, in "T").
QStringList onTheWay(int ride, const QString &owner)
{
    const QString id = QString::number(ride);
    return { u"UPDATE planning SET pla_status = 'T', pla_wagen = 1, pla_chauffeur = 1, pla_lsn = 1, pla_eigenaar = '"_s + owner
                 + u"', pla_tijdstip = '2025-12-31 10:00:00', pla_wachtseconden = 77, pla_opmerking = 'onderweg' WHERE pla_id = "_s + id,
             u"UPDATE ritstaten SET lsn_actie = 'T', lsn_rit = "_s + id + u" WHERE lsn_id = 1"_s };
}

QString hhmm(const QVariant &value)
{
    return value.toDateTime().toString(u"hh:mm"_s);
}

// The order-status files written, each as its name and whether it names the plate.
QStringList exported(Handlers &h, const QString &plate)
{
    QStringList out;
    const QDir dir(h.settings.xVXLUitgaand);
    for (const QString &name : dir.entryList({ u"Ludor_*.xml"_s }, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return { u"unreadable "_s + name };
        out << name.section(u'_', 0, 2) + (file.readAll().contains(plate.toLatin1()) ? u" with "_s + plate : u" without "_s + plate);
    }
    return out;
}

void exportInto(Handlers &h)
{
    h.settings.xVXLUitgaand = h.dir.filePath(u"uit"_s);
    QVERIFY(QDir().mkpath(h.settings.xVXLUitgaand));
    h.settings.VXLBackup = false;
}

} // namespace

class TestRides : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    // The boarding time alone, with the lines it logs.
    void boardingTime_data()
    {
        QTest::addColumn<bool>("use");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QTime>("now");
        QTest::addColumn<QTime>("boarding");
        QTest::addColumn<int>("written"); // -1: pla_wachtseconden not written
        QTest::addColumn<QStringList>("log");
        QTest::newRow("600 s at 10:20") << true << 600 << QTime(10, 20) << QTime(10, 10) << 600
                                        << QStringList { u"M-> Wachtseconden 600"_s, u"M-> Actueel 10:20"_s, u"M-> Correctie 10:10"_s };
        QTest::newRow("1500 s at 10:05, held by the margin")
            << true << 1500 << QTime(10, 5) << QTime(10, 5) << 1500
            << QStringList { u"M-> Wachtseconden 1500"_s, u"M-> Actueel 10:05"_s, u"M-> Marge 09:45"_s, u"M-> Correctie 10:05"_s };
        // 09:45 is not later than the margin 09:45.
        QTest::newRow("exactly on the margin") << true << 1200 << QTime(10, 5) << QTime(10, 5) << 1200
                                               << QStringList { u"M-> Wachtseconden 1200"_s, u"M-> Actueel 10:05"_s,
                                                                u"M-> Marge 09:45"_s, u"M-> Correctie 10:05"_s };
        QTest::newRow("59 s") << true << 59 << QTime(10, 20) << QTime(10, 20) << 59 << QStringList();
        QTest::newRow("negative") << true << -120 << QTime(10, 20) << QTime(10, 20) << -120 << QStringList();
        QTest::newRow("waiting time not used") << false << 600 << QTime(10, 20) << QTime(10, 20) << -1 << QStringList();
    }
    void boardingTime()
    {
        QFETCH(bool, use);
        QFETCH(int, seconds);
        QFETCH(QTime, now);
        QFETCH(QTime, boarding);
        QFETCH(int, written);
        QFETCH(QStringList, log);
        const QDate day(2025, 12, 31);
        FixedClock clock(QDateTime(day, now));
        Regional regional;
        Log l(clock, regional);
        const Boarding b = ::boardingTime(l, use, seconds, QDateTime(day, now), QDateTime(day, QTime(10, 0)));
        QCOMPARE(b.time, QDateTime(day, boarding));
        QCOMPARE(b.waitingSeconds.value_or(-1), written);
        QStringList texts;
        for (const QString &line : l.lines())
            texts << line.mid(15);
        QCOMPARE(texts, log);
    }

    // The ride path of `BestemmenRit`.
    void board_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("ride");
        QTest::addColumn<QString>("odometer");
        QTest::addColumn<QString>("waiting"); // with the event at 10:20, or at the time after a "@"
        QTest::addColumn<QString>("rideRow");     // ride 2 or 3: status, waiting, km, pass, odometer, retour
        QTest::addColumn<QString>("boarding");    // hh:mm, empty when not written
        QTest::addColumn<QString>("ritstaat");    // ritstaat 1
        QTest::addColumn<QStringList>("transactions");
        QTest::addColumn<QStringList>("status");
        QTest::addColumn<QStringList>("files");

        const QStringList none;
        const QStringList seven { u"1|2|1|0|7|"_s };
        const QStringList boarded { u"Klant ingestapt in wagen 12"_s };
        engineRow("600 s, owner 002", onTheWay(2, u"002"_s), QString(), Wagen12, u"2"_s, u"+123456"_s, u"600"_s,
                  u"K|600|0|1001|1234.56|1"_s, u"10:10"_s, u"1|K|2|0"_s, seven, boarded, none);
        engineRow("1500 s at 10:20", onTheWay(2, u"003"_s), QString(), Wagen12, u"2"_s, u"+123456"_s, u"1500"_s,
                  u"K|1500|0|1001|1234.56|1"_s, u"09:55"_s, u"1|K|2|0"_s, seven, boarded, none);
        engineRow("1500 s at 10:05, held by the margin", onTheWay(2, u"003"_s), QString(), Wagen12, u"2"_s, u"+123456"_s,
                  u"1500@10:05"_s, u"K|1500|0|1001|1234.56|1"_s, u"10:05"_s, u"1|K|2|0"_s, seven, boarded, none);
        engineRow("59 s", onTheWay(2, u"001"_s), QString(), Wagen12, u"2"_s, u"100"_s, u"59"_s, u"K|59|0|1001|1|0"_s, u"10:20"_s,
                  u"1|K|2|0"_s, seven, boarded, none);
        engineRow("waiting time not used", onTheWay(2, u"001"_s), u"-WachtSecondenGebruik"_s, Wagen12, u"2"_s, u"100"_s,
                  u"600"_s, u"K|77|0|1001|1|0"_s, u"10:20"_s, u"1|K|2|0"_s, seven, boarded, none);
        engineRow("owner 004: export, booking flag unchanged", onTheWay(3, u"004"_s), QString(), Wagen12, u"3"_s, u"100"_s,
                  u"0"_s, u"K|0|0|1001|1|0"_s, u"10:20"_s, u"1|K|3|0"_s, QStringList { u"1|3|1|0|7|"_s }, boarded,
                  QStringList { u"Ludor_12_70012345 with 12-ABC-3"_s });
        engineRow("not linked to the dispatch", onTheWay(2, u"002"_s), u"-apxsv1"_s, Wagen12, u"2"_s, u"100"_s, u"0"_s,
                  u"K|0|0|1001|1|1"_s, u"10:20"_s, u"1|K|2|0"_s, seven, none, none);
        engineRow("ride not found", onTheWay(2, u"002"_s), QString(), Wagen12, u"99"_s, u"100"_s, u"0"_s,
                  u"T|77|0||0|0"_s, QString(), u"1|T|2|0"_s, none, none, none);
        engineRow("vehicle not found", onTheWay(2, u"002"_s), QString(), u"356000000000099"_s, u"2"_s, u"100"_s, u"0"_s,
                  u"T|77|0||0|0"_s, QString(), u"1|T|2|0"_s, none,
                  QStringList { u"Wagen niet gevonden voor IMEI 356000000000099"_s }, none);
    }
    void board()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, flags);
        QFETCH(QString, imei);
        QFETCH(QString, ride);
        QFETCH(QString, odometer);
        QFETCH(QString, waiting);
        QFETCH(QString, rideRow);
        QFETCH(QString, boarding);
        QFETCH(QString, ritstaat);
        QFETCH(QStringList, transactions);
        QFETCH(QStringList, status);
        QFETCH(QStringList, files);

        Handlers h(engine);
        exportInto(h);
        h.run(setup);
        applyFlags(h.settings, flags);
        const QString at = waiting.section(u'@', 1);
        h.clock.set(QDateTime(QDate(2025, 12, 31), at.isEmpty() ? QTime(10, 20) : QTime::fromString(at, u"hh:mm"_s)));
        BestemmenRit(h.parts, imei, ride, u"1001"_s, odometer, waiting.section(u'@', 0, 0), u"0"_s);

        const int id = rideOf(setup);
        QCOMPARE(h.rows(rideColumns(id, "pla_status, pla_wachtseconden, pla_km_map, pla_pasnummer, pla_odo_start, pla_retour_rbs"))
                     .join(u';'),
                 rideRow);
        QCOMPARE(hhmm(h.scalar(rideColumns(id, "pla_tijdstip_bestemmen"))), boarding);
        QCOMPARE(h.rows(Ritstaten).join(u';'), ritstaat);
        QCOMPARE(h.rows(Transacties), transactions);
        QCOMPARE(h.status.messages, status);
        QCOMPARE(exported(h, u"12-ABC-3"_s), files);
    }

    // An odometer that is no number changes nothing and reaches the caller.
    void boardingPassesErrorsOn()
    {
        Handlers h(u"sqlite"_s);
        h.run(onTheWay(2, u"002"_s));
        QVERIFY_THROWS_EXCEPTION(KorvanError, BestemmenRit(h.parts, Wagen12, u"2"_s, u"1001"_s, u"12x4"_s, u"0"_s, u"0"_s));
        QCOMPARE(h.rows(rideColumns(2, "pla_status")), QStringList { u"T"_s });
        QCOMPARE(h.rows(Transacties), QStringList());
    }

    // The street-hail path: ride numbers that name no ride.
    void streetHail_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("ride");
        QTest::addColumn<QString>("distance");
        QTest::addColumn<QStringList>("created");
        QTest::addColumn<QString>("ritstaten");
        QTest::addColumn<QStringList>("transactions");
        QTest::addColumn<QStringList>("status");

        const QStringList none;
        const QString hail = u"1|1|K|0|1|1|2|1|1|NL|INSTAPRIT|INSTAPRIT|INSTAPRIT|0|0|P|T|S|INSTAPRIT|0|I"_s;
        const QStringList started { u"Wagen 12 heeft een instaprit gestart"_s };
        const QStringList seven { u"1|4|1|1|7|Instaprit"_s };
        engineRow("ride 0", none, u"0"_s, u"0"_s, QStringList { hail }, u"1|K|4|0"_s, seven, started);
        engineRow("ride empty", none, QString(), u"0"_s, QStringList { hail }, u"1|K|4|0"_s, seven, started);
        engineRow("ride abc", none, u"abc"_s, u"0"_s, QStringList { hail }, u"1|K|4|0"_s, seven, started);
        engineRow("ride -5", none, u"-5"_s, u"0"_s, QStringList { hail }, u"1|K|4|0"_s, seven, started);
        QString far = hail;
        far.replace(u"|INSTAPRIT|0|0|P|"_s, u"|INSTAPRIT|2.5|0|P|"_s);
        engineRow("with a distance", none, u"0"_s, u"250"_s, QStringList { far }, u"1|K|4|0"_s, seven, started);
        // An unloaded ritstaat on a route takes the ride and leaves the route.
        engineRow("unloaded on a route", QStringList { u"UPDATE ritstaten SET lsn_actie = 'L', lsn_route = 5, lsn_rit = 1"_s },
                  u"0"_s, u"0"_s, QStringList { hail }, u"1|K|4|0"_s, seven, started);
        // No free ritstaat: no ride, yet the vehicle is announced.
        engineRow("ritstaat in K", QStringList { u"UPDATE ritstaten SET lsn_actie = 'K', lsn_rit = 1"_s }, u"0"_s, u"0"_s, none,
                  u"1|K|1|0"_s, none, started);
        engineRow("no shift", QStringList { u"UPDATE ritstaten SET lsn_status = 1, lsn_actie = 'E'"_s }, u"0"_s, u"0"_s, none,
                  u"1|E|0|0"_s, none, started);
    }
    void streetHail()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, ride);
        QFETCH(QString, distance);
        QFETCH(QStringList, created);
        QFETCH(QString, ritstaten);
        QFETCH(QStringList, transactions);
        QFETCH(QStringList, status);

        Handlers h(engine);
        h.run(setup);
        BestemmenRit(h.parts, Wagen12, ride, u"1001"_s, u"100"_s, u"600"_s, distance);
        QCOMPARE(h.rows(u"SELECT pla_wagen, pla_chauffeur, pla_status, pla_rc, pla_lopers, pla_reiziger, pla_tarief_bedrijf,"
                        " pla_lsn, pla_bdr_id, pla_oph_land, pla_ophstraat, pla_ophstad, pla_opmerking, pla_km_map, pla_rolstoel,"
                        " pla_soortvervoer, pla_soortwagen, pla_soortrit, pla_naam_reiziger, pla_combineren, pla_filter"
                        " FROM planning WHERE pla_id > 3"_s),
                 created);
        if (!created.isEmpty()) {
            // Every time of the new ride is the moment of the event.
            QCOMPARE(h.rows(u"SELECT pla_datum, pla_tijdstip, pla_tijdstip_locatie, pla_tijdstip_toewijzen, pla_tijdstip_bestemmen"
                            " FROM planning WHERE pla_id = 4"_s)
                         .size(),
                     1);
            for (const char *column : { "pla_datum", "pla_tijdstip", "pla_tijdstip_locatie", "pla_tijdstip_toewijzen",
                                        "pla_tijdstip_bestemmen" })
                QCOMPARE(h.scalar(rideColumns(4, column)).toDateTime(), h.clock.now());
        }
        QCOMPARE(h.rows(Ritstaten).join(u';'), ritstaten);
        QCOMPARE(h.rows(Transacties), transactions);
        QCOMPARE(h.status.messages, status);
        QCOMPARE(h.texts(), QStringList { u"M-> Instaprit waargenomen 12"_s });
    }

    // `Instaprit` logs a failure and goes on; the caller still announces the vehicle.
    void streetHailFailure()
    {
        Handlers h(u"sqlite"_s);
        h.run({ u"DROP TABLE constanten"_s });
        BestemmenRit(h.parts, Wagen12, u"0"_s, u"1001"_s, u"100"_s, u"0"_s, u"0"_s);
        const QStringList texts = h.texts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith(u"M-> "_s) && texts[0].contains(u"constanten"_s, Qt::CaseInsensitive));
        QCOMPARE(texts[1], u"M-> Instaprit waargenomen 12"_s);
        QCOMPARE(h.status.messages, QStringList { u"Wagen 12 heeft een instaprit gestart"_s });
        QCOMPARE(h.rows(Ritstaten), QStringList { u"1|B|0|0"_s });
    }

    void release_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("ride");
        QTest::addColumn<double>("distance");
        QTest::addColumn<double>("amount");
        QTest::addColumn<double>("odometer");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("rideRow"); // ride 2 or 3: status, amount, km, odometer, retour
        QTest::addColumn<QString>("ritstaten");
        QTest::addColumn<QStringList>("transactions");
        QTest::addColumn<QStringList>("files");

        const QStringList none;
        QStringList boarded = onTheWay(2, u"002"_s);
        boarded << u"UPDATE ritstaten SET lsn_actie = 'K'"_s;
        engineRow("fare and odometer", boarded, u"2"_s, 1234567.0, 2350.0, 1234567.0, true, u"V|23.5|1234567|12345.67|1"_s,
                  u"1|B|2|0"_s, QStringList { u"1|2|1|0|8|"_s }, none);
        engineRow("ride 0", boarded, u"0"_s, 1.0, 1.0, 1.0, false, u"T|0|0|0|0"_s, u"1|K|2|0"_s, none, none);
        engineRow("ride empty", boarded, QString(), 1.0, 1.0, 1.0, false, u"T|0|0|0|0"_s, u"1|K|2|0"_s, none, none);
        engineRow("ride -5", boarded, u"-5"_s, 1.0, 1.0, 1.0, false, u"T|0|0|0|0"_s, u"1|K|2|0"_s, none, none);
        // No such ride: the milestone still names the number; nothing else changes.
        engineRow("ride that does not exist", boarded, u"99"_s, 1.0, 1.0, 1.0, true, u"T|0|0|0|0"_s, u"1|K|2|0"_s,
                  QStringList { u"0|99|0|0|8|"_s }, none);
        engineRow("owner 013", onTheWay(2, u"013"_s), u"2"_s, 0.0, 0.0, 0.0, true, u"V|0|0|0|1"_s, u"1|B|2|0"_s,
                  QStringList { u"1|2|1|0|8|"_s }, none);
        engineRow("owner 001", onTheWay(2, u"001"_s), u"2"_s, 0.0, 0.0, 0.0, true, u"V|0|0|0|0"_s, u"1|B|2|0"_s,
                  QStringList { u"1|2|1|0|8|"_s }, none);
        // The file carries the plate of the ride's own vehicle (2), not of vehicle 1.
        engineRow("owner 004", QStringList { u"UPDATE planning SET pla_wagen = 2, pla_lsn = 1 WHERE pla_id = 3"_s }, u"3"_s, 0.0,
                  1999.0, 0.0, true, u"V|19.99|0|0|0"_s, u"1|B|0|0"_s, QStringList { u"1|3|2|0|8|"_s },
                  QStringList { u"Ludor_14_70012345 with 34-DEF-5"_s });
    }
    void release()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, ride);
        QFETCH(double, distance);
        QFETCH(double, amount);
        QFETCH(double, odometer);
        QFETCH(bool, result);
        QFETCH(QString, rideRow);
        QFETCH(QString, ritstaten);
        QFETCH(QStringList, transactions);
        QFETCH(QStringList, files);

        Handlers h(engine);
        exportInto(h);
        h.run(setup);
        // The last vehicle looked up is another one than the ride's.
        QVERIFY(ZoekWagen(h.parts, Wagen12));
        QCOMPARE(VrijmeldenRit(h.parts, ride, distance, amount, odometer), result);
        const int id = files.isEmpty() ? 2 : 3;
        QCOMPARE(h.rows(rideColumns(id, "pla_status, pla_bedrag_1, pla_km_map, pla_odo_stop, pla_retour_rbs")).join(u';'), rideRow);
        QCOMPARE(h.scalar(rideColumns(id, "pla_tijdstip_vrijmelden")).toDateTime(),
                 rideRow.startsWith(u'V') ? h.clock.now() : QDateTime());
        QCOMPARE(h.rows(Ritstaten).join(u';'), ritstaten);
        QCOMPARE(h.rows(Transacties), transactions);
        QCOMPARE(exported(h, u"34-DEF-5"_s), files);
        QVERIFY(h.log.lines().isEmpty());
    }

    // A failure is logged and makes the result false; rows written before it stay.
    void releaseFailure()
    {
        Handlers h(u"sqlite"_s);
        h.run(onTheWay(2, u"002"_s));
        h.run({ u"DROP TABLE ritstaten"_s });
        QVERIFY(!VrijmeldenRit(h.parts, u"2"_s, 0, 0, 0));
        QCOMPARE(h.rows(rideColumns(2, "pla_status")), QStringList { u"V"_s });
        QCOMPARE(h.texts().size(), 1);
        QVERIFY(h.texts()[0].startsWith(u"M-> "_s));
    }

    // `VrijmeldenWagen` releases the ride the open ritstaat names, with zeros.
    void releaseVehicle_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("rideRow");
        QTest::addColumn<QStringList>("transactions");
        QStringList released = onTheWay(2, u"001"_s);
        released << u"UPDATE planning SET pla_bedrag_1 = 12.5, pla_odo_stop = 99 WHERE pla_id = 2"_s;
        engineRow("ride in hand", released, u"V|0|0|0"_s, QStringList { u"1|2|1|0|8|"_s });
        engineRow("no ride in hand", QStringList { u"UPDATE ritstaten SET lsn_actie = 'K'"_s }, u"P|0|0|0"_s, QStringList());
        engineRow("no shift", QStringList { u"UPDATE ritstaten SET lsn_status = 1, lsn_rit = 2"_s }, u"P|0|0|0"_s, QStringList());
    }
    void releaseVehicle()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, rideRow);
        QFETCH(QStringList, transactions);
        Handlers h(engine);
        h.run(setup);
        VrijmeldenWagen(h.parts, Wagen12);
        QCOMPARE(h.rows(rideColumns(2, "pla_status, pla_bedrag_1, pla_km_map, pla_odo_stop")).join(u';'), rideRow);
        QCOMPARE(h.rows(Transacties), transactions);
    }

    void unloading_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QString>("imei");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("rideRow"); // status, remark, retour
        QTest::addColumn<QString>("ritstaten");
        QTest::addColumn<QStringList>("status");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("files");

        const QStringList none;
        const QString unloaded = u"Loosmelding in wagen 12"_s;
        const QStringList onTheWay2 = onTheWay(2, u"013"_s);
        engineRow("unloaded", onTheWay2, u"Loosmelden"_s, Wagen12, true, u"L||1"_s, u"1|L|2|0"_s, QStringList { unloaded }, none,
                  none);
        engineRow("unloaded on a route", onTheWay2 + QStringList { u"UPDATE ritstaten SET lsn_route = 3"_s }, u"Loosmelden"_s,
                  Wagen12, true, u"L||1"_s, u"1|T|2|3"_s, QStringList { unloaded }, none, none);
        engineRow("for the automatic dispatcher", onTheWay2, u"Centralist"_s, Wagen12, true, u"T|onderweg|0"_s, u"1|T|2|0"_s,
                  QStringList { u"1003,1,0,0,"_s, unloaded }, none, none);
        engineRow("neither", onTheWay2, QString(), Wagen12, true, u"T|onderweg|0"_s, u"1|T|2|0"_s, QStringList { unloaded }, none,
                  none);
        engineRow("unloaded, not for the automatic dispatcher", onTheWay2, u"Loosmelden Centralist"_s, Wagen12, true, u"L||1"_s,
                  u"1|L|2|0"_s, QStringList { unloaded }, none, none);
        // The open ritstaat is not in "T": no ride, and no ritstaat is touched.
        engineRow("no current ride", onTheWay2 + QStringList { u"UPDATE ritstaten SET lsn_actie = 'K'"_s }, u"Loosmelden"_s,
                  Wagen12, true, u"T|onderweg|0"_s, u"1|K|2|0"_s, QStringList { unloaded },
                  QStringList { u"M-> Geen actief ritnummer voor IMEI 356000000000012"_s }, none);
        engineRow("vehicle not found", onTheWay2, u"Loosmelden Centralist"_s, u"0099"_s, false, u"T|onderweg|0"_s, u"1|T|2|0"_s,
                  QStringList { u"Wagen niet gevonden voor IMEI 0099"_s },
                  QStringList { u"M-> Wagen niet gevonden voor IMEI 0099"_s }, none);
        engineRow("owner 004", onTheWay(3, u"004"_s), u"Loosmelden"_s, Wagen12, true, u"L||0"_s, u"1|L|3|0"_s,
                  QStringList { unloaded }, none, QStringList { u"Ludor_13_70012345 with 12-ABC-3"_s });
    }
    void unloading()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, flags);
        QFETCH(QString, imei);
        QFETCH(bool, result);
        QFETCH(QString, rideRow);
        QFETCH(QString, ritstaten);
        QFETCH(QStringList, status);
        QFETCH(QStringList, log);
        QFETCH(QStringList, files);

        Handlers h(engine);
        exportInto(h);
        h.run(setup);
        applyFlags(h.settings, flags);
        QCOMPARE(LoosmeldenVanRit(h.parts, imei, QString()), result);
        const int id = files.isEmpty() ? 2 : 3;
        QCOMPARE(h.rows(rideColumns(id, "pla_status, pla_opmerking, pla_retour_rbs")).join(u';'), rideRow);
        QCOMPARE(h.rows(Ritstaten).join(u';'), ritstaten);
        QCOMPARE(h.status.messages, status);
        QCOMPARE(h.texts(), log);
        QCOMPARE(exported(h, u"12-ABC-3"_s), files);
    }

    // The route check runs with the ride's vehicle, 0 for a ride that does not exist.
    void routeCheck()
    {
        FIXTURE_REQUIRE(u"postgresql"_s)
        Handlers h(u"postgresql"_s);
        exportInto(h);
        h.run({ u"CREATE TABLE routecalls (id SERIAL PRIMARY KEY, wagen INTEGER)"_s,
                u"CREATE OR REPLACE FUNCTION PROC_ROUTESTATUS_CONTROLE(wagen INTEGER) RETURNS void LANGUAGE plpgsql"
                " AS $$ BEGIN INSERT INTO routecalls (wagen) VALUES (wagen); END $$"_s });
        h.run(onTheWay(2, u"001"_s));
        h.run({ u"UPDATE planning SET pla_wagen = 2 WHERE pla_id = 3"_s });
        BestemmenRit(h.parts, Wagen12, u"2"_s, u"1001"_s, u"100"_s, u"0"_s, u"0"_s);
        QVERIFY(VrijmeldenRit(h.parts, u"3"_s, 0, 0, 0));
        QVERIFY(VrijmeldenRit(h.parts, u"99"_s, 0, 0, 0));
        QCOMPARE(h.rows(u"SELECT wagen FROM routecalls ORDER BY id"_s), QStringList({ u"1"_s, u"2"_s, u"0"_s }));
    }

private:
    // The ride that `onTheWay` put on the road.
    static int rideOf(const QStringList &setup) { return setup.first().endsWith(u"= 3"_s) ? 3 : 2; }
};

QTEST_GUILESS_MAIN(TestRides)
#include "tst_rides.moc"
