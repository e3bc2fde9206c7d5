#pragma once

#include <QString>

struct EventParts;

// `AanvangDienst`: the driver with this pass number signs on in the vehicle; a new open ritstaat
// in state "B" and an incoming-message row "TIM-003". Logs and reports its own failures; a lost
// database connection is logged and then passed on.
void AanvangDienst(EventParts &p, const QString &passNumber, const QString &imei, const QString &odometer);

// `EindeDienst`: the vehicle's first open ritstaat, when free or unloaded, is closed with "E".
// Failures as above.
void EindeDienst(EventParts &p, const QString &imei, const QString &odometer);
