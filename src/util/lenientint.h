#pragma once

#include <QStringView>

// The integer reading used for numeric message fields and numeric settings: leading blanks
// skipped, optional sign, decimal digits (hexadecimal after "$" or "0x"). When other text
// follows the digits, the digits read so far are the value and the sign is dropped; empty or
// non-numeric text gives 0. Values beyond 32 bits saturate.
int lenientInt(QStringView text);
