#include "position.h"

#include "config/settings.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "eventparts.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "numbers.h"
#include "util/clock.h"
#include "util/lenientint.h"

#include <cmath>
#include <numbers>

using namespace Qt::Literals::StringLiterals;

namespace {

// Degrees rounded once, to four decimals or to six significant digits, whichever is coarser.
double roundedDegrees(const QString &radians)
{
    const long double degrees = static_cast<long double>(readDecimal(radians)) * 180.0L / std::numbers::pi_v<long double> / 1e8L;
    const long double magnitude = std::fabs(degrees);
    int decimals = 4;
    if (magnitude >= 1.0L)
        decimals = std::min(4, 6 - (int(std::floor(std::log10(magnitude))) + 1));
    const long double scale = std::pow(10.0L, decimals);
    const double rounded = double(std::round(degrees * scale) / scale);
    return rounded == 0.0 ? 0.0 : rounded; // no "-0.0000"
}

QString degreesText(double degrees)
{
    return QString::number(degrees, 'f', 4);
}

} // namespace

QString LongRad2DecDegrees(const QString &radians)
{
    return degreesText(roundedDegrees(radians));
}

QString LatRad2DecDegrees(const QString &radians)
{
    return u"00"_s + degreesText(roundedDegrees(radians));
}

void SysLogConnectRam(EventParts &p, const QString &imei, const QString &statusCode, const QString &latitude,
                      const QString &longitude)
{
    p.position = {};
    if (latitude.isEmpty() || longitude.isEmpty()) {
        p.log.Logger(u"M-> Geen geldige GPS posities voor IMEI "_s + imei);
        if (p.settings.GPSStatus)
            p.status.SendUDPKorvanDB(u"Ongeldige GPS posities wagen voor IMEI "_s + imei);
        return;
    }

    // The degrees are kept as numbers for the row; the texts only for the export.
    double lon = 0, lat = 0;
    bool converted = false;
    try {
        lon = roundedDegrees(longitude);
        lat = roundedDegrees(latitude);
        p.position = { u"00"_s + degreesText(lat), degreesText(lon) };
        converted = true;
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
    }

    try {
        if (!converted)
            readDecimal(QString()); // the row cannot be filled: the same conversion error, logged again
        const QDateTime now = p.clock.now();
        p.statements.step([&] { p.statements.ADOGPS({ { "GPS_Datum"_L1, now },
                              { "GPS_Datum_UTC"_L1, now },
                              { "GPS_IP"_L1, QString() },
                              { "GPS_Imei"_L1, imei },
                              { "GPS_Statuscode"_L1, statusCode },
                              { "GOS_bdr_id"_L1, lenientInt(p.settings.Bedrijfsnummer) },
                              { "GPS_Latitude"_L1, decimalText(lat) },
                              { "GPS_Longitude"_L1, decimalText(lon) } }); });
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> "_s + errorText(e));
        rethrowIfConnectionLost(e);
    }
}
