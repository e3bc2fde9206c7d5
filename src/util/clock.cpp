#include "clock.h"

#include <QHostInfo>
#include <QLocale>
#include <QRegularExpression>

Regional Regional::system()
{
    Regional r;
    const QLocale locale = QLocale::system();
    r.decimalSeparator = locale.decimalPoint().isEmpty() ? u'.' : locale.decimalPoint().front();
    // The separator is whatever stands between hours and minutes in the short time format.
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype h = format.indexOf(QRegularExpression(QStringLiteral("[hH]")));
    if (h >= 0) {
        qsizetype i = h;
        while (i < format.size() && (format[i] == u'h' || format[i] == u'H'))
            ++i;
        if (i < format.size() && format[i] != u'm')
            r.timeSeparator = format[i];
    }
    r.machineName = QHostInfo::localHostName();
    return r;
}

QString Regional::stationName() const
{
    QString name = machineName.isEmpty() ? QStringLiteral("(Unknown)") : machineName.left(15);
    for (QChar &c : name)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    return name;
}

QString Regional::longTime(const QTime &t) const
{
    const QString sep(timeSeparator);
    return t.toString(QStringLiteral("hh") + sep + QStringLiteral("mm") + sep + QStringLiteral("ss"));
}
