#pragma once

#include <QString>

struct EventParts;

// Terminal coordinates (radians times 10^8, as decimal text) in decimal degrees, with four
// decimals but no more than six significant digits: 8529620 gives "4.8871". Throws
// KorvanError when the text is not a number.
QString LongRad2DecDegrees(const QString &radians);
// The same with "00" in front, the form the order-status files carry: "0052.3901", "00-5.0000".
QString LatRad2DecDegrees(const QString &radians);

// `SysLogConnectRam`: converts a terminal's position, keeps it as the last position and stores
// it as a row of `GPS` with the degrees as numbers. Logs its own failures and goes on, except
// for a lost database connection, which it passes on.
void SysLogConnectRam(EventParts &p, const QString &imei, const QString &statusCode, const QString &latitude,
                      const QString &longitude);
