#include "korvanfunctions.h"

namespace KorvanFunctions {

QString ZeroPadFloat(int width, int decimals, double value)
{
    if (width <= 0)
        return {};
    QString text = QString::number(value, 'f', qMax(decimals, 0)).rightJustified(width, u' ');
    text.replace(u' ', u'0');
    return text.right(width);
}

QString ZeroPadText(const QString &text, int width)
{
    if (width <= 0)
        return {};
    return (QString(width, u'0') + text).right(width);
}

QString ZeroPadInt(int value, int width)
{
    return ZeroPadText(QString::number(value), width);
}

QString HexDump(const QString &text)
{
    QString out;
    out.reserve(text.size() * 3);
    for (QChar c : text) {
        out += QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        out += u' ';
    }
    return out;
}

} // namespace KorvanFunctions
