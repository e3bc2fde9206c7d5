#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class Log;
struct EventParts;
struct Vehicle;

// The boarding time of a ride: now, or with `WachtSecondenGebruik` now moved back by the whole
// minutes the vehicle waited, as long as that stays later than 15 minutes before the booked
// time. Logs each correction it considers ("M-> Wachtseconden ", "M-> Actueel ", "M-> Marge ",
// "M-> Correctie ").
struct Boarding
{
    QDateTime time;
    std::optional<int> waitingSeconds; // written only while the waiting time is in use
};
Boarding boardingTime(Log &log, bool useWaitingTime, int waitingSeconds, const QDateTime &now, const QDateTime &booked);

// Whether a ride of this owner gets `pla_retour_rbs` set: owners "002" and "003" at boarding,
// and "013" and "010" as well once the ride is unloaded or released.
bool returnsToBooking(const QString &owner, bool ended);

// `BestemmenRit`: the customer is on board. A ride number above 0 makes that ride "K" with its
// boarding time, pass number and odometer, and its ritstaat "K"; otherwise `Instaprit` makes a
// street-hail ride. Database errors of the ride path reach the caller.
void BestemmenRit(EventParts &p, const QString &imei, const QString &rideNumber, const QString &passNumber,
                  const QString &odometer, const QString &waitingSeconds, const QString &distance);

// `StatusXML` for a ride of the external order system (owner "004"), once the event's work is
// committed; a rolled-back event writes no file. A file that cannot be written is logged.
struct Ride;
void exportOrderStatus(EventParts &p, const Ride &ride, const QString &kind, const QString &plate);

// `Instaprit`: a street-hail ride for the vehicle on its free ritstaat ("B" or "L"); nothing
// when it has none. Logs its own failures and goes on, except a lost database connection.
void Instaprit(EventParts &p, const Vehicle &vehicle, int distance);
