// The outgoing poller, position polling, the keep-alive and the test sends, on SQLite and
// PostgreSQL, with a host connected over loopback.
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "link/outqueue.h"
#include "notify/datagram.h"
#include "notify/notifiers.h"
#include "output/output.h"
#include "output/poller.h"
#include "output/polling.h"
#include "output/rideorder.h"
#include "support/dispatchsite.h"
#include "support/recorders.h"
#include "support/testhost.h"
#include "util/ansicodec.h"

#include <QNetworkDatagram>
#include <QTest>
#include <QUdpSocket>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Imei = u"356000000000012"_s; // vehicle 1 of the demo data, fleet number 12

// The dispatch output wired as the gateway wires it, over a fresh demo database.
struct Site : DispatchSite
{
    LinkState link;
    OutgoingQueue queue;
    DatabaseNotifier status { statements, errors };
    UdpNotifier udp { settings, errors };
    RecordingWork work; // no database work
    InboundDispatcher dispatcher { log, link, settings, errors, work, clock, regional };
    HostServer server { log, link, settings, status, errors, dispatcher, regional };
    bool closing = false;
    QueueTick tick { { settings, closing, queue, server, link, database, log, status, udp, errors, clock, regional } };
    Output output { statements, queue, log, settings, regional };
    OutgoingPoller poller { { statements, output, log, status, link, clock } };
    Polling polling { { settings, statements, queue, log, status, udp, server, clock, regional } };

    explicit Site(const QString &engine) : DispatchSite(engine, QDateTime(QDate(2026, 12, 8), QTime(21, 5, 9)))
    {
        regional.machineName = u"disp01"_s;
        settings.NotifyAddress.clear();
        settings.RamActive = true;
        settings.RamPoort = QString::number(fixture::freePort());
        log.setLogDir(dir.path());
        // The demo's ride order waits too; these tests bring their own rows.
        run(u"DELETE FROM berichtenbox"_s);
    }

    // A waiting message for the vehicle link.
    void waiting(int action, int ride, const QString &when, const QString &text = {}, int vehicle = 1)
    {
        run(u"INSERT INTO berichtenbox (bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code, bbo_datum, bbo_verwerkt, bbo_pakket,"
            " bbo_pla_id, bbo_actie) VALUES (12, 1, %1, 'X', '2026-12-08 %2', 0, '%3', %4, %5)"_s.arg(vehicle)
                .arg(when, text)
                .arg(ride)
                .arg(action));
    }
    // bbo_pla_id, bbo_verwerkt and whether bbo_datum is the processing time, oldest first.
    QStringList messages()
    {
        return rows(u"SELECT bbo_pla_id, bbo_verwerkt, CASE WHEN bbo_datum > '2026-12-08 21:00:00' THEN 'nu' ELSE 'oud' END"
                    " FROM berichtenbox ORDER BY bbo_id"_s);
    }
    QStringList statusTexts() { return rows(u"SELECT mel_opmerking FROM Statusmeldingen ORDER BY mel_id"_s); }

    // Switches the listener on and connects a host, so the driver lamp is on.
    std::unique_ptr<TestHost> connectHost()
    {
        tick.tick();
        auto host = std::make_unique<TestHost>(server.port());
        if (!QTest::qWaitFor([&] { return !host->received.isEmpty(); }, 5000))
            return {};
        host->take();
        run(u"DELETE FROM Statusmeldingen"_s);
        return host;
    }
};

} // namespace

class TestPoller : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void noHostNothingRuns_data() { fixture::engineColumn(); }
    void noHostNothingRuns()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        f.waiting(1, 1, u"09:00:00"_s);
        f.poller.tick();
        QVERIFY(f.queue.isEmpty());
        QVERIFY(f.log.lines().isEmpty());
        QCOMPARE(f.messages(), QStringList { "1|0|oud" });
    }

    // Three rides, inserted newest first: they go oldest first, one a tick, and each reaches
    // the host whole on a queue tick.
    void threeRowsOldestFirst_data() { fixture::engineColumn(); }
    void threeRowsOldestFirst()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(1, 3, u"09:02:00"_s);
        f.waiting(1, 2, u"09:01:00"_s);
        f.waiting(1, 1, u"09:00:00"_s);
        for (int ride : { 1, 2, 3 }) {
            const qsizetype from = f.log.lines().size();
            f.poller.tick();
            QCOMPARE(f.queue.size(), 1);
            const QString expected = timOrderText(RideRecord::fromRecord(*f.statements.ADOPlanning(ride)), Imei, f.settings);
            QCOMPARE(f.queue.first(), expected);
            QCOMPARE(f.texts(from), QStringList { u"M-> Verzenden ritnummer %1"_s.arg(ride) });
            f.tick.tick();
            QVERIFY(f.queue.isEmpty());
            QTRY_COMPARE(host->received, AnsiCodec::instance().encode(expected));
            host->take();
        }
        QCOMPARE(f.messages(), QStringList({ "3|1|nu", "2|1|nu", "1|1|nu" }));
        // A ride order posts no status message.
        QVERIFY(f.statusTexts().isEmpty());
        f.poller.tick();
        QVERIFY(f.queue.isEmpty());
    }

    // A row without a time counts as the oldest, on every engine alike.
    void rowWithoutTimeGoesFirst_data() { fixture::engineColumn(); }
    void rowWithoutTimeGoesFirst()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(1, 1, u"09:00:00"_s);
        f.run(u"INSERT INTO berichtenbox (bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_verwerkt, bbo_pla_id, bbo_actie)"
              " VALUES (12, 1, 1, 0, 2, 1)"_s);
        f.run(u"UPDATE berichtenbox SET bbo_datum = NULL WHERE bbo_pla_id = 2"_s);
        f.poller.tick();
        QCOMPARE(f.queue.size(), 1);
        QCOMPARE(f.queue.first(), timOrderText(RideRecord::fromRecord(*f.statements.ADOPlanning(2)), Imei, f.settings));
    }

    void undo_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<bool>("viaRit");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("logged");
        const QStringList rows = { "sqlite", "postgresql" };
        for (const QString &engine : rows) {
            QTest::addRow("%s GRO_DEL", qPrintable(engine)) << engine << false << "[RS2_GRO_DEL,356000000000012,0002]"
                                                            << "Ongedaan RS2_GRO_DEL rit 2 aangemaakt voor 356000000000012";
            QTest::addRow("%s RIT", qPrintable(engine)) << engine << true << "[RS2_RIT,356000000000012,> Ongedaan: 2\r\n]"
                                                        << "Ongedaan RS2_RIT rit 2 aangemaakt voor 356000000000012";
        }
    }
    void undo()
    {
        FIXTURE_ENGINE();
        QFETCH(bool, viaRit);
        QFETCH(QString, message);
        QFETCH(QString, logged);
        Site f(engine);
        f.settings.GRODELRIT = viaRit;
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(2, 2, u"09:00:00"_s);
        const qsizetype from = f.log.lines().size();
        f.poller.tick();
        QCOMPARE(f.queue.messages(), QStringList { message });
        QCOMPARE(f.texts(from), QStringList({ logged, u"M-> Ongedaan maken ritnummer 2"_s }));
        QCOMPARE(f.statusTexts(), QStringList { u"Ongedaan maken toewijzing verzonden rit 2"_s });
        QCOMPARE(f.messages(), QStringList { "2|1|nu" });
    }

    // The connection goes while the chat's row is marked: the failure is logged, nothing is
    // queued or kept, and the row waits for the database to be back.
    void chatWhoseMarkingLosesTheConnection_data() { fixture::engineColumn(); }
    void chatWhoseMarkingLosesTheConnection()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(99, 0, u"09:00:00"_s, u"Bel de centrale"_s);
        QObject::connect(&f.database, &Database::aboutToRun, [&](const QString &sql) {
            if (sql.startsWith(u"UPDATE berichtenbox"_s))
                f.database.close();
        });
        const qsizetype from = f.log.lines().size();
        f.errors.guard([&] { f.poller.tick(); });
        QVERIFY2(f.texts(from).contains(u"M-> Chatbericht verzenden is mislukt"_s), qPrintable(f.texts(from).join(u'\n')));
        QVERIFY(f.queue.isEmpty());
        QCOMPARE(f.messages(), QStringList { "0|0|oud" });
    }

    void chat_data() { fixture::engineColumn(); }
    void chat()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(99, 0, u"09:00:00"_s, u"ja, graag"_s);
        const qsizetype from = f.log.lines().size();
        f.poller.tick();
        QCOMPARE(f.queue.messages(), QStringList { u"[RS2_VRY,356000000000012,DE2ja  graag\r\n]"_s });
        QCOMPARE(f.texts(from), QStringList({ u"Chatbericht aangemaakt voor 356000000000012"_s,
                                              u"M-> Chatbericht verzenden werd verzonden"_s }));
        QCOMPARE(f.statusTexts(), QStringList { u"Chatbericht werd verzonden"_s });
        QCOMPARE(f.messages(), QStringList { "0|1|nu" });
    }

    // Rows that can never be sent are marked processed with a reason, so the next row goes.
    void rowsThatCanNeverBeSent_data() { fixture::engineColumn(); }
    void rowsThatCanNeverBeSent()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        const auto host = f.connectHost();
        QVERIFY(host);
        f.waiting(5, 1, u"09:00:00"_s);
        f.waiting(1, 999, u"09:01:00"_s);
        f.waiting(2, 998, u"09:02:00"_s);
        f.waiting(1, 1, u"09:03:00"_s);
        // A message for a vehicle that no longer exists is never selected and blocks nothing.
        f.waiting(99, 0, u"08:00:00"_s, u"weg"_s, 77);
        for (int i = 0; i < 4; ++i)
            f.poller.tick();
        const int first = f.scalar(u"SELECT MIN(bbo_id) FROM berichtenbox"_s).toInt();
        const QStringList skipped { u"Bericht %1 overgeslagen: onbekende actie 5"_s.arg(first),
                                    u"Bericht %1 overgeslagen: rit 999 bestaat niet"_s.arg(first + 1),
                                    u"Bericht %1 overgeslagen: rit 998 bestaat niet"_s.arg(first + 2) };
        QCOMPARE(f.texts().filter(u"overgeslagen"_s), QStringList({ "M-> " + skipped[0], "M-> " + skipped[1], "M-> " + skipped[2] }));
        QCOMPARE(f.statusTexts(), skipped);
        QCOMPARE(f.queue.size(), 1);
        QVERIFY(f.queue.first().startsWith(u"[RS2_GR2,0012,0001"_s));
        QCOMPARE(f.messages(), QStringList({ "1|1|nu", "999|1|nu", "998|1|nu", "1|1|nu", "0|0|oud" }));
    }

    void polling_data() { fixture::engineColumn(); }
    void polling()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        // Three polled vehicles on shift, fleet number 15 with two open shifts; 21 has no GPS.
        f.run({ u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei, wag_kenteken, wag_type, wag_dat_id, wag_gps)"
                " VALUES (13, 1, '356000000000013', 'X', 'T', 12, 1)"_s,
                u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie) VALUES (1, 2, 2, 0, 'B')"_s,
                u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie) VALUES (1, 2, 3, 0, 'B')"_s,
                u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie) VALUES (1, 3, 3, 0, 'B')"_s,
                u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie) VALUES (1, 4, 3, 0, 'B')"_s });

        f.polling.PollenTimer(); // RGD off
        f.settings.RGD = true;
        f.polling.PollenTimer(); // not listening
        QVERIFY(f.queue.isEmpty());
        QVERIFY(f.log.lines().isEmpty());

        f.tick.tick(); // listening, no host yet: requests are queued all the same
        const qsizetype from = f.log.lines().size();
        f.polling.PollenTimer();
        const QStringList imeis { u"356000000000012"_s, u"356000000000013"_s, u"356000000000015"_s, u"356000000000015"_s };
        QStringList requests, lines;
        for (const QString &imei : imeis) {
            requests << u"[RS2_RGD_REQ,"_s + imei + u']';
            lines << u"GPS pakket aangemaakt voor "_s + imei;
        }
        QCOMPARE(f.queue.messages(), requests);
        QCOMPARE(f.texts(from), lines);
    }

    void testSends_data() { fixture::engineColumn(); }
    void testSends()
    {
        FIXTURE_ENGINE();
        Site f(engine);
        f.polling.sendPositionTest(u"0042"_s);
        QCOMPARE(f.queue.messages(), QStringList { u"[RS2_RGD_REQ,0042]"_s });
        QVERIFY(f.log.lines().isEmpty());

        f.polling.sendVoiceTest(u"3"_s);
        QCOMPARE(f.texts(), QStringList { u"M-> Testoproep spraak werd aangeboden"_s });
        QCOMPARE(f.rows(u"SELECT mel_status, mel_wagen, mel_ritnummer, mel_chauffeur, mel_opmerking FROM Statusmeldingen"_s),
                 QStringList { u"1000|3|0|0|"_s });

        QVERIFY(f.output.Tim_enkel(u"1"_s, u"0042"_s));
        QVERIFY(f.output.GRO_enkel(u"1"_s, u"0042"_s));
        QVERIFY(!f.output.Tim_enkel(u"999"_s, u"0042"_s));
        QVERIFY_THROWS_EXCEPTION(KorvanError, f.output.GRO_enkel(u"1 OR 1=1"_s, u"0042"_s));
        QCOMPARE(f.queue.size(), 3);
        QVERIFY(f.queue.messages()[1].startsWith(u"[RS2_GR2,0042,0001"_s));
        QVERIFY(f.queue.messages()[2].startsWith(u"[RS2_GRO,0042,0001O:$0109\r\n"_s));

        f.database.close();
        f.settings.xLoginDatabase = u"gone"_s;
        f.settings.xLoginServer = u"127.0.0.1:1"_s;
        f.polling.sendVoiceTest(u"3"_s);
        QCOMPARE(f.texts().constLast(), u"M-> Testoproep spraak is mislukt"_s);
    }

    // The keep-alive's datagram, byte for byte: ciphered with the network key, and plain
    // with an empty one.
    void keepAlive_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("ciphered") << "vemrix";
        QTest::newRow("empty key") << "";
    }
    void keepAlive()
    {
        QFETCH(QString, key);
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(21, 5, 9)));
        Regional regional;
        regional.machineName = u"disp01"_s;
        Settings settings;
        settings.ssl_key = key;
        QUdpSocket workstation;
        QVERIFY(workstation.bind(QHostAddress::LocalHost, 0));
        settings.NotifyAddress = u"127.0.0.1"_s;
        settings.NotifyPort = QString::number(workstation.localPort());
        Log log(clock, regional);
        ApplicationErrors errors(log);
        UdpNotifier udp(settings, errors);
        QTemporaryDir dir;
        Database database(settings, dir.path(), clock);
        Statements statements(database);
        DatabaseNotifier status(statements, errors);
        OutgoingQueue queue;
        LinkState link;
        RecordingWork work; // no database work
        InboundDispatcher dispatcher(log, link, settings, errors, work, clock, regional);
        HostServer server(log, link, settings, status, errors, dispatcher, regional);
        Polling polling({ settings, statements, queue, log, status, udp, server, clock, regional });

        polling.AortaTimer();
        QVERIFY(workstation.waitForReadyRead(5000));
        const QByteArray datagram = workstation.receiveDatagram().data();
        const QByteArray plain = "922,20261208210509,DISP01,TIMFFFFFFF,#0000#";
        QCOMPARE(cipherDatagram(datagram, key.toLatin1()), plain);
        QCOMPARE(datagram == plain, key.isEmpty());
        QVERIFY(log.lines().isEmpty());

        // Without an address nothing goes out, and the log says so once per silence.
        const QString silent = u"M-> Geen netwerkadres voor meldingen ingesteld: de keep-alive (922) wordt niet verzonden"_s;
        settings.NotifyAddress.clear();
        polling.AortaTimer();
        polling.AortaTimer();
        QCOMPARE(log.lines().size(), 1);
        QCOMPARE(log.lines().first().mid(15), silent);
        settings.NotifyAddress = u"127.0.0.1"_s;
        polling.AortaTimer();
        QVERIFY(workstation.waitForReadyRead(5000));
        settings.NotifyAddress = u" "_s;
        polling.AortaTimer();
        QCOMPARE(log.lines().size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestPoller)
#include "tst_poller.moc"
