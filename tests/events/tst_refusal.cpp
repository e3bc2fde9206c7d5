// Refusal and the transaction log against SQLite and PostgreSQL.
#include "events/refusal.h"
#include "events/transaction.h"
#include "handlers.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Wagen12 = u"356000000000012"_s; // wag_id 1, open ritstaat 1
const QString Messages = u"SELECT bbo_soort, bbo_bdr_id, bbo_wag_id, bbo_code FROM berichtenbox WHERE bbo_code = 'TIM-016'"_s;
const QString Ride2 = u"SELECT pla_status, pla_spoed, pla_wagen, pla_chauffeur, pla_lsn FROM planning WHERE pla_id = 2"_s;
const QString Ritstaten = u"SELECT lsn_id, lsn_actie, lsn_rit FROM ritstaten ORDER BY lsn_id"_s;

// Ride 2 assigned to the open ritstaat 1 of vehicle 1, customer on board.
const QStringList RideInHand { u"UPDATE planning SET pla_status = 'K', pla_wagen = 1, pla_chauffeur = 1, pla_lsn = 1 WHERE pla_id = 2"_s,
                               u"UPDATE ritstaten SET lsn_rit = 2, lsn_actie = 'K' WHERE lsn_id = 1"_s };

} // namespace

class TestRefusal : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void refusal_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("imei");
        QTest::addColumn<int>("times");
        QTest::addColumn<QStringList>("between"); // run between repeated refusals
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("ride");
        QTest::addColumn<QStringList>("ritstaten");

        const QStringList none;
        const QString message = u"1|1|1|TIM-016"_s;
        const QStringList rideUntouched { u"P|0|0|0|0"_s };
        engineRow("ride back to the queue", RideInHand, Wagen12, 1, none, QStringList { message }, QStringList { u"W|1|0|0|0"_s },
                  QStringList { u"1|B|2"_s });
        // Repeated: the ride is written again, but names no ritstaat any more, so none is freed.
        engineRow("repeated", RideInHand, Wagen12, 2, QStringList { u"UPDATE ritstaten SET lsn_actie = 'K'"_s },
                  QStringList { message, message }, QStringList { u"W|1|0|0|0"_s }, QStringList { u"1|K|2"_s });
        // The ritstaat the ride names is freed, not necessarily the vehicle's own.
        engineRow("ride names another ritstaat",
                  RideInHand + QStringList { u"INSERT INTO ritstaten (lsn_wag_id, lsn_status, lsn_actie) VALUES (3, 0, 'K')"_s,
                                             u"UPDATE planning SET pla_lsn = 2 WHERE pla_id = 2"_s },
                  Wagen12, 1, none, QStringList { message }, QStringList { u"W|1|0|0|0"_s }, QStringList { u"1|K|2"_s, u"2|B|0"_s });
        engineRow("without an open shift", none, u"356000000000015"_s, 1, none, QStringList { u"1|1|2|TIM-016"_s }, rideUntouched,
                  QStringList { u"1|B|0"_s });
        // No ride to read a ritstaat from: the vehicle's own open one is freed.
        engineRow("shift without a ride", QStringList { u"UPDATE ritstaten SET lsn_actie = 'K'"_s }, Wagen12, 1, none,
                  QStringList { message }, rideUntouched, QStringList { u"1|B|0"_s });
        engineRow("shift names a removed ride", QStringList { u"UPDATE ritstaten SET lsn_actie = 'K', lsn_rit = 99"_s }, Wagen12, 1,
                  none, QStringList { message }, rideUntouched, QStringList { u"1|B|99"_s });
        engineRow("vehicle not found", RideInHand, u"356000000000099"_s, 1, none, none, QStringList { u"K|0|1|1|1"_s },
                  QStringList { u"1|K|2"_s });
    }
    void refusal()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, imei);
        QFETCH(int, times);
        QFETCH(QStringList, between);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, ride);
        QFETCH(QStringList, ritstaten);

        Handlers h(engine);
        h.run(setup);
        for (int i = 0; i < times; ++i) {
            if (i > 0)
                h.run(between);
            WeigeringBericht(h.parts, imei);
        }
        QCOMPARE(h.rows(Messages), messages);
        QCOMPARE(h.rows(Ride2), ride);
        QCOMPARE(h.rows(Ritstaten), ritstaten);
        // Only the not-found case says anything.
        if (messages.isEmpty()) {
            QCOMPARE(h.texts(), QStringList { u"M-> Wagen niet gevonden voor IMEI "_s + imei });
            QCOMPARE(h.status.messages, QStringList { u"Wagen niet gevonden voor IMEI "_s + imei });
        } else {
            QVERIFY(h.log.lines().isEmpty());
            QVERIFY(h.status.messages.isEmpty());
        }
    }

    // The refusal catches nothing: a database error is the caller's.
    void refusalPassesErrorsOn()
    {
        Handlers h(u"sqlite"_s);
        h.run({ u"DROP TABLE berichtenbox"_s });
        QVERIFY_THROWS_EXCEPTION(KorvanError, WeigeringBericht(h.parts, Wagen12));
    }

    void transactions_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("log");
        engineRow("customer on board", u"0"_s, QString(), QStringList { u"0|15|4711|3|0|7|"_s }, QStringList());
        engineRow("user number and a quote", u" 12 "_s, u"Instaprit 'x'"_s, QStringList { u"12|15|4711|3|0|7|Instaprit 'x'"_s },
                  QStringList());
        // A user number that is no number loses the milestone, logged; the caller goes on.
        engineRow("user number not a number", u"abc"_s, QString(), QStringList(),
                  QStringList { u"M-> Gebruikersnummer 'abc' is geen geheel getal"_s });
    }
    void transactions()
    {
        FIXTURE_ENGINE();
        QFETCH(QString, user);
        QFETCH(QString, remark);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, log);
        Handlers h(engine);
        h.settings.Gebruikersnummer = user;
        LogTransactie(h.parts, 15, 4711, 3, 0, 7, remark);
        QCOMPARE(h.rows(u"SELECT tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code, tra_opmerking FROM TRANSACTIES"_s),
                 rows);
        QCOMPARE(h.texts(), log);
    }

    // A database error is logged and swallowed: the caller goes on.
    void transactionFailures()
    {
        Handlers h(u"sqlite"_s);
        h.run({ u"DROP TABLE TRANSACTIES"_s });
        LogTransactie(h.parts, 0, 1, 0, 0, 96, QString());
        QCOMPARE(h.log.lines().size(), 1);
        QVERIFY(h.database.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestRefusal)
#include "tst_refusal.moc"
