#include "refusal.h"

#include "db/statements.h"
#include "eventparts.h"
#include "records.h"

using namespace Qt::Literals::StringLiterals;

void WeigeringBericht(EventParts &p, const QString &imei)
{
    const auto vehicle = ZoekWagen(p, imei);
    if (!vehicle)
        return;
    p.statements.ADOBerichtenInkomend({ { "bbo_soort"_L1, 1 },
                                        { "bbo_bdr_id"_L1, vehicle->companyKey },
                                        { "bbo_wag_id"_L1, vehicle->id },
                                        { "bbo_code"_L1, u"TIM-016"_s } });

    const auto ritstaat = lookup::openRitstaat(p.statements, vehicle->id);
    if (!ritstaat)
        return;
    const auto ride = lookup::ride(p.statements, ritstaat->ride);
    if (!ride) {
        // No ride names a ritstaat to free: the vehicle's own open one is.
        p.statements.setRitstaatActie(ritstaat->id, u'B');
        return;
    }
    p.statements.updatePlanning(ride->id, { { "pla_status"_L1, u"W"_s },
                                            { "pla_spoed"_L1, 1 },
                                            { "pla_wagen"_L1, 0 },
                                            { "pla_chauffeur"_L1, 0 },
                                            { "pla_lsn"_L1, 0 } });
    // The ritstaat the ride named before it was cleared; 0 after a repeated refusal, which
    // frees none.
    p.statements.setRitstaatActie(ride->ritstaat, u'B');
}
