#pragma once

// The vehicle-event handlers wired to a fresh dispatch database of one engine, with status
// messages recorded and the clock fixed.
#include "events/eventparts.h"
#include "notify/statusxml.h"
#include "support/dispatchsite.h"
#include "support/recorders.h"

#include <QHash>
#include <QTest>

// Switches settings on by name, or off with a "-" in front: "Loosmelden -apxsv1".
inline void applyFlags(Settings &settings, const QString &flags)
{
    static const QHash<QString, bool Settings::*> names {
        { QStringLiteral("MapPointOK"), &Settings::MapPointOK },
        { QStringLiteral("Centralist"), &Settings::Centralist },
        { QStringLiteral("SAC"), &Settings::SAC },
        { QStringLiteral("GPSStatus"), &Settings::GPSStatus },
        { QStringLiteral("apxod1"), &Settings::apxod1 },
        { QStringLiteral("APXSD1"), &Settings::APXSD1 },
        { QStringLiteral("apxsv1"), &Settings::apxsv1 },
        { QStringLiteral("APXBV1"), &Settings::APXBV1 },
        { QStringLiteral("pos16"), &Settings::pos16 },
        { QStringLiteral("Loosmelden"), &Settings::Loosmelden },
        { QStringLiteral("Zones"), &Settings::Zones },
        { QStringLiteral("ZonesPositie"), &Settings::ZonesPositie },
        { QStringLiteral("Veld4"), &Settings::Veld4 },
        { QStringLiteral("WachtSecondenGebruik"), &Settings::WachtSecondenGebruik },
        { QStringLiteral("VXLBackup"), &Settings::VXLBackup },
    };
    for (QString flag : flags.split(u' ', Qt::SkipEmptyParts)) {
        const bool on = !flag.startsWith(u'-');
        if (!on)
            flag.remove(0, 1);
        QVERIFY2(names.contains(flag), qPrintable(flag));
        settings.*names.value(flag) = on;
    }
}

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
