#include "datagram.h"

QString datagramText(int code, const QDateTime &time, const QString &station, const QString &detail, const QString &payload)
{
    return QString::number(code) + u',' + time.toString(QStringLiteral("yyyyMMddHHmmss")) + u',' + station + u',' + detail
         + QStringLiteral(",#") + payload + u'#';
}

QByteArray cipherDatagram(const QByteArray &plain, const QByteArray &key)
{
    QByteArray out(plain.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const char c = key.isEmpty() ? plain[i] : char(plain[i] ^ key[i % key.size()]);
        out[i] = quint8(c) >= 0x80 ? '?' : c;
    }
    return out;
}
