#include "inbound.h"

#include "config/settings.h"
#include "fields.h"
#include "framing.h"
#include "inboundtable.h"
#include "linkstate.h"
#include "log/log.h"
#include "util/clock.h"
#include "util/errors.h"

using namespace Qt::Literals::StringLiterals;

namespace {

bool isBlank(QStringView text)
{
    for (QChar c : text)
        if (c.unicode() > 32)
            return false;
    return true;
}

// Characters `from` to `from + count - 1` of a message, counted from 1 at its "[".
QString characters(const QString &message, int from, int count)
{
    return message.mid(from - 1, count);
}

} // namespace

const QString &InboundMessage::field(qsizetype i) const
{
    if (i < 0 || i >= fields.size())
        throw KorvanError(u"Veld "_s + QString::number(i) + u" ontbreekt in "_s + text);
    return fields[i];
}

InboundDispatcher::InboundDispatcher(Log &log, LinkState &link, const Settings &settings, ErrorHandler &errors,
                                     InboundWork &work, const Clock &clock, const Regional &regional,
                                     QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_link(link)
    , m_settings(settings)
    , m_errors(errors)
    , m_work(work)
    , m_clock(clock)
    , m_regional(regional)
{
}

void InboundDispatcher::onRead(HostConnection &connection, const QString &newText)
{
    // A checkpoint that cannot write its file keeps the log and is reported; the received
    // text is still handled, so no message waits for an unrelated later read.
    m_errors.guard([&] { m_log.checkpoint(Log::List::View, 400, u"TIM"_s); });
    QString &buffer = connection.receiveBuffer;
    buffer += newText;
    m_log.Logger(u"<-- "_s + buffer);
    m_log.addReceived(newText);
    m_errors.guard([&] { m_log.checkpoint(Log::List::View, 500, u"RAM"_s); });

    qsizetype pos = 0;
    while (const auto cut = cutMessage(QStringView(buffer).mid(pos))) {
        const QString message = buffer.mid(pos + cut->begin, cut->length);
        pos += cut->consumed;
        dispatch(connection, message);
    }
    // A terminator left behind (the LF of a CR LF) is noise the next cut would drop anyway;
    // dropped now, it does not open every later "<-- " line with a line break.
    while (pos < buffer.size() && buffer[pos].unicode() <= 32)
        ++pos;
    buffer.remove(0, pos);

    if (buffer.size() > MaxReceiveBuffer) {
        buffer.clear();
        m_log.Logger(u"M-> Ontvangstbuffer geleegd: meer dan %1 tekens zonder volledig bericht van "_s.arg(MaxReceiveBuffer)
                     + connection.address());
    }
}

void InboundDispatcher::dispatch(HostConnection &connection, const QString &text)
{
    InboundMessage message { text, splitFields(withoutBrackets(text)), connection.address() };
    m_log.Logger(u"M-> "_s + message.address);
    m_log.Logger(u"M-> "_s + text);
    m_fields = message.fields;
    emit fieldsChanged(m_fields);

    QString reply = u"[NO_REPLY]"_s;
    if (!runRows(connection, message, reply) || isBlank(reply))
        return;
    m_errors.guard([&] {
        connection.write(reply);
        m_log.Logger(u"--> "_s + message.address);
        m_log.Logger(u"--> "_s + reply);
    });
}

bool InboundDispatcher::runRows(HostConnection &connection, const InboundMessage &message, QString &reply)
{
    const auto table = inboundTable();
    const quint64 mask = matchingRows(message.text);
    m_work.begin();
    try {
        for (size_t i = 0; i < table.size(); ++i) {
            if (!(mask & (quint64(1) << i)))
                continue;
            const InboundRow &row = table[i];
            if (row.work == RowWork::Unloading) {
                unloading(connection, message, reply);
                continue;
            }
            reply = row.reply;
            m_log.Logger(row.log + message.address);
            if (row.recordsHost)
                m_link.setHostAddress(message.address);
            switch (row.work) {
            case RowWork::None:
            case RowWork::Unloading:
                break;
            case RowWork::PositionReport:
                m_work.positionReport(message);
                break;
            case RowWork::VehicleEvent:
                m_work.vehicleEvent(message);
                break;
            case RowWork::LogReset:
                m_log.resetTo(message.text);
                break;
            case RowWork::RefusalByCharacters:
                // The four characters after the prefix's comma: 17 to 20 after "[RS2_NOTRANSFER",
                // 18 to 21 after the two prefixes one character longer.
                m_work.refusal(characters(message.text, int(row.prefix.size()) + 2, 4));
                break;
            case RowWork::RefusalByField1:
                m_work.refusal(message.field(1));
                break;
            }
        }
        m_work.commit();
    } catch (const std::exception &e) {
        m_work.rollback();
        m_errors.report(e);
        return false;
    }
    return true;
}

// The unloading report is acknowledged before the rest of the table runs, and may be
// followed by a delete order as the message's own reply.
void InboundDispatcher::unloading(HostConnection &connection, const InboundMessage &message, QString &reply)
{
    reply = u"[RS2_EV_ACK]"_s;
    m_log.Logger(u"M-> RS2 Host opdracht GRO_LOOS "_s + message.address);
    const QString vehicle = characters(message.text, 15, 4);
    m_work.unloading(vehicle, QString());
    // Stored before it is acknowledged; the rest of the message is a unit of its own.
    m_work.commit();
    m_work.begin();
    m_link.setHostAddress(message.address);
    m_errors.guard([&] {
        connection.write(reply);
        m_log.Logger(u"M-> *"_s + m_regional.longTime(m_clock.now().time()) + u'-' + message.address);
        m_log.Logger(u"M-> *"_s + reply);
        reply.clear();
        if (m_settings.Loosmelden)
            reply = u"[RS2_GRO_DELRIT,"_s + vehicle + u",DELRIT"_s + characters(message.text, 20, 8) + u']';
    });
}
