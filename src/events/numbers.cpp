#include "numbers.h"

#include "util/errors.h"

#include <QLocale>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

double readDecimal(const QString &text)
{
    QString t = text.trimmed();
    t.replace(u',', u'.');
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        throw KorvanError(u"'"_s + text + u"' is geen geldig getal"_s);
    return value;
}

double LeesKilometerstand(const QString &odometer)
{
    QString t = odometer;
    t.remove(u'+');
    return readDecimal(t);
}
