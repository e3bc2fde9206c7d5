// The queue tick: the listener following RamActive and the database, the lamps, sending one
// queued message per tick, and the queue-full warning.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "link/outqueue.h"
#include "log/log.h"
#include "notify/datagram.h"
#include "notify/notifiers.h"
#include "support/dbfixture.h"
#include "support/recorders.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Fixture
{
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) };
    Regional regional;
    QTemporaryDir dir;
    Settings settings;
    bool closing = false;
    Log log { clock, regional };
    LinkState link;
    OutgoingQueue queue;
    Database database { settings, dir.path(), clock };
    RecordingNotifier status;
    ApplicationErrors errors { log, &database };
    UdpNotifier udp { settings, errors };
    RecordingWork work; // no database work
    InboundDispatcher dispatcher { log, link, settings, errors, work, clock, regional };
    HostServer server { log, link, settings, status, errors, dispatcher, regional };
    QueueTick tick { { settings, closing, queue, server, link, database, log, status, udp, errors, clock, regional } };
    QUdpSocket workstation;

    Fixture()
    {
        regional.machineName = u"disp01"_s;
        log.setLogDir(dir.path());
        settings.xDatabaseType = u"SQLITE"_s;
        settings.xLoginDatabase = fixture::makeSqliteDatabase(dir.path(), false);
        settings.RamActive = true;
        settings.RamPoort = QString::number(fixture::freePort());
        workstation.bind(QHostAddress::LocalHost, 0);
        settings.NotifyAddress = u"127.0.0.1"_s;
        settings.NotifyPort = QString::number(workstation.localPort());
    }

    // One tick as the timer runs it: anything uncaught goes to the handler.
    void run() { errors.guard([&] { tick.tick(); }); }
    QStringList texts() const
    {
        QStringList out;
        for (const QString &l : log.lines())
            out << l.mid(15);
        return out;
    }
};

struct Host
{
    QTcpSocket socket;
    QByteArray received;
    explicit Host(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
};

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT
private slots:
    void switchesOnWithTheDatabase()
    {
        Fixture f;
        f.settings.RamPoort += u"abc"_s; // the digits alone give the port
        const quint16 port = quint16(f.settings.RamPoort.chopped(3).toInt());
        f.run();
        QVERIFY(f.database.isOpen());
        QVERIFY(f.server.isListening());
        QCOMPARE(f.server.port(), port);
        QCOMPARE(f.texts(), QStringList { u"M-> Ludor Korvan TIM server normaal ingeschakeld op poort %1"_s.arg(port) });
        QCOMPARE(f.status.messages, QStringList { u"Ludor Korvan TIM server normaal ingeschakeld op poort %1"_s.arg(port) });
        // The lamps show the state the tick found; the next tick shows both on.
        QVERIFY(!f.link.databaseLamp() && !f.link.serverLamp());
        f.run();
        QVERIFY(f.link.databaseLamp() && f.link.serverLamp());
    }

    void closingFlagChangesNothing()
    {
        Fixture f;
        f.closing = true;
        f.queue.append(u"[RS2_VRY,1]"_s);
        f.run();
        QVERIFY(!f.database.isOpen());
        QVERIFY(!f.server.isListening());
        QVERIFY(f.log.lines().isEmpty());
        QCOMPARE(f.queue.size(), 1);
    }

    void switchedOffBySetting()
    {
        Fixture f;
        f.run();
        QVERIFY(f.server.isListening());
        f.settings.RamActive = false;
        f.status.messages.clear();
        f.run();
        QVERIFY(!f.server.isListening());
        QCOMPARE(f.status.messages, QStringList { u"Ludor Korvan TIM server normaal uitgeschakeld"_s });
        f.run();
        QVERIFY(!f.server.isListening());
    }

    // Losing the database switches the listener off and tells the workstations; while
    // RamActive stays set the next tick opens the database again and switches it back on.
    void switchedOffByDatabase()
    {
        Fixture f;
        f.run();
        QVERIFY(f.server.isListening());
        f.database.close();
        f.settings.xLoginDatabase = u"gone.sqlite"_s; // the server stays away for one tick
        f.run();
        QVERIFY(!f.server.isListening());
        QVERIFY(f.texts().contains(u"M-> Ludor Korvan TIM server uitgeschakeld (database)"_s));

        QVERIFY(f.workstation.waitForReadyRead(5000));
        const QByteArray plain = cipherDatagram(f.workstation.receiveDatagram().data(), "vemrix");
        QCOMPARE(plain, QByteArray("1004,20261208204816,DISP01,0,##4C75646F72204B6F7276616E2054494D20736572766572207569746765736368616B656C642028646174616261736529##"));

        // The failed reopening is an error for the handler; the next due tick after the server
        // is back succeeds.
        f.run();
        QVERIFY(f.texts().constLast().startsWith(u"M-> "_s));
        QVERIFY(!f.server.isListening());
        f.settings.xLoginDatabase = QDir(f.dir.path()).entryList({ u"*.sqlite"_s }).constFirst();
        f.clock.advance(1000);
        f.run();
        QVERIFY(f.server.isListening());
    }

    // After a failed opening the ticks wait 1, 2, 4 and 8 seconds, then 10 seconds between
    // attempts, each attempt logged; the first due tick after the server is back switches on.
    void reopeningIsSpacedOut()
    {
        Fixture f;
        const QString real = f.settings.xLoginDatabase;
        f.settings.xLoginDatabase = u"gone.sqlite"_s;
        QList<int> attempts;
        for (int second = 0; second <= 45; ++second) {
            const qsizetype before = f.log.lines().size();
            f.run();
            if (f.log.lines().size() > before)
                attempts << second;
            f.clock.advance(1000);
        }
        QCOMPARE(attempts, QList<int>({ 0, 1, 3, 7, 15, 25, 35, 45 }));
        QVERIFY(!f.server.isListening());

        f.settings.xLoginDatabase = real;
        f.run(); // second 46: not due
        QVERIFY(!f.server.isListening());
        f.clock.advance(9000);
        f.run(); // second 55
        QVERIFY(f.server.isListening());
        // A success starts the spacing afresh.
        f.database.close();
        f.clock.advance(1);
        f.run();
        QVERIFY(!f.server.isListening());
        f.run();
        QVERIFY(f.server.isListening());
    }

    // A shutdown confirmed while the tick lets events run does not find the listener on.
    void closingWhileEventsRun()
    {
        Fixture f;
        QTimer::singleShot(0, [&] { f.closing = true; });
        f.run();
        QVERIFY(f.database.isOpen());
        QVERIFY(!f.server.isListening());
        QVERIFY(f.log.lines().isEmpty());
    }

    // The two checkpoints of a sending tick: the received list and the log, each at 501.
    void sendingTickCheckpoints_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("received");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("500 and 500") << 500 << 500 << QStringList();
        QTest::newRow("log at 501") << 501 << 500 << QStringList { "RAM0812262048161216.TXT" };
        QTest::newRow("received at 501") << 500 << 501 << QStringList { "RAM-IN0812262048161216.TXT" };
        QTest::newRow("both") << 501 << 501 << QStringList { "RAM-IN0812262048161216.TXT", "RAM0812262048161216.TXT" };
    }
    void sendingTickCheckpoints()
    {
        QFETCH(int, lines);
        QFETCH(int, received);
        QFETCH(QStringList, files);
        Fixture f;
        f.run();
        Host host(f.server.port());
        QTRY_VERIFY(!host.received.isEmpty());
        f.log.resetTo(u"x"_s);
        while (f.log.lines().size() < lines)
            f.log.Logger(u"x"_s);
        while (f.log.received().size() < received)
            f.log.addReceived(u"[RS2_CONN_TEST]"_s);
        f.queue.append(u"[RS2_VRY,1]"_s);
        f.run();
        QTRY_VERIFY(host.received.endsWith("[RS2_VRY,1]"));
        QCOMPARE(QDir(f.dir.path()).entryList({ u"*.TXT"_s }, QDir::Files), files);
        QCOMPARE(f.log.received().size(), received > 500 ? 0 : received);
        // The send's own two lines follow the checkpoint.
        QCOMPARE(f.log.lines().size(), lines > 500 ? 2 : lines + 2);
    }

    void portInUseIsReported()
    {
        Fixture f;
        QTcpServer squatter;
        QVERIFY(squatter.listen(QHostAddress::AnyIPv4, 0));
        f.settings.RamPoort = QString::number(squatter.serverPort());
        f.run();
        QVERIFY(!f.server.isListening());
        QVERIFY(f.texts().constLast().startsWith(u"M-> Ludor Korvan TIM server kan niet luisteren"_s));
    }

    // Three messages leave in order, one per tick, each logged with the address and the text.
    void sendsOnePerTick()
    {
        Fixture f;
        f.run();
        Host host(f.server.port());
        QTRY_VERIFY(!host.received.isEmpty());
        host.received.clear();
        for (const char *m : { "[RS2_VRY,1]", "[RS2_VRY,2]", "[RS2_RGD_REQ,0042]" })
            f.queue.append(QString::fromLatin1(m));
        const qsizetype from = f.log.lines().size();
        f.run();
        QCOMPARE(f.queue.size(), 2);
        QTRY_COMPARE(host.received, QByteArray("[RS2_VRY,1]"));
        f.run();
        f.run();
        QVERIFY(f.queue.isEmpty());
        QTRY_COMPARE(host.received, QByteArray("[RS2_VRY,1][RS2_VRY,2][RS2_RGD_REQ,0042]"));
        QCOMPARE(f.texts().mid(from), QStringList({ "--> 127.0.0.1", "--> [RS2_VRY,1]", "--> 127.0.0.1", "--> [RS2_VRY,2]",
                                                    "--> 127.0.0.1", "--> [RS2_RGD_REQ,0042]" }));
    }

    void hostNotListedKeepsTheQueue()
    {
        Fixture f;
        f.run();
        f.queue.append(u"[RS2_VRY,1]"_s);
        f.link.setHostAddress(u"192.0.2.7"_s);
        const qsizetype lines = f.log.lines().size();
        f.run();
        QCOMPARE(f.queue.size(), 1);
        QCOMPARE(f.log.lines().size(), lines);
    }

    // A write that fails is logged and the message stays first, to go once the host is back.
    void writeFailureKeepsTheMessage()
    {
        Fixture f;
        f.run();
        Host host(f.server.port());
        QTRY_VERIFY(!host.received.isEmpty());
        host.received.clear();
        // Listed, but without an open connection at its position.
        f.link.addConnection(u"127.0.0.2"_s);
        f.link.setHostAddress(u"127.0.0.2"_s);
        f.queue.append(u"[RS2_GR2,0001]"_s);
        f.run();
        QCOMPARE(f.texts().mid(f.texts().size() - 2), QStringList({ "M-> 127.0.0.2", "M-> * SOCKET ERROR * [RS2_GR2,0001]" }));
        QCOMPARE(f.queue.messages(), QStringList { "[RS2_GR2,0001]" });
        f.link.setHostAddress(u"127.0.0.1"_s);
        f.run();
        QVERIFY(f.queue.isEmpty());
        QTRY_COMPARE(host.received, QByteArray("[RS2_GR2,0001]"));
    }

    void queueFullWarning_data()
    {
        QTest::addColumn<QString>("maximum");
        QTest::addColumn<int>("queued");
        QTest::addColumn<bool>("warns");
        QTest::newRow("19 of 20") << "20" << 19 << false;
        QTest::newRow("20 of 20") << "20" << 20 << true;
        QTest::newRow("21 of 20") << "20" << 21 << true;
        QTest::newRow("zero warns when empty") << "0" << 0 << true;
        QTest::newRow("empty warns when empty") << "" << 0 << true;
        QTest::newRow("digits then text") << "3x" << 3 << true;
    }
    void queueFullWarning()
    {
        QFETCH(QString, maximum);
        QFETCH(int, queued);
        QFETCH(bool, warns);
        Fixture f;
        f.settings.RamGetalMax = maximum;
        for (int i = 0; i < queued; ++i)
            f.queue.append(u"[RS2_VRY,%1]"_s.arg(i));
        f.tick.BufferTimer();
        QCOMPARE(f.status.messages, warns ? QStringList { "TIM ZOD buffer is vol, controleer datacom" } : QStringList());
        f.status.messages.clear();
        f.tick.Button6Click();
        QCOMPARE(f.status.messages, QStringList { "TIM ZOD buffer is vol, controleer datacom" });
    }
};

QTEST_GUILESS_MAIN(TestQueue)
#include "tst_queue.moc"
