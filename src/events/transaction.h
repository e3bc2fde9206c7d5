#pragma once

#include <QString>

struct EventParts;

// `LogTransactie`: one row of `TRANSACTIES` for a ride milestone, attributed to the user number
// of the setting `Gebruikersnummer`. A failure goes to the application-wide handler and the
// caller goes on as if the row were written; a lost connection is passed on instead.
void LogTransactie(EventParts &p, int ritstaat, int ride, int vehicle, int driver, int code, const QString &remark);
