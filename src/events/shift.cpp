#include "shift.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "eventparts.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "numbers.h"
#include "records.h"
#include "util/clock.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Steps up to the rows; the driver when the shift was recorded.
std::optional<Driver> startShift(EventParts &p, const QString &passNumber, const QString &imei, const QString &odometer)
{
    const auto vehicle = ZoekWagen(p, imei);
    if (!vehicle)
        return {};
    const QString refused = u"In dienst nemen chauffeur mislukt voor wagen "_s + QString::number(vehicle->ludor);

    const auto driver = lookup::driver(p.statements, passNumber, vehicle->company);
    if (!driver) {
        p.log.Logger(u"M-> "_s + refused);
        p.log.Logger(u"M-> Geen beschikbaar chauffeursnummer gevonden voor pas "_s + passNumber);
        p.status.SendUDPKorvanDB(u"Geen beschikbaar chauffeursnummer gevonden voor pas "_s + passNumber);
        return {};
    }
    if (lookup::openRitstaat(p.statements, vehicle->id, driver->id)) {
        p.log.Logger(u"M-> "_s + refused + u" - wagen of chauffeur was reeds in dienst"_s);
        p.status.SendUDPKorvanDB(refused + u" - wagen of chauffeur reeds in dienst"_s);
        return {};
    }
    const int hours = lookup::standardHours(p.statements, vehicle->company);
    // Read before anything is written: an odometer that is no number changes nothing.
    const double kilometres = LeesKilometerstand(odometer) / 100;

    const QDateTime now = p.clock.now();
    p.statements.appendRitstaat({
        { "lsn_bdr_id"_L1, vehicle->company },
        { "lsn_aanvang"_L1, now },
        { "lsn_einde"_L1, now.addSecs(qint64(hours) * 3600) },
        { "lsn_status"_L1, 0 },
        { "lsn_actie"_L1, u"B"_s },
        { "lsn_wag_id"_L1, vehicle->id },
        { "lsn_chf_id"_L1, driver->id },
        // Cut to the column's 20 characters on the way in.
        { "lsn_omschrijving"_L1, u"TIM-%1-%2-%3"_s.arg(now.toString(u"yyyyMMdd"_s)).arg(vehicle->id).arg(driver->id) },
        { "lsn_kilometerstand_aanvang"_L1, decimalText(kilometres) },
    });
    p.statements.ADOBerichtenInkomend({ { "bbo_soort"_L1, 1 },
                                        { "bbo_bdr_id"_L1, vehicle->companyKey },
                                        { "bbo_wag_id"_L1, vehicle->id },
                                        { "bbo_code"_L1, u"TIM-003"_s } });
    return driver;
}

void endShift(EventParts &p, const QString &imei, const QString &odometer)
{
    const auto vehicle = ZoekWagen(p, imei);
    if (!vehicle)
        return;
    // Before the ritstaat is read: an odometer that is no number changes nothing.
    const double kilometres = LeesKilometerstand(odometer) / 100;

    if (const auto ritstaat = lookup::openRitstaat(p.statements, vehicle->id)) {
        if (ritstaat->activity != "B"_L1 && ritstaat->activity != "L"_L1) {
            p.log.Logger(u"M-> Uit dienst nemen chauffeur mislukt voor wagen "_s + QString::number(vehicle->ludor));
            p.log.Logger(u"M-> Status van de ritstaat niet geschikt"_s);
            return;
        }
        p.statements.updateRitstaat(ritstaat->id, { { "lsn_einde"_L1, p.clock.now() },
                                                    { "lsn_status"_L1, 1 },
                                                    { "lsn_actie"_L1, u"E"_s },
                                                    { "lsn_kilometerstand_einde"_L1, decimalText(kilometres) } });
    }
    if (p.settings.APXSD1)
        p.status.SendUDPKorvanDB(u"Einde dienst in wagen "_s + QString::number(vehicle->ludor));
}

} // namespace

void AanvangDienst(EventParts &p, const QString &passNumber, const QString &imei, const QString &odometer)
{
    std::optional<Driver> driver;
    try {
        p.statements.step([&] { driver = startShift(p, passNumber, imei, odometer); });
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> In dienst nemen chauffeur mislukt voor IMEI "_s + imei + u' ' + errorText(e));
        p.status.SendUDPKorvanDB(u"In dienst nemen chauffeur mislukt voor IMEI "_s + imei);
        rethrowIfConnectionLost(e);
        return;
    }
    if (!driver || !p.settings.apxod1)
        return;
    try {
        // No blank between the infix and the surname ("A vanB"), as the workstations know it.
        p.status.SendUDPKorvanDB(u"Aanvang dienst "_s + driver->firstName + u' ' + (driver->infix + u' ').trimmed()
                                 + driver->surname);
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
    }
}

void EindeDienst(EventParts &p, const QString &imei, const QString &odometer)
{
    try {
        p.statements.step([&] { endShift(p, imei, odometer); });
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> Uit dienst nemen chauffeur mislukt voor IMEI "_s + imei + u' ' + errorText(e));
        p.status.SendUDPKorvanDB(u"Uit dienst nemen chauffeur mislukt voor IMEI "_s + imei);
        rethrowIfConnectionLost(e);
    }
}
