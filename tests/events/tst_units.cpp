// Every message is one unit of work, on SQLite and PostgreSQL: the connection ended before each
// statement of an event leaves no reply, no row, no file and no queued message, and the resend
// then stores exactly one event; a step that the event survives fails under its savepoint and
// leaves the rest stored and acknowledged.
#include "events/eventtable.h"
#include "handlers.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "link/outqueue.h"
#include "notify/notifiers.h"
#include "notify/statusxml.h"
#include "output/output.h"
#include "support/dbfixture.h"
#include "support/dispatchsite.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <QUuid>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the events write, without the columns the server fills from its own clock.
const QStringList Tables {
    u"SELECT pla_id, pla_wagen, pla_chauffeur, pla_lsn, pla_status, pla_spoed, pla_pasnummer, pla_opmerking, pla_km_map,"
    " pla_bedrag_1, pla_odo_start, pla_odo_stop, pla_tijdstip_bestemmen, pla_tijdstip_vrijmelden, pla_wachtseconden,"
    " pla_retour_rbs FROM planning ORDER BY pla_id"_s,
    u"SELECT lsn_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_aanvang, lsn_einde, lsn_kilometerstand_aanvang,"
    " lsn_kilometerstand_einde, lsn_rit, lsn_route, lsn_taxizone FROM ritstaten ORDER BY lsn_id"_s,
    u"SELECT tra_id, tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code, tra_opmerking FROM TRANSACTIES ORDER BY tra_id"_s,
    u"SELECT * FROM GPS ORDER BY GPS_id"_s,
    u"SELECT mel_id, mel_status, mel_ritnummer, mel_wagen, mel_chauffeur, mel_opmerking FROM Statusmeldingen ORDER BY mel_id"_s,
    u"SELECT bbo_id, bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code, bbo_verwerkt, bbo_pla_id, bbo_actie FROM berichtenbox ORDER BY bbo_id"_s,
};
// Their keys: PostgreSQL spends an identity value on an insert that is rolled back.
const QStringList Keys { u"planning.pla_id"_s, u"ritstaten.lsn_id"_s, u"TRANSACTIES.tra_id"_s, u"GPS.GPS_id"_s,
                         u"Statusmeldingen.mel_id"_s, u"berichtenbox.bbo_id"_s };

// Ride 3 (owner "004", external order 70012345) with vehicle 12 and ritstaat 1, both in `status`.
QStringList ride3(char status)
{
    return { u"UPDATE planning SET pla_status = '%1', pla_wagen = 1, pla_chauffeur = 1, pla_lsn = 1 WHERE pla_id = 3"_s.arg(status),
             u"UPDATE ritstaten SET lsn_actie = '%1', lsn_rit = 3 WHERE lsn_id = 1"_s.arg(status) };
}
const QStringList Ride3OnTheWay = ride3('T');
const QStringList Ride3OnBoard = ride3('K');
// Ride 2 offered to vehicle 12.
const QStringList Ride2Offered {
    u"UPDATE planning SET pla_status = 'T', pla_wagen = 1, pla_chauffeur = 1, pla_lsn = 1 WHERE pla_id = 2"_s,
    u"UPDATE ritstaten SET lsn_rit = 2 WHERE lsn_id = 1"_s,
};
// Vehicle 42 (identity "0042", wag_id 4) on shift with ritstaat 2, taking ride 3 to its destination.
const QStringList Vehicle42 {
    u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei, wag_kenteken) VALUES (42, 1, '0042', '42-XY-1')"_s,
    u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_rit) VALUES (1, 4, 2, 0, 'T', 3)"_s,
    u"UPDATE planning SET pla_status = 'K', pla_wagen = 4, pla_chauffeur = 2, pla_lsn = 2 WHERE pla_id = 3"_s,
};

// The link's read side as the gateway wires it, with the real handlers, status rows, export
// and outgoing queue, over a fresh dispatch database.
struct Site : DispatchSite
{
    LinkState link;
    DatabaseNotifier status { statements, errors };
    LastPosition position;
    StatusExport exporter { settings, clock, regional, dir.path() };
    OutgoingQueue queue;
    Output output { statements, queue, log, settings, regional };
    VehicleEvents events { { statements, log, status, errors, settings, clock, position, exporter,
                             [this](const QString &text, const QString &vehicle) { return output.VerzendenChat(text, vehicle); } } };
    InboundDispatcher dispatcher { log, link, settings, errors, events, clock, regional };
    RecordingConnection host;

    QStringList sent;  // every statement the gateway sent, in order
    qsizetype cut = 0; // the connection ends before statement `cut`, counted from 1

    Site(const QString &engine, const QStringList &setup, const QString &flags)
        : DispatchSite(engine, QDateTime(QDate(2025, 12, 31), QTime(10, 0, 0)))
    {
        run(setup);
        applyFlags(settings, flags);
        settings.xVXLUitgaand = dir.filePath(u"uit"_s);
        QDir().mkpath(settings.xVXLUitgaand);
        settings.VXLBackup = false;
        QObject::connect(&database, &Database::aboutToRun, [this](const QString &sql) {
            sent << sql;
            if (sent.size() == cut)
                endConnection();
        });
    }

    ~Site()
    {
        if (!QSqlDatabase::contains(adminName()))
            return;
        QSqlDatabase::database(adminName(), false).close();
        QSqlDatabase::removeDatabase(adminName());
    }

    void receive(const QByteArray &message)
    {
        sent.clear();
        host.writes.clear();
        dispatcher.onRead(host, QString::fromLatin1(message));
    }

    // Ends the gateway's session as a failover does: the server ends it, or SQLite's file
    // connection goes.
    void endConnection()
    {
        if (settings.xDatabaseType != u"POSTGRESQL"_s) {
            database.close();
            return;
        }
        adminRun(u"SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = current_database()"
                 " AND pid <> pg_backend_pid()"_s);
        for (int i = 0; i < 500 && adminScalar(u"SELECT count(*) FROM pg_stat_activity WHERE datname = current_database()"
                                                u" AND pid <> pg_backend_pid()"_s) != 0;
             ++i)
            QThread::msleep(2);
    }

    QStringList snapshot()
    {
        QStringList out;
        for (const QString &sql : Tables)
            out << rows(sql).join(u';');
        return out;
    }
    QStringList files() const { return QDir(settings.xVXLUitgaand).entryList(QDir::Files, QDir::Name); }

    // Identity values as they were before the rolled-back attempt, so that the resend's rows
    // can be compared with a clean run's, keys and all.
    void rewindKeys()
    {
        if (settings.xDatabaseType != u"POSTGRESQL"_s)
            return;
        for (const QString &key : Keys) {
            const QString table = key.section(u'.', 0, 0), column = key.section(u'.', 1);
            run(u"SELECT setval(pg_get_serial_sequence('%1', '%2'), COALESCE(MAX(%2), 0) + 1, false) FROM %1"_s.arg(table.toLower(), column.toLower()));
        }
    }

private:
    QString adminName() const { return u"admin-"_s + settings.xLoginDatabase; }
    QSqlDatabase admin()
    {
        const QString name = adminName();
        if (QSqlDatabase::contains(name))
            return QSqlDatabase::database(name);
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        db.setHostName(u"127.0.0.1"_s);
        db.setPort(fixture::cluster()->port());
        db.setUserName(fixture::cluster()->user());
        db.setDatabaseName(settings.xLoginDatabase);
        if (!db.open())
            qFatal("admin connection: %s", qPrintable(db.lastError().text()));
        return db;
    }
    void adminRun(const QString &sql) { fixture::run(admin(), sql); }
    int adminScalar(const QString &sql) { return fixture::scalar(admin(), sql).toInt(); }
};

QString joined(const QStringList &list)
{
    return list.join(u" | "_s);
}

} // namespace

class TestUnits : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void connectionEndsBeforeEachStatement_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("message");
        const QStringList none;
        engineRow("OD1 shift start", none, u"MapPointOK apxod1"_s,
                  QByteArray("[RS2_EV,356000000000015,OD1,+12034550,0,1002,91437890,8529620]"));
        engineRow("SD1 shift end", none, u"MapPointOK APXSD1"_s, QByteArray("[RS2_EV,356000000000012,SD1,+12047000,0,91437890,8529620]"));
        engineRow("WOB declined", Ride2Offered, QString(), QByteArray("[RS2_EV,356000000000012,WOB]"));
        engineRow("GRO_TNACK refusal", Ride2Offered, QString(), QByteArray("[RS2_GRO_TNACK,356000000000012,0002]"));
        engineRow("NOTRANSFER refusal", Vehicle42, QString(), QByteArray("[RS2_NOTRANSFER,0042]"));
        engineRow("SV1 on a ride", Ride3OnTheWay, u"MapPointOK apxsv1 WachtSecondenGebruik"_s,
                  QByteArray("[RS2_EV,356000000000012,SV1,+12035000,0,0,91437890,8529620,1001,0,300,3]"));
        engineRow("SV1 street hail", none, u"MapPointOK apxsv1"_s,
                  QByteArray("[RS2_EV,356000000000012,SV1,+12046000,0,0,91437890,8529620,1001,0,250,0]"));
        engineRow("BV1 release", Ride3OnBoard, u"MapPointOK apxsv1 APXBV1"_s,
                  QByteArray("[RS2_EV,356000000000012,BV1,4250,0,0,0,0,6450,50,0,0,91550000,8550000,3]"));
        engineRow("EST 10 released by hand", Ride3OnBoard, QString(), QByteArray("[RS2_EV,356000000000012,EST,10]"));
        engineRow("AS1 zone change with chat", none, u"Zones ZonesPositie"_s, QByteArray("[RS2_EV,356000000000012,AS1,0,0,7]"));
        engineRow("GRO_LOOS unloading", Vehicle42, u"Loosmelden"_s, QByteArray("[RS2_GRO_LOOS,0042,00000003]"));
        engineRow("RGD position report", Vehicle42, u"MapPointOK"_s, QByteArray("[RS2_RGD,0042,A,91437890,8529620]"));
        // Events whose only row is a status message.
        engineRow("BOB without a ride", none, QString(), QByteArray("[RS2_EV,356000000000012,BOB]"));
        engineRow("EST 2", none, QString(), QByteArray("[RS2_EV,356000000000012,EST,2]"));
        engineRow("SO1", none, QString(), QByteArray("[RS2_EV,356000000000012,SO1]"));
    }
    void connectionEndsBeforeEachStatement()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, flags);
        QFETCH(QByteArray, message);

        // The event once, undisturbed: what one event stores, writes and queues.
        QStringList before, after, statements, reply, files, queued;
        {
            Site clean(engine, setup, flags);
            before = clean.snapshot();
            clean.receive(message);
            statements = clean.sent;
            reply = clean.host.writes;
            after = clean.snapshot();
            files = clean.files();
            queued = clean.queue.messages();
        }
        QVERIFY2(!reply.isEmpty(), "the event is acknowledged");
        QVERIFY2(after != before, "the event stores rows");
        QVERIFY2(statements.size() >= 3 && statements.first().startsWith(u"BEGIN"_s) && statements.last().startsWith(u"COMMIT"_s),
                 qPrintable(joined(statements)));

        for (qsizetype k = 1; k <= statements.size(); ++k) {
            const QString where = u"connection ended before statement %1, %2"_s.arg(k).arg(statements[k - 1]);
            Site site(engine, setup, flags);
            site.cut = k;
            site.receive(message);
            QVERIFY2(site.host.writes.isEmpty(), qPrintable(where + u": replied "_s + joined(site.host.writes)));
            QVERIFY2(site.snapshot() == before, qPrintable(where + u": rows left "_s + joined(site.snapshot())));
            QVERIFY2(site.files().isEmpty(), qPrintable(where + u": files "_s + joined(site.files())));
            QVERIFY2(site.queue.isEmpty(), qPrintable(where + u": queued "_s + joined(site.queue.messages())));

            // The host sends it again, to a database that is back.
            site.cut = 0;
            site.rewindKeys();
            site.receive(message);
            QVERIFY2(site.host.writes == reply, qPrintable(where + u", resent: replied "_s + joined(site.host.writes)));
            QVERIFY2(site.snapshot() == after,
                     qPrintable(where + u", resent: rows\n"_s + site.snapshot().join(u'\n') + u"\nexpected\n"_s + after.join(u'\n')));
            QVERIFY2(site.files() == files, qPrintable(where + u", resent: files "_s + joined(site.files())));
            QVERIFY2(site.queue.messages() == queued, qPrintable(where + u", resent: queued "_s + joined(site.queue.messages())));
        }
    }

    // A step that the event survives fails for real; the rest of the event is stored and acknowledged.
    void caughtStepFails_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("breakage");   // run before the message
        QTest::addColumn<QStringList>("checks"); // queries
        QTest::addColumn<QStringList>("rows");   // per query, its rows joined by ";"
        QTest::addColumn<QStringList>("files");
        const QString ride3 = u"SELECT pla_status, pla_bedrag_1, pla_km_map FROM planning WHERE pla_id = 3"_s;
        const QString ritstaat1 = u"SELECT lsn_actie, lsn_rit FROM ritstaten WHERE lsn_id = 1"_s;
        const QString transactions = u"SELECT tra_ritstaat, tra_rit, tra_code FROM TRANSACTIES"_s;
        const QString statusTexts = u"SELECT mel_opmerking FROM Statusmeldingen ORDER BY mel_id"_s;
        const QString positions = u"SELECT GPS_Statuscode FROM GPS"_s;
        const QString boarded = u"Klant ingestapt in wagen 12"_s;
        const QString ended = u"Chauffeur in 356000000000012 melding einde rit"_s;

        engineRow("release, export directory missing", Ride3OnBoard, u"MapPointOK apxsv1 APXBV1"_s,
                  QByteArray("[RS2_EV,356000000000012,BV1,4250,0,0,0,0,6450,50,0,0,91550000,8550000,3]"), u"export"_s,
                  QStringList { ride3, ritstaat1, transactions, statusTexts, positions },
                  QStringList { u"V|65|4250"_s, u"B|3"_s, u"1|3|8"_s, ended, u"BV1"_s }, QStringList());
        engineRow("boarding, transaction log missing", Ride3OnTheWay, u"MapPointOK apxsv1"_s,
                  QByteArray("[RS2_EV,356000000000012,SV1,+12035000,0,0,91437890,8529620,1001,0,300,3]"),
                  u"ALTER TABLE TRANSACTIES RENAME TO TRANSACTIES_weg"_s, QStringList { ride3, ritstaat1, statusTexts, positions },
                  QStringList { u"K|0|0"_s, u"K|3"_s, boarded, u"SV1"_s }, QStringList { u"Ludor_12_70012345_0120.xml"_s });
        engineRow("boarding, status messages missing", Ride3OnTheWay, u"MapPointOK apxsv1"_s,
                  QByteArray("[RS2_EV,356000000000012,SV1,+12035000,0,0,91437890,8529620,1001,0,300,3]"),
                  u"ALTER TABLE Statusmeldingen RENAME TO Statusmeldingen_weg"_s, QStringList { ride3, ritstaat1, transactions, positions },
                  QStringList { u"K|0|0"_s, u"K|3"_s, u"1|3|7"_s, u"SV1"_s }, QStringList { u"Ludor_12_70012345_0120.xml"_s });
        engineRow("shift start, positions missing", QStringList(), u"MapPointOK apxod1"_s,
                  QByteArray("[RS2_EV,356000000000015,OD1,+12034550,0,1002,91437890,8529620]"),
                  u"ALTER TABLE GPS RENAME TO GPS_weg"_s,
                  QStringList { u"SELECT lsn_wag_id, lsn_chf_id, lsn_actie FROM ritstaten WHERE lsn_id = 2"_s, statusTexts },
                  QStringList { u"2|2|B"_s, u"Aanvang dienst Piet Jansen"_s }, QStringList());
    }
    void caughtStepFails()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, flags);
        QFETCH(QByteArray, message);
        QFETCH(QString, breakage);
        QFETCH(QStringList, checks);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, files);

        Site site(engine, setup, flags);
        if (breakage == u"export"_s)
            site.settings.xVXLUitgaand = site.dir.filePath(u"ontbreekt"_s);
        else
            site.run(breakage);
        const qsizetype logged = site.log.lines().size();
        site.receive(message);
        QCOMPARE(site.host.writes, QStringList { u"[RS2_EV_ACK]"_s });
        for (qsizetype i = 0; i < checks.size(); ++i)
            QCOMPARE(site.rows(checks[i]).join(u';'), rows[i]);
        QCOMPARE(site.files(), files);
        // The failure is the operator's to read.
        const QStringList log = site.texts(logged);
        QVERIFY2(std::any_of(log.begin(), log.end(),
                             [&](const QString &line) {
                                 return line.startsWith(u"M-> "_s)
                                     && (breakage == u"export"_s ? line.contains(u"Ludor_14_70012345"_s)
                                                                 : line.contains(breakage.section(u' ', 2, 2), Qt::CaseInsensitive));
                             }),
                 qPrintable(log.join(u'\n')));
    }

    // The server ends the transaction on a step's error, as a T-SQL server does with a deadlock
    // victim: the savepoint is gone, so the step cannot be undone alone. Nothing more of the
    // message runs, none of it is stored, and it gets no reply.
    void stepThatCannotBeUndoneEndsTheMessage_data()
    {
        QTest::addColumn<QString>("engine");
        for (const char *engine : { "sqlite", "postgresql" })
            QTest::newRow(engine) << QString::fromLatin1(engine);
    }
    void stepThatCannotBeUndoneEndsTheMessage()
    {
        FIXTURE_ENGINE();
        Site site(engine, Ride3OnTheWay, u"MapPointOK apxsv1"_s);
        const QStringList before = site.snapshot();
        site.run(u"ALTER TABLE Statusmeldingen RENAME TO Statusmeldingen_weg"_s);
        const auto hook = QObject::connect(&site.database, &Database::aboutToRun, [&](const QString &sql) {
            if (sql.startsWith(u"ROLLBACK TO"_s))
                QSqlQuery(site.database.connection()).exec(u"ROLLBACK"_s);
        });
        const qsizetype logged = site.log.lines().size();
        site.receive("[RS2_EV,356000000000012,SV1,+12035000,0,0,91437890,8529620,1001,0,300,3]");
        QObject::disconnect(hook);
        QVERIFY(site.host.writes.isEmpty());
        QVERIFY(site.files().isEmpty());
        site.run(u"ALTER TABLE Statusmeldingen_weg RENAME TO Statusmeldingen"_s);
        QCOMPARE(site.snapshot(), before);
        QVERIFY2(site.texts(logged).contains(
                     u"M-> Een fout kon niet worden teruggedraaid; de verwerking is afgebroken en er is niets van opgeslagen"_s),
                 qPrintable(site.texts(logged).join(u'\n')));
        // The connection itself is sound: the next message is stored as usual.
        site.receive("[RS2_EV,356000000000012,SV1,+12035000,0,0,91437890,8529620,1001,0,300,3]");
        QCOMPARE(site.host.writes, QStringList { u"[RS2_EV_ACK]"_s });
        QCOMPARE(site.rows(u"SELECT pla_status FROM planning WHERE pla_id = 3"_s), QStringList { u"K"_s });
    }

    // A dispatch workstation reading the embedded database in a long transaction does not hold
    // up an event's commit, nor does the commit disturb what the workstation reads.
    void readerDoesNotHoldUpAnEvent()
    {
        Site site(u"sqlite"_s, {}, u"MapPointOK apxsv1"_s);
        site.database.ensureOpen();
        const QString name = u"workstation"_s;
        {
            QSqlDatabase reader = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            reader.setDatabaseName(site.dir.filePath(site.settings.xLoginDatabase));
            QVERIFY(reader.open());
            fixture::run(reader, u"BEGIN"_s);
            QCOMPARE(fixture::scalar(reader, u"SELECT COUNT(*) FROM planning"_s).toInt(), 3);

            site.receive("[RS2_EV,356000000000012,SV1,+12046000,0,0,91437890,8529620,1001,0,250,0]");
            QCOMPARE(site.host.writes, QStringList { u"[RS2_EV_ACK]"_s });
            QCOMPARE(fixture::scalar(reader, u"SELECT COUNT(*) FROM planning"_s).toInt(), 3);
            fixture::run(reader, u"COMMIT"_s);
            QCOMPARE(fixture::scalar(reader, u"SELECT COUNT(*) FROM planning"_s).toInt(), 4);
            QCOMPARE(fixture::scalar(reader, u"PRAGMA journal_mode"_s).toString(), u"wal"_s);
        }
        QSqlDatabase::removeDatabase(name);
    }
};

QTEST_GUILESS_MAIN(TestUnits)
#include "tst_units.moc"
