// Arbitrary reads through the real InboundDispatcher and the real vehicle-event handlers over a
// SQLite dispatch database, with a connection that records what is written and no socket.
// Input layout:
//   byte 0      bits 0-1: number of reads - 1; bit 2: Loosmelden on; bit 3: log checkpoints
//               succeed (else they fail, as on a full disk); bit 4: MapPointOK on; bits 4-7 all
//               set: the last read, unless it holds both "[" and "]", is repeated until it alone
//               overflows the receive buffer (with both it would only make thousands of
//               messages, all alike)
//   bytes 1..   one per further read: where it starts, as a fraction 0..255 of the rest
//   rest        what the host sends, in the link's code page
// Each input gets its own objects, so nothing (the log least of all) grows across inputs; only
// the database is shared, and its rows grow.
#include "check.h"

#include "app/applicationerrors.h"
#include "config/settings.h"
#include "db/database.h"
#include "db/sqlscript.h"
#include "db/statements.h"
#include "events/eventtable.h"
#include "link/fields.h"
#include "link/framing.h"
#include "link/inbound.h"
#include "link/inboundtable.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusxml.h"
#include "util/ansicodec.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
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

// Every error that reaches the application-wide handler, in order.
class RecordingErrors : public ApplicationErrors
{
public:
    using ApplicationErrors::ApplicationErrors;
    void handle(const std::exception &e) override
    {
        texts.append(errorText(e));
        ApplicationErrors::handle(e);
    }
    QStringList texts;
};

// The dispatch database all inputs share: the schema and the demo data in a SQLite file.
struct SharedDatabase
{
    QTemporaryDir dir;
    Settings settings;
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) };
    Database database { settings, dir.path(), clock };
    Statements statements { database };

    SharedDatabase()
    {
        const QString path = dir.filePath(QStringLiteral("dispatch.sqlite"));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            db.setDatabaseName(path);
            FUZZ_CHECK(db.open());
            runSqlScript(db, QStringLiteral(KORVAN_SCHEMA_DIR "/sqlite.sql"));
            runSqlScript(db, QStringLiteral(KORVAN_SCHEMA_DIR "/demo.sql"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
        settings.xDatabaseType = QStringLiteral("SQLITE");
        settings.xLoginDatabase = path;
        database.open();
        // Nothing here has to survive a power cut; without the syncs an input runs several times faster.
        QSqlQuery(database.connection()).exec(QStringLiteral("PRAGMA synchronous=OFF"));
    }
};

SharedDatabase &sharedDatabase()
{
    static SharedDatabase shared;
    return shared;
}

bool isBlank(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 32; });
}

const QString DelritMarker = QStringLiteral("[RS2_GRO_DELRIT,");

// A number in a message that cannot be read or stored; the boarding of a ride lets it through.
bool isNumberFailure(const QString &text)
{
    return text.endsWith(QStringLiteral(" is geen geldig getal")) || text.startsWith(QStringLiteral("Ongeldig bedrag: "));
}

// The failures for a field the work reads and a message lacks, and for numbers that are none,
// in the order they were reported.
struct MissingFields
{
    QStringList texts;
    qsizetype next = 0;

    // Whether the next such failure belongs to this message; a missing field must be one it
    // lacks. A number failure names no message: it is taken only where `numbers` says the
    // message may have one.
    bool take(const QString &message, qsizetype fieldCount, bool numbers = false)
    {
        if (next >= texts.size())
            return false;
        const QString &text = texts[next];
        if (numbers && isNumberFailure(text)) {
            ++next;
            return true;
        }
        const QString tail = QStringLiteral(" ontbreekt in ") + message;
        if (!text.endsWith(tail))
            return false;
        bool ok = false;
        const qsizetype field = text.mid(5, text.size() - tail.size() - 5).toLongLong(&ok);
        FUZZ_CHECK(ok && field >= fieldCount);
        ++next;
        return true;
    }
};

// What the dispatcher should write for one message when no further work fails but for missing
// fields, from the table alone. The delete order after an unloading report is given by its
// start only.
void expectReplies(const QString &message, bool loosmelden, bool mapPoint, MissingFields &missing, QStringList &out)
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
            if (missing.take(message, fields.size()))
                return; // the missing field ends the message unanswered
            break;
        case RowWork::VehicleEvent:
            // SV1's odometer is read by the boarding, which catches nothing.
            if (missing.take(message, fields.size(), fields.size() > 2 && fields[2] == QStringLiteral("SV1")))
                return;
            break;
        case RowWork::PositionReport:
            if (mapPoint && missing.take(message, fields.size()))
                return;
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
Expected expectedFor(const QStringList &reads, bool loosmelden, bool mapPoint, MissingFields &missing)
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
            expectReplies(expected.lastMessage, loosmelden, mapPoint, missing, expected.writes);
        }
        buffer.remove(0, pos);
        if (buffer.size() > MaxReceiveBuffer)
            buffer.clear();
    }
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The SQL driver is a plugin, found through the application.
    new QCoreApplication(*argc, *argv);
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
    const bool mapPoint = control & 0x10;
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
    settings.MapPointOK = mapPoint;
    settings.VXLActief = false; // no order-status files from a fuzz run
    SharedDatabase &shared = sharedDatabase();
    RecordingErrors errors(log, &shared.database);
    DatabaseNotifier status(shared.statements, errors);
    LastPosition position;
    StatusExport exporter(settings, clock, regional, QString());
    VehicleEvents work({ shared.statements, log, status, errors, settings, clock, position, exporter,
                         [](const QString &, const QString &) { return true; } });
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

    MissingFields missing;
    for (const QString &text : errors.texts)
        if (text.startsWith(QStringLiteral("Veld ")) || isNumberFailure(text))
            missing.texts.append(text);
    const Expected expected = expectedFor(reads, loosmelden, mapPoint, missing);
    FUZZ_CHECK(missing.next == missing.texts.size());
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
