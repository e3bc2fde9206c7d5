// What the gateway's statement layer costs over plain QtSql: the same SQL, on the same
// connection, in the same run, on SQLite and on a throwaway PostgreSQL server.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "support/dbfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

// Best of several rounds, in nanoseconds per operation, the two sides interleaved so that a
// slow moment of the machine hits both.
std::pair<double, double> measure(int n, const std::function<void(int)> &gateway, const std::function<void(int)> &direct)
{
    double best[2] = { 1e300, 1e300 };
    const std::function<void(int)> *sides[2] = { &gateway, &direct };
    for (int round = 0; round < 5; ++round) {
        for (int s = 0; s < 2; ++s) {
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < n; ++i)
                (*sides[s])(i);
            best[s] = std::min(best[s], double(t.nsecsElapsed()) / n);
        }
    }
    return { best[0], best[1] };
}

void report(const char *engine, const char *what, std::pair<double, double> r)
{
    std::printf("%-10s %-24s gateway %9.1f us   QtSql %9.1f us   gateway/QtSql %.3f\n", engine, what, r.first / 1000,
                r.second / 1000, r.first / r.second);
}

void run(const char *engine, Settings &settings, const QString &dir, int lookups, int writes)
{
    FixedClock clock(QDateTime::currentDateTime());
    Regional regional;
    Log log(clock, regional);
    Database database(settings, dir, clock);
    Statements statements(database);
    ApplicationErrors errors(log, &database);
    DatabaseNotifier status(statements, errors);
    database.open();
    QSqlDatabase &db = database.connection();

    QSqlQuery lookup(db);
    lookup.setForwardOnly(true);
    lookup.prepare(u"select * from (wagens INNER JOIN BEDRIJVEN ON bdr_id =wag_bdr_id) where wag_imei =?"_s);
    report(engine, "vehicle by IMEI",
           measure(
               lookups, [&](int) { statements.ADOWAGEN(u"356000000000015"_s); },
               [&](int) {
                   lookup.bindValue(0, u"356000000000015"_s);
                   lookup.exec();
                   QSqlRecord r;
                   if (lookup.next())
                       r = lookup.record();
                   lookup.finish();
               }));

    QSqlQuery insert(db);
    insert.prepare(u"INSERT INTO Statusmeldingen (mel_status, mel_opmerking) VALUES (?, ?)"_s);
    report(engine, "Statusmeldingen insert",
           measure(
               writes, [&](int) { status.SendUDPKorvanDB(u"Klant ingestapt in wagen 12"_s); },
               [&](int) {
                   insert.bindValue(0, 999);
                   insert.bindValue(1, u"Klant ingestapt in wagen 12"_s);
                   insert.exec();
               }));

    QSqlQuery update(db);
    update.prepare(u"UPDATE RITSTATEN SET lsn_actie='K' where lsn_id=?"_s);
    report(engine, "ritstaat update",
           measure(
               writes, [&](int) { statements.setRitstaatActie(1, u'K'); },
               [&](int) {
                   update.bindValue(0, 1);
                   update.exec();
               }));
    if (!log.lines().isEmpty())
        std::printf("errors: %s\n", qPrintable(log.lines().join(u'\n')));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    fixture::eachEngine(dir.path(), [&](const char *engine, Settings &s) {
        const bool sqlite = std::strcmp(engine, "SQLite") == 0;
        run(engine, s, dir.path(), sqlite ? 20000 : 5000, 2000);
    });
    return 0;
}
