#include "release.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "eventparts.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "notify/statusxml.h"
#include "records.h"
#include "rides.h"
#include "transaction.h"
#include "util/clock.h"
#include "util/lenientint.h"

using namespace Qt::Literals::StringLiterals;

namespace {

bool releaseRide(EventParts &p, const QString &rideNumber, double distance, double amountCents, double odometer)
{
    const int number = lenientInt(rideNumber);
    if (number <= 0)
        return false;
    const auto ride = lookup::ride(p.statements, number);
    int ritstaat = 0;
    int vehicle = 0;
    if (ride) {
        ColumnValues columns { { "pla_status"_L1, u"V"_s },
                               { "pla_tijdstip_vrijmelden"_L1, p.clock.now() },
                               { "pla_bedrag_1"_L1, decimalText(amountCents / 100) },
                               { "pla_km_map"_L1, decimalText(distance) },
                               { "pla_odo_stop"_L1, decimalText(odometer / 100) } };
        if (returnsToBooking(ride->owner, true))
            columns.append({ "pla_retour_rbs"_L1, 1 });
        p.statements.updatePlanning(ride->id, columns);
        ritstaat = ride->ritstaat;
        vehicle = ride->vehicle;
    }
    p.statements.setRitstaatActie(ritstaat, u'B');
    LogTransactie(p, ritstaat, ride ? ride->id : number, vehicle, 0, 8, QString());
    if (ride && ride->owner == "004"_L1) {
        // The plate of the ride's own vehicle, not of whatever vehicle was looked up last.
        exportOrderStatus(p, *ride, u"14"_s, lookup::plate(p.statements, vehicle));
    }
    p.statements.routestatusControle(vehicle);
    return true;
}

} // namespace

bool LoosmeldenVanRit(EventParts &p, const QString &imei, const QString &remark)
{
    const auto vehicle = ZoekWagen(p, imei);
    if (!vehicle)
        return false;
    const bool unload = p.settings.Loosmelden;
    if (!unload && p.settings.Centralist)
        p.status.SendKorvanDBUpdate(1003, vehicle->id, 0, 0, QString());

    const auto ride = lookup::ride(p.statements, lookup::activeRide(p.statements, vehicle->id));
    if (!ride) {
        // No ride, so no ritstaat of its own to mark either.
        p.log.Logger(u"M-> Geen actief ritnummer voor IMEI "_s + imei);
    } else if (unload) {
        ColumnValues columns { { "pla_status"_L1, u"L"_s },
                               { "pla_tijdstip_vrijmelden"_L1, p.clock.now() },
                               { "pla_opmerking"_L1, remark } };
        if (returnsToBooking(ride->owner, true))
            columns.append({ "pla_retour_rbs"_L1, 1 });
        p.statements.updatePlanning(ride->id, columns);
        p.statements.setRitstaatUnloaded(ride->ritstaat);
        exportOrderStatus(p, *ride, u"13"_s, vehicle->plate);
    }
    try {
        p.status.SendUDPKorvanDB(u"Loosmelding in wagen "_s + QString::number(vehicle->ludor));
        return true;
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
        return false;
    }
}

bool VrijmeldenRit(EventParts &p, const QString &rideNumber, double distance, double amountCents, double odometer)
{
    try {
        bool released = false;
        p.statements.step([&] { released = releaseRide(p, rideNumber, distance, amountCents, odometer); });
        return released;
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
        return false;
    }
}

void VrijmeldenWagen(EventParts &p, const QString &imei)
{
    if (const auto ride = lookup::rideInHand(p.statements, imei))
        VrijmeldenRit(p, QString::number(*ride), 0, 0, 0);
}
