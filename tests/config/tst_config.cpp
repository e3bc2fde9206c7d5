#include "config/configfile.h"
#include "config/settingkeys.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <bit>
#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(Settings)

namespace {

QString dataPath(const QString &name)
{
    return QStringLiteral(KORVAN_CONFIG_DATA) + u'/' + name;
}

QByteArray fixture(const QString &name)
{
    QFile f(dataPath(name));
    if (!f.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return f.readAll();
}

// Line by line, so that a failure names the line; split() loses nothing, so equal lists mean
// equal bytes.
QList<QByteArray> lines(const QByteArray &bytes)
{
    return bytes.split('\n');
}

// A file whose form holds `body` (element lines, indentation free).
QByteArray file(const QByteArray &body)
{
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n" + body
        + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

template <class F>
Settings with(F change)
{
    Settings s;
    change(s);
    return s;
}

// The one default that differs by platform, fixed so that the expected files hold everywhere.
Settings defaults()
{
    return with([](Settings &s) { s.xOdbcDriver = u"FreeTDS"_s; });
}

// Every stored setting moved off its default.
Settings changedEverywhere()
{
    Settings s;
    for (const SettingKey &k : settingKeys()) {
        switch (k.kind) {
        case SettingKey::Kind::Text:
        case SettingKey::Kind::Secret:
        case SettingKey::Kind::Choice: s.*k.text += u"~"_s; break;
        case SettingKey::Kind::Check: s.*k.check = !(s.*k.check); break;
        case SettingKey::Kind::Number: s.*k.number += 41; break;
        case SettingKey::Kind::Attributes:
            s.xaCommitRetaining = !s.xaCommitRetaining;
            s.xaAbortRetaining = !s.xaAbortRetaining;
            break;
        case SettingKey::Kind::Lines: s.*k.lines << u"99=extra"_s; break;
        }
    }
    return s;
}

// The keys whose values differ; numbers compare by their bits, so 0 and -0 differ.
QStringList differences(const Settings &a, const Settings &b)
{
    QStringList out;
    for (const SettingKey &k : settingKeys()) {
        bool same = true;
        switch (k.kind) {
        case SettingKey::Kind::Text:
        case SettingKey::Kind::Secret:
        case SettingKey::Kind::Choice: same = a.*k.text == b.*k.text; break;
        case SettingKey::Kind::Check: same = a.*k.check == b.*k.check; break;
        case SettingKey::Kind::Number:
            same = std::bit_cast<quint64>(a.*k.number) == std::bit_cast<quint64>(b.*k.number);
            break;
        case SettingKey::Kind::Attributes:
            same = a.xaCommitRetaining == b.xaCommitRetaining && a.xaAbortRetaining == b.xaAbortRetaining;
            break;
        case SettingKey::Kind::Lines: same = a.*k.lines == b.*k.lines; break;
        }
        if (!same)
            out << k.key;
    }
    if (a.Bedrijfsnummer != b.Bedrijfsnummer)
        out << u"Bedrijfsnummer"_s;
    return out;
}

QString hex(const std::array<unsigned char, 10> &b)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(b.data()), 10).toHex().toUpper());
}

std::array<unsigned char, 10> bytesOf(const QString &hexText)
{
    const QByteArray raw = QByteArray::fromHex(hexText.toLatin1());
    std::array<unsigned char, 10> b {};
    Q_ASSERT(raw.size() == 10);
    std::copy(raw.begin(), raw.end(), b.begin());
    return b;
}

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void defaultsByteForByte()
    {
        ConfigDocument doc;
        doc.copyFrom(defaults());
        QCOMPARE(lines(doc.toBytes()), lines(fixture(u"defaults.xml"_s)));

        // And the file reads back as every default, whatever was set before.
        Settings s = changedEverywhere();
        ConfigDocument::load(dataPath(u"defaults.xml"_s)).read(s);
        QCOMPARE(differences(s, defaults()), QStringList());
    }

    void roundTrip_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<Settings>("readBack");
        const auto row = [](const char *name, const Settings &s, const QByteArray &written) {
            QTest::newRow(name) << s << written << s;
        };
        row("five entities", with([](Settings &s) { s.xLoginServer = u"a&b<c>d\"e'f"_s; }),
            "    <xLoginServer_Text>a&amp;b&lt;c&gt;d&quot;e&apos;f</xLoginServer_Text>\r\n");
        row("empty text", with([](Settings &s) { s.ssl_key.clear(); }), "    <ssl_key_Text/>\r\n");
        row("blanks kept", with([](Settings &s) { s.RamID = u"  CONNECT  97 "_s; }), "<RamID_Text>  CONNECT  97 </RamID_Text>");
        row("latin-1 as its byte", with([](Settings &s) { s.xLoginSQL = u"caf\u00e9 \u00ff"_s; }),
            "<xLoginSQL_Text>caf\xe9 \xff</xLoginSQL_Text>");
        row("beyond latin-1 as references", with([](Settings &s) { s.xPaswoordSQL = u"\u20ac1\U0001D11E"_s; }),
            "<xPaswoordSQL_Text>&#8364;1&#119070;</xPaswoordSQL_Text>");
        row("line ends and tab", with([](Settings &s) { s.xVXLUitgaand = u"a\r\nb\tc\nd"_s; }),
            "<xVXLUitgaand_Text>a&#13;\nb\tc\nd</xVXLUitgaand_Text>");
        row("check on", with([](Settings &s) { s.RamActive = true; }), "    <RamActive_Checked>TRUE</RamActive_Checked>\r\n");
        row("check off", with([](Settings &s) { s.apxsv1 = false; }), "    <apxsv1_Checked>FALSE</apxsv1_Checked>\r\n");
        row("number 5", with([](Settings &s) { s.RGDMIN = 5; }), "<RGDMIN_Value>00000000000000A00140</RGDMIN_Value>");
        row("number 0", with([](Settings &s) { s.RGDMIN = 0; }), "<RGDMIN_Value>00000000000000000000</RGDMIN_Value>");
        row("number -0", with([](Settings &s) { s.RGDMIN = -0.0; }), "<RGDMIN_Value>00000000000000000080</RGDMIN_Value>");
        row("number -2.5", with([](Settings &s) { s.RGDMIN = -2.5; }), "<RGDMIN_Value>00000000000000A000C0</RGDMIN_Value>");
        row("number 0.1", with([](Settings &s) { s.RGDMIN = 0.1; }), "<RGDMIN_Value>00D0CCCCCCCCCCCCFB3F</RGDMIN_Value>");
        row("attributes commit", with([](Settings &s) { s.xaCommitRetaining = true; }),
            "    <ADO_Attributes>\r\n      <xaCommitRetaining>TRUE</xaCommitRetaining>\r\n"
            "      <xaAbortRetaining>FALSE</xaAbortRetaining>\r\n    </ADO_Attributes>\r\n");
        row("attributes abort", with([](Settings &s) { s.xaAbortRetaining = true; }),
            "      <xaCommitRetaining>FALSE</xaCommitRetaining>\r\n      <xaAbortRetaining>TRUE</xaAbortRetaining>\r\n");
        row("lines", with([](Settings &s) { s.ESTLIJST = { u"1=a&b"_s, QString(), u"3=c"_s }; }),
            "    <ESTLIJST_Lines>\r\n      <Item0>1=a&amp;b</Item0>\r\n      <Item1/>\r\n      <Item2>3=c</Item2>\r\n"
            "      <Count>3</Count>\r\n    </ESTLIJST_Lines>\r\n");
        row("no lines", with([](Settings &s) { s.ESTLIJST.clear(); }),
            "    <ESTLIJST_Lines>\r\n      <Count>0</Count>\r\n    </ESTLIJST_Lines>\r\n");
        row("added keys", with([](Settings &s) {
                s.xDatabaseType = u"SQLITE"_s;
                s.NotifyPort = u"54300"_s;
            }),
            "<xDatabaseType_Text>SQLITE</xDatabaseType_Text>");
        row("everything changed", changedEverywhere(), "<RGDMIN_Value>00000000000000A80440</RGDMIN_Value>");
        QTest::newRow("characters XML cannot carry are left out")
            << with([](Settings &s) { s.RamGetalMax = u"3\u00014"_s + QChar(0xD800) + u"\uFFFE"_s; }) << QByteArray("<RamGetalMax_Text>34</")
            << with([](Settings &s) { s.RamGetalMax = u"34"_s; });
        QTest::newRow("not stored: Bedrijfsnummer")
            << with([](Settings &s) { s.Bedrijfsnummer = u"3"_s; }) << QByteArray("<GRODELRIT_Checked>FALSE") << Settings();
    }
    void roundTrip()
    {
        QFETCH(Settings, settings);
        QFETCH(QByteArray, written);
        QFETCH(Settings, readBack);
        ConfigDocument doc;
        doc.copyFrom(settings);
        const QByteArray bytes = doc.toBytes();
        QVERIFY2(bytes.contains(written), bytes.constData());
        QVERIFY(!bytes.contains("Bedrijfsnummer"));
        Settings back;
        ConfigDocument::parse(bytes).read(back);
        QCOMPARE(differences(back, readBack), QStringList());
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Settings>("expected");
        const auto row = [](const char *name, const QByteArray &body, const Settings &expected) {
            QTest::newRow(name) << body << expected;
        };
        const auto ramActive = with([](Settings &s) { s.RamActive = true; });
        const auto apxsv1Off = with([](Settings &s) { s.apxsv1 = false; });
        const auto port2100 = with([](Settings &s) { s.RamPoort = u"2100"_s; });

        row("check yEs", "<RamActive_Checked>yEs</RamActive_Checked>", ramActive);
        row("check y", "<RamActive_Checked>y</RamActive_Checked>", ramActive);
        row("check True", "<RamActive_Checked>True</RamActive_Checked>", ramActive);
        row("check with blanks", "<RamActive_Checked> TRUE </RamActive_Checked>", ramActive);
        row("check 2", "<RamActive_Checked>2</RamActive_Checked>", ramActive);
        row("check -1", "<RamActive_Checked>-1</RamActive_Checked>", ramActive);
        row("check hex", "<RamActive_Checked>$10</RamActive_Checked>", ramActive);
        row("check No", "<apxsv1_Checked>No</apxsv1_Checked>", apxsv1Off);
        row("check n", "<apxsv1_Checked>n</apxsv1_Checked>", apxsv1Off);
        row("check fAlSe", "<apxsv1_Checked>fAlSe</apxsv1_Checked>", apxsv1Off);
        row("check 0", "<apxsv1_Checked>0</apxsv1_Checked>", apxsv1Off);
        // A word is not 0: the box keeps its default, and what follows is still read.
        row("check word keeps", "<apxsv1_Checked>misschien</apxsv1_Checked><RamPoort_Text>2100</RamPoort_Text>", port2100);
        row("check word keeps off", "<RamActive_Checked>aan</RamActive_Checked><RamPoort_Text>2100</RamPoort_Text>", port2100);
        row("check digits then text keeps", "<apxsv1_Checked>0abc</apxsv1_Checked>", Settings());
        row("check empty keeps", "<apxsv1_Checked/>", Settings());
        row("check with children keeps", "<apxsv1_Checked><x>0</x></apxsv1_Checked>", Settings());

        const auto rgd = [](double v) { return with([v](Settings &s) { s.RGDMIN = v; }); };
        row("number 5", "<RGDMIN_Value>00000000000000A00140</RGDMIN_Value>", rgd(5));
        row("number lower case", "<RGDMIN_Value>00000000000000a00140</RGDMIN_Value>", rgd(5));
        row("number 9 bytes keeps", "<RGDMIN_Value>000000000000A00140</RGDMIN_Value>", Settings());
        row("number 11 bytes keeps", "<RGDMIN_Value>00000000000000A0014000</RGDMIN_Value>", Settings());
        row("number odd digits keeps", "<RGDMIN_Value>00000000000000A001400</RGDMIN_Value>", Settings());
        row("number not hex keeps", "<RGDMIN_Value>00000000000000A0014G</RGDMIN_Value>", Settings());
        row("number NaN keeps", "<RGDMIN_Value>00000000000000C0FF7F</RGDMIN_Value>", Settings());
        row("number empty keeps", "<RGDMIN_Value/>", Settings());

        row("text entities, references, CDATA", "<RamID_Text>&#8364;&amp;&#x41;<![CDATA[<x>]]>&apos;</RamID_Text>",
            with([](Settings &s) { s.RamID = u"\u20ac&A<x>'"_s; }));
        row("text latin-1 byte", "<xLoginSQL_Text>caf\xe9</xLoginSQL_Text>", with([](Settings &s) { s.xLoginSQL = u"caf\u00e9"_s; }));
        row("text empty", "<ssl_key_Text/>", with([](Settings &s) { s.ssl_key.clear(); }));
        row("text empty pair", "<ssl_key_Text></ssl_key_Text>", with([](Settings &s) { s.ssl_key.clear(); }));
        row("text with children keeps", "<ssl_key_Text><a>b</a></ssl_key_Text>", Settings());
        row("first of two counts", "<RamPoort_Text>2100</RamPoort_Text><RamPoort_Text>2200</RamPoort_Text>", port2100);
        row("unknown and other-case elements ignored",
            "<Onbekend_Text>x</Onbekend_Text><ramactive_checked>TRUE</ramactive_checked><RamPoort_Text>2100</RamPoort_Text>",
            port2100);
        row("empty form", "", Settings());
        row("added key", "<NotifyPort_Text>54300</NotifyPort_Text>", with([](Settings &s) { s.NotifyPort = u"54300"_s; }));

        const auto est = [](const QStringList &l) { return with([l](Settings &s) { s.ESTLIJST = l; }); };
        row("lines", "<ESTLIJST_Lines><Item0>a</Item0><Item1>b</Item1><Count>2</Count></ESTLIJST_Lines>", est({ u"a"_s, u"b"_s }));
        row("lines count 0", "<ESTLIJST_Lines><Item0>a</Item0><Count>0</Count></ESTLIJST_Lines>", est({}));
        row("lines by index", "<ESTLIJST_Lines><Count>2</Count><Item1>b</Item1><Item0>a</Item0></ESTLIJST_Lines>",
            est({ u"a"_s, u"b"_s }));
        row("lines beyond count ignored", "<ESTLIJST_Lines><Item0>a</Item0><Item1>b</Item1><Count>1</Count></ESTLIJST_Lines>",
            est({ u"a"_s }));
        row("lines missing item is empty", "<ESTLIJST_Lines><Item0>a</Item0><Item2>c</Item2><Count>3</Count></ESTLIJST_Lines>",
            est({ u"a"_s, QString(), u"c"_s }));
        row("lines Item01 is not Item1", "<ESTLIJST_Lines><Item01>x</Item01><Item0>a</Item0><Count>2</Count></ESTLIJST_Lines>",
            est({ u"a"_s, QString() }));
        row("lines no count keeps", "<ESTLIJST_Lines><Item0>a</Item0></ESTLIJST_Lines>", Settings());
        row("lines bad count keeps", "<ESTLIJST_Lines><Item0>a</Item0><Count>een</Count></ESTLIJST_Lines>", Settings());
        row("lines negative count keeps", "<ESTLIJST_Lines><Count>-1</Count></ESTLIJST_Lines>", Settings());
        row("lines absurd count keeps", "<ESTLIJST_Lines><Count>2147483647</Count></ESTLIJST_Lines>", Settings());

        row("attributes one of two", "<ADO_Attributes><xaAbortRetaining>yes</xaAbortRetaining></ADO_Attributes>",
            with([](Settings &s) { s.xaAbortRetaining = true; }));
        row("attributes lenient", "<ADO_Attributes><xaCommitRetaining>1</xaCommitRetaining><xaAbortRetaining>x</xaAbortRetaining></ADO_Attributes>",
            with([](Settings &s) { s.xaCommitRetaining = true; }));
        row("attributes as text keeps", "<ADO_Attributes>TRUE</ADO_Attributes>", Settings());
    }
    void reading()
    {
        QFETCH(QByteArray, body);
        QFETCH(Settings, expected);
        Settings s;
        ConfigDocument::parse(file(body)).read(s);
        QCOMPARE(differences(s, expected), QStringList());
    }

    // Missing elements and values that do not convert keep what the settings held, default or not.
    void readKeepsWhatItCannotRead()
    {
        const Settings before = changedEverywhere();
        Settings s = before;
        ConfigDocument::parse(file("<RamActive_Checked>misschien</RamActive_Checked><RGDMIN_Value>00</RGDMIN_Value>"
                                   "<RamPoort_Text>2100</RamPoort_Text>"))
            .read(s);
        Settings expected = before;
        expected.RamPoort = u"2100"_s;
        QCOMPARE(differences(s, expected), QStringList());
    }

    void extended_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("bytes");
        const double denormal = std::numeric_limits<double>::denorm_min();
        QTest::newRow("1") << 1.0 << u"0000000000000080FF3F"_s;
        QTest::newRow("5") << 5.0 << u"00000000000000A00140"_s;
        QTest::newRow("60") << 60.0 << u"00000000000000F00440"_s;
        QTest::newRow("0") << 0.0 << u"00000000000000000000"_s;
        QTest::newRow("-0") << -0.0 << u"00000000000000000080"_s;
        QTest::newRow("-2.5") << -2.5 << u"00000000000000A000C0"_s;
        QTest::newRow("0.1") << 0.1 << u"00D0CCCCCCCCCCCCFB3F"_s;
        QTest::newRow("1/3") << 1.0 / 3 << u"00A8AAAAAAAAAAAAFD3F"_s;
        QTest::newRow("-1e300") << -1e300 << u"00E0AC0340E421BFE3C3"_s;
        QTest::newRow("largest") << std::numeric_limits<double>::max() << u"00F8FFFFFFFFFFFFFE43"_s;
        QTest::newRow("smallest normal") << std::numeric_limits<double>::min() << u"0000000000000080013C"_s;
        QTest::newRow("smallest denormal") << denormal << u"0000000000000080CD3B"_s;
        QTest::newRow("3 denormals") << 3 * denormal << u"00000000000000C0CE3B"_s;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << u"0000000000000080FF7F"_s;
        QTest::newRow("-infinity") << -std::numeric_limits<double>::infinity() << u"0000000000000080FFFF"_s;
    }
    void extended()
    {
        QFETCH(double, value);
        QFETCH(QString, bytes);
        QCOMPARE(hex(toExtended(value)), bytes);
        QCOMPARE(std::bit_cast<quint64>(fromExtended(bytesOf(bytes))), std::bit_cast<quint64>(value));
    }

    // Extended values a double cannot hold: rounded to nearest, ties to even.
    void extendedToDouble_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<double>("value");
        const double denormal = std::numeric_limits<double>::denorm_min();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("1 + 2^-63 down") << u"0100000000000080FF3F"_s << 1.0;
        QTest::newRow("tie to even, down") << u"0004000000000080FF3F"_s << 1.0;
        QTest::newRow("tie to even, up") << u"000C000000000080FF3F"_s << 1.0 + std::ldexp(1.0, -51);
        QTest::newRow("just above tie") << u"0104000000000080FF3F"_s << 1.0 + std::ldexp(1.0, -52);
        QTest::newRow("half the smallest denormal") << u"0000000000000080CC3B"_s << 0.0;
        QTest::newRow("above half the smallest denormal") << u"0100000000000080CC3B"_s << denormal;
        QTest::newRow("0.75 of the smallest denormal") << u"00000000000000C0CC3B"_s << denormal;
        QTest::newRow("quarter of the smallest denormal") << u"0000000000000080CB3B"_s << 0.0;
        QTest::newRow("far below") << u"0000000000000080000F"_s << 0.0;
        QTest::newRow("negative far below") << u"00000000000000800080"_s << -0.0;
        QTest::newRow("extended denormal") << u"01000000000000000000"_s << 0.0;
        QTest::newRow("far above") << u"0000000000000080FE7F"_s << inf;
        QTest::newRow("rounds up past the largest") << u"FFFFFFFFFFFFFFFFFE43"_s << inf;
        QTest::newRow("pseudo-infinity") << u"0000000000000000FF7F"_s << inf;
        // Without the integer bit the digits still spell a number: 0.5.
        QTest::newRow("unnormal") << u"0000000000000040FF3F"_s << 0.5;
    }
    void extendedToDouble()
    {
        QFETCH(QString, bytes);
        QFETCH(double, value);
        QCOMPARE(std::bit_cast<quint64>(fromExtended(bytesOf(bytes))), std::bit_cast<quint64>(value));
    }

    void extendedNaN()
    {
        QVERIFY(std::isnan(fromExtended(bytesOf(u"00000000000000C0FF7F"_s))));
        QVERIFY(std::isnan(fromExtended(bytesOf(u"0100000000000080FF7F"_s)))); // signalling
        const auto nan = toExtended(std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(nan[9] & 0x7F, 0x7F);
        QCOMPARE(int(nan[8]), 0xFF);
        QVERIFY(std::isnan(fromExtended(nan)));
        QVERIFY(std::isnan(fromExtended(toExtended(std::numeric_limits<double>::signaling_NaN()))));
    }

    // As the earlier program left the file: its keys only, another order, elements it does not
    // know. It reads as written, and writing it back keeps all of that.
    void earlierProgramsFile()
    {
        ConfigDocument doc = ConfigDocument::load(dataPath(u"old-layout.xml"_s));
        Settings s = defaults();
        doc.read(s);
        Settings expected = defaults();
        expected.xLoginServer = u"SRV01\\SQLEXPRESS"_s;
        expected.xLoginDatabase = u"Korvan"_s;
        expected.xLoginSQL = u"sa"_s;
        expected.xPaswoordSQL = u"g&heim<1>"_s;
        expected.RamActive = true;
        expected.ssl_key = u"sleutel"_s;
        expected.RamID = u"CONNECT_97"_s;
        expected.RamGetalMax = u"35"_s;
        expected.RamPoort = u"2001"_s;
        expected.Minimaliseren = true;
        expected.vv1 = u"01"_s;
        expected.vv2 = u"02"_s;
        expected.vv3 = u"03"_s;
        expected.vv4 = u"04"_s;
        expected.vv5 = u"05"_s;
        expected.vv6.clear();
        expected.xaCommitRetaining = true;
        expected.apxsv1 = false;
        expected.APXBV1 = false;
        expected.Gebruikersnummer = u"7"_s;
        expected.apxod1 = false;
        expected.APXSD1 = false;
        expected.DecimaalTeken = u","_s;
        expected.xVXLUitgaand = u"D:\\Export\\Ritstatus \u00e9\u00e9n"_s;
        expected.VXLBackup = false;
        expected.VXLActief = false;
        expected.pos16 = true;
        expected.MemoTekst = true;
        expected.SAC = true;
        expected.Loosmelden = true;
        expected.GPSStatus = false;
        expected.PCZM = u"10"_s;
        expected.School = u"13"_s;
        expected.Groeps = u"14"_s;
        expected.Centralist = true;
        expected.RGDMIN = 5;
        expected.RGD = true;
        expected.Zones = true;
        expected.ZonesPositie = false;
        expected.GRO = true;
        expected.WachtSecondenGebruik = false;
        expected.GRODELRIT = true;
        expected.ESTLIJST = { u"1=SPRAAKAANVRAAG"_s, u"2=bel \"even\" naar wagen"_s, u"11=file"_s };
        QCOMPARE(differences(s, expected), QStringList());

        s.RamPoort = u"2100"_s;
        s.ESTLIJST.removeLast();
        const QByteArray saved = fixture(u"old-layout-saved.xml"_s);
        doc.copyFrom(s);
        QCOMPARE(lines(doc.toBytes()), lines(saved));
        doc.copyFrom(s); // a second copy adds nothing
        QCOMPARE(lines(doc.toBytes()), lines(saved));
    }

    // Unknown elements inside an element that is not a key, elements that are empty and
    // elements holding only blanks come back as they were.
    void unknownElementsKept()
    {
        const QByteArray extra = "    <Onbekend>\r\n      <Diep>\r\n        <Blad>a&amp;b</Blad>\r\n      </Diep>\r\n"
                                 "      <Leeg/>\r\n    </Onbekend>\r\n    <Spaties>  </Spaties>\r\n";
        ConfigDocument doc = ConfigDocument::parse(file(extra));
        doc.copyFrom(defaults());
        const QByteArray bytes = doc.toBytes();
        const QByteArray start = "  <Hoofdscherm>\r\n    <FormVersion>0</FormVersion>\r\n";
        QVERIFY2(bytes.contains(start + extra + "    <xLoginDatabase_Text/>\r\n"), bytes.constData());
    }

    // A file that is not well-formed keeps every setting before the fault; the settings at and
    // after it keep their defaults, and the problem says where it is.
    void malformedKeepsWhatCameBefore_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("portRead");   // RamPoort_Text stands before the fault
        QTest::addColumn<bool>("activeRead"); // RamActive_Checked stands after it in most rows
        QTest::addColumn<int>("line");        // of the fault
        const QByteArray good = file("<RamPoort_Text>2100</RamPoort_Text>\r\n<RamActive_Checked>TRUE</RamActive_Checked>\r\n");
        QTest::newRow("empty") << QByteArray() << false << false << 1;
        QTest::newRow("not XML") << QByteArray("RamPoort_Text=2100\r\n") << false << false << 1;
        QTest::newRow("cut short") << good.left(good.indexOf("</Hoofdscherm>")) << true << true << 6;
        QTest::newRow("junk after the root") << good + "<Configuration/>" << true << true << 8;
        QTest::newRow("other root") << QByteArray(good).replace("Configuration", "Instellingen") << false << false << 2;
        QTest::newRow("stray ampersand") << file("<RamPoort_Text>2100</RamPoort_Text>\r\n<xPaswoordSQL_Text>a&b</xPaswoordSQL_Text>\r\n"
                                                 "<RamActive_Checked>TRUE</RamActive_Checked>\r\n")
                                         << true << false << 5;
        QTest::newRow("missing closing tag") << file("<RamPoort_Text>2100</RamPoort_Text>\r\n<ESTLIJST_Lines><Item0>x</Item0>\r\n"
                                                     "<RamActive_Checked>TRUE</RamActive_Checked>\r\n")
                                             << true << false << 7;
        QTest::newRow("undeclared entity") << file("<RamPoort_Text>2100</RamPoort_Text><RamID_Text>&euro;</RamID_Text>") << true << false << 4;
        QTest::newRow("latin-1 bytes declared as UTF-8")
            << QByteArray(good).replace("iso-8859-1", "UTF-8").replace("2100", "21\xe9") << false << false << 1;
    }
    void malformedKeepsWhatCameBefore()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, portRead);
        QFETCH(bool, activeRead);
        QFETCH(int, line);
        ConfigDocument doc = ConfigDocument::parse(bytes);
        QCOMPARE(doc.problem().kind, ConfigDocument::Problem::Kind::Malformed);
        QCOMPARE(doc.problem().line, line);
        QVERIFY(!doc.problem().detail.isEmpty());
        Settings s = defaults();
        doc.read(s);
        Settings expected = defaults();
        if (portRead)
            expected.RamPoort = u"2100"_s;
        expected.RamActive = activeRead;
        QCOMPARE(differences(s, expected), QStringList());
        QCOMPARE(doc.has("RamPoort_Text"_L1), portRead);
    }

    void wellFormedHasNoProblem()
    {
        QCOMPARE(ConfigDocument::parse(fixture(u"defaults.xml"_s)).problem().kind, ConfigDocument::Problem::Kind::None);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const ConfigDocument missing = ConfigDocument::load(dir.filePath(u"KorvanTim.xml"_s));
        QCOMPARE(missing.problem().kind, ConfigDocument::Problem::Kind::None);
        QVERIFY(!missing.has("RamPoort_Text"_L1));
    }

    // A path that cannot be read at all gives the defaults, and says so.
    void loadUnreadable()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        ConfigDocument doc = ConfigDocument::load(dir.path());
        QCOMPARE(doc.problem().kind, ConfigDocument::Problem::Kind::Unreadable);
        doc.copyFrom(defaults());
        QCOMPARE(lines(doc.toBytes()), lines(fixture(u"defaults.xml"_s)));
    }

    void save_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("existing");
        QTest::newRow("new file, directories made") << u"a/b/KorvanTim.xml"_s << false;
        QTest::newRow("replaces a readable file") << u"KorvanTim.xml"_s << true;
    }
    void save()
    {
        QFETCH(QString, relative);
        QFETCH(bool, existing);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(relative);
        if (existing) {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old and longer than nothing");
            old.close();
            QVERIFY(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                       | QFileDevice::ReadOther));
        }
        ConfigDocument doc;
        doc.copyFrom(defaults());
        QVERIFY(doc.save(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(lines(f.readAll()), lines(fixture(u"defaults.xml"_s)));
#ifdef Q_OS_UNIX
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0600));
#endif
    }

#ifdef Q_OS_UNIX
    // A file the gateway does not own (a service that runs as root saving the site user's
    // file) is written in place: it keeps its owner and its mode.
    void saveKeepsOwnerAndMode()
    {
        if (::geteuid() != 0)
            QSKIP("giving the file another owner needs root");
        QTemporaryDir dir;
        const QString path = dir.filePath(u"KorvanTim.xml"_s);
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old and longer than nothing, longer than the new file might be");
        old.close();
        const QByteArray name = QFile::encodeName(path);
        QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(name.constData(), 0640), 0);
        ConfigDocument doc;
        doc.copyFrom(defaults());
        QString why;
        QVERIFY2(doc.save(path, &why), qPrintable(why));
        struct stat st {};
        QCOMPARE(::stat(name.constData(), &st), 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(lines(f.readAll()), lines(fixture(u"defaults.xml"_s)));
    }
#endif

    void saveFails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("path is a directory") << u"directory"_s;
        QTest::newRow("parent is a file") << u"under a file"_s;
        QTest::newRow("read-only file") << u"read-only"_s;
    }
    void saveFails()
    {
        QFETCH(QString, kind);
        QTest::failOnWarning(QRegularExpression(u".*"_s)); // fails quietly
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QString path = dir.filePath(u"KorvanTim.xml"_s);
        const QByteArray old = "<keep/>";
        if (kind == u"directory") {
            QVERIFY(QDir().mkpath(path));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(old);
            f.close();
            if (kind == u"read-only")
                QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));
            else
                path += u"/KorvanTim.xml"_s;
        }
        ConfigDocument doc;
        doc.copyFrom(defaults());
        QVERIFY(!doc.save(path));
        if (kind == u"read-only") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), old);
            QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)); // let the cleanup remove it
        }
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
