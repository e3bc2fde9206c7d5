#pragma once

#include <QChar>
#include <QString>
#include <QTime>

class QSqlRecord;
struct Settings;

// One ride as the ride orders read it: a row of `ADOPlanning`. Null text columns read as
// empty texts, null numbers as 0, a null pickup time as 00:00.
struct RideRecord
{
    int id = 0; // pla_id
    QString naamReiziger;
    QString soortVervoer;
    int rc = 0;
    double bedrag = 0;
    double bedrag3 = 0;
    QString eigenaar;
    int lopers = 0;
    int rollers = 0;
    int begeleiding = 0;
    int rolstoel = 0;
    int voorin = 0;
    int zoneVan = 0;
    int zoneNaar = 0;
    QTime tijdstip { 0, 0 };   // pla_tijdstip, the pickup time
    QTime datumtijd { 0, 0 };  // the time of pla_datumtijd
    QString ophStraat, ophNummer, ophNummerToe, ophStad, ophPostcode, ophSyn;
    QString besStraat, besNummer, besNummerToe, besStad, besPostcode, besSyn;
    QString opmerking;
    QString tekst;        // pla_tekst, the free ride text
    QString pasnummer;    // pla_pasnummer
    QString vpdPasnummer; // the passenger's pass for this transport kind, when there is one
    QString filter;

    static RideRecord fromRecord(const QSqlRecord &record);
};

// The control characters of the ride orders.
inline constexpr QChar RS = QChar(0x1E);
inline constexpr QChar US = QChar(0x1F);
inline constexpr QChar ETB = QChar(0x17);

// `Tim_enkel`'s message: "[RS2_GR2," (or "[RS2_GRO," with `GRO`), the vehicle and ride digits,
// and 15 fields of which the ninth is the terminal's display text.
QString timOrderText(const RideRecord &ride, const QString &vehicle, const Settings &settings);

// `GRO_enkel`'s message: a screen template and the 26 fields its markers point at.
// `rideNumber` is the number as it was asked for; `timeSeparator` the regional one.
QString groOrderText(const RideRecord &ride, const QString &rideNumber, const QString &vehicle, const Settings &settings,
                     QChar timeSeparator);

// The memo text both orders carry when `MemoTekst` is on: ride number, postcodes, place names
// and the free text, ended by CR LF.
QString memoText(const RideRecord &ride);
