#pragma once

#include <QByteArrayView>
#include <QLocale>
#include <QString>
#include <QStringView>

// The texts of the update check and the download window, and the pieces they are made of.

// Compares two version texts number by number ("9.0.1.31" < "10.0.0.1"); a missing number
// counts as 0, and a part that is not a number compares as text. Negative, 0 or positive.
int compareVersions(QStringView a, QStringView b);

// A byte count as the transfer figures show it: "0 B", "1.024 B", "4 KB", "1 MB", "2 GB"
// (whole units, truncated, with the locale's thousands separator).
QString sizeText(qint64 bytes, const QLocale &locale);
// "received of total (p%)".
QString transferText(qint64 received, qint64 total, const QLocale &locale);
// Bytes received per second of elapsed time, "/sec".
QString speedText(qint64 received, qint64 elapsedMs, const QLocale &locale);
// A duration as "hh:nn:ss"; hours go past 23 rather than wrap.
QString durationText(qint64 ms);
// What is left at the speed so far; empty until something has arrived.
QString remainingText(qint64 received, qint64 total, qint64 elapsedMs);

// The section of the update information that belongs to this program: the executable's file
// name up to its first ".".
QString updateSection(const QString &executableFileName);
// The update information's URL from the setting: a full URL as it stands, or, for a bare host
// name, the information file's usual place on that host over http.
QString updateInformationUrl(const QString &setting);
// The name the download gets: the last segment of the URL's path, decoded, without a query.
// Empty when that is no plain file name (nothing, "." or "..", or a Windows path separator that
// would put the file elsewhere).
QString downloadFileName(const QString &url);

// CRC-32 as zip and PNG compute it, fed block by block.
class Crc32
{
public:
    void addData(QByteArrayView data);
    quint32 result() const { return ~m_crc; }

private:
    quint32 m_crc = 0xFFFFFFFFu;
};
