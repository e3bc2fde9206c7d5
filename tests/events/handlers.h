#pragma once

// The vehicle-event handlers wired to a fresh dispatch database of one engine, with status
// messages recorded and the clock fixed.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/statements.h"
#include "events/eventparts.h"
#include "log/log.h"
#include "support/dbfixture.h"
#include "support/recorders.h"

#include <QTemporaryDir>
#include <QTest>

struct Handlers
{
    FixedClock clock { QDateTime(QDate(2025, 12, 31), QTime(10, 0, 0)) };
    Regional regional;
    QTemporaryDir dir;
    Settings settings;
    Log log { clock, regional };
    Database database { settings, dir.path(), clock };
    Statements statements { database };
    ApplicationErrors errors { log, &database };
    RecordingNotifier status;
    LastPosition position;
    EventParts parts { statements, log, status, errors, settings, clock, position };

    explicit Handlers(const QString &engine)
    {
        fixture::useFreshDatabase(settings, engine, dir.path());
        database.open();
    }

    void run(const QStringList &statements)
    {
        for (const QString &sql : statements)
            fixture::run(database.connection(), sql);
    }
    QStringList rows(const QString &sql)
    {
        database.ensureOpen();
        return fixture::rows(database.connection(), sql);
    }
    QVariant scalar(const QString &sql)
    {
        database.ensureOpen();
        return fixture::scalar(database.connection(), sql);
    }
    // The log without its stamps.
    QStringList texts() const
    {
        QStringList out;
        for (const QString &line : log.lines())
            out << line.mid(15);
        return out;
    }
};

// Adds a data row once per engine, named "name/engine", the engine in the first column.
template <typename... Values>
void engineRow(const char *name, const Values &...values)
{
    for (const char *engine : { "sqlite", "postgresql" }) {
        QTestData &row = QTest::addRow("%s/%s", name, engine);
        row << QString::fromLatin1(engine);
        (row << ... << values);
    }
}
