#include "updatetexts.h"

#include <QList>
#include <QUrl>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace {

bool allDigits(QStringView s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// Numbers of any length: without leading zeros, the longer is larger, else the text decides.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

int compareVersions(QStringView a, QStringView b)
{
    const QList<QStringView> pa = a.trimmed().split(u'.');
    const QList<QStringView> pb = b.trimmed().split(u'.');
    for (qsizetype i = 0; i < qMax(pa.size(), pb.size()); ++i) {
        const QStringView x = i < pa.size() && !pa[i].isEmpty() ? pa[i].trimmed() : u"0";
        const QStringView y = i < pb.size() && !pb[i].isEmpty() ? pb[i].trimmed() : u"0";
        const int c = allDigits(x) && allDigits(y) ? compareNumbers(x, y) : x.compare(y);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    return 0;
}

QString sizeText(qint64 bytes, const QLocale &locale)
{
    constexpr qint64 KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024;
    if (bytes <= 0)
        return u"0 B"_s;
    if (bytes <= KiB)
        return locale.toString(bytes) + u" B"_s;
    if (bytes <= MiB)
        return locale.toString(bytes / KiB) + u" KB"_s;
    if (bytes <= GiB)
        return locale.toString(bytes / MiB) + u" MB"_s;
    return locale.toString(bytes / GiB) + u" GB"_s;
}

QString transferText(qint64 received, qint64 total, const QLocale &locale)
{
    const qint64 percent = total > 0 ? received * 100 / total : 0;
    return sizeText(received, locale) + u" of "_s + sizeText(total, locale) + u" ("_s + QString::number(percent) + u"%)"_s;
}

QString speedText(qint64 received, qint64 elapsedMs, const QLocale &locale)
{
    // Within the first second, what arrived so far is the rate.
    const qint64 perSecond = elapsedMs >= 1000 ? received * 1000 / elapsedMs : received;
    return sizeText(perSecond, locale) + u"/sec"_s;
}

QString durationText(qint64 ms)
{
    const qint64 s = qMax<qint64>(ms, 0) / 1000;
    return u"%1:%2:%3"_s.arg(s / 3600, 2, 10, QChar(u'0')).arg(s / 60 % 60, 2, 10, QChar(u'0')).arg(s % 60, 2, 10, QChar(u'0'));
}

QString remainingText(qint64 received, qint64 total, qint64 elapsedMs)
{
    if (received <= 0)
        return {};
    // In floating point: a large file times hours of milliseconds would overflow 64 bits.
    const double left = double(qMax<qint64>(total - received, 0)) * double(elapsedMs) / double(received);
    return durationText(qint64(left));
}

QString updateSection(const QString &executableFileName)
{
    return executableFileName.section(u'.', 0, 0);
}

QString updateInformationUrl(const QString &setting)
{
    const QString s = setting.trimmed();
    if (s.isEmpty() || s.contains(u"://"_s))
        return s;
    QString host = s;
    while (host.endsWith(u'/'))
        host.chop(1);
    return u"http://"_s + host + u"/zorezarezo/KorvanTim/Updates.txt"_s;
}

QString downloadFileName(const QString &url)
{
    const QString name = QUrl(url).fileName();
    if (name == u"."_s || name == u".."_s || name.contains(u'\\') || name.contains(u':'))
        return {};
    return name;
}

void Crc32::addData(QByteArrayView data)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    for (const char byte : data)
        m_crc = table[(m_crc ^ quint8(byte)) & 0xFF] ^ (m_crc >> 8);
}
