#pragma once

#include <QDateTime>
#include <QString>

class Clock;
struct Regional;
struct Settings;

// The order-status file for the external order system: 18 lines, each ended by CR LF, with
// "&", "<" and ">" in the values escaped so that the file is always well-formed XML.
QString statusXmlContent(const QString &order, const QString &kind, const QString &comment, const QString &x,
                         const QString &y, const QDate &date, const QTime &time, QChar timeSeparator);

// "Ludor_" + kind + "_" + order + "_" + seconds + month + seconds + ".xml", the numbers without
// leading zeros: kind 12, order 4711 on 8 December at 20:48:06 gives Ludor_12_4711_6126.xml.
QString statusXmlFileName(const QString &kind, const QString &order, const QDateTime &t);

// The exchange directory of the setting `xVXLUitgaand`, a relative one in the program
// directory. Its default "C:\" means nothing off Windows; there the default is the program
// directory's "VXLXML".
QString exportDirectory(const QString &setting, const QString &programDir);

// A file in a directory, joined by the platform's separator; a directory that ends in one
// does not get a second.
QString exportPath(const QString &directory, const QString &fileName);

// `StatusXML`: writes the file into the exchange directory and, with `VXLBackup`, a copy into
// the program directory's "VXLXML/BACKUPS/UIT"; nothing while `VXLActief` is off. Throws
// KorvanError when a file cannot be written (a missing directory among the causes); the backup
// is then not written either.
class StatusExport
{
public:
    StatusExport(const Settings &settings, const Clock &clock, const Regional &regional, const QString &programDir)
        : m_settings(settings), m_clock(clock), m_regional(regional), m_programDir(programDir)
    {
    }
    void StatusXML(const QString &order, const QString &kind, const QString &comment, const QString &x,
                   const QString &y);

private:
    const Settings &m_settings;
    const Clock &m_clock;
    const Regional &m_regional;
    QString m_programDir;
};
