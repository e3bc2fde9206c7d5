// Arbitrary reads through the real InboundDispatcher, with a connection that records what is
// written and no socket. Input layout:
//   byte 0      bits 0-1: number of reads - 1; bit 2: Loosmelden on; bit 3: log checkpoints
//               succeed (else they fail, as on a full disk); bits 4-7 all set: the last read,
//               unless it holds both "[" and "]", is repeated until it alone overflows the
//               receive buffer (with both it would only make thousands of messages, all alike)
//   bytes 1..   one per further read: where it starts, as a fraction 0..255 of the rest
//   rest        what the host sends, in the link's code page
// Each input gets its own objects, so nothing (the log least of all) grows across inputs.
#include "check.h"

#include "app/applicationerrors.h"
#include "config/settings.h"
#include "link/fields.h"
#include "link/framing.h"
#include "link/inbound.h"
#include "link/inboundtable.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "util/ansicodec.h"

#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

class RecordingConnection : public HostConnection
{
public:
    QString address() const override { return QStringLiteral("127.0.0.1"); }
    void write(const QString &text) override { writes.append(text); }
    QStringList writes;
};

// With a fixed clock every checkpoint writes the same two file names, so the directory never
// holds more than a few files however long the fuzzer runs.
QString writableLogDir()
{
    static QTemporaryDir dir;
    return dir.path();
}

// A directory below a regular file cannot be created or written, not even by root.
QString unwritableLogDir()
{
    static QTemporaryFile file;
    static const bool opened = file.open();
    return opened ? file.fileName() + QStringLiteral("/log") : QStringLiteral("/dev/null/log");
}

bool isBlank(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 32; });
}

const QString DelritMarker = QStringLiteral("[RS2_GRO_DELRIT,");

// What the dispatcher should write for one message when no further work fails, from the table
// alone. The delete order after an unloading report is given by its start only.
void expectReplies(const QString &message, bool loosmelden, QStringList &out)
{
    const auto table = inboundTable();
    const quint64 mask = matchingRows(message);
    const QStringList fields = splitFields(withoutBrackets(message));
    QString reply = QStringLiteral("[NO_REPLY]");
    for (size_t i = 0; i < table.size(); ++i) {
        if (!(mask & (quint64(1) << i)))
            continue;
        switch (table[i].work) {
        case RowWork::Unloading:
            out.append(QStringLiteral("[RS2_EV_ACK]"));
            reply = loosmelden ? DelritMarker : QString();
            continue;
        case RowWork::RefusalByField1:
            if (fields.size() < 2)
                return; // the missing field ends the message unanswered
            break;
        default:
            break;
        }
        reply = table[i].reply;
    }
    if (!isBlank(reply))
        out.append(reply);
}

struct Expected
{
    QStringList writes;
    QString lastMessage;
    bool dispatched = false;
};

// The receive buffer kept independently of the dispatcher, from cutMessage alone.
Expected expectedFor(const QStringList &reads, bool loosmelden)
{
    Expected expected;
    QString buffer;
    for (const QString &read : reads) {
        buffer += read;
        qsizetype pos = 0;
        while (const auto cut = cutMessage(QStringView(buffer).mid(pos))) {
            expected.lastMessage = buffer.mid(pos + cut->begin, cut->length);
            expected.dispatched = true;
            pos += cut->consumed;
            expectReplies(expected.lastMessage, loosmelden, expected.writes);
        }
        buffer.remove(0, pos);
        if (buffer.size() > MaxReceiveBuffer)
            buffer.clear();
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every log line converts the clock to local time; without TZ glibc stats /etc/localtime for
    // each one, a quarter of the run. The clock is fixed, so the zone changes nothing checked.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", "UTC");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const size_t readCount = (control & 3) + 1;
    const bool loosmelden = control & 4;
    const bool checkpointsSucceed = control & 8;
    const bool flood = (control & 0xF0) == 0xF0;
    const size_t headerSize = std::min(size, readCount);

    const QString text = AnsiCodec::instance().decode(
        QByteArrayView(reinterpret_cast<const char *>(data + headerSize), qsizetype(size - headerSize)));
    QList<qsizetype> starts { 0 };
    for (size_t i = 1; i < headerSize; ++i)
        starts.append(text.size() * data[i] / 255);
    std::sort(starts.begin(), starts.end());
    starts.append(text.size());
    QStringList reads;
    for (qsizetype i = 0; i + 1 < starts.size(); ++i)
        reads.append(text.mid(starts[i], starts[i + 1] - starts[i]));
    if (flood && !reads.constLast().isEmpty()
        && !(reads.constLast().contains(u'[') && reads.constLast().contains(u']')))
        reads.last() = reads.constLast().repeated(MaxReceiveBuffer / reads.constLast().size() + 1);

    FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)));
    Regional regional;
    Log log(clock, regional);
    log.setLogDir(checkpointsSucceed ? writableLogDir() : unwritableLogDir());
    LinkState link;
    Settings settings;
    settings.Loosmelden = loosmelden;
    ApplicationErrors errors(log);
    InboundWork work;
    InboundDispatcher dispatcher(log, link, settings, errors, work, clock, regional);
    RecordingConnection connection;

    for (const QString &read : reads) {
        try {
            dispatcher.onRead(connection, read);
        } catch (...) {
            FUZZ_CHECK(!"an exception left onRead");
        }
        FUZZ_CHECK(connection.receiveBuffer.size() <= MaxReceiveBuffer);
    }

    for (const QString &written : connection.writes)
        FUZZ_CHECK(!isBlank(written) && written.startsWith(u'[') && written.endsWith(u']'));

    const Expected expected = expectedFor(reads, loosmelden);
    FUZZ_CHECK(connection.writes.size() == expected.writes.size());
    for (qsizetype i = 0; i < expected.writes.size(); ++i) {
        if (expected.writes[i] == DelritMarker)
            FUZZ_CHECK(connection.writes[i].startsWith(DelritMarker));
        else
            FUZZ_CHECK(connection.writes[i] == expected.writes[i]);
    }
    if (expected.dispatched)
        FUZZ_CHECK(dispatcher.fields() == splitFields(withoutBrackets(expected.lastMessage)));
    return 0;
}
