#pragma once

// Recorded host sessions: one data row per "*.rs2" file of a directory, in the column "path".
#include <QDir>
#include <QTest>

inline void sessionFiles(const QString &directory)
{
    QTest::addColumn<QString>("path");
    const QDir dir(directory);
    const QStringList names = dir.entryList({ QStringLiteral("*.rs2") }, QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), qPrintable(directory));
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}
