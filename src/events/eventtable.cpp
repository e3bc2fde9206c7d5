#include "eventtable.h"

#include "config/settings.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "position.h"
#include "records.h"
#include "refusal.h"
#include "shift.h"
#include "transaction.h"
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
// belongs with the ride events; 0 and below mean nothing.
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

struct EventCode
{
    QLatin1StringView code; // field 2, compared exactly
    void (*decode)(EventParts &, const Message &);
};

// In the order the codes are tested. AS1 (zone change) goes before OD1, SV1 (passenger on
// board) and BV1 (ride ended) after SD1; until they are handled, those codes are acknowledged
// like every code not listed, and do nothing else.
constexpr EventCode codes[] = {
    { "BOB"_L1, accepted },
    { "WOB"_L1, declined },
    { "EST"_L1, statusReport },
    { "SAC"_L1, sacRequest },
    { "SO1"_L1, unregisteredStart },
    { "SOE"_L1, unregisteredEnd },
    { "OD1"_L1, shiftStart },
    { "SD1"_L1, shiftEnd },
};

} // namespace

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

void VehicleEvents::refusal(const QString &vehicle)
{
    WeigeringBericht(m_parts, vehicle);
}
