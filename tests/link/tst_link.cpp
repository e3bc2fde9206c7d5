// The host link over real loopback TCP: a real client socket talks to the listener.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "support/recorders.h"
#include "support/testhost.h"

#include <QDir>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Local = QStringLiteral("127.0.0.1");
const QString Other = QStringLiteral("127.0.0.2");

// Everything the link needs, wired as the gateway wires it, listening on a free port.
struct Fixture
{
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) };
    Regional regional;
    QTemporaryDir dir;
    Log log { clock, regional };
    LinkState link;
    Settings settings;
    RecordingNotifier status;
    ApplicationErrors errors { log };
    RecordingWork work;
    InboundDispatcher dispatcher { log, link, settings, errors, work, clock, regional };
    HostServer server { log, link, settings, status, errors, dispatcher, regional };

    Fixture()
    {
        regional.machineName = QStringLiteral("disp01");
        log.setLogDir(dir.path());
        server.start(0);
    }

    // The log without its stamps, from line `from` on.
    QStringList texts(qsizetype from = 0) const
    {
        QStringList out;
        for (qsizetype i = from; i < log.lines().size(); ++i)
            out.append(log.lines()[i].mid(15));
        return out;
    }
    bool logged(const QString &text) const { return texts().contains(text); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
};

// A host connected to the fixture's listener.
struct Host : TestHost
{
    // `from`: the loopback address the host connects from.
    explicit Host(Fixture &f, const QString &from = Local) : TestHost(f.server.port(), from) {}
};

bool deliver(Fixture &f, Host &host, const QByteArray &bytes)
{
    return deliver(f.log, host, bytes);
}

bool roundTrip(Fixture &f, Host &host, QByteArray &before)
{
    return roundTrip(f.log, host, before);
}

QByteArray banner()
{
    return "[CONNECT_2000 - disp01]";
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT
private slots:
    void bannerAndConnectionList()
    {
        Fixture f;
        Host host(f);
        QTRY_COMPARE(host.received, banner());
        QCOMPARE(f.link.connections(), QStringList { Local });
        QVERIFY(f.link.driverLamp());
        QCOMPARE(f.link.hostAddress(), Local);
        // Nothing but the accept line is logged for the banner.
        QCOMPARE(f.texts(), QStringList { "M-> Verbinding opgebouwd -> 127.0.0.1" });
        QCOMPARE(f.status.messages, QStringList { "Ludor Korvan TIM / RAMSERV koppeling actief" });
    }

    void bannerUsesRamId()
    {
        Fixture f;
        f.settings.RamID = QStringLiteral("CONNECT_PE");
        Host host(f);
        QTRY_COMPARE(host.received, QByteArray("[CONNECT_PE - disp01]"));
    }

    void everyRow_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("reply"); // empty: nothing sent
        QTest::addColumn<QString>("log");      // followed by the address
        QTest::addColumn<bool>("host");
        QTest::addColumn<QString>("work");
        QTest::newRow("2") << QByteArray("[RS2_RGD_REQ_ACK]") << QByteArray() << "M-> Host RS2 RGD ACK ontvangst -> " << true << "";
        QTest::newRow("3") << QByteArray("[RS2_RGD,0042,x,5213.1,00512.2]") << QByteArray("[RS2_RGD_ACK]") << "M-> Host RS2 RGD POSITIE ontvangst -> " << true << "position RS2_RGD|0042|x|5213.1|00512.2";
        QTest::newRow("4") << QByteArray("[RS2_COMM_STOP]") << QByteArray("[RS2_COMM_STOP_ACK]") << "M-> Host RS2 COMMUNICATION STOP ontvangst -> " << true << "";
        QTest::newRow("5") << QByteArray("[RS2_EV,356,BOB,12]") << QByteArray("[RS2_EV_ACK]") << "M-> Host event ontvangst -> " << true << "event RS2_EV|356|BOB|12 127.0.0.1";
        QTest::newRow("6") << QByteArray("[RS2_COMM_START]") << QByteArray("[RS2_COMM_START_ACK]") << "M-> RS2 Host COMMUNICATION RESTART ontvangst -> " << true << "";
        QTest::newRow("7") << QByteArray("[RS2_CONN_TEST]") << QByteArray("[RS2_CONN_ALIVE]") << "M-> Host verbindingstest  -> " << true << "";
        QTest::newRow("8") << QByteArray("[RS2_CONN_REQ]") << QByteArray("[RS2_CONN]") << "M-> RS2 Host verbinding -> " << true << "";
        QTest::newRow("9") << QByteArray("[RS2_DISCONN_REQ]") << QByteArray("[RS2_DISCONN]") << "M-> RS2 Host verzoek verbreking -> " << false << "";
        QTest::newRow("10") << QByteArray("[RS2_DISCONN_ACK]") << QByteArray() << "M-> Host verbreking aanvaard -> " << false << "";
        QTest::newRow("11") << QByteArray("[RS2_RESET_ALL_ACK]") << QByteArray() << "M-> Host RESET QUEUE aanvaard -> " << true << "";
        QTest::newRow("12") << QByteArray("[RS2_RST_REQ_ACK]") << QByteArray() << "M-> Host RS2 RST ACK -> " << true << "";
        QTest::newRow("13") << QByteArray("[RS2_SOF_REQ_ACK]") << QByteArray() << "M-> Host RS2 SOFT REL -> " << true << "";
        QTest::newRow("14") << QByteArray("[RS2_GR2_ADAP_TACK,1]") << QByteArray("[RS2_EV_ACK]") << "M-> Host TIM ADAP_TACK ACK -> " << true << "";
        QTest::newRow("15") << QByteArray("[RS2_GR2_ADAP_NACK,1]") << QByteArray("[RS2_EV_ACK]") << "M-> Host TIM ADAP_NACK ACK -> " << true << "";
        QTest::newRow("16") << QByteArray("[RS2_GRO_DELRIT_ACK,1]") << QByteArray("[RS2_EV_ACK]") << "Host TIM DELRIT ACK -> " << true << "";
        QTest::newRow("17") << QByteArray("[RS2_GRO_DELRIT_NACK,1]") << QByteArray("[RS2_EV_ACK]") << "M-> Host TIM DELRIT NACK -> " << true << "";
        QTest::newRow("19") << QByteArray("[RS2_CONN_ALIVE]") << QByteArray() << "M-> Host verbinding bevestigd -> " << true << "";
        QTest::newRow("20") << QByteArray("[RS2_CHAT_ACK]") << QByteArray() << "M-> RS2 Host chat opdracht bevestigd -> " << true << "";
        QTest::newRow("21") << QByteArray("[RS2_VRY_ACK]") << QByteArray() << "M-> RS2 Host chatbericht bevestigd -> " << true << "";
        QTest::newRow("22") << QByteArray("[RS2_VRY_NACK]") << QByteArray() << "M-> RS2 Host chatbericht NACK bevestigd -> " << true << "";
        QTest::newRow("23") << QByteArray("[RS2_RIT_ACK]") << QByteArray() << "M-> RS2 Host ritopdracht bevestigd -> " << true << "";
        QTest::newRow("24") << QByteArray("[RS2_GRO_DEL_NACK,1]") << QByteArray("[RS2_EV_ACK]") << "M-> RS2 Host GRO_DEL_NACK ontvangen -> " << true << "";
        QTest::newRow("25") << QByteArray("[RS2_GRO_DEL_ACK,1]") << QByteArray("[RS2_EV_ACK]") << "M-> RS2 Host GRO_DEL_ACK ontvangen -> " << true << "";
        QTest::newRow("26") << QByteArray("[RS2_GRO_ACK,1]") << QByteArray() << "M-> RS2 Host routeopdracht bevestigd  -> " << true << "";
        QTest::newRow("27") << QByteArray("[RS2_GRO_TACK,1]") << QByteArray("[RS2_EV_ACK]") << "RS2 Host routeopdracht TACK -> " << true << "";
        QTest::newRow("28") << QByteArray("[RS2_GRO_BEL,1]") << QByteArray("[RS2_EV_ACK]") << "M-> RS2 Host opdracht GRO_BEL -> " << true << "";
        QTest::newRow("30") << QByteArray("[RS2_NOTRANSFER,0042]") << QByteArray("[RS2_NOTRANSFER_ACK]") << "M-> RS2 Host NO TRANSFER ontvangst " << true << "refusal 0042";
        QTest::newRow("31") << QByteArray("[RS2_UNKNOWN_CAR,0042]") << QByteArray("[RS2_UNKNOWN_CAR_ACK]") << "M-> RS2 Host RS2 UNKNOWN CAR ontvangst " << true << "refusal 0042";
        QTest::newRow("32") << QByteArray("[GRO_UNKNOWN_CAR,0042]") << QByteArray("[GRO_UNKNOWN_CAR_ACK]") << "M-> RS2 Host GRO UNKNOWN CAR ontvangst om " << true << "refusal 0042";
        QTest::newRow("33") << QByteArray("[RS2_GRO_TNACK,0042,9]") << QByteArray("[RS2_EV_ACK]") << "M-> RS2 Host opdracht TNACK -> " << true << "refusal 0042";
    }
    void everyRow()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, reply);
        QFETCH(QString, log);
        QFETCH(bool, host);
        QFETCH(QString, work);

        // Two hosts: the message comes from the second while the first is the recorded one,
        // so a row that records the host must move HostAddress.
        Fixture f;
        Host other(f, Other);
        QTRY_COMPARE(other.received, banner());
        other.take();
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        f.link.setHostAddress(Other);
        const qsizetype from = f.log.lines().size();

        QVERIFY(deliver(f, h, message));
        QCOMPARE(f.link.hostAddress(), host ? Local : Other);
        QCOMPARE(f.work.calls, work.isEmpty() ? QStringList() : QStringList { work });
        QByteArray sent;
        QVERIFY(roundTrip(f, h, sent));
        QCOMPARE(sent, reply);
        QVERIFY(other.received.isEmpty());

        QStringList expected { "<-- " + QString::fromLatin1(message), "M-> " + Local, "M-> " + QString::fromLatin1(message),
                               log + Local };
        if (!reply.isEmpty())
            expected << "--> " + Local << "--> " + QString::fromLatin1(reply);
        QCOMPARE(f.texts(from).mid(0, expected.size()), expected);
        QCOMPARE(f.dispatcher.fields().constFirst(), QStringLiteral("RS2_CONN_TEST"));
    }

    // Each connection cuts its own messages: halves from two hosts are never one message, and
    // a fragment ends with its connection.
    void oneReceiveBufferPerConnection()
    {
        Fixture f;
        Host a(f, Other);
        QTRY_COMPARE(a.received, banner());
        Host b(f);
        QTRY_COMPARE(b.received, banner());
        a.take();
        b.take();

        QVERIFY(deliver(f, a, "[RS2_CONN_"));
        QVERIFY(deliver(f, b, "[RS2_CONN_REQ]"));
        QTRY_COMPARE(b.received, QByteArray("[RS2_CONN]"));
        QVERIFY(a.received.isEmpty());
        QCOMPARE(f.server.receiveBuffer(0), QStringLiteral("[RS2_CONN_"));
        QVERIFY(deliver(f, a, "REQ]"));
        QTRY_COMPARE(a.received, QByteArray("[RS2_CONN]"));
        a.take();
        b.take();

        // Half an event from A and a link test from B: B's test is answered as a test.
        QVERIFY(deliver(f, a, "[RS2_EV,356,S"));
        QVERIFY(deliver(f, b, "[RS2_CONN_TEST]"));
        QTRY_COMPARE(b.received, QByteArray("[RS2_CONN_ALIVE]"));
        QVERIFY(f.work.calls.isEmpty());

        // A closes with its half; the next connection starts clean.
        a.socket.disconnectFromHost();
        QTRY_COMPARE(f.server.connectionCount(), 1);
        Host c(f, Other);
        QTRY_COMPARE(c.received, banner());
        c.take();
        const qsizetype from = f.log.lines().size();
        QVERIFY(deliver(f, c, "[RS2_CONN_TEST]"));
        QTRY_COMPARE(c.received, QByteArray("[RS2_CONN_ALIVE]"));
        QCOMPARE(f.texts(from).constFirst(), QStringLiteral("<-- [RS2_CONN_TEST]"));
        QVERIFY(f.work.calls.isEmpty());
    }

    // A host that AllowedHosts does not name is closed before the banner; nothing else changes.
    void refusedAddress()
    {
        Fixture f;
        f.settings.AllowedHosts = QStringLiteral(" 192.0.2.9 , 127.0.0.1");
        Host allowed(f);
        QTRY_COMPARE(allowed.received, banner());
        f.link.setHostAddress(QStringLiteral("192.0.2.9"));
        const QStringList status = f.status.messages;
        const qsizetype from = f.log.lines().size();

        Host refused(f, Other);
        QTRY_COMPARE(refused.socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(refused.received.isEmpty());
        QCOMPARE(f.texts(from), QStringList { "M-> Verbinding geweigerd -> " + Other });
        QCOMPARE(f.link.connections(), QStringList { Local });
        QCOMPARE(f.link.hostAddress(), QStringLiteral("192.0.2.9"));
        QCOMPARE(f.server.connectionCount(), 1);
        QCOMPARE(f.status.messages, status);
    }

    void listenAddress()
    {
        Fixture f;
        f.server.stop();
        f.settings.ListenAddress = Other;
        f.server.start(0);
        QTcpSocket direct;
        direct.connectToHost(Local, f.server.port());
        QVERIFY(!direct.waitForConnected(2000));
        Host h(f, Other);
        h.socket.abort();
        h.socket.connectToHost(Other, f.server.port());
        QTRY_COMPARE(h.received, banner());

        f.server.stop();
        f.settings.ListenAddress = QStringLiteral("not an address");
        QVERIFY_THROWS_EXCEPTION(KorvanError, f.server.start(0));
        QVERIFY(!f.server.isListening());
    }

    // A socket that is closed by the time it is accepted is not left in the list.
    void closedOnAccept()
    {
        Fixture f;
        auto *socket = new QTcpSocket;
        f.server.accept(socket);
        QCOMPARE(f.server.connectionCount(), 0);
        QVERIFY(f.link.connections().isEmpty());
        QVERIFY(!f.link.driverLamp());
    }

    // Rows that do not record the host leave HostAddress where it was.
    void rowsThatDoNotRecordTheHost()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        f.link.setHostAddress(QStringLiteral("192.0.2.1"));
        h.send("[RS2_DISCONN_REQ]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_DISCONN]"));
        QCOMPARE(f.link.hostAddress(), QStringLiteral("192.0.2.1"));
        h.send("[RS2_DISCONN_ACK]");
        QTRY_VERIFY(f.logged("M-> Host verbreking aanvaard -> 127.0.0.1"));
        QCOMPARE(f.link.hostAddress(), QStringLiteral("192.0.2.1"));
        // The connection stays open.
        QCOMPARE(h.socket.state(), QAbstractSocket::ConnectedState);
        h.send("[RS2_VRY_ACK]");
        QTRY_COMPARE(f.link.hostAddress(), Local);
    }

    void connReqLogsInOrderAndSendsTenBytes()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        const qsizetype from = f.log.lines().size();
        h.send("[RS2_CONN_REQ]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_CONN]"));
        QCOMPARE(f.texts(from), QStringList({ "<-- [RS2_CONN_REQ]", "M-> 127.0.0.1", "M-> [RS2_CONN_REQ]",
                                              "M-> RS2 Host verbinding -> 127.0.0.1", "--> 127.0.0.1", "--> [RS2_CONN]" }));
        QCOMPARE(f.log.received(), QStringList { "[RS2_CONN_REQ]" });
        QCOMPARE(f.server.receiveBuffer(0), QString());
    }

    void splitAcrossReadsAndSeveralInOneWrite()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        h.send("[RS2_EV,356,S");
        QTRY_COMPARE(f.log.received().size(), 1);
        QCOMPARE(f.server.receiveBuffer(0), QStringLiteral("[RS2_EV,356,S"));
        h.send("V1,1]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_EV_ACK]"));
        // The second read logs the whole buffer, leftovers included, and lists only its own text.
        QVERIFY(f.logged(QStringLiteral("<-- [RS2_EV,356,SV1,1]")));
        QCOMPARE(f.log.received(), QStringList({ "[RS2_EV,356,S", "V1,1]" }));
        h.take();

        h.send("[RS2_CONN_TEST]\r\n[RS2_CONN_TEST]\r\n[RS2_CONN_REQ]\r\n");
        QTRY_COMPARE(h.received, QByteArray("[RS2_CONN_ALIVE][RS2_CONN_ALIVE][RS2_CONN]"));
        QCOMPARE(f.server.receiveBuffer(0), QString());
        QVERIFY(f.logged(QStringLiteral("M-> [RS2_CONN_TEST]\r")));
    }

    void unknownTagAndNoTransferCes()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        h.send("[RS2_SOMETHING,1]");
        QTRY_COMPARE(h.received, QByteArray("[NO_REPLY]"));
        h.take();
        h.send("[RS2_NOTRANSFER_CES,0042]");
        QTRY_COMPARE(h.received, QByteArray("[NO_REPLY]"));
        QVERIFY(f.work.calls.isEmpty());
    }

    // The reset report empties the log and leaves the message as its only line, before the
    // two lines of the reply.
    void resetReportResetsTheLog()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        h.send("[RS2_RST,1,2]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_RST_ACK]"));
        QCOMPARE(f.log.lines().first(), QStringLiteral("[RS2_RST,1,2]"));
        QCOMPARE(f.texts(1), QStringList({ "--> 127.0.0.1", "--> [RS2_RST_ACK]" }));
    }

    void failingWorkSendsNoReply()
    {
        Fixture f;
        f.work.failWith = QStringLiteral("[DBNETLIB] verbinding verbroken");
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        QVERIFY(deliver(f, h, "[RS2_EV,356,BOB,12]"));
        QByteArray sent;
        QVERIFY(roundTrip(f, h, sent));
        QCOMPARE(sent, QByteArray());
        QVERIFY(f.logged(QStringLiteral("M-> [DBNETLIB] verbinding verbroken")));
        QCOMPARE(f.server.receiveBuffer(0), QString());
    }

    void unloadingAcknowledgesFirst()
    {
        Fixture f;
        f.settings.Loosmelden = true;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        h.send("[RS2_GRO_LOOS,0042,12345678]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_EV_ACK][RS2_GRO_DELRIT,0042,DELRIT12345678]"));
        QCOMPARE(f.work.calls, QStringList { "unloading 0042|" });
        QVERIFY(f.logged(QStringLiteral("M-> *20:48:16-127.0.0.1")));

        // When the unloading fails, neither the acknowledgement nor the delete order is sent.
        f.work.failWith = QStringLiteral("kapot");
        h.take();
        QVERIFY(deliver(f, h, "[RS2_GRO_LOOS,0042,12345678]"));
        QByteArray sent;
        QVERIFY(roundTrip(f, h, sent));
        QCOMPARE(sent, QByteArray());
    }

    void overlongBufferIsEmptied()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        h.send("[" + QByteArray(70000, 'x'));
        QTRY_VERIFY(f.server.receiveBuffer(0).isEmpty() && !f.log.received().isEmpty());
        QVERIFY(f.texts().last().startsWith(QStringLiteral("M-> Ontvangstbuffer geleegd")));
        QByteArray sent;
        QVERIFY(roundTrip(f, h, sent));
    }

    void disconnectKeepsHostAddress()
    {
        Fixture f;
        auto h = std::make_unique<Host>(f);
        QTRY_COMPARE(h->received, banner());
        h->socket.disconnectFromHost();
        QTRY_VERIFY(f.logged(QStringLiteral("M-> Verbinding verbroken -> 127.0.0.1")));
        QVERIFY(f.link.connections().isEmpty());
        QVERIFY(!f.link.driverLamp());
        QCOMPARE(f.link.hostAddress(), Local);
        QCOMPARE(f.server.connectionCount(), 0);
        QCOMPARE(f.status.messages.last(), QStringLiteral("Ludor Korvan TIM/RAMSERV server normaal uitgeschakeld"));
    }

    // Two connections from one address share one entry; the second takes HostAddress. A host
    // that reconnected before its old connection's close was noticed stays listed, lit and
    // reachable when the old one closes; the address goes with its last connection.
    void secondClientTakesHostAddress()
    {
        Fixture f;
        Host first(f);
        QTRY_COMPARE(first.received, banner());
        f.link.setHostAddress(QStringLiteral("192.0.2.1"));
        Host second(f);
        QTRY_COMPARE(second.received, banner());
        QCOMPARE(f.link.hostAddress(), Local);
        QCOMPARE(f.link.connections(), QStringList { Local });
        QCOMPARE(f.server.connectionCount(), 2);
        QCOMPARE(f.server.positionOf(Local), 1);
        first.take();
        second.take();
        first.socket.disconnectFromHost();
        QTRY_COMPARE(f.server.connectionCount(), 1);
        QCOMPARE(f.link.connections(), QStringList { Local });
        QVERIFY(f.link.driverLamp());
        f.server.writeTo(f.server.positionOf(Local), QStringLiteral("[RS2_VRY,0012,DE2hallo]"));
        QTRY_COMPARE(second.received, QByteArray("[RS2_VRY,0012,DE2hallo]"));
        second.socket.disconnectFromHost();
        QTRY_COMPARE(f.server.connectionCount(), 0);
        QVERIFY(f.link.connections().isEmpty());
        QVERIFY(!f.link.driverLamp());
        QCOMPARE(f.server.positionOf(Local), -1);
    }

    void stopRunsTheDisconnectSteps()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        f.server.stop();
        QVERIFY(!f.server.isListening());
        QVERIFY(f.logged(QStringLiteral("M-> Verbinding verbroken -> 127.0.0.1")));
        QVERIFY(f.link.connections().isEmpty());
        QTRY_COMPARE(h.socket.state(), QAbstractSocket::UnconnectedState);
    }

    void writeToPosition()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        f.server.writeTo(0, QStringLiteral("[RS2_VRY,caf\u00e9]"));
        QTRY_COMPARE(h.received, QByteArray("[RS2_VRY,caf\xE9]"));
        QVERIFY_THROWS_EXCEPTION(KorvanError, f.server.writeTo(1, QStringLiteral("[X]")));
    }

    void portInUseThrows()
    {
        Fixture f;
        HostServer other { f.log, f.link, f.settings, f.status, f.errors, f.dispatcher, f.regional };
        QVERIFY_THROWS_EXCEPTION(KorvanError, other.start(f.server.port()));
        QVERIFY(!other.isListening());
    }

    // The checkpoints of a read (400 before, 500 after), of accept (200) and of a disconnect
    // (500), with 450 and 401 lines in the log.
    void checkpoints()
    {
        Fixture f;
        for (int i = 0; i < 450; ++i)
            f.log.Logger(QStringLiteral("x"));
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        QCOMPARE(f.files(), QStringList { "TIM0812262048161216.TXT" });
        QCOMPARE(f.texts(), QStringList { "M-> Verbinding opgebouwd -> 127.0.0.1" });

        for (int i = 0; i < 399; ++i)
            f.log.Logger(QStringLiteral("y"));
        // 400 lines: not rotated before the read.
        QFile::remove(QDir(f.dir.path()).filePath(QStringLiteral("TIM0812262048161216.TXT")));
        h.take();
        h.send("[RS2_VRY_ACK]");
        QTRY_VERIFY(f.logged(QStringLiteral("M-> RS2 Host chatbericht bevestigd -> 127.0.0.1")));
        QVERIFY(f.files().isEmpty());
        // 405 lines now: rotated before the next read; its "<-- " line starts the new log.
        h.send("[RS2_VRY_ACK]");
        QTRY_COMPARE(f.files(), QStringList { "TIM0812262048161216.TXT" });
        QTRY_COMPARE(f.texts().first(), QStringLiteral("<-- [RS2_VRY_ACK]"));

        // 450 lines at a disconnect: not rotated (more than 500 needed).
        Host second(f);
        QTRY_COMPARE(second.received, banner());
        QFile::remove(QDir(f.dir.path()).filePath(QStringLiteral("TIM0812262048161216.TXT")));
        while (f.log.lines().size() < 450)
            f.log.Logger(QStringLiteral("z"));
        h.socket.disconnectFromHost();
        QTRY_VERIFY(f.logged(QStringLiteral("M-> Verbinding verbroken -> 127.0.0.1")));
        QVERIFY(f.files().isEmpty());
        // 501 lines at a disconnect: rotated, and the disconnect line starts the new log.
        while (f.log.lines().size() < 501)
            f.log.Logger(QStringLiteral("z"));
        second.socket.disconnectFromHost();
        QTRY_COMPARE(f.files(), QStringList { "TIM0812262048161216.TXT" });
        QCOMPARE(f.texts().constFirst(), QStringLiteral("M-> Verbinding verbroken -> 127.0.0.1"));
    }

    // Many checkpoints in one second write the same file names; every line ever logged is
    // found afterwards, in the files or still in the log.
    void burstOfCheckpointsLosesNoLine()
    {
        Fixture f;
        QStringList logged;
        QObject::connect(&f.log, &Log::linesAdded, [&](const QStringList &lines) { logged += lines; });
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        for (int i = 0; i < 200; ++i)
            QVERIFY(deliver(f, h, "[RS2_CONN_TEST]"));
        QVERIFY(f.files().contains(QStringLiteral("TIM0812262048161216.TXT")));
        QStringList found = f.log.lines();
        const qsizetype kept = found.size();
        for (const QString &name : f.files()) {
            QFile file(QDir(f.dir.path()).filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            found += QString::fromLatin1(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        }
        QVERIFY(found.size() - kept > 2 * 400); // at least two checkpoints wrote into one name
        logged.sort();
        found.sort();
        QCOMPARE(found, logged);
    }

    // The second checkpoint of a read (over 500) sees the "<-- " line: a received text with
    // many line breaks pushes a view of 400 lines past it.
    void receivedTextCheckpoint()
    {
        Fixture f;
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        while (f.log.lines().size() < 400)
            f.log.Logger(QStringLiteral("x"));
        h.send(QByteArray(101, '\n'));
        QTRY_COMPARE(f.files(), QStringList { "RAM0812262048161216.TXT" });
        QVERIFY(f.log.lines().isEmpty());
        QCOMPARE(f.log.received().size(), 1);
    }

    // A log directory that cannot be written: the checkpoint error is logged and the message
    // is still answered.
    void failedCheckpointStillAnswers()
    {
        Fixture f;
        f.log.setLogDir(QDir(f.dir.path()).filePath(QStringLiteral("missing")));
        Host h(f);
        QTRY_COMPARE(h.received, banner());
        h.take();
        while (f.log.lines().size() < 401)
            f.log.Logger(QStringLiteral("x"));
        h.send("[RS2_CONN_REQ]");
        QTRY_COMPARE(h.received, QByteArray("[RS2_CONN]"));
        QVERIFY(f.log.lines().size() > 401);
        QVERIFY(f.texts().filter(QStringLiteral("M-> Logbestand")).size() >= 1);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
