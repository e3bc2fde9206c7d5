#pragma once

#include <QString>

struct EventParts;

// `WeigeringBericht`: an order came back unserved (the driver declined it, or the host could not
// deliver it). An incoming-message row "TIM-016", the ride in hand back to the queue as urgent
// and unassigned, the ritstaat free again. Catches nothing: every database error is the
// caller's.
void WeigeringBericht(EventParts &p, const QString &imei);
