#pragma once

// The vehicle-event handlers wired to a fresh dispatch database of one engine, with status
// messages recorded and the clock fixed.
#include "events/eventparts.h"
#include "notify/statusxml.h"
#include "support/dispatchsite.h"
#include "support/recorders.h"

#include <QTest>

struct Handlers : DispatchSite
{
    RecordingNotifier status;
    LastPosition position;
    StatusExport exporter { settings, clock, regional, dir.path() };
    QStringList chats; // "text|vehicle" of every chat queued
    EventParts parts { statements, log,      status,   errors,
                       settings,   clock,    position, exporter,
                       [this](const QString &text, const QString &vehicle) {
                           chats << text + u'|' + vehicle;
                           return true;
                       } };

    explicit Handlers(const QString &engine) : DispatchSite(engine, QDateTime(QDate(2025, 12, 31), QTime(10, 0, 0)))
    {
        database.open();
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
