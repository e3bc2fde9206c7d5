// korvan-timhost: plays the TIM host against a gateway, driven by a script.

#include "script.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>

namespace {

constexpr int connectTimeoutMs = 3000;
constexpr int splitPauseMs = 50;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

const char scriptHelp[] = R"help(
Script syntax, one step per line:

  TEXT           A line not starting with # or @ is one message, sent in a
                 single write exactly as written: nothing is added, trailing
                 blanks are sent too.
                 Escapes: \r (CR), \n (LF), \t (tab), \\ (backslash), \xNN (the
                 byte with hex value NN). Every other character is sent as its
                 Windows-1252 byte; a character Windows-1252 lacks is an error.
  # COMMENT      Lines starting with # are ignored, and so are empty lines.
  @pause MS      Wait MS milliseconds.
  @wait [MS]     Wait until something has been received since the last send
                 (no wait if it already has), at most MS milliseconds, or
                 --wait-ms without MS. A timeout is noted on stderr and the
                 script goes on.
  @batch         The lines up to @end, each with escapes expanded, are joined
  LINES...       with nothing between them and sent in a single write, e.g.
  @end           two messages in one TCP segment. Comments and empty lines
                 inside are ignored.
  @split N TEXT  TEXT in two writes: its first N bytes, a pause of about 50 ms,
                 then the rest. TEXT starts after the one blank following N.
  @close         Close the connection; the steps after it are not run.

A message that starts with # or @ is written with \x23 or \x40 first. The
script is read as UTF-8; a CR at the end of a line (CRLF files) is dropped, so
a CR to be sent is always written \r. Messages go out with TCP_NODELAY.

Output on stdout, one line per event, local time:
  12:00:00.000 connected to 127.0.0.1:2000
  12:00:00.001 --> [RS2_CONN_REQ]\r\n     one write
  12:00:00.004 <-- [RS2_CONN]\r\n         one read
  12:00:00.600 disconnected
Bytes are shown with the escapes above: printable ASCII as is, CR LF tab and
backslash as \r \n \t \\, and every other byte, 0x80-0xFF included, as \xNN.
The output is therefore plain ASCII, and a shown text used as a script line
sends the same bytes again.

After the last step the connection stays open for --linger-ms to read late
replies, then it is closed.

With --answer the simulator answers as a host does, from the first byte on,
and after the last step it stays connected until the gateway closes the
connection (or the program is stopped):
  [RS2_GR2,V,R...]  ->  [RS2_GR2_ADAP_TACK,V,R]   a TIM ride order
  [RS2_GRO,V,R...]  ->  [RS2_GRO_TACK,V,R]        a template ride order
  [RS2_VRY,...]     ->  [RS2_VRY_ACK]             a chat message
  [RS2_RGD_REQ,V]   ->  [RS2_RGD_REQ_ACK], then the position report
                        [RS2_RGD,V,0,91437890,8529634]
and it sends [RS2_CONN_TEST] every --test-ms milliseconds. Every answer ends
with CR LF.

Exit status: 0 when the script ran (or stopped at @close); 1 when the script
cannot be read or has an error, the connection is not made within 3 s, or it
is closed or lost before all messages were sent; 2 for a bad command line.

Example script:
  # log on, then send two tests in one segment and one in two pieces
  [RS2_CONN_REQ]\r\n
  @wait 2000
  @batch
  [RS2_CONN_TEST]\r\n
  [RS2_CONN_TEST]\r\n
  @end
  @wait
  @split 5 [RS2_CONN_TEST]\r\n
  @pause 200
  @close

Examples:
  korvan-timhost --port 2000 logon.txt
  printf '[RS2_CONN_REQ]\\r\\n\n@wait 1000\n' | korvan-timhost --linger-ms 0 -
)help";

void printEvent(const QByteArray &text)
{
    const QByteArray line = QTime::currentTime().toString(u"HH:mm:ss.zzz").toLatin1() + ' ' + text + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout); // the output is usually piped into another program that reacts to it
}

void printError(const QString &text)
{
    std::fprintf(stderr, "korvan-timhost: %s\n", qUtf8Printable(text));
}

[[noreturn]] void usageError(const QString &text)
{
    printError(text);
    std::fputs("Try 'korvan-timhost --help'.\n", stderr);
    std::exit(exitUsage);
}

struct Options {
    QString host;
    quint16 port = 0;
    int lingerMs = 0;
    bool answer = false;
    int testMs = 10000;

    QString target() const
    {
        return host.contains(u':') ? QStringLiteral("[%1]:%2").arg(host).arg(port)
                                   : QStringLiteral("%1:%2").arg(host).arg(port);
    }
};

// Connects, runs the steps one after the other on the event loop and prints
// all traffic; quits the application with the exit status when done.
class Session {
public:
    Session(QList<timhost::Step> steps, Options options)
        : m_steps(std::move(steps)), m_options(std::move(options))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer); // @split and @pause timings are what a link test is about
        QObject::connect(&m_timer, &QTimer::timeout, [this] { std::exchange(m_onTimeout, {})(); });
        QObject::connect(&m_socket, &QTcpSocket::connected, [this] { onConnected(); });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { onReadyRead(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, [this] { onDisconnected(); });
        QObject::connect(&m_socket, &QTcpSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError error) { onError(error); });
        m_tests.setInterval(m_options.testMs);
        QObject::connect(&m_tests, &QTimer::timeout, [this] { send("[RS2_CONN_TEST]\r\n"); });
    }

    void start()
    {
        after(connectTimeoutMs, [this] {
            printError(QStringLiteral("cannot connect to %1: no answer within %2 ms")
                           .arg(m_options.target())
                           .arg(connectTimeoutMs));
            m_socket.abort();
            finish(exitFailure);
        });
        m_socket.connectToHost(m_options.host, m_options.port);
    }

private:
    enum class Phase { Connecting, Running, Lingering, Answering, Closing, Done };

    void onConnected()
    {
        m_timer.stop();
        // Without it, Nagle's algorithm would merge consecutive writes and @split
        // pieces, and the script could no longer control what shares a segment.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        printEvent("connected to " + m_options.target().toUtf8());
        m_phase = Phase::Running;
        runSteps();
    }

    void onReadyRead()
    {
        const QByteArray chunk = m_socket.readAll();
        if (chunk.isEmpty() || m_phase == Phase::Done)
            return;
        printEvent("<-- " + timhost::escapeBytes(chunk));
        if (m_options.answer) {
            m_received += chunk;
            for (const QByteArray &message : timhost::takeMessages(m_received))
                for (const QByteArray &answer : timhost::hostAnswers(message))
                    send(answer);
        }
        m_receivedSinceSend = true;
        if (m_waiting) {
            m_waiting = false;
            m_timer.stop();
            runSteps();
        }
    }

    void onDisconnected()
    {
        if (m_phase == Phase::Done)
            return;
        printEvent("disconnected");
        if (m_phase == Phase::Running && messagesLeft()) {
            printError(QStringLiteral("connection closed before all messages were sent"));
            finish(exitFailure);
        } else {
            finish(0);
        }
    }

    void onError(QAbstractSocket::SocketError error)
    {
        // A close by the peer is reported by onDisconnected().
        if (m_phase == Phase::Done || error == QAbstractSocket::RemoteHostClosedError)
            return;
        if (m_phase == Phase::Connecting) {
            printError(
                QStringLiteral("cannot connect to %1: %2").arg(m_options.target(), m_socket.errorString()));
            finish(exitFailure);
            return;
        }
        printError(m_socket.errorString());
        // Fatal errors on a connected socket are followed by disconnected(); this
        // covers the case where the socket was already down and none will come.
        if (m_socket.state() == QAbstractSocket::UnconnectedState)
            onDisconnected();
    }

    void runSteps()
    {
        using Kind = timhost::Step::Kind;
        while (m_phase == Phase::Running && m_next < m_steps.size()) {
            const timhost::Step &step = m_steps[m_next++];
            switch (step.kind) {
            case Kind::Send:
                send(step.bytes);
                break;
            case Kind::Split:
                send(step.bytes.first(step.splitAt));
                m_splitRest = step.bytes.sliced(step.splitAt);
                after(splitPauseMs, [this] {
                    send(std::exchange(m_splitRest, {}));
                    runSteps();
                });
                return;
            case Kind::Pause:
                after(step.ms, [this] { runSteps(); });
                return;
            case Kind::Wait:
                if (m_receivedSinceSend)
                    break;
                m_waiting = true;
                after(step.ms, [this, line = step.line, ms = step.ms] {
                    m_waiting = false;
                    printError(QStringLiteral("script line %1: nothing received within %2 ms, going on")
                                   .arg(line)
                                   .arg(ms));
                    runSteps();
                });
                return;
            case Kind::Close:
                closeConnection();
                return;
            }
        }
        if (m_phase != Phase::Running)
            return;
        if (m_options.answer) {
            m_phase = Phase::Answering;
            if (m_options.testMs > 0)
                m_tests.start();
            return;
        }
        m_phase = Phase::Lingering;
        after(m_options.lingerMs, [this] { closeConnection(); });
    }

    void send(const QByteArray &bytes)
    {
        m_receivedSinceSend = false;
        if (m_socket.write(bytes) != bytes.size()) {
            printError(QStringLiteral("write failed: %1").arg(m_socket.errorString()));
            return;
        }
        m_socket.flush();
        printEvent("--> " + timhost::escapeBytes(bytes));
    }

    bool messagesLeft() const
    {
        return !m_splitRest.isEmpty()
            || std::any_of(m_steps.cbegin() + m_next, m_steps.cend(), [](const timhost::Step &step) {
                   return step.kind == timhost::Step::Kind::Send || step.kind == timhost::Step::Kind::Split;
               });
    }

    void closeConnection()
    {
        m_phase = Phase::Closing;
        m_timer.stop();
        if (m_socket.state() == QAbstractSocket::UnconnectedState) {
            onDisconnected();
            return;
        }
        m_socket.disconnectFromHost(); // sends what is still buffered, then emits disconnected()
    }

    void after(int ms, std::function<void()> action)
    {
        m_onTimeout = std::move(action);
        m_timer.start(ms);
    }

    void finish(int exitCode)
    {
        m_phase = Phase::Done;
        m_timer.stop();
        m_tests.stop();
        QCoreApplication::exit(exitCode);
    }

    QList<timhost::Step> m_steps;
    Options m_options;
    QTcpSocket m_socket;
    QTimer m_timer; // one pending delay at a time: connect timeout, pause, wait, split or linger
    QTimer m_tests; // the link tests of --answer
    QByteArray m_received; // what the gateway sent that is not yet a whole message
    std::function<void()> m_onTimeout;
    Phase m_phase = Phase::Connecting;
    qsizetype m_next = 0;
    QByteArray m_splitRest;
    bool m_receivedSinceSend = false;
    bool m_waiting = false;
};

std::optional<int> nonNegative(const QString &value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok && n >= 0 ? std::optional<int>(n) : std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the TIM host: connects to a gateway, sends the messages of a script "
                       "and prints everything sent and received."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"),
                                        QStringLiteral("Gateway host (default 127.0.0.1)."),
                                        QStringLiteral("H"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Gateway port (default 2000)."), QStringLiteral("P"),
                                        QStringLiteral("2000"));
    const QCommandLineOption waitOption(
        QStringLiteral("wait-ms"), QStringLiteral("Time limit of @wait written without one (default 2000)."),
        QStringLiteral("N"), QStringLiteral("2000"));
    const QCommandLineOption lingerOption(
        QStringLiteral("linger-ms"),
        QStringLiteral("Time to keep reading after the last step (default 500)."), QStringLiteral("N"),
        QStringLiteral("500"));
    const QCommandLineOption quietOption(
        QStringLiteral("quiet-banner"),
        QStringLiteral("Do not print the first line naming script and gateway."));
    const QCommandLineOption answerOption(
        QStringLiteral("answer"),
        QStringLiteral("Answer as a host does and stay connected after the script (see below)."));
    const QCommandLineOption testOption(
        QStringLiteral("test-ms"),
        QStringLiteral("With --answer, the interval of the link tests (default 10000; 0: none)."),
        QStringLiteral("N"), QStringLiteral("10000"));
    parser.addOptions({hostOption, portOption, waitOption, lingerOption, quietOption, answerOption, testOption});
    parser.addPositionalArgument(
        QStringLiteral("SCRIPT"),
        QStringLiteral("Script file, or - for standard input; read to the end before connecting."));

    // parse() rather than process(): process() exits with 1 on a bad option, and 1 means a failed run here.
    if (!parser.parse(app.arguments()))
        usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        std::fputs(scriptHelp, stdout);
        return 0;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        usageError(QStringLiteral("expected exactly one SCRIPT (a file, or - for standard input)"));
    const QString scriptName = positional.first();

    Options options;
    options.host = parser.value(hostOption);
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port == 0 || port > 65535)
        usageError(QStringLiteral("--port needs a number from 1 to 65535"));
    options.port = quint16(port);
    const std::optional<int> waitMs = nonNegative(parser.value(waitOption));
    const std::optional<int> lingerMs = nonNegative(parser.value(lingerOption));
    const std::optional<int> testMs = nonNegative(parser.value(testOption));
    if (!waitMs || !lingerMs || !testMs)
        usageError(QStringLiteral("--wait-ms, --linger-ms and --test-ms need a number of milliseconds"));
    options.lingerMs = *lingerMs;
    options.answer = parser.isSet(answerOption);
    options.testMs = *testMs;

    QFile file(scriptName);
    const bool opened
        = scriptName == u"-" ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened) {
        printError(QStringLiteral("cannot read %1: %2").arg(scriptName, file.errorString()));
        return exitFailure;
    }
    const QByteArray raw = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        printError(QStringLiteral("cannot read %1: %2").arg(scriptName, file.errorString()));
        return exitFailure;
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(raw);
    if (utf8.hasError()) {
        printError(QStringLiteral("%1 is not valid UTF-8; write raw bytes as \\xNN").arg(scriptName));
        return exitFailure;
    }
    const timhost::ParseResult script = timhost::parseScript(text, *waitMs);
    if (!script.ok()) {
        printError(QStringLiteral("%1:%2: %3").arg(scriptName).arg(script.errorLine).arg(script.error));
        return exitFailure;
    }

    if (!parser.isSet(quietOption)) {
        std::printf("korvan-timhost: %s, %lld steps, gateway %s\n", qUtf8Printable(scriptName),
                    static_cast<long long>(script.steps.size()), qUtf8Printable(options.target()));
        std::fflush(stdout);
    }

    Session session(script.steps, options);
    QTimer::singleShot(0, &app, [&session] { session.start(); });
    return app.exec();
}
