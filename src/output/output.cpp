#include "output.h"

#include "config/settings.h"
#include "db/statements.h"
#include "link/outqueue.h"
#include "log/log.h"
#include "rideorder.h"
#include "util/clock.h"
#include "util/errors.h"
#include "vehiclemessages.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// The ride number the test button passes is typed text; the poller's is a number already.
int rideNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok)
        throw KorvanError(u"Ongeldig ritnummer: "_s + text);
    return n;
}

} // namespace

bool Output::append(const QString &message, const MessageRow &row)
{
    m_statements.database().afterCommit([this, message, row] {
        try {
            m_queue.append(message, row);
        } catch (const std::exception &) {
        }
    });
    return true;
}

bool Output::Tim_enkel(const QString &ride, const QString &vehicle, const MessageRow &from)
{
    const auto row = m_statements.ADOPlanning(rideNumber(ride));
    if (!row)
        return false;
    return append(timOrderText(RideRecord::fromRecord(*row), vehicle, m_settings), from);
}

bool Output::GRO_enkel(const QString &ride, const QString &vehicle)
{
    const auto row = m_statements.ADOPlanning(rideNumber(ride));
    if (!row)
        return false;
    return append(groOrderText(RideRecord::fromRecord(*row), ride, vehicle, m_settings, m_regional.timeSeparator));
}

bool Output::VerzendenChat(const QString &text, const QString &vehicle, const MessageRow &row)
{
    m_log.Logger(u"Chatbericht aangemaakt voor "_s + vehicle);
    return append(chatMessage(text, vehicle), row);
}

bool Output::OngedaanVerzendenRit(int ride, const QString &vehicle, const MessageRow &row)
{
    m_log.Logger((m_settings.GRODELRIT ? u"Ongedaan RS2_RIT rit "_s : u"Ongedaan RS2_GRO_DEL rit "_s) + QString::number(ride)
                 + u" aangemaakt voor "_s + vehicle);
    return append(undoMessage(ride, vehicle, m_settings.GRODELRIT), row);
}
