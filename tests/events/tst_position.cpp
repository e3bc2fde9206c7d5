// Numbers from the link, the GPS conversions and the stored positions.
#include "events/numbers.h"
#include "events/position.h"
#include "handlers.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Gps = u"SELECT GPS_Imei, GPS_Statuscode, GPS_IP, GOS_bdr_id, GPS_Latitude, GPS_Longitude FROM GPS ORDER BY GPS_id"_s;

} // namespace

class TestPosition : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void odometer_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value"); // NaN: a conversion error
        const double error = qQNaN();
        QTest::newRow("plus sign") << "+123456" << 123456.0;
        QTest::newRow("comma") << "123456,0" << 123456.0;
        QTest::newRow("point") << "123456.5" << 123456.5;
        QTest::newRow("every plus") << "+1+2+3" << 123.0;
        QTest::newRow("blanks around") << " 42 " << 42.0;
        QTest::newRow("negative") << "-17" << -17.0;
        QTest::newRow("empty") << "" << error;
        QTest::newRow("letters") << "abc" << error;
        QTest::newRow("digits then letters") << "12km" << error;
        QTest::newRow("two separators") << "1.234,5" << error;
        QTest::newRow("not a finite number") << "inf" << error;
    }
    void odometer()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        if (qIsNaN(value)) {
            QVERIFY_THROWS_EXCEPTION(KorvanError, LeesKilometerstand(text));
            try {
                LeesKilometerstand(text);
            } catch (const KorvanError &e) {
                QVERIFY(e.text().endsWith(u"' is geen geldig getal"_s));
            }
        } else {
            QCOMPARE(LeesKilometerstand(text), value);
        }
    }

    void degrees_data()
    {
        QTest::addColumn<QString>("radians");
        QTest::addColumn<QString>("longitude");
        QTest::addColumn<QString>("latitude");
        QTest::newRow("worked example, latitude") << "91437890" << "52.3901" << "0052.3901";
        QTest::newRow("worked example, longitude") << "8529620" << "4.8871" << "004.8871";
        QTest::newRow("zero") << "0" << "0.0000" << "000.0000";
        QTest::newRow("180 degrees") << "314159265" << "180.0000" << "00180.0000";
        QTest::newRow("six significant digits") << "215472729" << "123.4570" << "00123.4570";
        QTest::newRow("negative") << "-8726646" << "-5.0000" << "00-5.0000";
        QTest::newRow("decimal comma") << "8529620,4" << "4.8871" << "004.8871";
        QTest::newRow("tiny negative is zero") << "-1" << "0.0000" << "000.0000";
    }
    void degrees()
    {
        QFETCH(QString, radians);
        QFETCH(QString, longitude);
        QFETCH(QString, latitude);
        QCOMPARE(LongRad2DecDegrees(radians), longitude);
        QCOMPARE(LatRad2DecDegrees(radians), latitude);
    }

    void stored_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("latitude");
        QTest::addColumn<QString>("longitude");
        QTest::addColumn<bool>("gpsStatus");
        QTest::addColumn<QStringList>("last"); // LastLatitude, LastLongitude
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("status");
        const QStringList none;
        engineRow("worked example", u"91437890"_s, u"8529620"_s, true, QStringList { u"0052.3901"_s, u"4.8871"_s },
                  QStringList { u"0042|ATU||1|52.3901|4.8871"_s }, none, none);
        engineRow("zero", u"0"_s, u"0"_s, true, QStringList { u"000.0000"_s, u"0.0000"_s }, QStringList { u"0042|ATU||1|0|0"_s }, none,
                  none);
        engineRow("180 degrees", u"314159265"_s, u"0"_s, true, QStringList { u"00180.0000"_s, u"0.0000"_s },
                  QStringList { u"0042|ATU||1|180|0"_s }, none, none);
        // A southern position is stored as a negative number; the export keeps its text form.
        engineRow("negative latitude", u"-8726646"_s, u"-8726646"_s, true, QStringList { u"00-5.0000"_s, u"-5.0000"_s },
                  QStringList { u"0042|ATU||1|-5|-5"_s }, none, none);
        engineRow("empty latitude", QString(), u"8529620"_s, true, QStringList { QString(), QString() }, none,
                  QStringList { u"M-> Geen geldige GPS posities voor IMEI 0042"_s },
                  QStringList { u"Ongeldige GPS posities wagen voor IMEI 0042"_s });
        engineRow("empty latitude, no status", QString(), u"8529620"_s, false, QStringList { QString(), QString() }, none,
                  QStringList { u"M-> Geen geldige GPS posities voor IMEI 0042"_s }, none);
        engineRow("empty longitude", u"91437890"_s, QString(), true, QStringList { QString(), QString() }, none,
                  QStringList { u"M-> Geen geldige GPS posities voor IMEI 0042"_s },
                  QStringList { u"Ongeldige GPS posities wagen voor IMEI 0042"_s });
        // No number: logged when converting, and again when the row cannot be filled.
        engineRow("unreadable", u"91437890"_s, u"x1"_s, true, QStringList { QString(), QString() }, none,
                  QStringList { u"M-> 'x1' is geen geldig getal"_s, u"M-> '' is geen geldig getal"_s }, none);
    }
    void stored()
    {
        FIXTURE_ENGINE();
        QFETCH(QString, latitude);
        QFETCH(QString, longitude);
        QFETCH(bool, gpsStatus);
        QFETCH(QStringList, last);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, log);
        QFETCH(QStringList, status);
        Handlers h(engine);
        h.settings.GPSStatus = gpsStatus;
        h.position = { u"stale"_s, u"stale"_s };
        SysLogConnectRam(h.parts, u"0042"_s, u"ATU"_s, latitude, longitude);
        QCOMPARE(QStringList({ h.position.LastLatitude, h.position.LastLongitude }), last);
        QCOMPARE(h.rows(Gps), rows);
        QCOMPARE(h.texts(), log);
        QCOMPARE(h.status.messages, status);
        if (!rows.isEmpty()) {
            QCOMPARE(h.scalar(u"SELECT GPS_Datum FROM GPS"_s).toDateTime(), h.clock.now());
            QCOMPARE(h.scalar(u"SELECT GPS_Datum_UTC FROM GPS"_s).toDateTime(), h.clock.now());
        }
    }

    // The last position describes the last call only; the company number is the setting's.
    void twoCallsInARow()
    {
        Handlers h(u"sqlite"_s);
        h.settings.Bedrijfsnummer = u"7"_s;
        SysLogConnectRam(h.parts, u"0042"_s, u"OD1"_s, u"91437890"_s, u"8529620"_s);
        QCOMPARE(h.position.LastLatitude, u"0052.3901"_s);
        SysLogConnectRam(h.parts, u"0042"_s, u"SD1"_s, u"91437890"_s, QString());
        QVERIFY(h.position.LastLatitude.isEmpty() && h.position.LastLongitude.isEmpty());
        QCOMPARE(h.rows(Gps), QStringList { u"0042|OD1||7|52.3901|4.8871"_s });
    }

    // A failing insert is logged; nothing leaves the function.
    void databaseErrorIsLogged()
    {
        Handlers h(u"sqlite"_s);
        h.run({ u"DROP TABLE GPS"_s });
        SysLogConnectRam(h.parts, u"0042"_s, u"ATU"_s, u"91437890"_s, u"8529620"_s);
        QCOMPARE(h.log.lines().size(), 1);
        QCOMPARE(h.position.LastLongitude, u"4.8871"_s);
    }
};

QTEST_GUILESS_MAIN(TestPosition)
#include "tst_position.moc"
