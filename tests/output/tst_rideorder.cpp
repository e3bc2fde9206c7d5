// The messages for the vehicles as pure functions: exact texts, and tables of the rules.
#include "config/settings.h"
#include "output/rideorder.h"
#include "output/vehiclemessages.h"

#include <QSqlField>
#include <QSqlRecord>
#include <QTest>

#include <ctime>

using namespace Qt::Literals::StringLiterals;

namespace {

// The worked example: ride 123456 for vehicle 0042, Pietersen Annemarie, 14:30.
RideRecord example()
{
    RideRecord r;
    r.id = 123456;
    r.naamReiziger = u"Pietersen Annemarie"_s;
    r.soortVervoer = u"P"_s;
    r.rc = 0;
    r.bedrag = 12.50;
    r.bedrag3 = 25.00;
    r.eigenaar = u"001"_s;
    r.lopers = 1;
    r.tijdstip = QTime(14, 30);
    r.ophStraat = u"Stationsplein"_s;
    r.ophNummer = u"12"_s;
    r.ophNummerToe = u"A"_s;
    r.ophStad = u"Utrecht"_s;
    r.besStraat = u"Neude"_s;
    r.besNummer = u"11"_s;
    r.besStad = u"Utrecht"_s;
    r.opmerking = u"Wacht bij hoofdingang oost"_s;
    r.vpdPasnummer = u"PAS778899"_s;
    return r;
}

// {RS} {US} {ETB} {CR} {LF} in a readable expectation.
QString expand(QString s)
{
    return s.replace(u"{RS}"_s, QString(RS)).replace(u"{US}"_s, QString(US)).replace(u"{ETB}"_s, QString(ETB))
        .replace(u"{CR}"_s, u"\r"_s).replace(u"{LF}"_s, u"\n"_s).replace(u"{SP}"_s, u" "_s);
}

// The fields after the RS, numbered from 1 (index 0 is the head up to the RS).
QStringList fields(const QString &message)
{
    const qsizetype rs = message.indexOf(RS);
    QStringList out { message.left(rs) };
    out += message.mid(rs + 1).chopped(2).split(US); // without ETB and "]"
    return out;
}

// Lines 1 to 8 of a display text without memo; a line shorter than 20 ends with CR. Line 9
// ("SV: ...") is the rest.
QStringList displayLines(const QString &field9)
{
    QStringList lines;
    QString rest = field9;
    while (lines.size() < 8 && !rest.isEmpty()) {
        const qsizetype cr = rest.indexOf(u'\r');
        const qsizetype end = (cr >= 0 && cr < 20) ? cr + 1 : 20;
        lines << rest.left(end);
        rest = rest.mid(end);
    }
    lines << rest;
    return lines;
}

} // namespace

class TestRideOrder : public QObject
{
    Q_OBJECT
private slots:
    // Summer time starts at 02:00 on 29 March 2026 in the dispatch sites' zone.
    void initTestCase()
    {
        qputenv("TZ", "Europe/Amsterdam");
        tzset();
    }

    // The booked time as stored, however the driver hands it over, also in the hour that the
    // change to summer time skips.
    void storedTimeAsItIs_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QTime>("time");
        QTest::newRow("text") << QVariant(u"2026-12-08 14:30:00.000"_s) << QTime(14, 30);
        QTest::newRow("text with T") << QVariant(u"2026-12-08T09:05:00"_s) << QTime(9, 5);
        QTest::newRow("text in the skipped hour") << QVariant(u"2026-03-29 02:30:00.000"_s) << QTime(2, 30);
        QTest::newRow("date-time in the skipped hour")
            << QVariant(QDateTime::fromString(u"2026-03-29T02:30:00"_s, Qt::ISODate)) << QTime(2, 30);
        QTest::newRow("date-time") << QVariant(QDateTime(QDate(2026, 12, 8), QTime(23, 59))) << QTime(23, 59);
        QTest::newRow("no time") << QVariant() << QTime(0, 0);
        QTest::newRow("not a time") << QVariant(u"gisteren"_s) << QTime(0, 0);
    }
    void storedTimeAsItIs()
    {
        QFETCH(QVariant, stored);
        QFETCH(QTime, time);
        QSqlRecord record;
        for (const char *column : { "pla_tijdstip", "pla_datumtijd" }) {
            QSqlField field(QString::fromLatin1(column), stored.metaType());
            field.setValue(stored);
            record.append(field);
        }
        const RideRecord ride = RideRecord::fromRecord(record);
        QCOMPARE(ride.tijdstip, time);
        QCOMPARE(ride.datumtijd, time);
        QCOMPARE(timOrderText(ride, u"0042"_s, Settings()).contains(u"P0 %1"_s.arg(time.toString(u"HHmm"_s))), true);
    }

    void workedExample()
    {
        const QString expected = expand(
            u"[RS2_GR2,0042,3456{RS}Pietersen Annemari{US}09{US}0001E240{US}09C4{US}PAS778899{US}0001{US}596{US}$01{CR}Stationsplein 12 A"
            "{US}NM Pietersen Ann 1/1P1 1430 E012.50 M{CR}O: Stationsplein{CR} 12 A Utrecht{CR}INF Wacht bij hoofdingang oost{CR}"
            "B: Neude{CR} 11   Utrecht{CR}SV: P RC: C RL: L BG: N{US}{US}0002{US}596{US}$01{CR}Neude 11 {US}$09{US}{ETB}]"_s);
        QCOMPARE(timOrderText(example(), u"0042"_s, Settings()), expected);

        Settings gro;
        gro.GRO = true;
        QVERIFY(timOrderText(example(), u"0042"_s, gro).startsWith(u"[RS2_GRO,0042,3456"_s));
    }

    void digitsAndIds_data()
    {
        QTest::addColumn<QString>("vehicle");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("hexId");
        QTest::newRow("example") << "0042" << 123456 << "[RS2_GR2,0042,3456" << "0001E240";
        QTest::newRow("empty vehicle, ride 7") << "" << 7 << "[RS2_GR2,0000,0007" << "00000007";
        QTest::newRow("IMEI: last four") << "356000000000012" << 1234 << "[RS2_GR2,0012,1234" << "000004D2";
        QTest::newRow("short vehicle") << "42" << 2147483647 << "[RS2_GR2,0042,3647" << "7FFFFFFF";
    }
    void digitsAndIds()
    {
        QFETCH(QString, vehicle);
        QFETCH(int, id);
        QFETCH(QString, head);
        QFETCH(QString, hexId);
        RideRecord r = example();
        r.id = id;
        const QStringList f = fields(timOrderText(r, vehicle, Settings()));
        QCOMPARE(f[0], head);
        QCOMPARE(f[3], hexId);
    }

    // Amount field (4), payment letter and kind code (2), fare text, escort and wheelchair.
    void amountsAndLetters_data()
    {
        QTest::addColumn<int>("rc");
        QTest::addColumn<double>("bedrag");
        QTest::addColumn<double>("bedrag3");
        QTest::addColumn<int>("lopers");
        QTest::addColumn<int>("begeleiding");
        QTest::addColumn<int>("rolstoel");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("line2");
        QTest::addColumn<QString>("line9");
        QTest::newRow("example") << 0 << 12.5 << 25.0 << 1 << 0 << 0 << "09C4" << "P1 1430 E012.50 M\r" << "SV: P RC: C RL: L BG: N";
        QTest::newRow("on account") << 1 << 40.0 << 40.0 << 1 << 0 << 0 << "0000" << "P1 1430 E040.00 M\r" << "SV: P RC: R RL: L BG: N";
        QTest::newRow("five hex digits") << 0 << 0.0 << 655.36 << 1 << 0 << 0 << "10000" << "P1 1430 E000.00 M\r" << "SV: P RC: C RL: L BG: N";
        QTest::newRow("rounded half up") << 0 << 1234.5 << 0.005 << 1 << 0 << 0 << "0001" << "P1 1430 E234.50 M\r" << "SV: P RC: C RL: L BG: N";
        QTest::newRow("escort needs two walkers") << 0 << 0.0 << 0.0 << 1 << 1 << 1 << "0000" << "P1 1430 E000.00 M\r" << "SV: P RC: C RL: R BG: N";
        QTest::newRow("escort") << 0 << 0.0 << 0.0 << 2 << 1 << 0 << "0000" << "P2 1430 E000.00 M\r" << "SV: P RC: C RL: L BG: J";
    }
    void amountsAndLetters()
    {
        QFETCH(int, rc);
        QFETCH(double, bedrag);
        QFETCH(double, bedrag3);
        QFETCH(int, lopers);
        QFETCH(int, begeleiding);
        QFETCH(int, rolstoel);
        QFETCH(QString, amount);
        QFETCH(QString, line2);
        QFETCH(QString, line9);
        RideRecord r = example();
        r.rc = rc;
        r.bedrag = bedrag;
        r.bedrag3 = bedrag3;
        r.lopers = lopers;
        r.begeleiding = begeleiding;
        r.rolstoel = rolstoel;
        const QStringList f = fields(timOrderText(r, u"0042"_s, Settings()));
        QCOMPARE(f[4], amount);
        const QStringList lines = displayLines(f[9]);
        QCOMPARE(lines[1], line2);
        QCOMPARE(lines[8], line9);
    }

    void kindCodes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("rc");
        QTest::addColumn<double>("bedrag");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("tim");
        QTest::addColumn<QString>("gro");
        // Distinct codes per setting, so that every rule shows which one it took.
        QTest::newRow("P cash on meter") << "P" << 0 << 0.0 << "001" << "v1" << "v1";
        QTest::newRow("P on account") << "P" << 1 << 10.0 << "001" << "v2" << "v2";
        QTest::newRow("P cash without meter") << "P" << 0 << 10.0 << "001" << "pc" << "pc";
        QTest::newRow("S") << "S" << 0 << 0.0 << "001" << "sc" << "sc";
        QTest::newRow("G") << "G" << 0 << 0.0 << "001" << "gr" << "gr";
        QTest::newRow("Z") << "Z" << 0 << 0.0 << "001" << "v3" << "v6";
        QTest::newRow("C") << "C" << 0 << 0.0 << "001" << "v4" << "v6";
        QTest::newRow("T") << "T" << 0 << 0.0 << "001" << "v5" << "v6";
        QTest::newRow("L") << "L" << 0 << 0.0 << "001" << "v6" << "v6";
        QTest::newRow("unknown kind") << "X" << 0 << 0.0 << "001" << "00" << "v6";
        QTest::newRow("lower case is another kind") << "p" << 0 << 0.0 << "001" << "00" << "v6";
        QTest::newRow("owner 004 wins") << "S" << 0 << 0.0 << "004" << "v2" << "sc";
        QTest::newRow("owner 004, unknown kind") << "X" << 0 << 0.0 << "004" << "v2" << "v6";
    }
    void kindCodes()
    {
        QFETCH(QString, kind);
        QFETCH(int, rc);
        QFETCH(double, bedrag);
        QFETCH(QString, owner);
        QFETCH(QString, tim);
        QFETCH(QString, gro);
        Settings s;
        s.vv1 = u"v1"_s;
        s.vv2 = u"v2"_s;
        s.vv3 = u"v3"_s;
        s.vv4 = u"v4"_s;
        s.vv5 = u"v5"_s;
        s.vv6 = u"v6"_s;
        s.PCZM = u"pc"_s;
        s.School = u"sc"_s;
        s.Groeps = u"gr"_s;
        RideRecord r = example();
        r.soortVervoer = kind;
        r.rc = rc;
        r.bedrag = bedrag;
        r.eigenaar = owner;
        QCOMPARE(fields(timOrderText(r, u"0042"_s, s))[2], tim);
        QCOMPARE(fields(groOrderText(r, u"123456"_s, u"0042"_s, s, u':'))[2], gro);
    }

    void timeField_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("hhnn");
        QTest::newRow("14:30") << QTime(14, 30) << "596" << "1430";
        QTest::newRow("09:05") << QTime(9, 5) << "389" << "0905";
        QTest::newRow("00:05") << QTime(0, 5) << "005" << "0005";
        QTest::newRow("00:00") << QTime(0, 0) << "000" << "0000";
        QTest::newRow("23:59") << QTime(23, 59) << "937" << "2359";
    }
    void timeField()
    {
        QFETCH(QTime, time);
        QFETCH(QString, field);
        QFETCH(QString, hhnn);
        RideRecord r = example();
        r.tijdstip = time;
        const QStringList f = fields(timOrderText(r, u"0042"_s, Settings()));
        QCOMPARE(f[7], field);
        QCOMPARE(f[12], field);
        QVERIFY(displayLines(f[9])[1].contains(u' ' + hhnn + u' '));
    }

    // A street of exactly 17 characters fills line 3; a remark of 40 shows characters 1 to 36.
    void displayCuts()
    {
        RideRecord r = example();
        r.ophStraat = u"Vredenburgkade 1a"_s; // 17
        r.opmerking = u"0123456789abcdefghijklmnopqrstuvwxyzABCD"_s;
        const QStringList lines = displayLines(fields(timOrderText(r, u"0042"_s, Settings()))[9]);
        QCOMPARE(lines[2], u"O: Vredenburgkade 1a"_s);
        QCOMPARE(lines[3], u" 12 A Utrecht\r"_s);
        QCOMPARE(lines[4], u"INF 0123456789abcdef"_s);
        QCOMPARE(lines[5], u"ghijklmnopqrstuvwxyz"_s);
        QCOMPARE(lines.size(), 9);

        // Empty columns still give all nine lines; an empty remark's second line is a CR alone.
        RideRecord empty;
        const QStringList bare = displayLines(fields(timOrderText(empty, QString(), Settings()))[9]);
        QCOMPARE(bare.size(), 9);
        QCOMPARE(bare[5], u"\r"_s);
        QCOMPARE(bare[7], u"    \r"_s);
    }

    void memo_data()
    {
        QTest::addColumn<int>("textLength");
        QTest::newRow("short") << 10;
        QTest::newRow("300 characters") << 300;
        QTest::newRow("nothing left for it") << 0;
    }
    void memo()
    {
        QFETCH(int, textLength);
        Settings s;
        s.MemoTekst = true;
        RideRecord r = example();
        r.tekst = QString(textLength, u'x');
        r.ophPostcode = u" 3511ED "_s;
        r.besPostcode = u"3512JC"_s;
        r.ophSyn = u"CS, Utrecht"_s;
        r.besSyn = u"Dom"_s;
        const QString memo = memoText(r);
        QCOMPARE(memo, u"123456 PC: 3511ED/3512JC\r\nCS  Utrecht/Dom"_s
                           + (textLength ? u"\r\n"_s + QString(textLength, u'x') : QString()) + u"\r\n"_s);

        const QString field9 = fields(timOrderText(r, u"0042"_s, s))[9];
        QVERIFY2(field9.size() <= 240, qPrintable(QString::number(field9.size())));
        const QString plainLines = fields(timOrderText(r, u"0042"_s, Settings()))[9];
        const QString memoLines = field9.mid(plainLines.size());
        QVERIFY(!memoLines.contains(u'\n'));
        const QStringList pieces = memoLines.split(u'\r', Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 1 < pieces.size(); ++i)
            QCOMPARE(pieces[i].size(), 19);
        // The memo's own CR LF became blanks; what is shown is the memo from its start.
        QVERIFY(QString(memo).replace(u'\r', u' ').replace(u'\n', u' ').startsWith(pieces.join(QString())));
        if (textLength == 300)
            QVERIFY(field9.size() >= 240 - 20);
    }

    // Characters that separate the message's fields never come from a column.
    void separatorsInColumns()
    {
        RideRecord r = example();
        r.naamReiziger = u"Piet\x1F" "ers\x1E" "en\x17"_s;
        r.opmerking = u"a\x1F" "b"_s;
        const QString m = timOrderText(r, u"00\x1F" "42"_s, Settings());
        QCOMPARE(fields(m).size(), 16);
        QCOMPARE(fields(m)[1], u"Pietersen"_s);
        QCOMPARE(m.count(ETB), 1);
        QCOMPARE(m.count(RS), 1);
    }

    void groOrder_data()
    {
        QTest::addColumn<bool>("memo");
        QTest::newRow("without memo") << false;
        QTest::newRow("with memo") << true;
    }
    void groOrder()
    {
        QFETCH(bool, memo);
        Settings s;
        s.MemoTekst = memo;
        RideRecord r = example();
        r.soortVervoer = u"Z"_s;
        r.pasnummer = u"ZV-40112"_s;
        r.rc = 1;
        r.bedrag = 25.00;
        r.begeleiding = 2;
        r.lopers = 2;
        r.rollers = 1;
        r.zoneVan = 7;
        r.zoneNaar = 123;
        r.voorin = 1;
        r.rolstoel = 1;
        r.filter = u"A"_s;
        r.datumtijd = QTime(9, 5);
        r.naamReiziger = u"  Pietersen Annemarie"_s;
        r.opmerking = u"0123456789abcdefghijKLMNOPQRSTUVWXYZ0123"_s;
        r.ophNummer = u" 12 "_s;
        const QString m = groOrderText(r, u"7"_s, u"0042"_s, s, u'.');
        const QString templ = u"[RS2_GRO,0042,0007O:$0109\r\n$0116 $0118\r\n$0101\r\n$0114\r\n$0115\r\n"
                              "$0122 $0123P SV:$0120 $0108 $0104\r\nB:$0110\r\n$0117 $0119\r\n$0107\r\n"_s
                            + (memo ? memoText(r) : QString()) + u"R: $0103\r\n"_s;
        QCOMPARE(m.left(m.indexOf(RS)), templ);
        const QStringList f = fields(m);
        QCOMPARE(f.size(), 27);
        const QStringList expected { u"Pietersen Annemari"_s, u"00"_s, u"0001E240"_s, u"09C4"_s, {}, {}, u"ZV-40112"_s,
                                     u"09.05"_s, u"Stationsplein"_s, u"Neude"_s, u"R"_s, u"R"_s, u"B"_s,
                                     u"0123456789abcdefghij"_s, u"KLMNOPQRSTUVWXYZ0123"_s, u"12"_s, u"11"_s,
                                     u"Utrecht"_s, u"Utrecht"_s, u"Z"_s, u"Z"_s, u"A"_s, u"3"_s, u"0007"_s, u"0123"_s, u"T"_s };
        QCOMPARE(f.mid(1), expected);
        QVERIFY(m.endsWith(QString(ETB) + u']'));

        // Kind "S": no pass number.
        r.soortVervoer = u"S"_s;
        QCOMPARE(fields(groOrderText(r, u"7"_s, u"0042"_s, s, u':'))[7], QString());
    }

    void chatAndUndo_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chat") << chatMessage(u"Bel de centrale"_s, u"0042"_s) << "[RS2_VRY,0042,DE2Bel de centrale\r\n]";
        QTest::newRow("empty chat") << chatMessage(QString(), u"0042"_s) << "[RS2_VRY,0042,DE2\r\n]";
        QTest::newRow("whole IMEI") << chatMessage(u"ja  graag"_s, u"356000000000012"_s) << "[RS2_VRY,356000000000012,DE2ja  graag\r\n]";
        QTest::newRow("undo") << undoMessage(123456, u"0042"_s, false) << "[RS2_GRO_DEL,0042,3456]";
        QTest::newRow("undo ride 7") << undoMessage(7, u"0042"_s, false) << "[RS2_GRO_DEL,0042,0007]";
        QTest::newRow("undo largest ride") << undoMessage(2147483647, u"0042"_s, false) << "[RS2_GRO_DEL,0042,3647]";
        QTest::newRow("undo via RIT") << undoMessage(123456, u"0042"_s, true) << "[RS2_RIT,0042,> Ongedaan: 123456\r\n]";
        QTest::newRow("undo via RIT ride 7") << undoMessage(7, u"0042"_s, true) << "[RS2_RIT,0042,> Ongedaan: 7\r\n]";
        QTest::newRow("position request") << positionRequest(u"0042"_s) << "[RS2_RGD_REQ,0042]";
    }
    void chatAndUndo()
    {
        QFETCH(QString, message);
        QFETCH(QString, expected);
        QCOMPARE(message, expected);
    }
};

QTEST_GUILESS_MAIN(TestRideOrder)
#include "tst_rideorder.moc"
