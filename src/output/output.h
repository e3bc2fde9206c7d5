#pragma once

#include "link/outqueue.h"

#include <QString>

class Log;
class Statements;
struct Regional;
struct Settings;

// The builders that put one message for one vehicle into `RamQOut`. Each reports whether the
// message was appended; database errors while reading a ride reach the caller. Inside a unit
// of work the message is appended once the unit is committed, and never when it is not.
class Output
{
public:
    Output(Statements &statements, OutgoingQueue &queue, Log &log, const Settings &settings, const Regional &regional)
        : m_statements(statements), m_queue(queue), m_log(log), m_settings(settings), m_regional(regional)
    {
    }

    // The ride order for `ride` (a ride number as text); false when the ride does not exist.
    // Throws KorvanError for a ride number that is not a whole number.
    bool Tim_enkel(const QString &ride, const QString &vehicle, const MessageRow &row = {});
    // The template ride order for the same inputs.
    bool GRO_enkel(const QString &ride, const QString &vehicle);
    bool VerzendenChat(const QString &text, const QString &vehicle, const MessageRow &row = {});
    bool OngedaanVerzendenRit(int ride, const QString &vehicle, const MessageRow &row = {});

private:
    bool append(const QString &message, const MessageRow &row = {});

    Statements &m_statements;
    OutgoingQueue &m_queue;
    Log &m_log;
    const Settings &m_settings;
    const Regional &m_regional;
};
