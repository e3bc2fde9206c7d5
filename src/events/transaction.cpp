#include "transaction.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "eventparts.h"

using namespace Qt::Literals::StringLiterals;

void LogTransactie(EventParts &p, int ritstaat, int ride, int vehicle, int driver, int code, const QString &remark)
{
    try {
        // The user number is a value of the statement, so it has to be a whole number.
        bool ok = false;
        const int user = p.settings.Gebruikersnummer.trimmed().toInt(&ok);
        if (!ok)
            throw KorvanError(u"Gebruikersnummer '"_s + p.settings.Gebruikersnummer + u"' is geen geheel getal"_s);
        p.statements.step([&] { p.statements.insertTransactie(user, ritstaat, ride, vehicle, driver, code, remark); });
    } catch (const std::exception &e) {
        rethrowIfConnectionLost(e);
        p.errors.report(e);
    }
}
