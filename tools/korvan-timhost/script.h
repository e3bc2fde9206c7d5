// Script handling for korvan-timhost, free of I/O so it can be tested on its own:
// parseScript() turns script text into steps, expandEscapes() turns one line of
// script text into the bytes to send (escapes expanded, the rest Windows-1252),
// and escapeBytes() turns bytes on the wire back into one ASCII line for display.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace timhost {

struct Step {
    enum class Kind {
        Send,  // bytes in one write
        Split, // bytes in two writes, the first splitAt bytes long
        Pause, // wait ms
        Wait,  // wait for a read since the last send, at most ms
        Close, // close the connection, skip the rest
    };

    Kind kind = Kind::Send;
    QByteArray bytes{}; // "{}" stops g++ 12 warning about designated initializers that leave it out
    qsizetype splitAt = 0;
    int ms = 0;
    int line = 0; // 1-based script line, for messages
};

struct ParseResult {
    QList<Step> steps;
    QString error; // empty on success
    int errorLine = 0;

    bool ok() const { return error.isEmpty(); }
};

// Expands \r \n \t \\ \xNN; every other character becomes its Windows-1252 byte.
// On failure returns nothing and, if error is given, sets it to the reason.
std::optional<QByteArray> expandEscapes(QStringView text, QString *error = nullptr);

// The reverse, for display: printable ASCII stays, CR LF tab backslash become
// \r \n \t \\, every other byte \xNN (uppercase). The result is plain ASCII.
QByteArray escapeBytes(QByteArrayView bytes);

// defaultWaitMs is used for "@wait" written without a time.
ParseResult parseScript(QStringView text, int defaultWaitMs);

// Cuts the complete messages ("[" up to the next "]") off the front of what the gateway sent;
// bytes before a "[" are dropped, an unfinished message stays in the buffer.
QList<QByteArray> takeMessages(QByteArray &buffer);

// What a host answers to one message of the gateway, each answer one write: a ride order gets
// its acknowledgement, a chat "[RS2_VRY_ACK]", a position request "[RS2_RGD_REQ_ACK]" and then
// the vehicle's position. Replies to the host's own messages get nothing.
QList<QByteArray> hostAnswers(QByteArrayView message);

} // namespace timhost
