#pragma once

#include <QString>

// Decimal numbers from the link, read the same way on every machine: "," and "." both serve
// as the decimal point and the operating system's locale plays no part. Text that is not a
// finite number throws KorvanError("'text' is geen geldig getal").
double readDecimal(const QString &text);

// `LeesKilometerstand`: an odometer text in hundredths of a kilometre, every "+" removed.
double LeesKilometerstand(const QString &odometer);
