// Receive-path throughput over a generated stream of host traffic, cut into reads at random
// points (fixed seed), measured in one run against a plain memchr scan of the same bytes:
//   (a) memchr for "]", counting messages: what reading the bytes costs at all
//   (b) decode, append, cut, split and match: framing.h, fields.h and inboundtable.h alone
//   (c) InboundDispatcher::onRead with a recording connection: (b) plus logging, checkpoints
//       and replies, the way the gateway runs it (minus the database work behind the rows)
// Usage: bench_link [--mb N] [--reps N] [--only abc]
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "link/fields.h"
#include "link/framing.h"
#include "link/inbound.h"
#include "link/inboundtable.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "util/ansicodec.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Stream
{
    QByteArray bytes;
    std::vector<QByteArrayView> reads;
    qsizetype messages = 0;
};

// Host traffic in the proportions of a busy evening: mostly vehicle events and positions,
// link tests every few seconds per vehicle, replies to route orders. About half the messages
// end in CR LF, the rest in nothing, as the two kinds of host do.
Stream makeStream(qsizetype targetBytes, quint64 seed)
{
    std::mt19937_64 rng(seed);
    auto below = [&](quint64 n) { return qsizetype(rng() % n); };
    auto digits = [&](int count) {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += char('0' + below(10));
        return s;
    };
    std::vector<std::string> imeis;
    std::vector<std::string> vehicles;
    for (int i = 0; i < 400; ++i) {
        imeis.push_back("35600" + digits(10));
        vehicles.push_back(digits(4));
    }
    auto coordinates = [&] { return "52" + digits(2) + '.' + digits(4) + ",005" + digits(2) + '.' + digits(4); };
    auto stamp = [&] { return "0812262" + digits(5); };

    Stream stream;
    std::string out;
    out.reserve(size_t(targetBytes) + 256);
    static const char *const eventCodes[] = { "BOB", "SV1", "BV1", "OD1", "SD1", "EST" };
    static const char *const routeReplies[] = { "RS2_GRO_ACK", "RS2_GRO_TACK", "RS2_GRO_BEL", "RS2_GRO_LOOS",
                                                "RS2_GRO_DEL_ACK", "RS2_GRO_TNACK" };
    while (qsizetype(out.size()) < targetBytes) {
        const qsizetype v = below(imeis.size());
        const std::string &imei = imeis[v];
        const std::string &vehicle = vehicles[v];
        const qsizetype kind = below(100);
        std::string m;
        if (kind < 40) {
            const std::string code = eventCodes[below(6)];
            m = "[RS2_EV," + imei + ',' + code + ',' + vehicle;
            if (code == "SV1" || code == "BV1")
                m += ',' + coordinates() + ',' + stamp();
            else if (code == "OD1" || code == "SD1")
                m += ',' + digits(8) + ',' + stamp() + ",\"" + digits(2) + " km\"";
            else if (code == "EST")
                m += ',' + std::to_string(1 + below(10));
            m += ']';
        } else if (kind < 65) {
            m = "[RS2_RGD," + imei + ",x," + coordinates() + ']';
        } else if (kind < 80) {
            m = below(10) ? "[RS2_CONN_TEST]" : "[RS2_CONN_ALIVE]";
        } else if (kind < 95) {
            m = std::string("[") + routeReplies[below(6)] + ',' + vehicle + ',' + digits(8) + ']';
        } else if (kind < 98) {
            m = "[RS2_NOTRANSFER," + vehicle + ']';
        } else {
            m = below(2) ? "[RS2_RIT_ACK]" : "[RS2_VRY_ACK]";
        }
        if (below(2))
            m += "\r\n";
        out += m;
        ++stream.messages;
    }
    stream.bytes = QByteArray(out.data(), qsizetype(out.size()));

    // Reads of 1 to 2920 bytes: up to two full segments, and any split a stream socket allows.
    for (qsizetype pos = 0; pos < stream.bytes.size();) {
        const qsizetype n = std::min(1 + below(2920), stream.bytes.size() - pos);
        stream.reads.emplace_back(stream.bytes.constData() + pos, n);
        pos += n;
    }
    return stream;
}

struct Result
{
    qsizetype messages = 0;
    quint64 check = 0; // folds everything computed, so nothing is optimised away
};

Result scanBaseline(const Stream &stream)
{
    Result r;
    for (QByteArrayView read : stream.reads) {
        const char *p = read.data();
        const char *end = p + read.size();
        while ((p = static_cast<const char *>(std::memchr(p, ']', size_t(end - p))))) {
            ++r.messages;
            r.check += quint64(end - p);
            ++p;
        }
    }
    return r;
}

Result pipeline(const Stream &stream)
{
    Result r;
    const AnsiCodec &codec = AnsiCodec::instance();
    QString buffer;
    for (QByteArrayView read : stream.reads) {
        buffer += codec.decode(read);
        qsizetype pos = 0;
        while (const auto cut = cutMessage(QStringView(buffer).mid(pos))) {
            const QStringView message = QStringView(buffer).mid(pos + cut->begin, cut->length);
            pos += cut->consumed;
            const QStringList fields = splitFields(withoutBrackets(message));
            r.check += matchingRows(message) + quint64(fields.size());
            ++r.messages;
        }
        buffer.remove(0, pos);
        if (buffer.size() > MaxReceiveBuffer)
            buffer.clear();
    }
    return r;
}

class RecordingConnection : public HostConnection
{
public:
    QString address() const override { return QStringLiteral("127.0.0.1"); }
    // Encoded as the socket would; the bytes are counted, not kept, to keep memory flat.
    void write(const QString &text) override
    {
        const QByteArray bytes = AnsiCodec::instance().encode(text);
        ++writes;
        written += bytes.size();
    }
    qsizetype writes = 0;
    qsizetype written = 0;
};

class CountingWork : public InboundWork
{
public:
    void begin() override {}
    void commit() override {}
    void rollback() noexcept override {}
    void positionReport(const InboundMessage &) override { ++handed; }
    void vehicleEvent(const InboundMessage &) override { ++handed; }
    void unloading(const QString &, const QString &) override { ++handed; }
    void refusal(const QString &) override { ++handed; }
    qsizetype handed = 0;
};

Result dispatcher(const Stream &stream, const QString &logDir)
{
    Clock clock;
    const Regional regional;
    Log log(clock, regional);
    log.setLogDir(logDir);
    LinkState link;
    const Settings settings;
    ApplicationErrors errors(log);
    CountingWork work;
    InboundDispatcher dispatcher(log, link, settings, errors, work, clock, regional);
    RecordingConnection connection;
    qsizetype messages = 0;
    QObject::connect(&dispatcher, &InboundDispatcher::fieldsChanged, [&] { ++messages; });
    const AnsiCodec &codec = AnsiCodec::instance();
    for (QByteArrayView read : stream.reads)
        dispatcher.onRead(connection, codec.decode(read));
    Result r;
    r.messages = messages;
    r.check = quint64(connection.written) + quint64(work.handed) + quint64(log.lines().size());
    return r;
}

struct Measured
{
    double medianMs = 0;
    double bestMs = 0;
    Result result;
};

Measured measure(int reps, const std::function<Result()> &run)
{
    run(); // warms caches, the allocator and the codec table
    std::vector<double> ms;
    Measured m;
    for (int i = 0; i < reps; ++i) {
        QElapsedTimer timer;
        timer.start();
        m.result = run();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    m.medianMs = ms[ms.size() / 2];
    m.bestMs = ms.front();
    return m;
}

} // namespace

int main(int argc, char **argv)
{
    double megabytes = 10;
    int reps = 5;
    std::string only = "abc";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--mb")
            megabytes = std::atof(argv[i + 1]);
        else if (key == "--reps")
            reps = std::max(1, std::atoi(argv[i + 1]));
        else if (key == "--only")
            only = argv[i + 1];
    }

    const quint64 seed = 20261208;
    const Stream stream = makeStream(qsizetype(megabytes * 1024 * 1024), seed);
    const double mb = double(stream.bytes.size()) / (1024.0 * 1024.0);
    std::printf("stream: %.2f MB, %lld messages (%.1f bytes each), %zu reads of 1..2920 bytes, seed %llu\n", mb,
                qlonglong(stream.messages), double(stream.bytes.size()) / double(stream.messages), stream.reads.size(),
                static_cast<unsigned long long>(seed));
    std::printf("repetitions after one warm-up: %d for (a) and (b), %d for (c); median and best shown\n\n", reps,
                (reps + 1) / 2);
    std::printf("%-34s %11s %11s %9s %14s %14s\n", "", "median ms", "best ms", "MB/s", "messages/s", "vs (a)");

    double baselineMs = 0;
    bool failed = false;
    auto report = [&](char id, const char *name, const Measured &m) {
        const double s = m.medianMs / 1000.0;
        if (id == 'a')
            baselineMs = m.medianMs;
        char ratio[32] = "-";
        if (baselineMs > 0)
            std::snprintf(ratio, sizeof ratio, "%.2g = 1/%.0f", baselineMs / m.medianMs, m.medianMs / baselineMs);
        std::printf("(%c) %-30s %11.1f %11.1f %9.1f %14.0f %14s\n", id, name, m.medianMs, m.bestMs, mb / s,
                    double(m.result.messages) / s, id == 'a' ? "1" : ratio);
        // Every stage must see every message, or its figure means nothing.
        if (m.result.messages != stream.messages) {
            std::printf("    counted %lld messages, the stream holds %lld\n", qlonglong(m.result.messages),
                        qlonglong(stream.messages));
            failed = true;
        }
    };

    if (only.find('a') != std::string::npos)
        report('a', "memchr \"]\"", measure(reps, [&] { return scanBaseline(stream); }));
    Measured piped;
    if (only.find('b') != std::string::npos) {
        piped = measure(reps, [&] { return pipeline(stream); });
        report('b', "cut + split + matchingRows", piped);
    }
    if (only.find('c') != std::string::npos) {
        QTemporaryDir logDir;
        report('c', "InboundDispatcher::onRead", measure((reps + 1) / 2, [&] { return dispatcher(stream, logDir.path()); }));
    }

    if (piped.medianMs > 0) {
        const double rate = double(piped.result.messages) / (piped.medianMs / 1000.0);
        std::printf("\ngoal for (b): 1000000 messages/s on one core: %s (%.2fx)\n", rate >= 1e6 ? "met" : "MISSED",
                    rate / 1e6);
    }
    return failed ? 1 : 0;
}
