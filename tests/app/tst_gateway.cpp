// Start-up and shutdown of the whole gateway over a real SQLite database, and the headless
// program as a subprocess driven by a host and SIGTERM.
#include "app/gateway.h"
#include "support/dbfixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

// A program directory with a dispatch database and a configuration that uses it, with
// notifications on loopback.
struct Site
{
    QTemporaryDir dir;
    quint16 port = fixture::freePort();

    // `middle` stands between the database settings and the rest.
    explicit Site(const QByteArray &middle = {})
    {
        const QString db = QFileInfo(fixture::makeSqliteDatabase(dir.path())).fileName();
        QFile f(QDir(dir.path()).filePath(u"KorvanTim.xml"_s));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write the configuration");
        config = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
                 "    <FormVersion>0</FormVersion>\r\n    <xLoginDatabase_Text>" + db.toLatin1() + "</xLoginDatabase_Text>\r\n"
                 "    <xDatabaseType_Text>SQLITE</xDatabaseType_Text>\r\n    <RamPoort_Text>" + QByteArray::number(port) + "</RamPoort_Text>\r\n"
                 + middle + "    <RamActive_Checked>yes</RamActive_Checked>\r\n    <NotifyAddress_Text>127.0.0.1</NotifyAddress_Text>\r\n"
                 "    <NotifyPort_Text>9</NotifyPort_Text>\r\n  </Hoofdscherm>\r\n</Configuration>\r\n";
        f.write(config);
        databaseFile = QDir(dir.path()).filePath(db);
    }

    QStringList statusTexts() const
    {
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            db.setDatabaseName(databaseFile);
            db.open();
            QSqlQuery q(u"SELECT mel_opmerking FROM Statusmeldingen ORDER BY mel_id"_s, db);
            while (q.next())
                out << q.value(0).toString();
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        return out;
    }
    // Straight at the database file, past the gateway.
    QStringList rows(const QString &sql) const
    {
        QStringList out;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            db.setDatabaseName(databaseFile);
            db.open();
            if (sql.startsWith(u"SELECT"_s))
                out = fixture::rows(db, sql);
            else
                fixture::run(db, sql);
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        return out;
    }
    QStringList logFiles() const { return QDir(dir.filePath(u"Tim"_s)).entryList(QDir::Files, QDir::Name); }

    QString databaseFile;
    QByteArray config;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray StrayAmpersand = "    <xPaswoordSQL_Text>geheim&1</xPaswoordSQL_Text>\r\n";

} // namespace

class TestGateway : public QObject
{
    Q_OBJECT
private slots:
    void startUpAndShutdown()
    {
        Site site;
        FixedClock clock(QDateTime(QDate(2027, 3, 5), QTime(7, 4, 9)));
        Regional regional;
        regional.machineName = u"disp01"_s;
        {
            Gateway g(site.dir.path(), clock, regional);
            g.create();
            for (const char *sub : { "Tim", "Backups", "TempDownloads", "VXLXML", "VXLXML/BACKUPS", "VXLXML/BACKUPS/UIT" })
                QVERIFY2(QDir(site.dir.filePath(QString::fromLatin1(sub))).exists(), sub);
            QVERIFY(g.settings().RamActive);
            QCOMPARE(g.settings().ssl_key, u"vemrix"_s);
            QCOMPARE(Gateway::caption(), u"Ludor Korvan Tim koppeling - v1.0.0.1"_s);
            QCOMPARE(g.log().logDir(), site.dir.filePath(u"Tim"_s));
            QVERIFY(!g.ramQOutTimer().isActive());

            g.show();
            QVERIFY(g.ramQOutTimer().isActive() && g.ramQInTimer().isActive() && g.verbergenTimer().isActive());
            g.RamQOutTimerTimer();
            QVERIFY(g.server().isListening());
            QCOMPARE(g.server().port(), site.port);

            // A host connects and is greeted.
            QTcpSocket host;
            host.connectToHost(QHostAddress::LocalHost, site.port);
            QByteArray banner;
            QTRY_VERIFY((banner += host.readAll()) == "[CONNECT_2000 - disp01]");
            g.log().addReceived(u"[RS2_CONN_REQ]"_s);

            g.settings().RamGetalMax = u"7"_s; // a change made on the tabs, saved by the shutdown
            g.shutdown();
            QVERIFY(g.closing());
            QVERIFY(!g.ramQOutTimer().isActive() && !g.ramQInTimer().isActive());
            QVERIFY(!g.server().isListening());
            QTRY_COMPARE(host.state(), QAbstractSocket::UnconnectedState);
            // A tick after the confirmation changes nothing.
            g.RamQOutTimerTimer();
            QVERIFY(!g.server().isListening());
            QVERIFY(g.saveConfiguration());
        }
        QCOMPARE(site.statusTexts(),
                 QStringList({ u"Ludor Korvan TIM communicatie wordt opgestart"_s,
                               u"Ludor Korvan TIM server normaal ingeschakeld op poort %1"_s.arg(site.port),
                               u"Ludor Korvan TIM / RAMSERV koppeling actief"_s,
                               u"Ludor Korvan TIM/RAMSERV server normaal uitgeschakeld"_s,
                               u"TIM/RAMSERV communicatie wordt afgesloten"_s }));
        QCOMPARE(site.logFiles(), QStringList({ u"05032707040939.TXT"_s, u"RAM-IN05032707040939.TXT"_s }));
        QFile log(site.dir.filePath(u"Tim/05032707040939.TXT"_s));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().endsWith("05-03 07:04:09 M-> Ludor Korvan TIM server normaal uitgeschakeld\r\n"));
        QFile received(site.dir.filePath(u"Tim/RAM-IN05032707040939.TXT"_s));
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), QByteArray("[RS2_CONN_REQ]\r\n"));

        // The saved file holds the change and reads back.
        Gateway again(site.dir.path(), clock, regional);
        again.create();
        QCOMPARE(again.settings().RamGetalMax, u"7"_s);
        QCOMPARE(again.settings().xDatabaseType, u"SQLITE"_s);
        QCOMPARE(QFile(site.dir.filePath(u"KorvanTim.xml"_s)).permissions() & (QFile::ReadOther | QFile::ReadGroup),
                 QFileDevice::Permissions());
    }

    // The dispatcher's orders that the queue could not send before a shutdown wait again in
    // berichtenbox, in their old place, and the next start sends them.
    void unsentOrdersWaitAgainAfterShutdown()
    {
        Site site;
        site.rows(u"INSERT INTO berichtenbox (bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_datum, bbo_verwerkt, bbo_pakket, bbo_actie)"
                  " VALUES (12, 1, 1, '2026-12-08 09:05:00', 0, 'Bel de centrale', 99)"_s);
        const QString waiting = u"SELECT bbo_id, bbo_verwerkt, bbo_datum FROM berichtenbox ORDER BY bbo_id"_s;
        const QStringList before = site.rows(waiting);
        QCOMPARE(before, QStringList({ u"1|0|2026-12-08 09:00:00"_s, u"2|0|2026-12-08 09:05:00"_s }));
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(9, 30, 0)));
        Regional regional;
        {
            Gateway g(site.dir.path(), clock, regional);
            g.create();
            g.show();
            g.RamQOutTimerTimer();
            QVERIFY(g.server().isListening());
            // The host takes its leave after the poller took the rows, before the queue could send them.
            QTcpSocket host;
            host.connectToHost(QHostAddress::LocalHost, site.port);
            QTRY_VERIFY(g.link().driverLamp());
            g.UitgaandeBerichtenTimer();
            g.UitgaandeBerichtenTimer();
            g.polling().sendPositionTest(u"356000000000012"_s); // a message of no row
            QCOMPARE(g.queue().size(), 3);
            QCOMPARE(site.rows(waiting).filter(u"|1|"_s).size(), 2);
            host.disconnectFromHost();
            QTRY_VERIFY(!g.link().driverLamp());
            g.RamQOutTimerTimer();
            QCOMPARE(g.queue().size(), 3);

            const qsizetype from = g.log().lines().size();
            g.shutdown();
            QStringList texts;
            for (qsizetype i = from; i < g.log().lines().size(); ++i)
                texts << g.log().lines()[i].mid(15);
            QVERIFY2(texts.contains(u"M-> Bericht 1 is niet verzonden en wacht weer op verzending"_s), qPrintable(texts.join(u'\n')));
            QVERIFY(texts.contains(u"M-> Bericht 2 is niet verzonden en wacht weer op verzending"_s));
        }
        QCOMPARE(site.rows(waiting), before);

        // The next start sends both, oldest first, to a host that says who it is.
        Gateway g(site.dir.path(), clock, regional);
        g.create();
        g.show();
        g.RamQOutTimerTimer();
        QTcpSocket host;
        QByteArray received;
        connect(&host, &QTcpSocket::readyRead, this, [&] { received += host.readAll(); });
        host.connectToHost(QHostAddress::LocalHost, site.port);
        QTRY_VERIFY(received.startsWith("[CONNECT_"));
        host.write("[RS2_CONN_REQ]");
        QTRY_VERIFY(received.endsWith("[RS2_CONN]"));
        for (int i = 0; i < 2; ++i) {
            g.UitgaandeBerichtenTimer();
            g.RamQOutTimerTimer();
        }
        QTRY_VERIFY(received.contains("[RS2_VRY,356000000000012,"));
        QVERIFY(received.indexOf("[RS2_GR2,0012,0001") > 0);
        QVERIFY(received.indexOf("[RS2_GR2,0012,0001") < received.indexOf("[RS2_VRY,"));
        QCOMPARE(site.rows(waiting).filter(u"|1|"_s).size(), 2);
        g.shutdown();
    }

    void showPostsAgainAndHides()
    {
        Site site;
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        Gateway g(site.dir.path(), clock, regional);
        g.create();
        int hides = 0;
        connect(&g, &Gateway::hideRequested, this, [&] { ++hides; });
        g.show();
        g.VerbergenTimer();
        QCOMPARE(hides, 0);
        g.settings().Minimaliseren = true;
        g.show();
        QVERIFY(g.verbergenTimer().isSingleShot());
        g.VerbergenTimer();
        QCOMPARE(hides, 1);
        QVERIFY(!g.verbergenTimer().isActive());
        QCOMPARE(site.statusTexts().count(u"Ludor Korvan TIM communicatie wordt opgestart"_s), 2);
    }

    void pollingInterval_data()
    {
        QTest::addColumn<double>("minutes");
        QTest::addColumn<int>("interval"); // 0: no longer ticks
        QTest::newRow("default") << 1.0 << 60000;
        QTest::newRow("five minutes") << 5.0 << 300000;
        QTest::newRow("fraction") << 1.75 << 105000;
        QTest::newRow("whole part of the milliseconds") << 0.00001 << 0;
        QTest::newRow("zero stops polling") << 0.0 << 0;
        QTest::newRow("negative stops polling") << -2.0 << 0;
    }
    void pollingInterval()
    {
        QFETCH(double, minutes);
        QFETCH(int, interval);
        Site site;
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        Gateway g(site.dir.path(), clock, regional);
        g.create();
        QCOMPARE(g.pollenTimer().interval(), 1000);
        QVERIFY(g.pollenTimer().isActive());
        g.settings().RGDMIN = minutes;
        g.PollenTimer();
        QCOMPARE(g.pollenTimer().isActive(), interval > 0);
        if (interval > 0)
            QCOMPARE(g.pollenTimer().interval(), interval);
    }

    // A shutdown whose log files cannot be written logs that and still saves the settings.
    void shutdownErrorSkipsTheRest()
    {
        Site site;
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        Gateway g(site.dir.path(), clock, regional);
        g.create();
        g.log().setLogDir(site.dir.filePath(u"missing"_s));
        g.shutdown();
        QVERIFY(g.log().lines().constLast().mid(15).startsWith(u"M-> Logbestand"_s));
        QVERIFY(g.settingsCopied());
    }

    // A stray "&" in the password: the settings before it are read, the operator's file is
    // kept beside under a stamped name before anything replaces it, the problem is logged and
    // posted, and with the notification address unread nothing is broadcast.
    void brokenConfigurationIsKept()
    {
        Site site(StrayAmpersand);
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        const QString kept = site.dir.filePath(u"KorvanTim.onleesbaar-20261208-204816.xml"_s);
        {
            Gateway g(site.dir.path(), clock, regional);
            g.create();
            QCOMPARE(g.settings().xDatabaseType, u"SQLITE"_s);
            QCOMPARE(g.settings().RamPoort, QString::number(site.port));
            QCOMPARE(g.settings().xPaswoordSQL, QString());
            QVERIFY(!g.settings().RamActive);
            QCOMPARE(g.settings().NotifyAddress, QString());
            QCOMPARE(contents(kept), site.config);

            const QString text = u"Configuratiebestand %1 is onleesbaar op regel 8, kolom 31 (%2): de instellingen tot daar zijn "
                                 u"gelezen, de rest heeft de standaardwaarde; het origineel is bewaard als "
                                 u"KorvanTim.onleesbaar-20261208-204816.xml; netwerkmeldingen staan uit tot het adres is ingesteld "
                                 u"of de gateway opnieuw start"_s
                                     .arg(site.dir.filePath(u"KorvanTim.xml"_s), u"..."_s);
            QCOMPARE(g.configProblem().section(u'(', 0, 0), text.section(u'(', 0, 0));
            QVERIFY(g.configProblem().endsWith(text.section(u')', 1)));
            QCOMPARE(g.log().lines().constFirst().mid(15), u"M-> "_s + g.configProblem());
            QCOMPARE(site.statusTexts(), QStringList { u"Configuratiebestand KorvanTim.xml onleesbaar (regel 8, kolom 31), zie het logboek"_s });

            const qsizetype lines = g.log().lines().size();
            QVERIFY(g.udp().SendUDPKorvan(922, u"DISP01"_s, u"0"_s, u"x"_s, clock.now()));
            QCOMPARE(g.log().lines().size(), lines);

            g.shutdown();
            QVERIFY(g.saveConfiguration());
        }
        // The new file is whole and the kept one unchanged. The run's silence was not saved: the
        // file has no address, as the operator's had none, and the next start has the default.
        QCOMPARE(contents(kept), site.config);
        QVERIFY(!contents(site.dir.filePath(u"KorvanTim.xml"_s)).contains("NotifyAddress_Text"));
        Gateway again(site.dir.path(), clock, regional);
        again.create();
        QCOMPARE(again.configProblem(), QString());
        QCOMPARE(again.settings().RamPoort, QString::number(site.port));
        QCOMPARE(again.settings().NotifyAddress, Settings().NotifyAddress);
    }

    // A save that fails is not lost silently: the log says where and why.
    void failedSaveIsLogged()
    {
        Site site;
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        Gateway g(site.dir.path(), clock, regional);
        g.create();
        const QString path = site.dir.filePath(u"KorvanTim.xml"_s);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
        g.copySettings();
        QVERIFY(!g.saveConfiguration());
        QCOMPARE(g.log().lines().last().mid(15),
                 u"M-> Instellingen niet opgeslagen in "_s + QDir::toNativeSeparators(path) + u": het bestand is alleen-lezen"_s);
        QCOMPARE(contents(path), site.config);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }

    // A configuration that cannot be read at all is reported and never replaced.
    void unreadableConfigurationIsLeftAlone()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(u"KorvanTim.xml"_s));
        FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
        Regional regional;
        Gateway g(dir.path(), clock, regional);
        g.create();
        QVERIFY(g.configProblem().contains(u"kan niet worden gelezen"_s));
        QVERIFY(g.log().lines().constFirst().contains(u"M-> Configuratiebestand"_s));
        g.copySettings();
        QVERIFY(!g.saveConfiguration());
        QVERIFY(QFileInfo(dir.filePath(u"KorvanTim.xml"_s)).isDir());
    }

    void headlessProgram()
    {
        Site site;
        QProcess gateway;
        gateway.setProgram(QStringLiteral(KORVAN_BIN_DIR "/korvantim"));
        gateway.setArguments({ u"--headless"_s, u"--dir"_s, site.dir.path() });
        gateway.setProcessChannelMode(QProcess::MergedChannels);
        gateway.start();
        QVERIFY(gateway.waitForStarted());

        QTcpSocket host;
        QByteArray received;
        connect(&host, &QTcpSocket::readyRead, this, [&] { received += host.readAll(); });
        QVERIFY(QTest::qWaitFor([&] {
            if (host.state() == QAbstractSocket::UnconnectedState)
                host.connectToHost(QHostAddress::LocalHost, site.port);
            return received.startsWith("[CONNECT_2000 - ");
        }, 15000));
        received.clear();
        host.write("[RS2_CONN_REQ]\r\n");
        QTRY_COMPARE(received, QByteArray("[RS2_CONN]"));

        ::kill(pid_t(gateway.processId()), SIGTERM);
        QVERIFY(gateway.waitForFinished(15000));
        QCOMPARE(gateway.exitStatus(), QProcess::NormalExit);
        QCOMPARE(gateway.exitCode(), 0);
        const QString out = QString::fromLocal8Bit(gateway.readAll());
        QVERIFY2(out.contains(u"M-> RS2 Host verbinding -> 127.0.0.1"_s), qPrintable(out));
        QVERIFY(out.contains(u"M-> Ludor Korvan TIM server normaal uitgeschakeld"_s));
        QCOMPARE(site.statusTexts().constLast(), u"TIM/RAMSERV communicatie wordt afgesloten"_s);
        QCOMPARE(site.logFiles().size(), 2);
        QVERIFY(contents(site.dir.filePath(u"KorvanTim.xml"_s)).contains("<ESTLIJST_Lines>"));
    }

    // Headless, a configuration problem is also said on standard error.
    void headlessSaysConfigurationProblem()
    {
        Site site(StrayAmpersand);
        QProcess gateway;
        gateway.start(QStringLiteral(KORVAN_BIN_DIR "/korvantim"), { u"--headless"_s, u"--dir"_s, site.dir.path() });
        QVERIFY(gateway.waitForStarted());
        QByteArray err;
        QVERIFY(QTest::qWaitFor([&] { return (err += gateway.readAllStandardError()).contains("\n"); }, 15000));
        QVERIFY2(err.startsWith("korvantim: Configuratiebestand "), err.constData());
        ::kill(pid_t(gateway.processId()), SIGTERM);
        QVERIFY(gateway.waitForFinished(15000));
        QCOMPARE(gateway.exitCode(), 0);
        QVERIFY(gateway.readAllStandardOutput().contains("M-> Configuratiebestand "));
    }

    void withoutDisplayItSaysHow()
    {
        QProcess gateway;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        gateway.setProcessEnvironment(env);
        QTemporaryDir dir;
        gateway.start(QStringLiteral(KORVAN_BIN_DIR "/korvantim"), { u"--dir"_s, dir.path() });
        QVERIFY(gateway.waitForFinished(15000));
        QVERIFY(gateway.exitCode() != 0);
        QVERIFY(gateway.readAllStandardError().contains("--headless"));
    }
};

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
