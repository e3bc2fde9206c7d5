#pragma once

#include <QString>

// `VerzendenChat`'s message: "[RS2_VRY,", the vehicle address whole, ",DE2", the text, CR LF, "]".
QString chatMessage(const QString &text, const QString &vehicle);

// `OngedaanVerzendenRit`'s message: "[RS2_GRO_DEL," with the ride's last four digits, or with
// `GRODELRIT` "[RS2_RIT," and "> Ongedaan: " with the whole ride number.
QString undoMessage(int ride, const QString &vehicle, bool viaRit);

// "[RS2_RGD_REQ," + the vehicle's terminal address + "]": asks a vehicle for its position.
QString positionRequest(const QString &vehicle);
