#include "inboundtable.h"

#include <QString>

using namespace Qt::Literals::StringLiterals;

namespace {

using W = RowWork;

constexpr InboundRow rows[] = {
    { 2, "[RS2_RGD_REQ_ACK]"_L1, {}, "M-> Host RS2 RGD ACK ontvangst -> "_L1, true, W::None },
    { 3, "[RS2_RGD,"_L1, "[RS2_RGD_ACK]"_L1, "M-> Host RS2 RGD POSITIE ontvangst -> "_L1, true, W::PositionReport },
    { 4, "[RS2_COMM_STOP]"_L1, "[RS2_COMM_STOP_ACK]"_L1, "M-> Host RS2 COMMUNICATION STOP ontvangst -> "_L1, true, W::None },
    { 5, "[RS2_EV"_L1, "[RS2_EV_ACK]"_L1, "M-> Host event ontvangst -> "_L1, true, W::VehicleEvent },
    { 6, "[RS2_COMM_START]"_L1, "[RS2_COMM_START_ACK]"_L1, "M-> RS2 Host COMMUNICATION RESTART ontvangst -> "_L1, true, W::None },
    { 7, "[RS2_CONN_TEST]"_L1, "[RS2_CONN_ALIVE]"_L1, "M-> Host verbindingstest  -> "_L1, true, W::None },
    { 8, "[RS2_CONN_REQ]"_L1, "[RS2_CONN]"_L1, "M-> RS2 Host verbinding -> "_L1, true, W::None },
    { 9, "[RS2_DISCONN_REQ]"_L1, "[RS2_DISCONN]"_L1, "M-> RS2 Host verzoek verbreking -> "_L1, false, W::None },
    { 10, "[RS2_DISCONN_ACK]"_L1, {}, "M-> Host verbreking aanvaard -> "_L1, false, W::None },
    { 11, "[RS2_RESET_ALL_ACK]"_L1, {}, "M-> Host RESET QUEUE aanvaard -> "_L1, true, W::None },
    { 12, "[RS2_RST_REQ_ACK]"_L1, {}, "M-> Host RS2 RST ACK -> "_L1, true, W::None },
    { 13, "[RS2_SOF_REQ_ACK]"_L1, {}, "M-> Host RS2 SOFT REL -> "_L1, true, W::None },
    { 14, "[RS2_GR2_ADAP_TACK"_L1, "[RS2_EV_ACK]"_L1, "M-> Host TIM ADAP_TACK ACK -> "_L1, true, W::None },
    { 15, "[RS2_GR2_ADAP_NACK"_L1, "[RS2_EV_ACK]"_L1, "M-> Host TIM ADAP_NACK ACK -> "_L1, true, W::None },
    { 16, "[RS2_GRO_DELRIT_ACK"_L1, "[RS2_EV_ACK]"_L1, "Host TIM DELRIT ACK -> "_L1, true, W::None },
    { 17, "[RS2_GRO_DELRIT_NACK"_L1, "[RS2_EV_ACK]"_L1, "M-> Host TIM DELRIT NACK -> "_L1, true, W::None },
    { 18, "[RS2_RST,"_L1, "[RS2_RST_ACK]"_L1, "M-> Host RS2 RST ONTVANGST -> "_L1, true, W::LogReset },
    { 19, "[RS2_CONN_ALIVE]"_L1, {}, "M-> Host verbinding bevestigd -> "_L1, true, W::None },
    { 20, "[RS2_CHAT_ACK]"_L1, {}, "M-> RS2 Host chat opdracht bevestigd -> "_L1, true, W::None },
    { 21, "[RS2_VRY_ACK]"_L1, {}, "M-> RS2 Host chatbericht bevestigd -> "_L1, true, W::None },
    { 22, "[RS2_VRY_NACK]"_L1, {}, "M-> RS2 Host chatbericht NACK bevestigd -> "_L1, true, W::None },
    { 23, "[RS2_RIT_ACK]"_L1, {}, "M-> RS2 Host ritopdracht bevestigd -> "_L1, true, W::None },
    { 24, "[RS2_GRO_DEL_NACK"_L1, "[RS2_EV_ACK]"_L1, "M-> RS2 Host GRO_DEL_NACK ontvangen -> "_L1, true, W::None },
    { 25, "[RS2_GRO_DEL_ACK"_L1, "[RS2_EV_ACK]"_L1, "M-> RS2 Host GRO_DEL_ACK ontvangen -> "_L1, true, W::None },
    { 26, "[RS2_GRO_ACK"_L1, {}, "M-> RS2 Host routeopdracht bevestigd  -> "_L1, true, W::None },
    { 27, "[RS2_GRO_TACK"_L1, "[RS2_EV_ACK]"_L1, "RS2 Host routeopdracht TACK -> "_L1, true, W::None },
    { 28, "[RS2_GRO_BEL"_L1, "[RS2_EV_ACK]"_L1, "M-> RS2 Host opdracht GRO_BEL -> "_L1, true, W::None },
    { 29, "[RS2_GRO_LOOS"_L1, "[RS2_EV_ACK]"_L1, "M-> RS2 Host opdracht GRO_LOOS "_L1, true, W::Unloading },
    { 30, "[RS2_NOTRANSFER"_L1, "[RS2_NOTRANSFER_ACK]"_L1, "M-> RS2 Host NO TRANSFER ontvangst "_L1, true, W::RefusalByCharacters, "[RS2_NOTRANSFER_CES"_L1 },
    { 31, "[RS2_UNKNOWN_CAR"_L1, "[RS2_UNKNOWN_CAR_ACK]"_L1, "M-> RS2 Host RS2 UNKNOWN CAR ontvangst "_L1, true, W::RefusalByCharacters },
    { 32, "[GRO_UNKNOWN_CAR"_L1, "[GRO_UNKNOWN_CAR_ACK]"_L1, "M-> RS2 Host GRO UNKNOWN CAR ontvangst om "_L1, true, W::RefusalByCharacters },
    { 33, "[RS2_GRO_TNACK"_L1, "[RS2_EV_ACK]"_L1, "M-> RS2 Host opdracht TNACK -> "_L1, true, W::RefusalByField1 },
};

static_assert(std::size(rows) <= 64, "matchingRows returns one bit per row");
static_assert([] {
    for (const InboundRow &r : rows)
        if (r.prefix.size() <= 5)
            return false;
    return true;
}(), "matchingRows probes the sixth character of every prefix");

} // namespace

std::span<const InboundRow> inboundTable()
{
    return rows;
}

bool matches(const InboundRow &row, QStringView message)
{
    return message.startsWith(row.prefix) && (row.unless.isEmpty() || !message.startsWith(row.unless));
}

quint64 matchingRows(QStringView message)
{
    // Every prefix is at least seven characters long and all but one begin "[RS2_"; the sixth
    // character tells most rows apart cheaply before the full comparison.
    constexpr qsizetype probe = 5;
    if (message.size() <= probe || message[0] != u'[')
        return 0;
    quint64 mask = 0;
    const QChar key = message[probe];
    for (size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].prefix[probe] == key && matches(rows[i], message))
            mask |= quint64(1) << i;
    return mask;
}

QString replyFor(QStringView message)
{
    QString reply = QStringLiteral("[NO_REPLY]");
    const quint64 mask = matchingRows(message);
    for (size_t i = 0; i < std::size(rows); ++i)
        if (mask & (quint64(1) << i))
            reply = rows[i].reply;
    return reply;
}
