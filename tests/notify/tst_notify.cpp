// Status-message rows and ciphered UDP notifications, on loopback only.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "notify/datagram.h"
#include "notify/notifiers.h"
#include "support/dbfixture.h"
#include "support/dispatchsite.h"
#include "support/recorders.h"
#include "util/korvanfunctions.h"

#include <QNetworkDatagram>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

using namespace Qt::Literals::StringLiterals;

namespace {

const QDateTime Evening(QDate(2026, 12, 8), QTime(20, 48, 16));

struct Site : DispatchSite
{
    DatabaseNotifier status { statements, errors };

    Site() : DispatchSite(u"sqlite"_s, Evening) {}

    QStringList rows(const QString &columns)
    {
        return DispatchSite::rows(u"SELECT "_s + columns + u" FROM Statusmeldingen ORDER BY mel_id"_s);
    }
};

} // namespace

class TestNotify : public QObject
{
    Q_OBJECT
private slots:
    void datagramText()
    {
        QCOMPARE(::datagramText(922, Evening, u"DISPATCH1"_s, u"TIMFFFFFFF"_s, u"0000"_s),
                 u"922,20261208204816,DISPATCH1,TIMFFFFFFF,#0000#"_s);
        // The database-lost notification carries the dump between two "#" on each side.
        QString dump = KorvanFunctions::HexDump(u"Ludor Korvan TIM server uitgeschakeld (database)"_s);
        dump.remove(u' ');
        QCOMPARE(::datagramText(1004, Evening, u"DISP01"_s, u"0"_s, u'#' + dump + u'#'),
                 u"1004,20261208204816,DISP01,0,##4C75646F72204B6F7276616E2054494D20736572766572207569746765736368616B656C642028646174616261736529##"_s);
    }

    void cipher_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("empty key sends plain text") << QByteArray("922,x,#0000#") << QByteArray() << QByteArray("922,x,#0000#");
        // With two key characters the third byte meets the first key character again.
        QTest::newRow("two-character key") << QByteArray("ABCD") << QByteArray("\x01\x02", 2) << QByteArray("@@BF");
        QTest::newRow("NUL travels") << QByteArray("a") << QByteArray("a") << QByteArray(1, '\0');
        // A byte of 0x80 or more cannot travel; the others are unaffected.
        QTest::newRow("outside 7 bits") << QByteArray("caf\xE9!") << QByteArray("k") << QByteArray("\x08\x0A\x0D?J");
    }
    void cipher()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, wire);
        QCOMPARE(cipherDatagram(plain, key), wire);
    }

    void cipherRoundTripsSevenBitText()
    {
        const QByteArray plain = "922,20261208204816,DISPATCH1,TIMFFFFFFF,#0000#";
        const QByteArray key = "vemrix";
        const QByteArray wire = cipherDatagram(plain, key);
        QVERIFY(wire != plain);
        QCOMPARE(cipherDatagram(wire, key), plain);
    }

    void udpOnLoopback()
    {
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
        Settings settings;
        settings.NotifyAddress = u"127.0.0.1"_s;
        settings.NotifyPort = QString::number(receiver.localPort());
        FixedClock clock(Evening);
        Regional regional;
        Log log(clock, regional);
        ApplicationErrors errors(log);
        UdpNotifier udp(settings, errors);

        QVERIFY(udp.SendUDPKorvan(922, u"DISP01"_s, u"TIMFFFFFFF"_s, u"0000"_s, Evening));
        QVERIFY(udp.SendUDPKorvan(1004, u"DISP01"_s, u"0"_s, u"#41#"_s, Evening));
        QVERIFY(receiver.waitForReadyRead(5000));
        QList<QByteArray> received;
        while (received.size() < 2 && QTest::qWaitFor([&] { return receiver.hasPendingDatagrams(); }, 5000))
            received << receiver.receiveDatagram().data();
        QCOMPARE(received.size(), 2);
        QCOMPARE(cipherDatagram(received[0], "vemrix"), QByteArray("922,20261208204816,DISP01,TIMFFFFFFF,#0000#"));
        QCOMPARE(cipherDatagram(received[1], "vemrix"), QByteArray("1004,20261208204816,DISP01,0,##41##"));

        // A bad target is an error for the handler, and the operation says so.
        settings.NotifyAddress = u"not an address"_s;
        QVERIFY(!udp.SendUDPKorvan(922, u"DISP01"_s, u"TIMFFFFFFF"_s, u"0000"_s, Evening));
        QVERIFY(log.lines().constLast().contains(u"M-> Ongeldig netwerkadres"_s));
    }

    void statusRows()
    {
        Site site;
        QVERIFY(site.status.SendUDPKorvanDB(u"Ludor Korvan TIM communicatie wordt opgestart"_s));
        QVERIFY(site.status.SendKorvanDBUpdate(1000, 3, 0, 0, QString()));
        QVERIFY(site.status.SendUDPKorvanDB(QString(101, u'a')));
        // Distinct values in every column, so that no two columns can trade places unseen.
        QVERIFY(site.status.SendKorvanDBUpdate(1003, 42, 1234567, 77, u"Wagen 42 vrij"_s));
        QCOMPARE(site.rows(u"mel_status, mel_wagen, mel_ritnummer, mel_chauffeur, mel_opmerking"_s),
                 QStringList({ "999|0|0|0|Ludor Korvan TIM communicatie wordt opgestart", "1000|3|0|0|",
                               "999|0|0|0|" + QString(100, u'a'), "1003|42|1234567|77|Wagen 42 vrij" }));
    }

    void statusRowFailsWhenDatabaseIsDown()
    {
        Site site;
        site.settings.xLoginDatabase = u"gone.sqlite"_s;
        QVERIFY(!site.status.SendUDPKorvanDB(u"TIM ZOD buffer is vol, controleer datacom"_s));
        QCOMPARE(site.log.lines().size(), 1);
        QVERIFY(site.log.lines().constFirst().mid(15).startsWith(u"M-> "_s));
    }

    // The listener's status messages reach the table.
    void listenerPostsRows()
    {
        Site site;
        site.regional.machineName = u"disp01"_s;
        LinkState link;
        RecordingWork work; // no database work
        InboundDispatcher dispatcher(site.log, link, site.settings, site.errors, work, site.clock, site.regional);
        HostServer server(site.log, link, site.settings, site.status, site.errors, dispatcher, site.regional);
        server.start(0);
        QTcpSocket host;
        host.connectToHost(QHostAddress::LocalHost, server.port());
        QByteArray banner;
        QTRY_VERIFY((banner += host.readAll()) == "[CONNECT_2000 - disp01]");
        host.disconnectFromHost();
        QTRY_COMPARE(site.rows(u"mel_opmerking"_s).size(), 2);
        QCOMPARE(site.rows(u"mel_opmerking"_s), QStringList({ "Ludor Korvan TIM / RAMSERV koppeling actief",
                                                              "Ludor Korvan TIM/RAMSERV server normaal uitgeschakeld" }));
    }
};

QTEST_GUILESS_MAIN(TestNotify)
#include "tst_notify.moc"
