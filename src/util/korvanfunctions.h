#pragma once

#include <QString>

// Fixed-width fields of the messages built for the vehicle host, and one diagnostic text.
namespace KorvanFunctions {

// value in fixed point with a "." and `decimals` digits, blanks made "0", the last `width`
// characters kept: ZeroPadFloat(6, 2, 12.5) is "012.50", of 1234.5 "234.50", of -3.5 "0-3.50".
QString ZeroPadFloat(int width, int decimals, double value);

// The last `width` characters of `width` zeros followed by text: ("7", 4) is "0007".
QString ZeroPadText(const QString &text, int width);

// ZeroPadText of the decimal text of value: (-5, 4) is "00-5".
QString ZeroPadInt(int value, int width);

// Each UTF-16 code unit as upper-case hex of at least two digits and a blank: "AB" is "41 42 ".
QString HexDump(const QString &text);

} // namespace KorvanFunctions
