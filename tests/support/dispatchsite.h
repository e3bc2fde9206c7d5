#pragma once

// The gateway's database parts over a fresh dispatch database of one engine ("sqlite" or
// "postgresql"), with a fixed clock and the log, and straight access past the gateway's code.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "log/log.h"
#include "support/dbfixture.h"

#include <QTemporaryDir>

struct DispatchSite
{
    FixedClock clock;
    Regional regional;
    QTemporaryDir dir;
    Settings settings;
    Log log { clock, regional };
    Database database { settings, dir.path(), clock };
    Statements statements { database };
    ApplicationErrors errors { log, &database };

    DispatchSite(const QString &engine, const QDateTime &now, bool demo = true) : clock(now)
    {
        fixture::useFreshDatabase(settings, engine, dir.path(), demo);
    }

    QVariant scalar(const QString &sql)
    {
        database.ensureOpen();
        return fixture::scalar(database.connection(), sql);
    }
    void run(const QString &sql)
    {
        database.ensureOpen();
        fixture::run(database.connection(), sql);
    }
    void run(const QStringList &statements)
    {
        for (const QString &sql : statements)
            run(sql);
    }
    QStringList rows(const QString &sql)
    {
        database.ensureOpen();
        return fixture::rows(database.connection(), sql);
    }
    // The log without its stamps, from line `from` on.
    QStringList texts(qsizetype from = 0) const
    {
        QStringList out;
        for (qsizetype i = from; i < log.lines().size(); ++i)
            out << log.lines()[i].mid(15);
        return out;
    }
};
