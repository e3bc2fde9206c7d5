#include "records.h"

#include "db/statements.h"
#include "eventparts.h"
#include "log/log.h"
#include "notify/statusnotifier.h"

using namespace Qt::Literals::StringLiterals;

namespace lookup {

namespace {

int number(const QSqlRecord &row, const QString &column)
{
    return row.value(column).toInt();
}

QString text(const QSqlRecord &row, const QString &column)
{
    return row.value(column).toString();
}

Vehicle toVehicle(const QSqlRecord &row, bool withCompany)
{
    return { number(row, u"wag_id"_s),
             number(row, u"wag_ludor"_s),
             number(row, u"wag_bdr_id"_s),
             withCompany ? number(row, u"bdr_id"_s) : 0,
             text(row, u"wag_kenteken"_s),
             text(row, u"wag_type"_s) };
}

Ritstaat toRitstaat(const QSqlRecord &row)
{
    return { number(row, u"lsn_id"_s), text(row, u"lsn_actie"_s), number(row, u"lsn_rit"_s), number(row, u"lsn_chf_id"_s),
             number(row, u"lsn_bdr_id"_s) };
}

} // namespace

std::optional<Vehicle> vehicleWithCompany(Statements &statements, const QString &imei)
{
    if (const auto row = statements.ADOWAGEN(imei))
        return toVehicle(*row, true);
    return {};
}

std::optional<Vehicle> vehicle(Statements &statements, const QString &imei)
{
    if (const auto row = statements.ADOWagens(imei))
        return toVehicle(*row, false);
    return {};
}

std::optional<Driver> driver(Statements &statements, const QString &passNumber, int company)
{
    if (const auto row = statements.ADOChauffeurs(passNumber, company))
        return Driver { number(*row, u"chf_id"_s), text(*row, u"chf_voornaam"_s), text(*row, u"chf_tussenvoegsel"_s),
                        text(*row, u"chf_naam"_s) };
    return {};
}

std::optional<Ritstaat> openRitstaat(Statements &statements, int vehicle, int driver)
{
    if (const auto row = statements.ADOLSNDIENST(vehicle, driver))
        return toRitstaat(*row);
    return {};
}

std::optional<Ritstaat> openRitstaat(Statements &statements, int vehicle)
{
    if (const auto row = statements.ADODIENSTEINDE(vehicle))
        return toRitstaat(*row);
    return {};
}

std::optional<Ride> ride(Statements &statements, int ride)
{
    const auto row = statements.ADORITBIJWERKEN(ride);
    if (!row)
        return {};
    const QVariant order = row->value(u"pla_extern"_s);
    return Ride { number(*row, u"pla_id"_s),
                  number(*row, u"pla_lsn"_s),
                  text(*row, u"pla_status"_s),
                  text(*row, u"pla_eigenaar"_s),
                  order.isNull() ? QString() : QString::number(order.toLongLong()),
                  number(*row, u"pla_wagen"_s),
                  row->value(u"pla_tijdstip"_s).toDateTime() };
}

int standardHours(Statements &statements, int company)
{
    const auto row = statements.ADOConstanten(company);
    return row ? number(*row, u"con_standaard_uren"_s) : 0;
}

Constants constants(Statements &statements, int company)
{
    const auto row = statements.ADOConstanten(company);
    if (!row)
        return {};
    return { number(*row, u"con_contant"_s), number(*row, u"con_tarief"_s), text(*row, u"con_land"_s) };
}

std::optional<Ritstaat> freeRitstaat(Statements &statements, int vehicle)
{
    if (const auto row = statements.ADOLSN(vehicle))
        return toRitstaat(*row);
    return {};
}

int activeRide(Statements &statements, int vehicle)
{
    const auto row = statements.ADOZOEKACTIEVERIT(vehicle);
    return row ? number(*row, u"lsn_rit"_s) : 0;
}

std::optional<int> newestBoardedRide(Statements &statements, int vehicle)
{
    // The maximum of no rows is one row with a null.
    const auto row = statements.ADORITNUMMER(vehicle);
    if (!row || row->value(u"waarde"_s).isNull())
        return {};
    return number(*row, u"waarde"_s);
}

std::optional<int> rideInHand(Statements &statements, const QString &imei)
{
    if (const auto row = statements.ADOZoekWagenEnLSN(imei))
        return number(*row, u"lsn_rit"_s);
    return {};
}

QString plate(Statements &statements, int vehicle)
{
    const auto row = statements.ADOZOEKWAGEN(vehicle);
    return row ? text(*row, u"wag_kenteken"_s) : QString();
}

std::optional<int> vehiclesInZone(Statements &statements, int zone)
{
    if (const auto row = statements.ADOZones(zone))
        return number(*row, u"Aantal"_s);
    return {};
}

} // namespace lookup

std::optional<Vehicle> ZoekWagen(EventParts &p, const QString &imei)
{
    auto vehicle = lookup::vehicleWithCompany(p.statements, imei);
    if (!vehicle) {
        p.log.Logger(u"M-> Wagen niet gevonden voor IMEI "_s + imei);
        p.status.SendUDPKorvanDB(u"Wagen niet gevonden voor IMEI "_s + imei);
    }
    return vehicle;
}
