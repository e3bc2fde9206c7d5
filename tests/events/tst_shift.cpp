// Shift start and end against SQLite and PostgreSQL: the rows before and after, the log lines
// and the status messages.
#include "events/shift.h"
#include "handlers.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Wagen12 = u"356000000000012"_s; // wag_id 1, open ritstaat 1 of driver 1 ("B")
const QString Wagen15 = u"356000000000015"_s; // wag_id 2, no shift

const QString NewRitstaten = u"SELECT lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_omschrijving,"
                             " lsn_kilometerstand_aanvang, lsn_bdr_id FROM ritstaten WHERE lsn_id > 1 ORDER BY lsn_id"_s;
const QString Ritstaten = u"SELECT lsn_id, lsn_wag_id, lsn_status, lsn_actie, lsn_kilometerstand_einde FROM ritstaten ORDER BY lsn_id"_s;

} // namespace

class TestShift : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void start_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("pass");
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("odometer");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("status");
        QTest::addColumn<QStringList>("ritstaten"); // the new ones
        QTest::addColumn<int>("hours");             // planned length of the new shift
        QTest::addColumn<QStringList>("messages");  // incoming-message rows "TIM-003"

        const QStringList none;
        const QString message15 = u"1|1|2|TIM-003"_s;
        engineRow("starts", none, u"1002"_s, Wagen15, u"+123456"_s, none, QStringList { u"Aanvang dienst Piet Jansen"_s },
                  QStringList { u"2|2|0|B|TIM-20251231-2-2|1234.56|1"_s }, 8, QStringList { message15 });
        engineRow("comma as the decimal point", none, u"1002"_s, Wagen15, u"123456,0"_s, none,
                  QStringList { u"Aanvang dienst Piet Jansen"_s }, QStringList { u"2|2|0|B|TIM-20251231-2-2|1234.56|1"_s }, 8,
                  QStringList { message15 });
        // A driver on shift in another vehicle gets a second open ritstaat; the infix runs into the surname.
        engineRow("driver on shift elsewhere", none, u"1001"_s, Wagen15, u"100"_s, none,
                  QStringList { u"Aanvang dienst Anna van denBerg"_s }, QStringList { u"2|1|0|B|TIM-20251231-2-1|1|1"_s }, 8,
                  QStringList { message15 });
        engineRow("another driver's shift in the vehicle", none, u"1002"_s, Wagen12, u"0"_s, none,
                  QStringList { u"Aanvang dienst Piet Jansen"_s }, QStringList { u"1|2|0|B|TIM-20251231-1-2|0|1"_s }, 8,
                  QStringList { u"1|1|1|TIM-003"_s });
        engineRow("company without constants", QStringList { u"DELETE FROM constanten"_s }, u"1002"_s, Wagen15, u"0"_s, none,
                  QStringList { u"Aanvang dienst Piet Jansen"_s }, QStringList { u"2|2|0|B|TIM-20251231-2-2|0|1"_s }, 0,
                  QStringList { message15 });
        engineRow("description cut to 20",
                  QStringList { u"INSERT INTO wagens (wag_id, wag_ludor, wag_bdr_id, wag_imei) VALUES (12345, 40, 1, '356000000012345')"_s,
                                u"INSERT INTO chauffeurs (chf_id, chf_pasnummer, chf_bdr_id, chf_naam) VALUES (678, '2001', 1, 'Smit')"_s },
                  u"2001"_s, u"356000000012345"_s, u"1"_s, none, QStringList { u"Aanvang dienst  Smit"_s },
                  QStringList { u"12345|678|0|B|TIM-20251231-12345-6|0.01|1"_s }, 8, QStringList { u"1|1|12345|TIM-003"_s });

        engineRow("vehicle not found", none, u"1002"_s, u"356000000000099"_s, u"0"_s,
                  QStringList { u"M-> Wagen niet gevonden voor IMEI 356000000000099"_s },
                  QStringList { u"Wagen niet gevonden voor IMEI 356000000000099"_s }, none, -1, none);
        engineRow("company row missing",
                  QStringList { u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei) VALUES (30, 99, '356000000000030')"_s },
                  u"1002"_s, u"356000000000030"_s, u"0"_s, QStringList { u"M-> Wagen niet gevonden voor IMEI 356000000000030"_s },
                  QStringList { u"Wagen niet gevonden voor IMEI 356000000000030"_s }, none, -1, none);
        engineRow("driver not found", none, u"9999"_s, Wagen15, u"0"_s,
                  QStringList { u"M-> In dienst nemen chauffeur mislukt voor wagen 15"_s,
                                u"M-> Geen beschikbaar chauffeursnummer gevonden voor pas 9999"_s },
                  QStringList { u"Geen beschikbaar chauffeursnummer gevonden voor pas 9999"_s }, none, -1, none);
        // The driver's company is the vehicle's.
        engineRow("driver of another company", QStringList { u"UPDATE chauffeurs SET chf_bdr_id = 2 WHERE chf_pasnummer = '1002'"_s },
                  u"1002"_s, Wagen15, u"0"_s,
                  QStringList { u"M-> In dienst nemen chauffeur mislukt voor wagen 15"_s,
                                u"M-> Geen beschikbaar chauffeursnummer gevonden voor pas 1002"_s },
                  QStringList { u"Geen beschikbaar chauffeursnummer gevonden voor pas 1002"_s }, none, -1, none);
        engineRow("pair already on shift", none, u"1001"_s, Wagen12, u"0"_s,
                  QStringList { u"M-> In dienst nemen chauffeur mislukt voor wagen 12 - wagen of chauffeur was reeds in dienst"_s },
                  QStringList { u"In dienst nemen chauffeur mislukt voor wagen 12 - wagen of chauffeur reeds in dienst"_s }, none, -1,
                  none);
        engineRow("empty odometer", none, u"1002"_s, Wagen15, QString(),
                  QStringList { u"M-> In dienst nemen chauffeur mislukt voor IMEI 356000000000015 '' is geen geldig getal"_s },
                  QStringList { u"In dienst nemen chauffeur mislukt voor IMEI 356000000000015"_s }, none, -1, none);
        engineRow("odometer of letters", none, u"1002"_s, Wagen15, u"12km"_s,
                  QStringList { u"M-> In dienst nemen chauffeur mislukt voor IMEI 356000000000015 '12km' is geen geldig getal"_s },
                  QStringList { u"In dienst nemen chauffeur mislukt voor IMEI 356000000000015"_s }, none, -1, none);
    }
    void start()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, pass);
        QFETCH(QString, imei);
        QFETCH(QString, odometer);
        QFETCH(QStringList, log);
        QFETCH(QStringList, status);
        QFETCH(QStringList, ritstaten);
        QFETCH(int, hours);
        QFETCH(QStringList, messages);

        Handlers h(engine);
        h.run(setup);
        AanvangDienst(h.parts, pass, imei, odometer);
        QCOMPARE(h.texts(), log);
        QCOMPARE(h.status.messages, status);
        QCOMPARE(h.rows(NewRitstaten), ritstaten);
        QCOMPARE(h.rows(u"SELECT bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code FROM berichtenbox WHERE bbo_code = 'TIM-003'"_s), messages);
        if (hours >= 0) {
            const QString times = u"SELECT %1 FROM ritstaten WHERE lsn_id = (SELECT MAX(lsn_id) FROM ritstaten)"_s;
            QCOMPARE(h.scalar(times.arg(u"lsn_aanvang"_s)).toDateTime(), h.clock.now());
            QCOMPARE(h.scalar(times.arg(u"lsn_einde"_s)).toDateTime(), h.clock.now().addSecs(hours * 3600));
        }
        // The existing shift is never touched.
        QCOMPARE(h.rows(u"SELECT lsn_status, lsn_actie FROM ritstaten WHERE lsn_id = 1"_s), QStringList { u"0|B"_s });
    }

    // Without `apxod1` a shift start is silent.
    void startWithoutAnnouncement()
    {
        Handlers h(u"sqlite"_s);
        h.settings.apxod1 = false;
        AanvangDienst(h.parts, u"1002"_s, Wagen15, u"0"_s);
        QCOMPARE(h.rows(NewRitstaten).size(), 1);
        QVERIFY(h.status.messages.isEmpty());
        QVERIFY(h.log.lines().isEmpty());
    }

    void end_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("imei");
        QTest::addColumn<QString>("odometer");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("status");
        QTest::addColumn<QStringList>("ritstaten");
        QTest::addColumn<bool>("closed"); // ritstaat 1 ends now

        const QStringList none;
        const QStringList open { u"1|1|0|B|0"_s };
        engineRow("from B", none, Wagen12, u"+98765"_s, none, QStringList { u"Einde dienst in wagen 12"_s },
                  QStringList { u"1|1|1|E|987.65"_s }, true);
        engineRow("from L", QStringList { u"UPDATE ritstaten SET lsn_actie = 'L'"_s }, Wagen12, u"98765,0"_s, none,
                  QStringList { u"Einde dienst in wagen 12"_s }, QStringList { u"1|1|1|E|987.65"_s }, true);
        engineRow("from K", QStringList { u"UPDATE ritstaten SET lsn_actie = 'K'"_s }, Wagen12, u"100"_s,
                  QStringList { u"M-> Uit dienst nemen chauffeur mislukt voor wagen 12"_s, u"M-> Status van de ritstaat niet geschikt"_s },
                  none, QStringList { u"1|1|0|K|0"_s }, false);
        engineRow("no open ritstaat", none, Wagen15, u"100"_s, none, QStringList { u"Einde dienst in wagen 15"_s }, open, false);
        // Only the first open ritstaat of the vehicle is looked at, whoever drives.
        engineRow("two open ritstaten",
                  QStringList { u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie) VALUES (1, 1, 2, 0, 'B')"_s },
                  Wagen12, u"100"_s, none, QStringList { u"Einde dienst in wagen 12"_s },
                  QStringList { u"1|1|1|E|1"_s, u"2|1|0|B|0"_s }, true);
        engineRow("empty odometer", none, Wagen12, QString(),
                  QStringList { u"M-> Uit dienst nemen chauffeur mislukt voor IMEI 356000000000012 '' is geen geldig getal"_s },
                  QStringList { u"Uit dienst nemen chauffeur mislukt voor IMEI 356000000000012"_s }, open, false);
        engineRow("vehicle not found", none, u"356000000000099"_s, u"100"_s,
                  QStringList { u"M-> Wagen niet gevonden voor IMEI 356000000000099"_s },
                  QStringList { u"Wagen niet gevonden voor IMEI 356000000000099"_s }, open, false);
    }
    void end()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, imei);
        QFETCH(QString, odometer);
        QFETCH(QStringList, log);
        QFETCH(QStringList, status);
        QFETCH(QStringList, ritstaten);
        QFETCH(bool, closed);

        Handlers h(engine);
        h.run(setup);
        const QDateTime planned = h.scalar(u"SELECT lsn_einde FROM ritstaten WHERE lsn_id = 1"_s).toDateTime();
        h.clock.set(QDateTime(QDate(2025, 12, 31), QTime(18, 30, 5)));
        EindeDienst(h.parts, imei, odometer);
        QCOMPARE(h.texts(), log);
        QCOMPARE(h.status.messages, status);
        QCOMPARE(h.rows(Ritstaten), ritstaten);
        QCOMPARE(h.scalar(u"SELECT lsn_einde FROM ritstaten WHERE lsn_id = 1"_s).toDateTime(), closed ? h.clock.now() : planned);
        // A shift end writes no incoming message and no transaction.
        QCOMPARE(h.scalar(u"SELECT COUNT(*) FROM berichtenbox"_s).toInt(), 1);
        QCOMPARE(h.scalar(u"SELECT COUNT(*) FROM TRANSACTIES"_s).toInt(), 0);
    }

    void endWithoutAnnouncement()
    {
        Handlers h(u"sqlite"_s);
        h.settings.APXSD1 = false;
        EindeDienst(h.parts, Wagen12, u"100"_s);
        QCOMPARE(h.rows(Ritstaten), QStringList { u"1|1|1|E|1"_s });
        QVERIFY(h.status.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestShift)
#include "tst_shift.moc"
