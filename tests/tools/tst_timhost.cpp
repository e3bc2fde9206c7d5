// The host simulator's script language: escapes both ways and the directives.
#include "script.h"

#include <QTest>

using namespace timhost;
using Kind = Step::Kind;

class TestTimhost : public QObject
{
    Q_OBJECT
private slots:
    // The answering host: what it answers to each message of the gateway.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QList<QByteArray>>("answers");
        QTest::newRow("TIM ride order") << QByteArray("[RS2_GR2,0042,3456\x1EPietersen\x1F" "09\x17]")
                                        << QList<QByteArray> { "[RS2_GR2_ADAP_TACK,0042,3456]\r\n" };
        QTest::newRow("template ride order") << QByteArray("[RS2_GRO,0042,0007O:$0109\r\n\x1E" "a\x17]")
                                             << QList<QByteArray> { "[RS2_GRO_TACK,0042,0007O:$0109\r\n]\r\n" };
        QTest::newRow("chat") << QByteArray("[RS2_VRY,0042,DE2Bel de centrale\r\n]") << QList<QByteArray> { "[RS2_VRY_ACK]\r\n" };
        QTest::newRow("position request") << QByteArray("[RS2_RGD_REQ,356000000000012]")
                                          << QList<QByteArray> { "[RS2_RGD_REQ_ACK]\r\n",
                                                                 "[RS2_RGD,356000000000012,0,91437890,8529634]\r\n" };
        QTest::newRow("reply to the host") << QByteArray("[RS2_CONN_ALIVE]") << QList<QByteArray>();
        QTest::newRow("banner") << QByteArray("[CONNECT_2000 - disp01]") << QList<QByteArray>();
    }
    void answers()
    {
        QFETCH(QByteArray, message);
        QFETCH(QList<QByteArray>, answers);
        QCOMPARE(timhost::hostAnswers(message), answers);
    }

    void takeMessages()
    {
        QByteArray buffer = "\r\n[RS2_EV_ACK][RS2_VRY,1,DE2x\r\n][RS2_GR";
        QCOMPARE(timhost::takeMessages(buffer), (QList<QByteArray> { "[RS2_EV_ACK]", "[RS2_VRY,1,DE2x\r\n]" }));
        QCOMPARE(buffer, QByteArray("[RS2_GR"));
        buffer += "2,0042,0001\x1E\x17]";
        QCOMPARE(timhost::takeMessages(buffer), QList<QByteArray> { "[RS2_GR2,0042,0001\x1E\x17]" });
        QVERIFY(buffer.isEmpty());
    }

    void escapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << "[RS2_CONN_TEST]\\r\\n" << QByteArray("[RS2_CONN_TEST]\r\n");
        QTest::newRow("hex byte") << "a\\x00\\xFFb" << QByteArray("a\0\xFF" "b", 4);
        QTest::newRow("tab and backslash") << "\\t\\\\" << QByteArray("\t\\");
        QTest::newRow("Windows-1252 text") << QStringLiteral("caf\u00e9 \u20ac") << QByteArray("caf\xE9 \x80");
    }
    void escapes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(expandEscapes(text).value(), bytes);
    }

    void badEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("unknown escape") << "\\q";
        QTest::newRow("one hex digit") << "\\x4";
        QTest::newRow("backslash at end") << "abc\\";
        QTest::newRow("no Windows-1252 byte") << QStringLiteral("\u4e2d");
    }
    void badEscapes()
    {
        QFETCH(QString, text);
        QString why;
        QVERIFY(!expandEscapes(text, &why));
        QVERIFY(!why.isEmpty());
    }

    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all += char(i);
        const QByteArray shown = escapeBytes(all);
        for (char c : shown)
            QVERIFY(quint8(c) >= 0x20 && quint8(c) < 0x7F);
        QCOMPARE(expandEscapes(QString::fromLatin1(shown)).value(), all);
    }

    void directives()
    {
        const ParseResult r = parseScript(u"# comment\r\n"
                                          "[RS2_CONN_REQ]\\r\\n\r\n"
                                          "\r\n"
                                          "@pause 250\r\n"
                                          "@wait\r\n"
                                          "@batch\r\n"
                                          "[A]\\r\\n\r\n"
                                          "[B]\r\n"
                                          "@end\r\n"
                                          "@split 3 [RS2_EV,1]\r\n"
                                          "@close\r\n",
                                          2000);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(r.steps.size(), 6);
        QCOMPARE(r.steps[0].kind, Kind::Send);
        QCOMPARE(r.steps[0].bytes, QByteArray("[RS2_CONN_REQ]\r\n"));
        QCOMPARE(r.steps[1].kind, Kind::Pause);
        QCOMPARE(r.steps[1].ms, 250);
        QCOMPARE(r.steps[2].kind, Kind::Wait);
        QCOMPARE(r.steps[2].ms, 2000);
        QCOMPARE(r.steps[3].kind, Kind::Send);
        QCOMPARE(r.steps[3].bytes, QByteArray("[A]\r\n[B]"));
        QCOMPARE(r.steps[4].kind, Kind::Split);
        QCOMPARE(r.steps[4].splitAt, 3);
        QCOMPARE(r.steps[4].bytes, QByteArray("[RS2_EV,1]"));
        QCOMPARE(r.steps[5].kind, Kind::Close);
    }

    void scriptErrors_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("line");
        QTest::newRow("unknown directive") << "[A]\n@jump 3" << 2;
        QTest::newRow("batch not closed") << "@batch\n[A]" << 1;
        QTest::newRow("end without batch") << "@end" << 1;
        QTest::newRow("split beyond text") << "@split 9 [A]" << 1;
        QTest::newRow("pause without time") << "@pause" << 1;
        QTest::newRow("bad escape") << "[A]\n[B]\\z" << 2;
    }
    void scriptErrors()
    {
        QFETCH(QString, script);
        QFETCH(int, line);
        const ParseResult r = parseScript(script, 2000);
        QVERIFY(!r.ok());
        QCOMPARE(r.errorLine, line);
        QVERIFY(r.steps.isEmpty());
    }

    void demoScriptParses()
    {
        QFile file(QStringLiteral(KORVAN_TOOLS_DIR "/demo.rs2"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const ParseResult r = parseScript(QString::fromUtf8(file.readAll()), 2000);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QVERIFY(r.steps.size() > 5);
    }
};

QTEST_GUILESS_MAIN(TestTimhost)
#include "tst_timhost.moc"
