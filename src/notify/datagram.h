#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The plain text of a network notification: code "," time "," station "," detail ",#" payload "#".
QString datagramText(int code, const QDateTime &time, const QString &station, const QString &detail, const QString &payload);

// Repeating-key XOR over bytes; an empty key leaves the text as it is. What cannot travel as
// 7-bit text (a byte of 0x80 or more) becomes "?".
QByteArray cipherDatagram(const QByteArray &plain, const QByteArray &key);
