// Vehicle events over real loopback TCP, on SQLite and PostgreSQL: the reply, the log lines,
// the status messages and the rows of each message; recorded host sessions; and a database
// server that stops in the middle of a shift start.
#include "app/applicationerrors.h"
#include "app/gateway.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "events/eventtable.h"
#include "link/hostserver.h"
#include "link/inbound.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusxml.h"
#include "handlers.h"
#include "support/dbfixture.h"
#include "support/dispatchsite.h"
#include "support/sessions.h"
#include "support/testhost.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString Local = u"127.0.0.1"_s;

// The link as the gateway wires it, with the real event handlers and status rows, over a fresh
// dispatch database.
struct Link : DispatchSite
{
    LinkState link;
    DatabaseNotifier status { statements, errors };
    LastPosition position;
    StatusExport exporter { settings, clock, regional, dir.path() };
    QStringList chats; // "text|vehicle" of every chat queued
    VehicleEvents events { { statements, log, status, errors, settings, clock, position, exporter,
                             [this](const QString &text, const QString &vehicle) {
                                 chats << text + u'|' + vehicle;
                                 return true;
                             } } };
    InboundDispatcher dispatcher { log, link, settings, errors, events, clock, regional };
    HostServer server { log, link, settings, status, errors, dispatcher, regional };

    explicit Link(const QString &engine) : DispatchSite(engine, QDateTime(QDate(2025, 12, 31), QTime(10, 0, 0)))
    {
        database.open();
        log.setLogDir(dir.path());
    }

    void apply(const QString &flags) { applyFlags(settings, flags); }
};

// The whole gateway over a fresh dispatch database, its listener on a free loopback port and
// its notifications to loopback; the first queue tick opens the database and the listener.
struct WholeGateway
{
    QTemporaryDir dir;
    FixedClock clock { QDateTime(QDate(2025, 12, 31), QTime(10, 0, 0)) };
    Regional regional;
    Gateway g { dir.path(), clock, regional };
    const quint16 port = fixture::freePort();

    explicit WholeGateway(const QString &engine)
    {
        g.create();
        Settings &s = g.settings();
        fixture::useFreshDatabase(s, engine, dir.path());
        s.RamActive = true;
        s.RamPoort = QString::number(port);
        s.NotifyAddress = Local;
        s.NotifyPort = QString::number(fixture::freePort());
    }
};

const QString Transacties = u"SELECT tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code, tra_opmerking FROM TRANSACTIES"_s;
const QString Calls = u"SELECT mel_status, mel_wagen, mel_ritnummer, mel_chauffeur FROM Statusmeldingen WHERE mel_status <> 999"_s;
const QString NewRitstaten = u"SELECT lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_kilometerstand_aanvang FROM ritstaten WHERE lsn_id > 1"_s;
const QString Ritstaat1 = u"SELECT lsn_status, lsn_actie, lsn_kilometerstand_einde FROM ritstaten WHERE lsn_id = 1"_s;
const QString Positions = u"SELECT GPS_Imei, GPS_Statuscode, GPS_Latitude, GPS_Longitude FROM GPS"_s;
const QString Ride2 = u"SELECT pla_status, pla_spoed, pla_wagen, pla_chauffeur, pla_lsn FROM planning WHERE pla_id = 2"_s;
const QString Refusals = u"SELECT bbo_wag_id, bbo_code FROM berichtenbox WHERE bbo_code = 'TIM-016'"_s;
const QString Ritstaat2 = u"SELECT lsn_actie FROM ritstaten WHERE lsn_id = 2"_s;
const QString Released2 = u"SELECT pla_status, pla_bedrag_1, pla_km_map, pla_odo_stop FROM planning WHERE pla_id = 2"_s;
const QString Zone2 = u"SELECT lsn_taxizone FROM ritstaten WHERE lsn_id = 2"_s;

// Vehicle 4, identity "0042", on shift with ritstaat 2 and ride 2 in hand.
const QStringList Vehicle0042 {
    u"INSERT INTO wagens (wag_ludor, wag_bdr_id, wag_imei) VALUES (42, 1, '0042')"_s,
    u"INSERT INTO ritstaten (lsn_bdr_id, lsn_wag_id, lsn_chf_id, lsn_status, lsn_actie, lsn_rit) VALUES (1, 4, 2, 0, 'K', 2)"_s,
    u"UPDATE planning SET pla_status = 'K', pla_wagen = 4, pla_chauffeur = 2, pla_lsn = 2 WHERE pla_id = 2"_s,
};

QByteArray ack()
{
    return "[RS2_EV_ACK]";
}

} // namespace

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { fixture::startCluster(); }
    void cleanupTestCase() { fixture::stopCluster(); }

    void messages_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("reply"); // empty: none
        QTest::addColumn<QStringList>("log");  // after the row's own line
        QTest::addColumn<QStringList>("status"); // every new row's text, a voice call's empty
        QTest::addColumn<QStringList>("checks"); // queries
        QTest::addColumn<QStringList>("rows");   // per query, its rows joined by ";"

        const QStringList none;
        const QString imei = u"356000000000012"_s;
        const QString bob = u"M-> BOB event ontvangst -> 127.0.0.1"_s;
        const QString voice = u"Chauffeur in wagen 356000000000012 verzoekt om spraakaanvraag"_s;
        const QString voiceLog = u"M-> EST (spraak) event ontvangst -> 127.0.0.1"_s;
        const QString od1 = u"M-> OD1 (aanvang dienst) event ontvangst -> 127.0.0.1"_s;
        const QString sd1 = u"M-> SD1 (einde dienst) event ontvangst -> 127.0.0.1"_s;
        const QStringList piet { u"Aanvang dienst Piet Jansen"_s };
        const QString shift15 = u"2|2|0|B|1234.56"_s;

        engineRow("BOB with a ride", none, QString(), QByteArray("[RS2_EV,356000000000012,BOB,4711]"), ack(), QStringList { bob },
                  QStringList { u"Chauffeur heeft rit 4711 aangenomen in wagen 356000000000012"_s }, QStringList { Transacties },
                  QStringList { u"0|0|4711|0|0|96|"_s });
        engineRow("BOB with ride 0", none, QString(), QByteArray("[RS2_EV,356000000000012,BOB,0]"), ack(), QStringList { bob },
                  QStringList { u"Chauffeur heeft rit 0 aangenomen in wagen 356000000000012"_s }, QStringList { Transacties },
                  QStringList { QString() });
        engineRow("BOB without a ride", none, QString(), QByteArray("[RS2_EV,356000000000012,BOB]"), ack(), QStringList { bob },
                  QStringList { u"Chauffeur heeft bericht aangenomen in wagen 356000000000012"_s }, QStringList { Transacties },
                  QStringList { QString() });
        engineRow("WOB", Vehicle0042, QString(), QByteArray("[RS2_EV,0042,WOB]"), ack(), none,
                  QStringList { u"Chauffeur heeft bericht niet aangenomen in wagen 0042"_s },
                  QStringList { Refusals, Ride2, Ritstaat2 }, QStringList { u"4|TIM-016"_s, u"W|1|0|0|0"_s, u"B"_s });
        engineRow("EST 1", none, QString(), QByteArray("[RS2_EV,356000000000012,EST,1]"), ack(), QStringList { voiceLog },
                  QStringList { voice }, QStringList { Calls }, QStringList { QString() });
        engineRow("EST 1 for the automatic dispatcher", none, u"Centralist"_s, QByteArray("[RS2_EV,356000000000012,EST,1]"), ack(),
                  QStringList { voiceLog }, QStringList { voice, QString() }, QStringList { Calls }, QStringList { u"1000|1|0|0"_s });
        engineRow("EST 1 of an unknown vehicle", none, u"Centralist"_s, QByteArray("[RS2_EV,356000000000099,EST,1]"), ack(),
                  QStringList { voiceLog, u"M-> SPR event ontvangst -> 356000000000099 niet gevonden"_s },
                  QStringList { u"Chauffeur in wagen 356000000000099 verzoekt om spraakaanvraag"_s,
                                u"SPR event ontvangst -> 356000000000099 niet gevonden"_s },
                  QStringList { Calls }, QStringList { QString() });
        engineRow("EST 4", none, QString(), QByteArray("[RS2_EV,356000000000012,EST,4]"), ack(),
                  QStringList { u"M-> Wagen 356000000000012 - EST event ontvangst -> chatbericht met NEE beantwoord"_s },
                  QStringList { u"Chauffeur in wagen 356000000000012 melding chatbericht met NEE beantwoord"_s }, none, none);
        engineRow("EST 12", none, QString(), QByteArray("[RS2_EV,356000000000012,EST,12]"), ack(),
                  QStringList { u"M-> Wagen 356000000000012 - EST event ontvangst -> 12"_s },
                  QStringList { u"Chauffeur in wagen 356000000000012 melding 12"_s }, none, none);
        engineRow("EST 0", none, QString(), QByteArray("[RS2_EV,356000000000012,EST,0]"), ack(), none, none, none, none);
        engineRow("EST without a status", none, QString(), QByteArray("[RS2_EV,356000000000012,EST]"), QByteArray(),
                  QStringList { u"M-> Veld 3 ontbreekt in [RS2_EV,356000000000012,EST]"_s }, none, none, none);
        engineRow("SAC off", none, u"Centralist"_s, QByteArray("[RS2_EV,356000000000012,SAC]"), ack(), none, none, QStringList { Calls },
                  QStringList { QString() });
        engineRow("SAC on", none, u"SAC Centralist"_s, QByteArray("[RS2_EV,356000000000012,SAC]"), ack(), QStringList { voiceLog },
                  QStringList { voice, QString() }, QStringList { Calls }, QStringList { u"1000|1|0|0"_s });
        // Unlike status 1, an unknown vehicle is not reported.
        engineRow("SAC of an unknown vehicle", none, u"SAC Centralist"_s, QByteArray("[RS2_EV,356000000000099,SAC]"), ack(),
                  QStringList { voiceLog }, QStringList { u"Chauffeur in wagen 356000000000099 verzoekt om spraakaanvraag"_s },
                  QStringList { Calls }, QStringList { QString() });
        engineRow("SO1", none, QString(), QByteArray("[RS2_EV,356000000000012,SO1]"), ack(),
                  QStringList { u"M-> SO1 (aanvang zwarte rit) event ontvangst -> 127.0.0.1"_s },
                  QStringList { u"Aanvang zwarte rit in wagen 356000000000012"_s }, none, none);
        engineRow("SOE", none, QString(), QByteArray("[RS2_EV,356000000000012,SOE]"), ack(),
                  QStringList { u"M-> SOE (einde zwarte rit) event ontvangst -> 127.0.0.1"_s },
                  QStringList { u"Einde zwarte rit in wagen 356000000000012"_s }, none, none);
        engineRow("OD1 with 6 fields", none, u"MapPointOK"_s, QByteArray("[RS2_EV,356000000000015,OD1,+123456,0,1002]"), ack(),
                  QStringList { od1 }, piet, QStringList { NewRitstaten, Positions }, QStringList { shift15, QString() });
        // The position needs field 7 as well: the shift stands, the message goes unanswered.
        // A message that fails keeps nothing of what it did before the failure.
        engineRow("OD1 with 7 fields", none, u"MapPointOK"_s, QByteArray("[RS2_EV,356000000000015,OD1,+123456,0,1002,91437890]"),
                  QByteArray(), QStringList { od1, u"M-> Veld 7 ontbreekt in [RS2_EV,356000000000015,OD1,+123456,0,1002,91437890]"_s },
                  none, QStringList { NewRitstaten, Positions }, QStringList { QString(), QString() });
        engineRow("OD1 with a position", none, u"MapPointOK"_s,
                  QByteArray("[RS2_EV,356000000000015,OD1,+123456,0,1002,91437890,8529620]"), ack(), QStringList { od1 }, piet,
                  QStringList { NewRitstaten, Positions }, QStringList { shift15, u"356000000000015|OD1|52.3901|4.8871"_s });
        engineRow("OD1 with a position, not stored", none, QString(),
                  QByteArray("[RS2_EV,356000000000015,OD1,+123456,0,1002,91437890,8529620]"), ack(), QStringList { od1 }, piet,
                  QStringList { NewRitstaten, Positions }, QStringList { shift15, QString() });
        engineRow("OD1 without a pass number", none, QString(), QByteArray("[RS2_EV,356000000000015,OD1,+123456,0]"), QByteArray(),
                  QStringList { od1, u"M-> Veld 5 ontbreekt in [RS2_EV,356000000000015,OD1,+123456,0]"_s }, none,
                  QStringList { NewRitstaten }, QStringList { QString() });
        engineRow("SD1", none, QString(), QByteArray("[RS2_EV,356000000000012,SD1,+98765]"), ack(), QStringList { sd1 },
                  QStringList { u"Einde dienst in wagen 12"_s }, QStringList { Ritstaat1 }, QStringList { u"1|E|987.65"_s });
        engineRow("SD1 with a position", none, u"MapPointOK"_s, QByteArray("[RS2_EV,356000000000012,SD1,+98765,0,91437890,8529620]"),
                  ack(), QStringList { sd1 }, QStringList { u"Einde dienst in wagen 12"_s }, QStringList { Ritstaat1, Positions },
                  QStringList { u"1|E|987.65"_s, u"356000000000012|SD1|52.3901|4.8871"_s });
        engineRow("SD1 without an odometer", none, QString(), QByteArray("[RS2_EV,356000000000012,SD1]"), QByteArray(),
                  QStringList { sd1, u"M-> Veld 3 ontbreekt in [RS2_EV,356000000000012,SD1]"_s }, none, QStringList { Ritstaat1 },
                  QStringList { u"0|B|0"_s });
        engineRow("too few fields", none, QString(), QByteArray("[RS2_EV,356000000000012]"), QByteArray(),
                  QStringList { u"M-> Veld 2 ontbreekt in [RS2_EV,356000000000012]"_s }, none, none, none);
        engineRow("unknown code", none, QString(), QByteArray("[RS2_EV,356000000000012,XYZ,1]"), ack(), none, none, none, none);
        // Field 1 is a value of the look-up, never SQL.
        engineRow("IMEI trying SQL injection", none, QString(), QByteArray("[RS2_EV,x'OR'1'='1,SD1,100]"), ack(),
                  QStringList { sd1, u"M-> Wagen niet gevonden voor IMEI x'OR'1'='1"_s },
                  QStringList { u"Wagen niet gevonden voor IMEI x'OR'1'='1"_s },
                  QStringList { Ritstaat1 }, QStringList { u"0|B|0"_s });
        engineRow("IMEI trying SQL injection on a voice request", none, u"Centralist"_s, QByteArray("[RS2_EV,'OR''=',EST,1]"), ack(),
                  QStringList { voiceLog, u"M-> SPR event ontvangst -> 'OR''=' niet gevonden"_s },
                  QStringList { u"Chauffeur in wagen 'OR''=' verzoekt om spraakaanvraag"_s,
                                u"SPR event ontvangst -> 'OR''=' niet gevonden"_s },
                  QStringList { Calls }, QStringList { QString() });

        // The ride events, for vehicle 0042 on its way with ride 2.
        const QStringList onTheWay = Vehicle0042 + QStringList { u"UPDATE ritstaten SET lsn_actie = 'T' WHERE lsn_id = 2"_s };
        const QString sv1 = u"M-> SV1 (start rit) event ontvangst -> 127.0.0.1"_s;
        const QString bv1 = u"M-> BV1 (einde rit) event ontvangst -> 127.0.0.1"_s;
        const QStringList endOfRide { u"Chauffeur in 0042 melding einde rit"_s };
        const QStringList still { u"K|0|4|2|2"_s, u"T"_s, QString() };
        engineRow("SV1", onTheWay, u"MapPointOK"_s, QByteArray("[RS2_EV,0042,SV1,+123456,0,0,91437890,8529620,1001,0,0,2]"), ack(),
                  QStringList { sv1, u"M-> Klant ingestapt in wagen 42 - rit 2 bijgewerkt "_s },
                  QStringList { u"Klant ingestapt in wagen 42"_s }, QStringList { Ride2, Ritstaat2, Transacties, Positions },
                  QStringList { u"K|0|4|2|2"_s, u"K"_s, u"0|2|2|4|0|7|"_s, u"0042|SV1|52.3901|4.8871"_s });
        engineRow("SV1 without a ride number", onTheWay, QString(), QByteArray("[RS2_EV,0042,SV1,+123456,0,0,1,2,1001,0,0]"),
                  QByteArray(), QStringList { sv1, u"M-> Veld 11 ontbreekt in [RS2_EV,0042,SV1,+123456,0,0,1,2,1001,0,0]"_s },
                  none, QStringList { Ride2, Ritstaat2, Transacties }, still);
        engineRow("SV1 street hail", onTheWay + QStringList { u"UPDATE ritstaten SET lsn_actie = 'B' WHERE lsn_id = 2"_s }, QString(),
                  QByteArray("[RS2_EV,0042,SV1,+123456,0,0,1,2,1001,0,0,0]"), ack(),
                  QStringList { sv1, u"M-> Instaprit waargenomen 42"_s }, QStringList { u"Wagen 42 heeft een instaprit gestart"_s },
                  QStringList { Ritstaat2, Transacties }, QStringList { u"K"_s, u"0|2|4|4|2|7|Instaprit"_s });
        const QByteArray bv1Message("[RS2_EV,0042,BV1,1500,4,5,6,7,23,50,10,11,91437890,8529620,2]");
        engineRow("BV1 with 15 fields", onTheWay, u"MapPointOK"_s, bv1Message, ack(),
                  QStringList { bv1, u"M-> BV1 -> rit 2 bijgewerkt"_s }, endOfRide,
                  QStringList { Released2, Ritstaat2, Transacties, Positions },
                  QStringList { u"V|0.73|1500|15"_s, u"B"_s, u"0|2|2|4|0|8|"_s, u"0042|BV1|52.3901|4.8871"_s });
        engineRow("BV1 with pos16 and 15 fields", onTheWay, u"pos16"_s, bv1Message, QByteArray(),
                  QStringList { bv1, u"M-> Veld 16 ontbreekt in "_s + QString::fromLatin1(bv1Message) }, none,
                  QStringList { Ride2, Ritstaat2, Transacties }, still);
        engineRow("BV1 with pos16", onTheWay, u"pos16 -APXBV1"_s, QByteArray("[RS2_EV,0042,BV1,1500,4,5,6,7,23,50,10,11,1,2,99,15,2]"),
                  ack(), QStringList { bv1, u"M-> BV1 -> rit 2 bijgewerkt"_s }, none, QStringList { Released2, Ritstaat2 },
                  QStringList { u"V|0.73|1500|15"_s, u"B"_s });
        // Without a ride number the vehicle's own ride is released, with zeros.
        engineRow("BV1 with ride 0", onTheWay, QString(), QByteArray("[RS2_EV,0042,BV1,1500,4,5,6,7,23,50,10,11,1,2,0]"), ack(),
                  QStringList { bv1, u"M-> BV1 -> geen ritnummer wagen 0042 bijgewerkt"_s }, endOfRide,
                  QStringList { Released2, Ritstaat2, Transacties }, QStringList { u"V|0|0|0"_s, u"B"_s, u"0|2|2|4|0|8|"_s });
        engineRow("BV1 while SV1 is not linked", onTheWay, u"-apxsv1 APXBV1"_s, bv1Message, ack(), none, none,
                  QStringList { Ride2, Ritstaat2, Transacties }, still);
        engineRow("EST 10", onTheWay, QString(), QByteArray("[RS2_EV,0042,EST,10]"), ack(),
                  QStringList { u"M-> Wagen 0042 - EST handmatig vrijgemeld -> 10"_s },
                  QStringList { u"Chauffeur in wagen 0042 meld zich handmatig vrijgemeld"_s },
                  QStringList { Released2, Ritstaat2, Transacties }, QStringList { u"V|0|0|0"_s, u"B"_s, u"0|2|2|4|0|8|"_s });

        const QStringList moved { u"M-> Verplaatsing zone 7 wagen 42"_s };
        const QStringList movedStatus { u"Verplaatsing zone 7 wagen 42"_s };
        engineRow("AS1 with 6 fields", Vehicle0042, u"Zones"_s, QByteArray("[RS2_EV,0042,AS1,0,3,7]"), ack(), moved, movedStatus,
                  QStringList { Zone2 }, QStringList { u"7"_s });
        engineRow("AS1 with 5 fields", Vehicle0042, u"Zones"_s, QByteArray("[RS2_EV,0042,AS1,0,7]"), ack(), none, none,
                  QStringList { Zone2 }, QStringList { u"0"_s });
        engineRow("AS1 with 5 fields and Veld4", Vehicle0042, u"Zones Veld4"_s, QByteArray("[RS2_EV,0042,AS1,0,7]"), ack(), moved,
                  movedStatus, QStringList { Zone2 }, QStringList { u"7"_s });
        engineRow("AS1 while zones are off", Vehicle0042, QString(), QByteArray("[RS2_EV,0042,AS1,0,3,7]"), ack(), none, none,
                  QStringList { Zone2 }, QStringList { u"0"_s });
        engineRow("AS1 of an unknown vehicle", Vehicle0042, u"Zones"_s, QByteArray("[RS2_EV,0099,AS1,0,3,7]"), ack(), none, none,
                  QStringList { Zone2 }, QStringList { u"0"_s });
        engineRow("AS1 identity trying SQL injection", Vehicle0042, u"Zones"_s, QByteArray("[RS2_EV,x'OR'1'='1,AS1,0,3,7]"), ack(),
                  none, none, QStringList { Zone2 }, QStringList { u"0"_s });

        const QString rgd = u"[RS2_RGD_ACK]"_s;
        engineRow("position report with a 15-digit identity", Vehicle0042, u"MapPointOK"_s,
                  QByteArray("[RS2_RGD,356000000000042,0,91437890,8529620]"), rgd.toLatin1(),
                  QStringList { u"M-> Wagen met IMEI 0042 - GPS - 91437890 / 8529620"_s }, none, QStringList { Positions },
                  QStringList { u"356000000000042|ATU|52.3901|4.8871"_s });
        engineRow("position report with a short identity", Vehicle0042, u"MapPointOK"_s, QByteArray("[RS2_RGD,42,0,91437890,8529620]"),
                  rgd.toLatin1(), QStringList { u"M-> Wagen met IMEI 0042 - GPS - 91437890 / 8529620"_s }, none,
                  QStringList { Positions }, QStringList { u"42|ATU|52.3901|4.8871"_s });
        engineRow("position report of an unknown identity", Vehicle0042, u"MapPointOK"_s,
                  QByteArray("[RS2_RGD,356000000000099,0,91437890,8529620]"), rgd.toLatin1(),
                  QStringList { u"M-> Wagen met IMEI 0099 werd niet gevonden"_s },
                  QStringList { u"Wagen niet gevonden voor IMEI 0099"_s }, QStringList { Positions }, QStringList { QString() });
        engineRow("position report, not stored", Vehicle0042, QString(), QByteArray("[RS2_RGD,356000000000042,0,91437890,8529620]"),
                  rgd.toLatin1(), none, none, QStringList { Positions }, QStringList { QString() });
        engineRow("position report without a longitude", Vehicle0042, u"MapPointOK"_s,
                  QByteArray("[RS2_RGD,356000000000042,0,91437890]"), QByteArray(),
                  QStringList { u"M-> Veld 4 ontbreekt in [RS2_RGD,356000000000042,0,91437890]"_s }, none, QStringList { Positions },
                  QStringList { QString() });

        const QStringList refused { Refusals, Ride2, Ritstaat2 };
        const QStringList returned { u"4|TIM-016"_s, u"W|1|0|0|0"_s, u"B"_s };
        engineRow("NOTRANSFER", Vehicle0042, QString(), QByteArray("[RS2_NOTRANSFER,0042]"), QByteArray("[RS2_NOTRANSFER_ACK]"), none,
                  none, refused, returned);
        engineRow("RS2_UNKNOWN_CAR", Vehicle0042, QString(), QByteArray("[RS2_UNKNOWN_CAR,0042]"),
                  QByteArray("[RS2_UNKNOWN_CAR_ACK]"), none, none, refused, returned);
        engineRow("GRO_UNKNOWN_CAR", Vehicle0042, QString(), QByteArray("[GRO_UNKNOWN_CAR,0042]"),
                  QByteArray("[GRO_UNKNOWN_CAR_ACK]"), none, none, refused, returned);
        engineRow("GRO_TNACK", Vehicle0042, QString(), QByteArray("[RS2_GRO_TNACK,0042,9]"), ack(), none, none, refused, returned);
        engineRow("GRO_TNACK without a vehicle", Vehicle0042, QString(), QByteArray("[RS2_GRO_TNACK]"), QByteArray(),
                  QStringList { u"M-> Veld 1 ontbreekt in [RS2_GRO_TNACK]"_s }, none, refused,
                  QStringList { QString(), u"K|0|4|2|2"_s, u"K"_s });
    }
    void messages()
    {
        FIXTURE_ENGINE();
        QFETCH(QStringList, setup);
        QFETCH(QString, flags);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, log);
        QFETCH(QStringList, status);
        QFETCH(QStringList, checks);
        QFETCH(QStringList, rows);

        Link f(engine);
        f.run(setup);
        f.apply(flags);
        f.server.start(0);
        TestHost host(f.server.port());
        QTRY_VERIFY(host.received.startsWith("[CONNECT_2000"));
        host.take();
        const QString seen = u"SELECT COUNT(*) FROM Statusmeldingen"_s;
        const int before = f.scalar(seen).toInt();
        const qsizetype from = f.log.lines().size();

        QVERIFY(deliver(f.log, host, message));
        QByteArray sent;
        QVERIFY(roundTrip(f.log, host, sent));
        QCOMPARE(sent, reply);

        QStringList texts = f.texts(from);
        texts = texts.mid(0, texts.indexOf(u"<-- [RS2_CONN_TEST]"_s));
        QStringList expected = log;
        if (!reply.isEmpty())
            expected << u"--> "_s + Local << u"--> "_s + QString::fromLatin1(reply);
        QCOMPARE(texts.mid(0, 3), QStringList({ u"<-- "_s + QString::fromLatin1(message), u"M-> "_s + Local,
                                                u"M-> "_s + QString::fromLatin1(message) }));
        QCOMPARE(texts.mid(4), expected);

        QStringList posted = f.rows(u"SELECT mel_opmerking FROM Statusmeldingen ORDER BY mel_id"_s).mid(before);
        QCOMPARE(posted, status);
        QCOMPARE(checks.size(), rows.size());
        for (qsizetype i = 0; i < checks.size(); ++i)
            QCOMPARE(f.rows(checks[i]).join(u';'), rows[i]);
    }

    // An unloading report is acknowledged at once; with `Loosmelden` the delete order follows as
    // a message of its own.
    void unloading_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QString>("ride");
        engineRow("without Loosmelden", QString(), ack(), u"K|0|4|2|2"_s);
        engineRow("with Loosmelden", u"Loosmelden"_s, ack() + "[RS2_GRO_DELRIT,0042,DELRIT12345678]", u"L|0|4|2|2"_s);
    }
    void unloading()
    {
        FIXTURE_ENGINE();
        QFETCH(QString, flags);
        QFETCH(QByteArray, received);
        QFETCH(QString, ride);
        Link f(engine);
        f.run(Vehicle0042 + QStringList { u"UPDATE ritstaten SET lsn_actie = 'T' WHERE lsn_id = 2"_s });
        f.apply(flags);
        f.server.start(0);
        TestHost host(f.server.port());
        QTRY_VERIFY(host.received.startsWith("[CONNECT_2000"));
        host.take();
        const qsizetype from = f.log.lines().size();
        QVERIFY(deliver(f.log, host, "[RS2_GRO_LOOS,0042,12345678]"));
        QByteArray sent;
        QVERIFY(roundTrip(f.log, host, sent));
        QCOMPARE(sent, received);
        QCOMPARE(f.rows(Ride2), QStringList { ride });
        const QStringList texts = f.texts(from);
        QVERIFY(texts.contains(u"M-> *[RS2_EV_ACK]"_s));
        QCOMPARE(texts.contains(u"--> [RS2_GRO_DELRIT,0042,DELRIT12345678]"_s), received != ack());
    }

    // The vehicle alone in its zone hears so at a later queue tick, through the whole gateway.
    void zoneChat_data()
    {
        QTest::addColumn<QString>("engine");
        QTest::newRow("sqlite") << u"sqlite"_s;
        QTest::newRow("postgresql") << u"postgresql"_s;
    }
    void zoneChat()
    {
        FIXTURE_ENGINE();
        WholeGateway whole(engine);
        Gateway &g = whole.g;
        g.settings().Zones = true;
        g.RamQOutTimerTimer();
        QVERIFY(g.server().isListening());
        for (const QString &sql : Vehicle0042)
            fixture::run(g.database().connection(), sql);

        TestHost host(whole.port);
        QTRY_VERIFY(host.received.startsWith("[CONNECT_2000"));
        host.take();
        QVERIFY(deliver(g.log(), host, "[RS2_EV,0042,AS1,0,3,7]"));
        QTRY_COMPARE(host.received, ack());
        host.take();
        g.RamQOutTimerTimer();
        QTRY_COMPARE(host.received, QByteArray("[RS2_VRY,0042,DE2Sector 7 - 1\r\n]"));
        QVERIFY(std::any_of(g.log().lines().begin(), g.log().lines().end(),
                            [](const QString &l) { return l.endsWith(u"Chatbericht aangemaakt voor 0042"_s); }));
        g.server().stop();
    }

    // A lost database connection in the middle of a ride event, a zone change, a position report
    // or an unloading report: no acknowledgement, so the host sends it again.
    void connectionLost_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("SV1") << QString() << QByteArray("[RS2_EV,0042,SV1,+123456,0,0,1,2,1001,0,0,2]");
        QTest::newRow("BV1") << QString() << QByteArray("[RS2_EV,0042,BV1,1500,4,5,6,7,23,50,10,11,1,2,2]");
        QTest::newRow("AS1") << u"Zones"_s << QByteArray("[RS2_EV,0042,AS1,0,3,7]");
        QTest::newRow("position report") << u"MapPointOK"_s << QByteArray("[RS2_RGD,356000000000042,0,91437890,8529620]");
        QTest::newRow("unloading report") << u"Loosmelden"_s << QByteArray("[RS2_GRO_LOOS,0042,12345678]");
    }
    void connectionLost()
    {
        FIXTURE_REQUIRE(u"postgresql"_s)
        QFETCH(QString, flags);
        QFETCH(QByteArray, message);
        Link f(u"postgresql"_s);
        f.run(Vehicle0042);
        f.apply(flags);
        f.server.start(0);
        TestHost host(f.server.port());
        QTRY_VERIFY(host.received.startsWith("[CONNECT_2000"));
        host.take();

        QVERIFY(fixture::cluster()->stopServer());
        QVERIFY(deliver(f.log, host, message));
        QByteArray sent;
        const bool answered = roundTrip(f.log, host, sent);
        QVERIFY(fixture::cluster()->startServer());
        QVERIFY(answered);
        QCOMPARE(sent, QByteArray());
        QVERIFY(!f.database.isOpen());
    }

    // Recorded sessions: "> " what one read receives, "< " each write back, "? text" a log
    // line ending in text, "set Flag" a setting switched on, "exec SQL" a change made by the
    // dispatch workstations, "sql QUERY => rows" what the query returns then, its rows joined
    // by ";" and its values by "|".
    void sessions_data() { sessionFiles(QStringLiteral(KORVAN_TEST_DATA "/events")); }
    void sessions()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        Link f(u"sqlite"_s);
        RecordingConnection connection;
        int lineNo = 0;
        qsizetype checkedWrites = 0;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).chopped(1);
            ++lineNo;
            const QByteArray where = path.toUtf8() + ':' + QByteArray::number(lineNo);
            if (line.startsWith(u"> "_s)) {
                QVERIFY2(connection.writes.size() == checkedWrites, where + " leaves a write unchecked");
                f.dispatcher.onRead(connection, line.mid(2));
            } else if (line.startsWith(u"< "_s)) {
                QVERIFY2(checkedWrites < connection.writes.size(), where + " expects a write");
                QCOMPARE(connection.writes[checkedWrites++], line.mid(2));
            } else if (line.startsWith(u"? "_s)) {
                const QString expected = line.mid(2);
                QVERIFY2(std::any_of(f.log.lines().begin(), f.log.lines().end(), [&](const QString &l) { return l.endsWith(expected); }),
                         where + " expects a log line ending " + expected.toUtf8());
            } else if (line.startsWith(u"set "_s)) {
                f.apply(line.mid(4));
            } else if (line.startsWith(u"exec "_s)) {
                f.run(line.mid(5));
            } else if (line.startsWith(u"sql "_s)) {
                const qsizetype arrow = line.indexOf(u" => "_s);
                QVERIFY2(arrow > 0, where);
                QCOMPARE(f.rows(line.mid(4, arrow - 4)).join(u';'), line.mid(arrow + 4));
            }
        }
        QCOMPARE(connection.writes.size(), checkedWrites);
    }

    // The server stops before a shift start: no acknowledgement and no ritstaat, the listener
    // off at the next tick, and on again once the server is back.
    void serverStopsDuringShiftStart()
    {
        FIXTURE_REQUIRE(u"postgresql"_s)
        WholeGateway whole(u"postgresql"_s);
        Gateway &g = whole.g;
        FixedClock &clock = whole.clock;
        const quint16 port = whole.port;
        g.RamQOutTimerTimer();
        QVERIFY(g.server().isListening());

        TestHost host(port);
        QTRY_VERIFY(host.received.startsWith("[CONNECT_2000"));
        host.take();
        QVERIFY(deliver(g.log(), host, "[RS2_EV,356000000000015,SO1]"));
        QTRY_COMPARE(host.received, ack());
        host.take();

        QVERIFY(fixture::cluster()->stopServer());
        const qsizetype from = g.log().lines().size();
        QVERIFY(deliver(g.log(), host, "[RS2_EV,356000000000015,OD1,+123456,0,1002]"));
        QByteArray sent;
        QVERIFY(roundTrip(g.log(), host, sent));
        QCOMPARE(sent, QByteArray());
        const QStringList lines = g.log().lines().mid(from);
        QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &l) {
            return l.mid(15).startsWith(u"M-> In dienst nemen chauffeur mislukt voor IMEI 356000000000015 "_s);
        }));
        QVERIFY(!g.database().isOpen());

        g.RamQOutTimerTimer();
        QVERIFY(!g.server().isListening());
        QCOMPARE(g.log().lines().constLast().mid(15), u"M-> Ludor Korvan TIM server uitgeschakeld (database)"_s);
        g.RamQOutTimerTimer(); // the server is still down: the reopening fails, the listener stays off
        QVERIFY(!g.server().isListening());

        QVERIFY(fixture::cluster()->startServer());
        clock.advance(10000); // reopening is spaced out, never more than 10 seconds apart
        g.RamQOutTimerTimer();
        QVERIFY(g.server().isListening());
        QCOMPARE(fixture::rows(g.database().connection(), NewRitstaten), QStringList());
        g.server().stop();
    }
};

QTEST_GUILESS_MAIN(TestDecoding)
#include "tst_decoding.moc"
