#include "log/log.h"
#include "util/errors.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestLog : public QObject
{
    Q_OBJECT

    static QDateTime at(int y, int mo, int d, int h, int mi, int s) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s)); }

    static QStringList files(const QString &dir, const QString &pattern)
    {
        return QDir(dir).entryList({ pattern }, QDir::Files, QDir::Name);
    }

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return "<missing>";
        return f.readAll();
    }

private slots:
    void lineStamp_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("evening") << at(2026, 12, 8, 20, 48, 16) << ":" << "08-12 20:48:16";
        QTest::newRow("morning, dot separator") << at(2027, 3, 5, 7, 4, 9) << "." << "05-03 07.04.09";
        QTest::newRow("midnight") << at(2026, 1, 1, 0, 0, 0) << ":" << "01-01 00:00:00";
    }
    void lineStamp()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, separator);
        QFETCH(QString, stamp);
        QCOMPARE(::lineStamp(time, separator[0]), stamp);
    }

    void fileStamp_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("15 characters") << at(2026, 12, 8, 20, 48, 6) << "081226204806126";
        QTest::newRow("16 characters") << at(2026, 12, 8, 20, 48, 16) << "0812262048161216";
        QTest::newRow("14 characters") << at(2027, 3, 5, 7, 4, 9) << "05032707040939";
        QTest::newRow("seconds zero") << at(2027, 3, 5, 7, 4, 0) << "05032707040030";
    }
    void fileStamp()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, stamp);
        QCOMPARE(::fileStamp(time), stamp);
    }

    void loggerStampsAndSplitsLines()
    {
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        QSignalSpy added(&log, &Log::linesAdded);
        QVERIFY(log.Logger(QStringLiteral("M-> een")));
        QVERIFY(log.Logger(QStringLiteral("twee\r\ndrie\nvier")));
        clock.advance(1000);
        log.Logger(QStringLiteral("vijf"));
        QCOMPARE(log.lines(), QStringList({ "08-12 20:48:16 M-> een", "08-12 20:48:16 twee", "drie", "vier",
                                            "08-12 20:48:17 vijf" }));
        QCOMPARE(added.size(), 3);
    }

    // The threshold is "more than": 400 lines stay, 401 are written and emptied.
    void checkpointThreshold()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 6));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.path());
        for (int i = 0; i < 400; ++i)
            log.Logger(QString::number(i));
        log.checkpoint(Log::List::View, 400, QStringLiteral("TIM"));
        QCOMPARE(log.lines().size(), 400);
        QVERIFY(files(dir.path(), QStringLiteral("*")).isEmpty());

        log.Logger(QStringLiteral("401"));
        log.checkpoint(Log::List::View, 400, QStringLiteral("TIM"));
        QVERIFY(log.lines().isEmpty());
        QCOMPARE(files(dir.path(), QStringLiteral("*")), QStringList { "TIM081226204806126.TXT" });
        const QByteArray bytes = read(dir.filePath(QStringLiteral("TIM081226204806126.TXT")));
        QCOMPARE(bytes.count("\r\n"), 401);
        QVERIFY(bytes.startsWith("08-12 20:48:06 0\r\n08-12 20:48:06 1\r\n"));
        QVERIFY(bytes.endsWith("08-12 20:48:06 401\r\n"));
    }

    void filesAreSingleByteWithCrLfAndNoBom()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.path());
        log.addReceived(QStringLiteral("caf\u00e9 \u20ac"));
        log.addReceived(QStringLiteral("[RS2_CONN_REQ]"));
        log.checkpoint(Log::List::Received, 1, QStringLiteral("RAM-IN"));
        QCOMPARE(read(dir.filePath(QStringLiteral("RAM-IN0812262048161216.TXT"))),
                 QByteArray("caf\xE9 \x80\r\n[RS2_CONN_REQ]\r\n"));
        QVERIFY(log.received().isEmpty());
    }

    // A file that cannot be written raises before the list is emptied, so no line is lost.
    // An outage of the log directory is reported once when it starts and once when it ends,
    // with the attempts between; no line is lost, and attempts come at most once a second.
    void outageReportedOnceAndNothingLost()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.filePath(QStringLiteral("missing")));
        for (int i = 0; i < 3; ++i)
            log.Logger(QString::number(i));
        QVERIFY_THROWS_EXCEPTION(KorvanError, log.checkpoint(Log::List::View, 1, QStringLiteral("TIM")));
        QCOMPARE(log.lines().size(), 3);
        // Later failures are counted, not thrown; within the same second they are not tried.
        log.checkpoint(Log::List::View, 1, QStringLiteral("TIM"));
        for (int i = 0; i < 3; ++i) {
            clock.advance(1000);
            log.checkpoint(Log::List::View, 1, QStringLiteral("TIM"));
        }
        QCOMPARE(log.lines().size(), 3);
        QVERIFY_THROWS_EXCEPTION(KorvanError, log.writeShutdownFiles());

        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("missing")));
        log.checkpoint(Log::List::View, 1, QStringLiteral("TIM"));
        clock.advance(1000);
        log.checkpoint(Log::List::View, 1, QStringLiteral("TIM"));
        QCOMPARE(log.lines(), QStringList { "08-12 20:48:20 M-> Logbestanden worden weer geschreven in "
                                            + dir.filePath(QStringLiteral("missing")) + ", na 4 mislukte pogingen" });
        QCOMPARE(read(dir.filePath(QStringLiteral("missing/TIM0812262048201220.TXT"))),
                 QByteArray("08-12 20:48:16 0\r\n08-12 20:48:16 1\r\n08-12 20:48:16 2\r\n"));
    }

    // Two checkpoints in one second write one file name: the second appends to it.
    void sameSecondAppendsToTheFile()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.path());
        log.Logger(QStringLiteral("first"));
        log.Logger(QStringLiteral("first"));
        log.checkpoint(Log::List::View, 1, QStringLiteral("RAM"));
        log.Logger(QStringLiteral("second"));
        log.Logger(QStringLiteral("second"));
        log.checkpoint(Log::List::View, 1, QStringLiteral("RAM"));
        QCOMPARE(files(dir.path(), QStringLiteral("*")), QStringList { "RAM0812262048161216.TXT" });
        QCOMPARE(read(dir.filePath(QStringLiteral("RAM0812262048161216.TXT"))),
                 QByteArray("08-12 20:48:16 first\r\n08-12 20:48:16 first\r\n08-12 20:48:16 second\r\n08-12 20:48:16 second\r\n"));
    }

    // A list past its ceiling goes to its file at the append that passes it: the log to "RAM",
    // the received list to "RAM-IN".
    void ceiling()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.path());
        for (int i = 0; i < Log::Ceiling; ++i) {
            log.Logger(QStringLiteral("x"));
            log.addReceived(QStringLiteral("[RS2_CONN_TEST]"));
        }
        QCOMPARE(log.lines().size(), Log::Ceiling);
        QCOMPARE(log.received().size(), Log::Ceiling);
        QVERIFY(files(dir.path(), QStringLiteral("*")).isEmpty());
        log.Logger(QStringLiteral("x"));
        log.addReceived(QStringLiteral("[RS2_CONN_TEST]"));
        QVERIFY(log.lines().isEmpty());
        QVERIFY(log.received().isEmpty());
        QCOMPARE(files(dir.path(), QStringLiteral("*")), QStringList({ "RAM-IN0812262048161216.TXT", "RAM0812262048161216.TXT" }));
        QCOMPARE(read(dir.filePath(QStringLiteral("RAM-IN0812262048161216.TXT"))).count("\r\n"), Log::Ceiling + 1);
        QCOMPARE(read(dir.filePath(QStringLiteral("RAM0812262048161216.TXT"))).count("\r\n"), Log::Ceiling + 1);
    }

    // While nothing can be written the lists keep growing up to the hard bound; past it the
    // oldest give way to one line that counts them, and the window is told to show the list anew.
    void hardBound()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.filePath(QStringLiteral("missing")));
        int resets = 0;
        int failures = 0;
        connect(&log, &Log::viewReset, [&] { ++resets; });
        connect(&log, &Log::linesAdded, [&](const QStringList &lines) {
            failures += int(lines.filter(QStringLiteral("M-> Logbestand")).size());
        });
        for (int i = 0; i < 2 * Log::HardBound; ++i)
            log.Logger(QString::number(i));
        QVERIFY(log.lines().size() <= Log::HardBound);
        QVERIFY(resets > 0);
        // One failure line for the whole outage, and the newest line kept.
        QCOMPARE(failures, 1);
        QVERIFY(log.lines().constFirst().contains(QStringLiteral("oudste regels weggelaten")));
        QCOMPARE(log.lines().constLast(), QStringLiteral("08-12 20:48:16 ") + QString::number(2 * Log::HardBound - 1));
        // The count says how many went: the lines shown, the count and the failure line add up.
        const qsizetype dropped = log.lines().constFirst().section(u' ', 3, 3).toLongLong();
        QCOMPARE(dropped + log.lines().size() - 1, qsizetype(2 * Log::HardBound) + 1);

        // Few entries of much text are bounded by their characters.
        const QString chunk(1024 * 1024, u'x');
        for (int i = 0; i < 40; ++i)
            log.addReceived(chunk);
        qsizetype characters = 0;
        for (const QString &r : log.received())
            characters += r.size();
        QVERIFY(characters <= Log::HardBoundCharacters);
        QVERIFY(log.received().constFirst().contains(QStringLiteral("oudste regels weggelaten")));
        QCOMPARE(log.received().constLast(), chunk);
    }

    void shutdownWritesBothListsWithoutEmptying()
    {
        QTemporaryDir dir;
        FixedClock clock(at(2027, 3, 5, 7, 4, 9));
        Regional regional;
        Log log(clock, regional);
        log.setLogDir(dir.path());
        log.Logger(QStringLiteral("M-> Ludor Korvan TIM server normaal uitgeschakeld"));
        log.writeShutdownFiles();
        QCOMPARE(files(dir.path(), QStringLiteral("*")),
                 QStringList({ "05032707040939.TXT", "RAM-IN05032707040939.TXT" }));
        QCOMPARE(read(dir.filePath(QStringLiteral("05032707040939.TXT"))),
                 QByteArray("05-03 07:04:09 M-> Ludor Korvan TIM server normaal uitgeschakeld\r\n"));
        // An empty received list still gives a file, of zero bytes.
        QCOMPARE(read(dir.filePath(QStringLiteral("RAM-IN05032707040939.TXT"))), QByteArray());
        QCOMPARE(log.lines().size(), 1);
    }

    void resetToHoldsOnlyTheText()
    {
        FixedClock clock(at(2026, 12, 8, 20, 48, 16));
        Regional regional;
        Log log(clock, regional);
        log.Logger(QStringLiteral("old"));
        log.resetTo(QStringLiteral("[RS2_RST,1]\r\n"));
        QCOMPARE(log.lines(), QStringList { "[RS2_RST,1]" });
        log.resetTo(QStringLiteral("[RS2_RST,1]\r"));
        QCOMPARE(log.lines(), QStringList { "[RS2_RST,1]\r" });
        log.resetTo(QStringLiteral("[RS2_RST,a\r\nb]"));
        QCOMPARE(log.lines(), QStringList({ "[RS2_RST,a", "b]" }));
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
