#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class Statements;
struct EventParts;

// The rows the vehicle-event handlers read, as small records: column names stay in records.cpp.

struct Vehicle
{
    int id = 0;         // wag_id
    int ludor = 0;      // wag_ludor, the fleet number people know
    int company = 0;    // wag_bdr_id
    int companyKey = 0; // bdr_id of the joined company row; 0 where the look-up has no join
    QString plate;      // wag_kenteken
    QString type;       // wag_type
};

struct Driver
{
    int id = 0; // chf_id
    QString firstName;
    QString infix;
    QString surname;
};

struct Ritstaat
{
    int id = 0;       // lsn_id
    QString activity; // lsn_actie
    int ride = 0;     // lsn_rit, the ride in hand
    int driver = 0;   // lsn_chf_id
    int company = 0;  // lsn_bdr_id
};

struct Ride
{
    int id = 0;       // pla_id
    int ritstaat = 0; // pla_lsn
    QString status;   // pla_status
    QString owner;    // pla_eigenaar
    QString order;    // pla_extern as decimal text, empty when the column is
    int vehicle = 0;  // pla_wagen
    QDateTime booked; // pla_tijdstip
};

// A company's constants as the street-hail ride takes them; zeros and empty without a row.
struct Constants
{
    int cashTraveller = 0; // con_contant
    int tariff = 0;        // con_tarief
    QString country;       // con_land
};

namespace lookup {

// `ADOWAGEN`: the vehicle with its company row; a vehicle whose company is missing is not found.
std::optional<Vehicle> vehicleWithCompany(Statements &statements, const QString &imei);
// `ADOWagens`: the vehicle alone, as the status and voice events look it up.
std::optional<Vehicle> vehicle(Statements &statements, const QString &imei);
// `ADOChauffeurs`: the driver with this pass number in the company.
std::optional<Driver> driver(Statements &statements, const QString &passNumber, int company);
// `ADOLSNDIENST`: an open ritstaat of the vehicle with this driver.
std::optional<Ritstaat> openRitstaat(Statements &statements, int vehicle, int driver);
// `ADODIENSTEINDE`: the first open ritstaat of the vehicle, any driver.
std::optional<Ritstaat> openRitstaat(Statements &statements, int vehicle);
// `ADORITBIJWERKEN`
std::optional<Ride> ride(Statements &statements, int ride);
// `ADOConstanten`: the company's standard shift length in hours; 0 without a constants row.
int standardHours(Statements &statements, int company);
Constants constants(Statements &statements, int company);
// `ADOLSN`: the vehicle's open ritstaat in "B" or "L", free for a street-hail ride.
std::optional<Ritstaat> freeRitstaat(Statements &statements, int vehicle);
// `ADOZOEKACTIEVERIT`: the ride in hand of the vehicle's open ritstaat in "T"; 0 without one.
int activeRide(Statements &statements, int vehicle);
// `ADORITNUMMER`: the vehicle's newest ride in "K"; nothing when it has none.
std::optional<int> newestBoardedRide(Statements &statements, int vehicle);
// `ADOZoekWagenEnLSN`: the ride in hand of the open ritstaat of the vehicle with this IMEI.
std::optional<int> rideInHand(Statements &statements, const QString &imei);
// `ADOZOEKWAGEN`: the number plate of a vehicle by its key; empty when there is none.
QString plate(Statements &statements, int vehicle);
// `ADOZones`: the number of open ritstaten in a zone.
std::optional<int> vehiclesInZone(Statements &statements, int zone);

} // namespace lookup

// `ZoekWagen`, with which every handler that receives an IMEI begins: the vehicle and its
// company, or, when there is none, the not-found log line and status message and nothing.
std::optional<Vehicle> ZoekWagen(EventParts &p, const QString &imei);
