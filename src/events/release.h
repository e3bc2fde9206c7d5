#pragma once

#include <QString>

struct EventParts;

// `LoosmeldenVanRit`: the host reports the vehicle's current ride (the ride in hand of its open
// ritstaat in "T") unloaded. With `Loosmelden` the ride becomes "L" and its ritstaat too, unless
// on a route; without it, and with `Centralist`, the automatic dispatcher hears of it (1003).
// True when the unloading status message was posted. Database errors before that message
// reach the caller.
bool LoosmeldenVanRit(EventParts &p, const QString &imei, const QString &remark);

// `VrijmeldenRit`: the ride is released ("V") with its fare, distance and odometer, its ritstaat
// freed and the milestone logged. False for a ride number of 0 or less, and after an error,
// which it logs; a lost database connection it passes on.
bool VrijmeldenRit(EventParts &p, const QString &rideNumber, double distance, double amountCents, double odometer);

// `VrijmeldenWagen`: releases the ride that the vehicle's open ritstaat names, with zeros.
void VrijmeldenWagen(EventParts &p, const QString &imei);
