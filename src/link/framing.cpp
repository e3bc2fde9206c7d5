#include "framing.h"

std::optional<Cut> cutMessage(QStringView buffer)
{
    const qsizetype open = buffer.indexOf(u'[');
    if (open < 0)
        return std::nullopt;
    const qsizetype close = buffer.indexOf(u']', open + 1);
    if (close < 0)
        return std::nullopt;
    qsizetype end = close + 1;
    if (end < buffer.size() && buffer[end] != u'[')
        ++end;
    return Cut { open, end - open, end };
}
