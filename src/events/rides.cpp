#include "rides.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "eventparts.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "notify/statusxml.h"
#include "numbers.h"
#include "records.h"
#include "transaction.h"
#include "util/clock.h"
#include "util/lenientint.h"

using namespace Qt::Literals::StringLiterals;

namespace {

QString hhnn(const QDateTime &t)
{
    return t.toString(u"hh:mm"_s);
}

void boardRide(EventParts &p, const Vehicle &vehicle, int rideNumber, const QString &passNumber, const QString &odometer,
               const QString &waitingSeconds, const QString &distance)
{
    const auto ride = lookup::ride(p.statements, rideNumber);
    if (!ride)
        return;
    // Read before anything is written: an odometer that is no number changes nothing.
    const double kilometres = LeesKilometerstand(odometer) / 100;
    const Boarding boarding =
        boardingTime(p.log, p.settings.WachtSecondenGebruik, lenientInt(waitingSeconds), p.clock.now(), ride->booked);

    ColumnValues columns { { "pla_status"_L1, u"K"_s }, { "pla_tijdstip_bestemmen"_L1, boarding.time } };
    if (boarding.waitingSeconds)
        columns.append({ "pla_wachtseconden"_L1, *boarding.waitingSeconds });
    columns.append({ "pla_km_map"_L1, decimalText(lenientInt(distance) / 100.0) });
    columns.append({ "pla_pasnummer"_L1, passNumber });
    columns.append({ "pla_odo_start"_L1, decimalText(kilometres) });
    if (returnsToBooking(ride->owner, false))
        columns.append({ "pla_retour_rbs"_L1, 1 });
    p.statements.updatePlanning(ride->id, columns);

    p.statements.setRitstaatActie(ride->ritstaat, u'K');
    LogTransactie(p, ride->ritstaat, ride->id, vehicle.id, 0, 7, QString());
    try {
        if (p.settings.apxsv1)
            p.status.SendUDPKorvanDB(u"Klant ingestapt in wagen "_s + QString::number(vehicle.ludor));
        p.log.Logger(u"M-> Klant ingestapt in wagen "_s + QString::number(vehicle.ludor) + u" - rit "_s
                     + QString::number(ride->id) + u" bijgewerkt "_s);
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
    }
    exportOrderStatus(p, *ride, u"12"_s, vehicle.plate);
    p.statements.routestatusControle(vehicle.id);
}

void streetHail(EventParts &p, const Vehicle &vehicle, const QString &distance)
{
    Instaprit(p, vehicle, lenientInt(distance));
    const QString ludor = QString::number(vehicle.ludor);
    p.status.SendUDPKorvanDB(u"Wagen "_s + ludor + u" heeft een instaprit gestart"_s);
    p.log.Logger(u"M-> Instaprit waargenomen "_s + ludor);
}

void createStreetHail(EventParts &p, const Vehicle &vehicle, int distance)
{
    const auto ritstaat = lookup::freeRitstaat(p.statements, vehicle.id);
    if (!ritstaat)
        return;
    const Constants company = lookup::constants(p.statements, ritstaat->company);
    const QDateTime now = p.clock.now();
    const QString instaprit = u"INSTAPRIT"_s;
    p.statements.ADORIT({
        { "pla_wagen"_L1, vehicle.id },
        { "pla_chauffeur"_L1, ritstaat->driver },
        { "pla_datum"_L1, now },
        { "pla_tijdstip"_L1, now },
        { "pla_tijdstip_locatie"_L1, now },
        { "pla_tijdstip_toewijzen"_L1, now },
        { "pla_tijdstip_bestemmen"_L1, now },
        { "pla_status"_L1, u"K"_s },
        { "pla_rc"_L1, 0 },
        { "pla_lopers"_L1, 1 },
        { "pla_reiziger"_L1, company.cashTraveller },
        { "pla_tarief_bedrijf"_L1, company.tariff },
        { "pla_lsn"_L1, ritstaat->id },
        { "pla_bdr_id"_L1, ritstaat->company },
        { "pla_oph_land"_L1, company.country }, // cut to the column's 2 characters
        { "pla_ophstraat"_L1, instaprit },
        { "pla_ophstad"_L1, instaprit },
        { "pla_opmerking"_L1, instaprit },
        { "pla_km_map"_L1, decimalText(distance / 100.0) },
        { "pla_rolstoel"_L1, 0 },
        { "pla_soortvervoer"_L1, u"P"_s },
        { "pla_soortwagen"_L1, vehicle.type },
        { "pla_soortrit"_L1, u"S"_s },
        { "pla_naam_reiziger"_L1, instaprit },
        { "pla_combineren"_L1, 0 },
        { "pla_filter"_L1, u"I"_s },
    });
    const auto ride = lookup::newestBoardedRide(p.statements, vehicle.id);
    if (!ride) {
        p.status.SendUDPKorvanDB(u"Aanmaken instaprit mislukt voor wagen "_s + QString::number(vehicle.ludor));
        return;
    }
    p.statements.updateRitstaat(ritstaat->id, { { "lsn_rit"_L1, *ride }, { "lsn_route"_L1, 0 }, { "lsn_actie"_L1, u"K"_s } });
    LogTransactie(p, ritstaat->id, *ride, vehicle.id, ritstaat->driver, 7, u"Instaprit"_s);
}

} // namespace

void exportOrderStatus(EventParts &p, const Ride &ride, const QString &kind, const QString &plate)
{
    if (ride.owner != "004"_L1)
        return;
    // The position as it is now: a later position of the same message must not move it.
    p.statements.database().afterCommit([&p, order = ride.order, kind, plate, position = p.position] {
        p.errors.guard([&] { p.exporter.StatusXML(order, kind, plate, position.LastLatitude, position.LastLongitude); });
    });
}

bool returnsToBooking(const QString &owner, bool ended)
{
    if (owner == "002"_L1 || owner == "003"_L1)
        return true;
    return ended && (owner == "013"_L1 || owner == "010"_L1);
}

Boarding boardingTime(Log &log, bool useWaitingTime, int waitingSeconds, const QDateTime &now, const QDateTime &booked)
{
    if (!useWaitingTime)
        return { now, std::nullopt };
    Boarding boarding { now, waitingSeconds };
    const int minutes = waitingSeconds > 0 ? waitingSeconds / 60 : 0;
    if (minutes <= 0)
        return boarding;
    log.Logger(u"M-> Wachtseconden "_s + QString::number(waitingSeconds));
    const QDateTime corrected = now.addSecs(-qint64(minutes) * 60);
    const QDateTime margin = booked.addSecs(-15 * 60);
    log.Logger(u"M-> Actueel "_s + hhnn(now));
    if (corrected > margin) {
        boarding.time = corrected;
    } else {
        log.Logger(u"M-> Marge "_s + hhnn(margin));
    }
    log.Logger(u"M-> Correctie "_s + hhnn(boarding.time));
    return boarding;
}

void BestemmenRit(EventParts &p, const QString &imei, const QString &rideNumber, const QString &passNumber,
                  const QString &odometer, const QString &waitingSeconds, const QString &distance)
{
    const auto vehicle = ZoekWagen(p, imei);
    if (!vehicle)
        return;
    if (const int ride = lenientInt(rideNumber); ride > 0)
        boardRide(p, *vehicle, ride, passNumber, odometer, waitingSeconds, distance);
    else
        streetHail(p, *vehicle, distance);
}

void Instaprit(EventParts &p, const Vehicle &vehicle, int distance)
{
    try {
        p.statements.step([&] { createStreetHail(p, vehicle, distance); });
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
    }
}
