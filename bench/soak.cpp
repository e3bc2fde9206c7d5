// Soak run of the real gateway: `korvantim --headless` on a SQLite site, driven over loopback by
// a host that connects and closes 1,000 times and then sends 1,000,000 link tests. Reports, in
// one table, resident memory and open descriptors at each stage, the message rate, and the
// share of the log lines printed on standard output that the log files hold afterwards.
//
//   build-release/bin/bench_soak [cycles] [messages]
//
// A benchmark, not a test: it asserts nothing and decides nothing in CTest.
#include "support/dbfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <functional>

namespace {

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

struct Sample
{
    qint64 rssKiB = 0;
    int fds = 0;
};

Sample sample(qint64 pid)
{
    Sample s;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                s.rssKiB = line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    s.fds = int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
    return s;
}

// Log lines as a multiset: the same text in the same second repeats, so this stays small.
using Lines = QHash<QByteArray, qint64>;

bool isLogLine(const QByteArray &line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d-\\d\\d \\d\\d.\\d\\d.\\d\\d "));
    return stamp.match(QString::fromLatin1(line)).hasMatch();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
    const qint64 messages = argc > 2 ? std::atoll(argv[2]) : 1000000;

    QTemporaryDir dir;
    const QString db = QFileInfo(fixture::makeSqliteDatabase(dir.path(), false)).fileName();
    const quint16 port = fixture::freePort();
    QFile config(QDir(dir.path()).filePath(QStringLiteral("KorvanTim.xml")));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    // Notifications off: an empty address sends nothing, and nothing leaves loopback anyway.
    config.write("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
                 "    <xLoginDatabase_Text>" + db.toLatin1() + "</xLoginDatabase_Text>\r\n"
                 "    <RamActive_Checked>TRUE</RamActive_Checked>\r\n"
                 "    <RamPoort_Text>" + QByteArray::number(port) + "</RamPoort_Text>\r\n"
                 "    <xDatabaseType_Text>SQLITE</xDatabaseType_Text>\r\n"
                 "    <NotifyAddress_Text/>\r\n  </Hoofdscherm>\r\n</Configuration>\r\n");
    config.close();

    QProcess gateway;
    Lines printed;
    qint64 printedCount = 0;
    QByteArray pending;
    QObject::connect(&gateway, &QProcess::readyReadStandardOutput, [&] {
        pending += gateway.readAllStandardOutput();
        qsizetype start = 0;
        for (qsizetype end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1) {
            const QByteArray line = pending.mid(start, end - start);
            if (isLogLine(line)) {
                ++printed[line];
                ++printedCount;
            }
        }
        pending.remove(0, start);
    });
    gateway.start(QStringLiteral(KORVAN_BIN_DIR "/korvantim"), { QStringLiteral("--headless"), QStringLiteral("--dir"), dir.path() });
    if (!gateway.waitForStarted())
        return 1;
    const qint64 pid = gateway.processId();

    QTcpSocket host;
    QByteArray received;
    QObject::connect(&host, &QTcpSocket::readyRead, [&] { received += host.readAll(); });
    auto connectHost = [&] {
        received.clear();
        return waitUntil([&] {
            if (host.state() == QAbstractSocket::UnconnectedState)
                host.connectToHost(QStringLiteral("127.0.0.1"), port);
            return received.startsWith("[CONNECT_");
        }, 15000);
    };
    auto closeHost = [&] {
        host.disconnectFromHost();
        return waitUntil([&] { return host.state() == QAbstractSocket::UnconnectedState; }, 5000);
    };
    // Link tests in batches, each batch answered in full before the next.
    qint64 answered = 0;
    auto sendTests = [&](qint64 count) {
        const QByteArray test = "[RS2_CONN_TEST]";
        const QByteArray alive = "[RS2_CONN_ALIVE]";
        for (qint64 sent = 0; sent < count;) {
            const qint64 batch = std::min<qint64>(500, count - sent);
            received.clear();
            host.write(test.repeated(batch));
            sent += batch;
            if (!waitUntil([&] { return received.size() >= batch * alive.size(); }, 30000))
                return false;
            answered += received.count(alive);
        }
        return true;
    };

    // Warm up: a few connections and messages, so that allocators and caches are in use.
    for (int i = 0; i < 10; ++i)
        if (!connectHost() || !closeHost())
            return 1;
    if (!connectHost() || !sendTests(100000) || !closeHost())
        return 1;
    QThread::msleep(200);
    const Sample warm = sample(pid);

    for (int i = 0; i < cycles; ++i)
        if (!connectHost() || !closeHost())
            return 1;
    QThread::msleep(200);
    const Sample afterCycles = sample(pid);

    if (!connectHost())
        return 1;
    answered = 0;
    QElapsedTimer timer;
    timer.start();
    if (!sendTests(messages))
        return 1;
    const double seconds = timer.elapsed() / 1000.0;
    if (!closeHost())
        return 1;
    QThread::msleep(200);
    const Sample afterMessages = sample(pid);

    ::kill(pid_t(pid), SIGTERM);
    waitUntil([&] { return gateway.state() == QProcess::NotRunning; }, 60000);
    gateway.waitForFinished();

    // Every log line printed should be in the files: TIM, RAM and the shutdown file (RAM-IN
    // holds the received text, not log lines).
    Lines filed = printed;
    qint64 found = 0;
    const QDir logDir(QDir(dir.path()).filePath(QStringLiteral("Tim")));
    for (const QString &name : logDir.entryList({ QStringLiteral("*.TXT") }, QDir::Files)) {
        if (name.startsWith(QStringLiteral("RAM-IN")))
            continue;
        QFile f(logDir.filePath(name));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QByteArray text = line.endsWith('\r') ? line.chopped(1) : line;
            auto it = filed.find(text);
            if (it != filed.end() && it.value() > 0) {
                --it.value();
                ++found;
            }
        }
    }

    auto row = [](const char *stage, const Sample &s, const Sample &base) {
        std::printf("| %-34s | %8lld | %+8lld | %4d | %+4d |\n", stage, s.rssKiB, s.rssKiB - base.rssKiB, s.fds, s.fds - base.fds);
    };
    std::printf("| stage                              | RSS KiB  | vs warm  | fds  | vs warm |\n");
    std::printf("|------------------------------------|----------|----------|------|------|\n");
    row("warm (10 cycles, 100,000 messages)", warm, warm);
    row(qPrintable(QStringLiteral("after %1 connect/close cycles").arg(cycles)), afterCycles, warm);
    row(qPrintable(QStringLiteral("after %1 link messages").arg(messages)), afterMessages, warm);
    std::printf("\nmessages answered: %lld of %lld in %.1f s: %.0f messages/s\n", answered, messages, seconds,
                double(answered) / seconds);
    std::printf("log lines printed: %lld, found in the log files: %lld (%.4f %%)\n", printedCount, found,
                printedCount ? 100.0 * double(found) / double(printedCount) : 0.0);
    std::printf("gateway exit code: %d\n", gateway.exitCode());
    return 0;
}
