#include "eventtable.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "position.h"
#include "records.h"
#include "refusal.h"
#include "release.h"
#include "rides.h"
#include "shift.h"
#include "transaction.h"
#include "util/korvanfunctions.h"
#include "util/lenientint.h"

#include <QLatin1StringView>

using namespace Qt::Literals::StringLiterals;

namespace {

using Message = InboundMessage;

void post(EventParts &p, const QString &text)
{
    p.status.SendUDPKorvanDB(text);
}

// A log text ending in "-> " is followed by the sender's address.
void logFrom(EventParts &p, const QString &text, const Message &m)
{
    p.log.Logger(text + m.address);
}

// BOB: the driver accepted a ride (with its number) or a message.
void accepted(EventParts &p, const Message &m)
{
    if (m.fields.size() > 3) {
        post(p, u"Chauffeur heeft rit "_s + m.field(3) + u" aangenomen in wagen "_s + m.field(1));
        if (const int ride = lenientInt(m.field(3)); ride > 0)
            LogTransactie(p, 0, ride, 0, 0, 96, QString());
    } else {
        post(p, u"Chauffeur heeft bericht aangenomen in wagen "_s + m.field(1));
    }
    logFrom(p, u"M-> BOB event ontvangst -> "_s, m);
}

// WOB: the driver declined; the order comes back as a refusal.
void declined(EventParts &p, const Message &m)
{
    post(p, u"Chauffeur heeft bericht niet aangenomen in wagen "_s + m.field(1));
    WeigeringBericht(p, m.field(1));
}

// A voice request, from status 1 or from the SAC route; with `Centralist` the automatic
// dispatcher hears of it.
void voiceRequest(EventParts &p, const Message &m, bool reportUnknown)
{
    post(p, u"Chauffeur in wagen "_s + m.field(1) + u" verzoekt om spraakaanvraag"_s);
    logFrom(p, u"M-> EST (spraak) event ontvangst -> "_s, m);
    if (!p.settings.Centralist)
        return;
    if (const auto vehicle = lookup::vehicle(p.statements, m.field(1))) {
        p.status.SendKorvanDBUpdate(1000, vehicle->id, 0, 0, QString());
    } else if (reportUnknown) {
        const QString text = u"SPR event ontvangst -> "_s + m.field(1) + u" niet gevonden"_s;
        p.log.Logger(u"M-> "_s + text);
        post(p, text);
    }
}

// The text of a status number in `ESTLIJST`: after the first "=" of the first line whose part
// before it is the number.
QString statusText(const QStringList &list, int status)
{
    const QString number = QString::number(status);
    for (const QString &line : list) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq >= 0 && QStringView(line).left(eq) == number)
            return line.mid(eq + 1);
    }
    return {};
}

// EST: a status number. 1 is a voice request; 10, the driver reporting the vehicle free,
// releases its ride; 0 and below mean nothing.
void statusReport(EventParts &p, const Message &m)
{
    const int status = lenientInt(m.field(3));
    if (status == 1) {
        voiceRequest(p, m, true);
    } else if (status > 1 && status != 10) {
        QString text = statusText(p.settings.ESTLIJST, status);
        if (text.isEmpty())
            text = QString::number(status);
        post(p, u"Chauffeur in wagen "_s + m.field(1) + u" melding "_s + text);
        p.log.Logger(u"M-> Wagen "_s + m.field(1) + u" - EST event ontvangst -> "_s + text);
    } else if (status == 10) {
        VrijmeldenWagen(p, m.field(1));
        post(p, u"Chauffeur in wagen "_s + m.field(1) + u" meld zich handmatig vrijgemeld"_s);
        p.log.Logger(u"M-> Wagen "_s + m.field(1) + u" - EST handmatig vrijgemeld -> "_s + QString::number(status));
    }
}

// SAC: a voice request by its own route, only when that route is switched on; an unknown
// vehicle is not reported here.
void sacRequest(EventParts &p, const Message &m)
{
    if (p.settings.SAC)
        voiceRequest(p, m, false);
}

// SO1 and SOE: an unregistered ride starts or ends; only announced.
void unregisteredStart(EventParts &p, const Message &m)
{
    post(p, u"Aanvang zwarte rit in wagen "_s + m.field(1));
    logFrom(p, u"M-> SO1 (aanvang zwarte rit) event ontvangst -> "_s, m);
}

void unregisteredEnd(EventParts &p, const Message &m)
{
    post(p, u"Einde zwarte rit in wagen "_s + m.field(1));
    logFrom(p, u"M-> SOE (einde zwarte rit) event ontvangst -> "_s, m);
}

// The work of a zone change, which its caller runs as one step.
void moveZone(EventParts &p, const Message &m, int zoneField)
{
    const auto vehicle = lookup::vehicle(p.statements, m.field(1));
    if (!vehicle)
        return;
    const QString zone = QString::number(lenientInt(m.field(zoneField)));
    const QString moved = u"Verplaatsing zone "_s + zone + u" wagen "_s + QString::number(vehicle->ludor);
    post(p, moved);
    p.statements.updateTaxizone(zone.toInt(), vehicle->id);
    p.log.Logger(u"M-> "_s + moved);
    if (!p.settings.ZonesPositie)
        return;
    // Counted after the update, so the vehicle counts itself.
    if (const auto count = lookup::vehiclesInZone(p.statements, zone.toInt()))
        p.chat(u"Sector "_s + zone + u" - "_s + QString::number(*count), m.field(1));
}

// AS1: the vehicle entered another zone. Its open ritstaten get the zone with the server's
// time, and with `ZonesPositie` the driver hears how many vehicles are in it. Failures are
// logged and end only this code's work, except a lost database connection.
void zoneChange(EventParts &p, const Message &m)
{
    if (!p.settings.Zones)
        return;
    const int zoneField = p.settings.Veld4 ? 4 : 5;
    if (m.fields.size() <= zoneField)
        return;
    try {
        p.statements.step([&] { moveZone(p, m, zoneField); });
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
    }
}

// The position an event carries in fields `latitude` and the one after it, when positions are
// stored and the message reaches the latitude field.
void eventPosition(EventParts &p, const Message &m, const QString &code, int latitude)
{
    if (p.settings.MapPointOK && m.fields.size() > latitude)
        SysLogConnectRam(p, m.field(1), code, m.field(latitude), m.field(latitude + 1));
}

// OD1: shift start; odometer in field 3, pass number in field 5, position from field 6.
void shiftStart(EventParts &p, const Message &m)
{
    logFrom(p, u"M-> OD1 (aanvang dienst) event ontvangst -> "_s, m);
    AanvangDienst(p, m.field(5), m.field(1), m.field(3));
    eventPosition(p, m, u"OD1"_s, 6);
}

// SD1: shift end; odometer in field 3, position from field 5.
void shiftEnd(EventParts &p, const Message &m)
{
    logFrom(p, u"M-> SD1 (einde dienst) event ontvangst -> "_s, m);
    EindeDienst(p, m.field(1), m.field(3));
    eventPosition(p, m, u"SD1"_s, 5);
}

// SV1: the customer is on board; the position first, then the ride with odometer (3), pass
// number (8), waiting seconds (10) and ride number (11).
void rideStart(EventParts &p, const Message &m)
{
    logFrom(p, u"M-> SV1 (start rit) event ontvangst -> "_s, m);
    eventPosition(p, m, u"SV1"_s, 6);
    const QString &imei = m.field(1);
    const QString &ride = m.field(11);
    const QString &passNumber = m.field(8);
    const QString &odometer = m.field(3);
    const QString &waitingSeconds = m.field(10);
    BestemmenRit(p, imei, ride, passNumber, odometer, waitingSeconds, u"0"_s);
}

// BV1: the ride ended, handled while SV1 is linked to the dispatch (`apxsv1`). Distance in
// field 3 (also the odometer), the amount in two parts (8 and 9), the ride in field 14 or 16;
// without a usable ride number the vehicle's own ride is released.
void rideEnd(EventParts &p, const Message &m)
{
    if (!p.settings.apxsv1)
        return;
    logFrom(p, u"M-> BV1 (einde rit) event ontvangst -> "_s, m);
    eventPosition(p, m, u"BV1"_s, 12);
    const QString &ride = m.field(p.settings.pos16 ? 16 : 14);
    const double distance = lenientInt(m.field(3));
    const double amount = double(lenientInt(m.field(8))) + lenientInt(m.field(9));
    if (VrijmeldenRit(p, ride, distance, amount, distance)) {
        p.log.Logger(u"M-> BV1 -> rit "_s + ride + u" bijgewerkt"_s);
    } else {
        VrijmeldenWagen(p, m.field(1));
        p.log.Logger(u"M-> BV1 -> geen ritnummer wagen "_s + m.field(1) + u" bijgewerkt"_s);
    }
    if (p.settings.APXBV1)
        post(p, u"Chauffeur in "_s + m.field(1) + u" melding einde rit"_s);
}

struct EventCode
{
    QLatin1StringView code; // field 2, compared exactly
    void (*decode)(EventParts &, const Message &);
};

// In the order the codes are tested; a code not listed is acknowledged and does nothing else.
constexpr EventCode codes[] = {
    { "BOB"_L1, accepted },
    { "WOB"_L1, declined },
    { "EST"_L1, statusReport },
    { "SAC"_L1, sacRequest },
    { "SO1"_L1, unregisteredStart },
    { "SOE"_L1, unregisteredEnd },
    { "AS1"_L1, zoneChange },
    { "OD1"_L1, shiftStart },
    { "SD1"_L1, shiftEnd },
    { "SV1"_L1, rideStart },
    { "BV1"_L1, rideEnd },
};

} // namespace

void VehicleEvents::begin()
{
    m_parts.statements.database().beginUnit();
}

void VehicleEvents::commit()
{
    m_parts.statements.database().commitUnit();
}

void VehicleEvents::rollback() noexcept
{
    m_parts.statements.database().rollbackUnit();
}

void VehicleEvents::vehicleEvent(const InboundMessage &message)
{
    const QString &code = message.field(2);
    for (const EventCode &row : codes) {
        if (code == row.code) {
            row.decode(m_parts, message);
            return;
        }
    }
}

// A position the host reports for a vehicle, found by the last four characters of its
// identity; the position is stored under the whole identity.
void VehicleEvents::positionReport(const InboundMessage &message)
{
    EventParts &p = m_parts;
    if (!p.settings.MapPointOK)
        return;
    const QString &imei = message.field(1);
    const QString shortId = KorvanFunctions::ZeroPadText(imei, 4);
    if (!lookup::vehicle(p.statements, shortId)) {
        p.log.Logger(u"M-> Wagen met IMEI "_s + shortId + u" werd niet gevonden"_s);
        post(p, u"Wagen niet gevonden voor IMEI "_s + shortId);
        return;
    }
    const QString &latitude = message.field(3);
    const QString &longitude = message.field(4);
    SysLogConnectRam(p, imei, u"ATU"_s, latitude, longitude);
    p.log.Logger(u"M-> Wagen met IMEI "_s + shortId + u" - GPS - "_s + latitude + u" / "_s + longitude);
}

void VehicleEvents::unloading(const QString &vehicle, const QString &remark)
{
    LoosmeldenVanRit(m_parts, vehicle, remark);
}

void VehicleEvents::refusal(const QString &vehicle)
{
    WeigeringBericht(m_parts, vehicle);
}
