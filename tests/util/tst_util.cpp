#include "util/ansicodec.h"
#include "util/clock.h"
#include "util/korvanfunctions.h"
#include "util/lenientint.h"

#include <QTest>

using namespace KorvanFunctions;

class TestUtil : public QObject
{
    Q_OBJECT
private slots:
    void lenientInt_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "2000" << 2000;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("negative, trailing text drops sign") << "-5x" << 5;
        QTest::newRow("digits then letters") << "12abc" << 12;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("leading blanks") << "   42" << 42;
        QTest::newRow("trailing blank is other text") << "-7 " << 7;
        QTest::newRow("plus") << "+8" << 8;
        QTest::newRow("dollar hex") << "$1F" << 31;
        QTest::newRow("0x hex") << "0x1f" << 31;
        QTest::newRow("negative hex") << "-$10" << -16;
        QTest::newRow("hex then other") << "0x1Fg" << 31;
        QTest::newRow("bare dollar") << "$" << 0;
        QTest::newRow("bare 0x") << "0x" << 0;
        QTest::newRow("lone zero") << "0" << 0;
        QTest::newRow("only sign") << "-" << 0;
        QTest::newRow("decimal point stops") << "2000.5" << 2000;
        QTest::newRow("saturates high") << "99999999999" << 2147483647;
        QTest::newRow("saturates low") << "-99999999999" << int(-2147483648LL);
        QTest::newRow("int min exactly") << "-2147483648" << int(-2147483648LL);
    }
    void lenientInt()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(::lenientInt(text), value);
    }

    void zeroPadFloat_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 6 << 2 << 0.0 << "000.00";
        QTest::newRow("12.5") << 6 << 2 << 12.5 << "012.50";
        QTest::newRow("long loses front") << 6 << 2 << 1234.5 << "234.50";
        QTest::newRow("negative") << 6 << 2 << -3.5 << "0-3.50";
        QTest::newRow("rounds down") << 6 << 2 << 999.994 << "999.99";
        QTest::newRow("1000 loses the 1") << 6 << 2 << 1000.0 << "000.00";
        QTest::newRow("width 0") << 0 << 2 << 5.0 << "";
        QTest::newRow("negative width") << -1 << 2 << 5.0 << "";
        QTest::newRow("no decimals") << 4 << 0 << 7.0 << "0007";
    }
    void zeroPadFloat()
    {
        QFETCH(int, width);
        QFETCH(int, decimals);
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(ZeroPadFloat(width, decimals, value), text);
    }

    void zeroPadText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("result");
        QTest::newRow("short") << "7" << 4 << "0007";
        QTest::newRow("long keeps last") << "123456" << 4 << "3456";
        QTest::newRow("empty") << "" << 4 << "0000";
        QTest::newRow("exact, not a number") << "AB12" << 4 << "AB12";
        QTest::newRow("width 10") << "1234567" << 10 << "0001234567";
        QTest::newRow("width 0") << "12" << 0 << "";
    }
    void zeroPadText()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, result);
        QCOMPARE(ZeroPadText(text, width), result);
    }

    void zeroPadInt_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("result");
        QTest::newRow("42") << 42 << 4 << "0042";
        QTest::newRow("cut") << 123456 << 4 << "3456";
        QTest::newRow("width 10") << 1234567 << 10 << "0001234567";
        QTest::newRow("negative keeps minus inside") << -5 << 4 << "00-5";
        QTest::newRow("width -3") << 5 << -3 << "";
    }
    void zeroPadInt()
    {
        QFETCH(int, value);
        QFETCH(int, width);
        QFETCH(QString, result);
        QCOMPARE(ZeroPadInt(value, width), result);
    }

    void hexDump_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("dump");
        QTest::newRow("AB") << "AB" << "41 42 ";
        QTest::newRow("blank") << " " << "20 ";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("control char gets two digits") << "\x01" << "01 ";
        QTest::newRow("euro sign") << QString(QChar(0x20AC)) << "20AC ";
        QTest::newRow("three digits") << QString(QChar(0x100)) << "100 ";
        QTest::newRow("e acute") << QString(QChar(0xE9)) << "E9 ";
    }
    void hexDump()
    {
        QFETCH(QString, text);
        QFETCH(QString, dump);
        QCOMPARE(HexDump(text), dump);
    }

    void codecRoundTripsEveryByte()
    {
        QByteArray all(256, Qt::Uninitialized);
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        const AnsiCodec &codec = AnsiCodec::instance();
        const QString text = codec.decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(codec.encode(text), all);
    }

    void codecIsWindows1252()
    {
        const AnsiCodec &codec = AnsiCodec::instance();
        QCOMPARE(codec.decode("\x80\xE9"), QString(QChar(0x20AC)) + QChar(0xE9));
        QCOMPARE(codec.encode(QString(QChar(0x20AC)) + QChar(0xE9)), QByteArray("\x80\xE9"));
        // A character outside the code page cannot travel and becomes "?".
        QCOMPARE(codec.encode(QString(QChar(0x4E2D))), QByteArray("?"));
    }

    void codecOtherCodePage()
    {
        // Latin-9 puts the euro sign at A4 where Windows-1252 has the currency sign.
        AnsiCodec latin9("ISO-8859-15");
        QCOMPARE(latin9.decode("\xA4"), QString(QChar(0x20AC)));
        AnsiCodec unknown("no-such-code-page");
        QCOMPARE(unknown.decode("\x80"), QString(QChar(0x20AC)));
    }

    void stationName_data()
    {
        QTest::addColumn<QString>("machine");
        QTest::addColumn<QString>("station");
        QTest::newRow("upper-cased") << "disp01" << "DISP01";
        QTest::newRow("unknown") << "" << "(UNKNOWN)";
        QTest::newRow("at most 15") << "averylongmachinename" << "AVERYLONGMACHIN";
        QTest::newRow("only a to z") << QStringLiteral("caf\u00e9-1") << QStringLiteral("CAF\u00e9-1");
    }
    void stationName()
    {
        QFETCH(QString, machine);
        QFETCH(QString, station);
        Regional r;
        r.machineName = machine;
        QCOMPARE(r.stationName(), station);
    }

    void longTimeUsesRegionalSeparator()
    {
        Regional r;
        r.timeSeparator = u'.';
        QCOMPARE(r.longTime(QTime(7, 4, 9)), QStringLiteral("07.04.09"));
    }
};

QTEST_GUILESS_MAIN(TestUtil)
#include "tst_util.moc"
