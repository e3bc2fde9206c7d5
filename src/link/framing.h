#pragma once

#include <QStringView>

#include <optional>

// Where the next message stands in the receive buffer: the text from the first "[" through the
// first "]" after it, plus the one character after that "]" when there is one and it does not
// open the next message. Text before the "[" is noise (a second terminator character, or
// garbage) and is consumed with the message. `consumed` is how much to remove from the front.
struct Cut
{
    qsizetype begin = 0;
    qsizetype length = 0;
    qsizetype consumed = 0;
};

std::optional<Cut> cutMessage(QStringView buffer);

// A buffer that grows past this without a complete message is emptied.
inline constexpr qsizetype MaxReceiveBuffer = 64 * 1024;
