// The connection, the dialects, the error handler and every named statement, on SQLite and on a
// real PostgreSQL server.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "log/log.h"
#include "support/dbfixture.h"
#include "support/dispatchsite.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

// One gateway connection to a fresh dispatch database of the engine the test row names.
struct Db : DispatchSite
{
    explicit Db(const QString &engine, bool demo = true)
        : DispatchSite(engine, QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16, 250)), demo)
    {
    }
};

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

    static void engines() { fixture::engineColumn(); }

#define ENGINE()                                                                                                       \
    FIXTURE_ENGINE();                                                                                                  \
    Db f(engine)

private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    // On SQLite the gateway writes its times in the form of the schema's data and the
    // workstations, so that the oldest waiting message is the oldest by text as by time.
    void sqliteTimesInTheSchemaForm()
    {
        DispatchSite site(u"sqlite"_s, QDateTime(QDate(2026, 12, 10), QTime(16, 23, 30, 837)));
        site.statements.updatePlanning(1, { { QLatin1StringView("pla_tijdstip_bestemmen"), site.clock.now() } });
        QCOMPARE(site.rows(u"SELECT pla_tijdstip_bestemmen, typeof(pla_tijdstip_bestemmen) FROM planning WHERE pla_id = 1"_s),
                 QStringList { u"2026-12-10 16:23:30.837|text"_s });

        site.run(u"DELETE FROM berichtenbox"_s);
        // A dispatcher's order a moment later than one the gateway stores.
        site.run(u"INSERT INTO berichtenbox (bbo_soort, bbo_wag_id, bbo_verwerkt, bbo_datum, bbo_pla_id, bbo_actie)"
                 " VALUES (12, 1, 0, '2026-12-10 16:23:30.900', 2, 1)"_s);
        site.statements.ADOBerichtenInkomend({ { QLatin1StringView("bbo_soort"), 12 },
                                               { QLatin1StringView("bbo_wag_id"), 1 },
                                               { QLatin1StringView("bbo_datum"), site.clock.now() },
                                               { QLatin1StringView("bbo_pla_id"), 3 },
                                               { QLatin1StringView("bbo_actie"), 1 } });
        QCOMPARE(site.statements.ADOUitgaand()->value(u"bbo_pla_id"_s).toInt(), 3);
        // Rows written before, with a "T", still read as times.
        site.run(u"UPDATE planning SET pla_tijdstip = '2026-12-10T09:15:00.000' WHERE pla_id = 1"_s);
        QCOMPARE(site.statements.ADORITBIJWERKEN(1)->value(u"pla_tijdstip"_s).toDateTime(),
                 QDateTime(QDate(2026, 12, 10), QTime(9, 15)));
    }

    void vehicleLookups_data() { engines(); }
    void vehicleLookups()
    {
        ENGINE();
        auto v = f.statements.ADOWagens(u"356000000000012"_s);
        QVERIFY(v);
        QCOMPARE(v->value(u"wag_ludor"_s).toInt(), 12);
        QVERIFY(!f.statements.ADOWagens(u"356000000000099"_s));

        v = f.statements.ADOWAGEN(u"356000000000015"_s);
        QVERIFY(v);
        QCOMPARE(v->value(u"wag_ludor"_s).toInt(), 15);
        QCOMPARE(v->value(u"bdr_id"_s).toInt(), 1);

        // A vehicle whose company row is missing is not found through the join.
        f.run(u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei) VALUES (30, 99, '356000000000030')"_s);
        QVERIFY(!f.statements.ADOWAGEN(u"356000000000030"_s));
        QVERIFY(f.statements.ADOWagens(u"356000000000030"_s));

        // Its parameter is 20 characters wide: a longer identity is compared by its first 20.
        f.run(u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei) VALUES (31, 1, '12345678901234567890')"_s);
        QVERIFY(f.statements.ADOWAGEN(u"12345678901234567890XYZ"_s));

        // Vehicle text from the link is a value, never SQL.
        QVERIFY(!f.statements.ADOWAGEN(u"x' OR '1'='1"_s));
        QVERIFY(!f.statements.ADOWagens(u"x' OR '1'='1"_s));

        QCOMPARE(f.statements.ADOIMEI(2)->value(u"wag_imei"_s).toString(), u"356000000000015"_s);
        QCOMPARE(f.statements.ADOZOEKWAGEN(1)->value(u"wag_ludor"_s).toInt(), 12);
        QVERIFY(!f.statements.ADOZOEKWAGEN(77));
    }

    void driverAndCompanyLookups_data() { engines(); }
    void driverAndCompanyLookups()
    {
        ENGINE();
        auto d = f.statements.ADOChauffeurs(u"1002"_s, 1);
        QVERIFY(d);
        QCOMPARE(d->value(u"chf_naam"_s).toString(), u"Jansen"_s);
        QVERIFY(!f.statements.ADOChauffeurs(u"1002"_s, 2));
        QVERIFY(!f.statements.ADOChauffeurs(u"9999"_s, 1));
        auto c = f.statements.ADOConstanten(1);
        QVERIFY(c);
        QCOMPARE(c->value(u"con_standaard_uren"_s).toInt(), 8);
        QCOMPARE(c->value(u"con_land"_s).toString().trimmed(), u"NL"_s);
        QVERIFY(!f.statements.ADOConstanten(5));
    }

    void shiftLookups_data() { engines(); }
    void shiftLookups()
    {
        ENGINE();
        QVERIFY(f.statements.ADOLSNDIENST(1, 1));
        QVERIFY(!f.statements.ADOLSNDIENST(1, 2));
        QCOMPARE(f.statements.ADODIENSTEINDE(1)->value(u"lsn_omschrijving"_s).toString(), u"Dienst Anna"_s);
        QVERIFY(!f.statements.ADODIENSTEINDE(2));
        QVERIFY(f.statements.ADOLSN(1));
        QVERIFY(!f.statements.ADOZOEKACTIEVERIT(1));

        f.run(u"UPDATE ritstaten SET lsn_actie = 'T', lsn_rit = 2 WHERE lsn_id = 1"_s);
        QVERIFY(f.statements.ADOZOEKACTIEVERIT(1));
        QVERIFY(!f.statements.ADOLSN(1));
        QCOMPARE(f.statements.ADOZoekWagenEnLSN(u"356000000000012"_s)->value(u"lsn_rit"_s).toInt(), 2);
        QVERIFY(!f.statements.ADOZoekWagenEnLSN(u"356000000000015"_s));

        // A closed shift is no longer found.
        f.run(u"UPDATE ritstaten SET lsn_status = 1 WHERE lsn_id = 1"_s);
        QVERIFY(!f.statements.ADODIENSTEINDE(1));
    }

    void countsAndMaxima_data() { engines(); }
    void countsAndMaxima()
    {
        ENGINE();
        QCOMPARE(f.statements.ADOZones(7)->value(u"Aantal"_s).toInt(), 0);
        f.run(u"UPDATE ritstaten SET lsn_taxizone = 7"_s);
        QCOMPARE(f.statements.ADOZones(7)->value(u"Aantal"_s).toInt(), 1);

        QVERIFY(f.statements.ADORITNUMMER(1)->value(u"waarde"_s).isNull());
        f.run(u"UPDATE planning SET pla_status = 'K', pla_wagen = 1 WHERE pla_id IN (1, 2)"_s);
        QCOMPARE(f.statements.ADORITNUMMER(1)->value(u"waarde"_s).toInt(), 2);
    }

    void rides_data() { engines(); }
    void rides()
    {
        ENGINE();
        auto r = f.statements.ADOPlanning(2);
        QVERIFY(r);
        QCOMPARE(r->value(u"pla_naam_reiziger"_s).toString(), u"Mevr. de Vries"_s);
        QCOMPARE(r->value(u"rei_naam"_s).toString(), u"Mevr. de Vries"_s);
        QCOMPARE(r->value(u"vpd_pasnummer"_s).toString(), u"ZV-40112"_s);
        // Without a passenger the joined columns are empty.
        r = f.statements.ADOPlanning(1);
        QVERIFY(r);
        QVERIFY(r->value(u"vpd_pasnummer"_s).isNull());
        QVERIFY(!f.statements.ADOPlanning(99));

        QCOMPARE(f.statements.ADORITUIT(3)->value(u"pla_extern"_s).toInt(), 70012345);
        QCOMPARE(f.statements.ADORITBIJWERKEN(3)->value(u"pla_eigenaar"_s).toString(), u"004"_s);
        QVERIFY(!f.statements.ADORITBIJWERKEN(0));
        // The computed date and time of the ride.
        QCOMPARE(r->value(u"pla_datumtijd"_s).toDateTime(), QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
    }

    void outgoingAndPolling_data() { engines(); }
    void outgoingAndPolling()
    {
        ENGINE();
        f.run(u"INSERT INTO berichtenbox (bbo_soort, bbo_wag_id, bbo_datum, bbo_verwerkt, bbo_pla_id, bbo_actie)"
              " VALUES (12, 2, '2026-12-08 08:00:00', 0, 2, 1)"_s);
        f.run(u"INSERT INTO berichtenbox (bbo_soort, bbo_wag_id, bbo_datum, bbo_verwerkt, bbo_pla_id, bbo_actie)"
              " VALUES (12, 2, '2026-12-08 07:00:00', 1, 3, 1)"_s);
        // The oldest pending one, with its vehicle.
        auto m = f.statements.ADOUitgaand();
        QVERIFY(m);
        QCOMPARE(m->value(u"bbo_pla_id"_s).toInt(), 2);
        QCOMPARE(m->value(u"wag_imei"_s).toString(), u"356000000000015"_s);
        f.statements.updateBerichtenbox(m->value(u"bbo_id"_s).toInt(), { { "bbo_verwerkt"_L1, 1 } });
        QCOMPARE(f.statements.ADOUitgaand()->value(u"bbo_pla_id"_s).toInt(), 1);

        // One request per open shift of a polled vehicle, in fleet-number order.
        f.run(u"INSERT INTO ritstaten (lsn_wag_id, lsn_status, lsn_actie) VALUES (2, 0, 'B')"_s);
        f.run(u"INSERT INTO ritstaten (lsn_wag_id, lsn_status, lsn_actie) VALUES (2, 0, 'B')"_s);
        f.run(u"INSERT INTO ritstaten (lsn_wag_id, lsn_status, lsn_actie) VALUES (3, 0, 'B')"_s);
        QStringList polled;
        for (const QSqlRecord &row : f.statements.ADOGPSPOL())
            polled << row.value(u"wag_ludor"_s).toString();
        QCOMPARE(polled, QStringList({ "12", "15", "15" }));
    }

    // Inserts write the columns given and leave the rest to the database's defaults.
    void insertsKeepDefaults_data() { engines(); }
    void insertsKeepDefaults()
    {
        ENGINE();
        const QString text120 = QString(120, u'x');
        f.statements.ADOMeldingen({ { "mel_status"_L1, 999 }, { "mel_opmerking"_L1, text120 } });
        QCOMPARE(f.scalar(u"SELECT mel_opmerking FROM Statusmeldingen"_s).toString(), QString(100, u'x'));
        QCOMPARE(f.scalar(u"SELECT mel_wagen FROM Statusmeldingen"_s).toInt(), 0);
        QVERIFY(!f.scalar(u"SELECT mel_datum FROM Statusmeldingen"_s).isNull());

        f.statements.ADORIT({ { "pla_status"_L1, u"K"_s },
                              { "pla_wagen"_L1, 1 },
                              { "pla_opmerking"_L1, u"it's a \"quoted\" remark; --"_s + QString(40, u'r') },
                              { "pla_km_map"_L1, decimalText(12.345) },
                              { "pla_tijdstip"_L1, f.clock.now() } });
        const QString last = u"SELECT %1 FROM planning WHERE pla_id = (SELECT MAX(pla_id) FROM planning)"_s;
        QCOMPARE(f.scalar(last.arg(u"pla_opmerking"_s)).toString(),
                 (u"it's a \"quoted\" remark; --"_s + QString(40, u'r')).left(50));
        QCOMPARE(f.scalar(last.arg(u"pla_rolstoel"_s)).toInt(), 0);
        QCOMPARE(f.scalar(last.arg(u"pla_tijdstip"_s)).toDateTime(), f.clock.now());

        f.statements.ADOGPS({ { "GPS_Imei"_L1, u"356000000000012"_s },
                              { "GPS_Latitude"_L1, decimalText(0.00125) },
                              { "GPS_Longitude"_L1, decimalText(0.00135) },
                              { "GPS_Statuscode"_L1, QString(30, u'A') } });
        QCOMPARE(f.scalar(u"SELECT GPS_Latitude FROM GPS"_s).toDouble(), 0.0012);
        QCOMPARE(f.scalar(u"SELECT GPS_Longitude FROM GPS"_s).toDouble(), 0.0014);
        QCOMPARE(f.scalar(u"SELECT GPS_Statuscode FROM GPS"_s).toString(), QString(20, u'A'));

        f.statements.ADOBerichtenInkomend({ { "bbo_soort"_L1, 3 }, { "bbo_code"_L1, u"OD1 aanvang dienst wagen"_s } });
        QCOMPARE(f.scalar(u"SELECT bbo_code FROM berichtenbox WHERE bbo_soort = 3"_s).toString(), u"OD1 aanvang dienst w"_s);
        QCOMPARE(f.scalar(u"SELECT bbo_verwerkt FROM berichtenbox WHERE bbo_soort = 3"_s).toInt(), 0);
    }

    void updatesAndCommands_data() { engines(); }
    void updatesAndCommands()
    {
        ENGINE();
        f.statements.updatePlanning(2, { { "pla_status"_L1, u"KX"_s }, { "pla_odo_start"_L1, decimalText(1203.455) } });
        QCOMPARE(f.scalar(u"SELECT pla_status FROM planning WHERE pla_id = 2"_s).toString(), u"K"_s);
        QCOMPARE(f.scalar(u"SELECT pla_status FROM planning WHERE pla_id = 1"_s).toString(), u"P"_s);

        f.statements.setRitstaatActie(1, u'K');
        QCOMPARE(f.scalar(u"SELECT lsn_actie FROM ritstaten WHERE lsn_id = 1"_s).toString(), u"K"_s);
        f.statements.updateRitstaat(1, { { "lsn_route"_L1, 1 } });
        f.statements.setRitstaatUnloaded(1);
        QCOMPARE(f.scalar(u"SELECT lsn_actie FROM ritstaten WHERE lsn_id = 1"_s).toString(), u"K"_s);
        f.statements.updateRitstaat(1, { { "lsn_route"_L1, 0 } });
        f.statements.setRitstaatUnloaded(1);
        QCOMPARE(f.scalar(u"SELECT lsn_actie FROM ritstaten WHERE lsn_id = 1"_s).toString(), u"L"_s);
        f.statements.setRitstaatActie(1, u'B');
        QCOMPARE(f.scalar(u"SELECT lsn_actie FROM ritstaten WHERE lsn_id = 1"_s).toString(), u"B"_s);

        f.statements.updateTaxizone(14, 1);
        QCOMPARE(f.scalar(u"SELECT lsn_taxizone FROM ritstaten WHERE lsn_id = 1"_s).toInt(), 14);
        const QDateTime stamped = f.scalar(u"SELECT lsn_taxizone_tijd FROM ritstaten WHERE lsn_id = 1"_s).toDateTime();
        QVERIFY(stamped.isValid());
        if (engine == "sqlite"_L1) // the server clock is the gateway's clock there
            QCOMPARE(stamped, f.clock.now());

        f.statements.insertTransactie(0, 1, 2, 1, 1, 7, u"Klant ingestapt '1'"_s);
        QCOMPARE(f.scalar(u"SELECT tra_code FROM TRANSACTIES"_s).toInt(), 7);
        QCOMPARE(f.scalar(u"SELECT tra_opmerking FROM TRANSACTIES"_s).toString(), u"Klant ingestapt '1'"_s);
        f.statements.routestatusControle(1);
    }

    void decimals_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << 12.5 << "12.5000";
        QTest::newRow("half to even, down") << 0.00125 << "0.0012";
        QTest::newRow("half to even, up") << 0.00135 << "0.0014";
        QTest::newRow("negative") << -3.25 << "-3.2500";
        QTest::newRow("negative below one") << -0.5 << "-0.5000";
        QTest::newRow("odometer") << 12034567.0 / 100 << "120345.6700";
        QTest::newRow("zero") << 0.0 << "0.0000";
    }
    void decimals()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(decimalText(value), text);
    }

    void statementsReuseOnePreparedQuery()
    {
        Db f(u"sqlite"_s);
        for (int i = 0; i < 3; ++i)
            QVERIFY(f.statements.ADOWagens(u"356000000000012"_s));
        // Reopening prepares again on the new connection.
        f.database.close();
        QVERIFY(f.statements.ADOWagens(u"356000000000012"_s));
    }

    void missingSqliteFileIsAnError()
    {
        Db f(u"sqlite"_s);
        f.settings.xLoginDatabase = u"nothere.sqlite"_s;
        QVERIFY_THROWS_EXCEPTION(DatabaseError, f.database.open());
        QVERIFY(!QFile::exists(QDir(f.dir.path()).filePath(u"nothere.sqlite"_s)));
        QVERIFY(!f.database.isOpen());
        f.settings.xDatabaseType = u"ORACLE"_s;
        QVERIFY_THROWS_EXCEPTION(DatabaseError, f.database.open());
    }

    // The connection test opens and closes; a failure is logged by the test and by the handler.
    void connectionTest()
    {
        Db f(u"sqlite"_s);
        QVERIFY(testConnection(f.database, f.log, f.errors));
        QVERIFY(!f.database.isOpen());

        f.settings = Settings(); // SQL Server through FreeTDS with every value empty
        QVERIFY(!testConnection(f.database, f.log, f.errors));
        QCOMPARE(f.log.lines().size(), 2);
        QCOMPARE(f.log.lines()[0], f.log.lines()[1]);
        QVERIFY(f.log.lines()[0].contains(u"M-> "_s));
        QVERIFY(!f.database.isOpen());
    }

    void dbnetlibMarkerClosesTheConnection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fromDatabase");
        QTest::addColumn<bool>("closes");
        QTest::newRow("marker") << "[DBNETLIB][ConnectionWrite (send()).]General network error." << true << true;
        QTest::newRow("lower case") << "[dbnetlib] general network error" << true << true;
        QTest::newRow("other error") << "Invalid column name 'x'." << true << false;
        // A host message quoted in an error of the link is no word of the database's.
        QTest::newRow("marker from the host") << "Veld 3 ontbreekt in [RS2_EV,[DBNETLIB]]" << false << false;
    }
    void dbnetlibMarkerClosesTheConnection()
    {
        QFETCH(QString, text);
        QFETCH(bool, fromDatabase);
        QFETCH(bool, closes);
        Db f(u"sqlite"_s);
        f.database.open();
        if (fromDatabase)
            f.errors.handle(DatabaseError(text, false));
        else
            f.errors.handle(KorvanError(text));
        QCOMPARE(f.log.lines().constLast().mid(15), u"M-> "_s + text);
        QCOMPARE(f.database.isOpen(), !closes);
    }

    void sqlServerTexts_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        QTest::newRow("FreeTDS, password with ; and }")
            << "FreeTDS" << "db01,1433" << "pa;ss}w=rd"
            << "DRIVER=FreeTDS;SERVER=db01;PORT=1433;DATABASE=ludor;UID=korvan;PWD={pa;ss}}w=rd};TDS_Version=7.4;";
        QTest::newRow("FreeTDS, host:port, empty password")
            << "FreeTDS" << "db01:2433" << "" << "DRIVER=FreeTDS;SERVER=db01;PORT=2433;DATABASE=ludor;UID=korvan;PWD=;TDS_Version=7.4;";
        QTest::newRow("password with a brace and blanks")
            << "FreeTDS" << "db01" << " {x} " << "DRIVER=FreeTDS;SERVER=db01;DATABASE=ludor;UID=korvan;PWD={ {x}} };TDS_Version=7.4;";
        QTest::newRow("Microsoft driver, named instance")
            << "ODBC Driver 17 for SQL Server" << "db01\\SQLEXPRESS" << "x"
            << "DRIVER=ODBC Driver 17 for SQL Server;SERVER=db01\\SQLEXPRESS;DATABASE=ludor;UID=korvan;PWD=x;";
        QTest::newRow("Microsoft driver, port") << "ODBC Driver 18 for SQL Server" << "10.1.1.5:1433" << "x"
                                                << "DRIVER=ODBC Driver 18 for SQL Server;SERVER={10.1.1.5,1433};DATABASE=ludor;UID=korvan;PWD=x;";
    }
    void sqlServerTexts()
    {
        QFETCH(QString, driver);
        QFETCH(QString, server);
        QFETCH(QString, password);
        QFETCH(QString, expected);
        QCOMPARE(Dialect::odbcConnectionString(driver, server, u"ludor"_s, u"korvan"_s, password), expected);
        const Dialect sqlServer(Dialect::Engine::SqlServer);
        QCOMPARE(sqlServer.driverName(), u"QODBC"_s);
        QCOMPARE(sqlServer.serverNow(), u"getdate()"_s);
        QCOMPARE(sqlServer.procedureCall(), u"EXEC PROC_ROUTESTATUS_CONTROLE ?"_s);
    }

    // Stopping the server under an open connection: the next statement's error says the
    // connection is lost and closes it; once the server is back, the next use opens it again.
    void lostConnection_data()
    {
        QTest::addColumn<QString>("driver");
        QTest::newRow("QPSQL") << "QPSQL";
        QTest::newRow("QODBC psqlODBC") << "QODBC";
    }
    void lostConnection()
    {
        QFETCH(QString, driver);
        FIXTURE_REQUIRE(u"postgresql"_s)
        Db f(u"postgresql"_s);
        if (driver == "QODBC"_L1) {
            f.settings.xDatabaseType = u"SQLSERVER"_s;
            f.settings.xOdbcDriver = u"PostgreSQL Unicode"_s;
        }
        QVERIFY(f.statements.ADOWagens(u"356000000000012"_s));
        QVERIFY(f.database.isOpen());

        QVERIFY(fixture::cluster()->stopServer());
        bool lost = false;
        try {
            f.statements.ADOWagens(u"356000000000012"_s);
        } catch (const DatabaseError &e) {
            lost = e.connectionLost();
            f.errors.handle(e);
        }
        QVERIFY(fixture::cluster()->startServer());
        QVERIFY(lost);
        QVERIFY(!f.database.isOpen());
        QVERIFY(!f.log.lines().isEmpty() && f.log.lines().constFirst().contains(u"M-> "_s));

        QVERIFY(f.statements.ADOWagens(u"356000000000012"_s));
        QVERIFY(f.database.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
