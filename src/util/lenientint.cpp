#include "lenientint.h"

#include <limits>

int lenientInt(QStringView s)
{
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && s[i] == u' ')
        ++i;
    bool negative = false;
    if (i < n && (s[i] == u'-' || s[i] == u'+')) {
        negative = s[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && s[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    constexpr qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    qint64 value = 0;
    for (; i < n; ++i) {
        const char16_t c = s[i].unicode();
        int d = -1;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        if (d < 0)
            return int(qMin(value, limit - 1)); // trailing text: digits so far, no sign
        value = qMin(value * base + d, limit);
    }
    if (negative)
        return int(-value);
    return int(qMin(value, limit - 1));
}
