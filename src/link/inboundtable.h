#pragma once

#include <QLatin1StringView>
#include <QStringView>

#include <span>

// What a row of the inbound table does beyond its reply, its log line and recording the host.
enum class RowWork {
    None,
    PositionReport,
    VehicleEvent,
    LogReset,
    Unloading,
    RefusalByField1,     // vehicle identity in field 1
    RefusalByCharacters, // vehicle identity in the four characters after the prefix and its comma
};

struct InboundRow
{
    int number;
    QLatin1StringView prefix;
    QLatin1StringView reply; // empty: nothing is sent
    QLatin1StringView log;   // followed by the sender's address
    bool recordsHost;
    RowWork work;
    QLatin1StringView unless = {}; // a longer prefix that this row does not take
};

// The rows in the order they are tested; every matching row runs, the last reply wins.
std::span<const InboundRow> inboundTable();

bool matches(const InboundRow &row, QStringView message);

// Bit i is set when row i of inboundTable() matches the message.
quint64 matchingRows(QStringView message);

// The reply a message gets when no further work fails; "[NO_REPLY]" when no row knows it.
QString replyFor(QStringView message);
