// Framing, field splitting and the inbound table as pure functions, and recorded host sessions
// from tests/data replayed through the dispatcher.
#include "app/applicationerrors.h"
#include "config/settings.h"
#include "link/fields.h"
#include "link/framing.h"
#include "link/inbound.h"
#include "link/inboundtable.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "support/recorders.h"
#include "support/sessions.h"
#include "util/ansicodec.h"
#include "util/errors.h"

#include "script.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

// Keeps the bytes as they go on the wire, and can refuse to write.
class EncodingConnection : public HostConnection
{
public:
    QString address() const override { return QStringLiteral("10.0.0.7"); }
    void write(const QString &text) override
    {
        if (failWrites)
            throw KorvanError(QStringLiteral("Schrijven naar 10.0.0.7 mislukt"));
        writes.append(AnsiCodec::instance().encode(text));
    }
    QList<QByteArray> writes;
    bool failWrites = false;
};

// The read side alone, on a fixed clock.
struct Reader
{
    FixedClock clock { QDateTime(QDate(2026, 12, 8), QTime(20, 48, 16)) };
    Regional regional;
    Log log { clock, regional };
    LinkState link;
    Settings settings;
    ApplicationErrors errors { log };
    RecordingWork work; // no database work
    InboundDispatcher dispatcher { log, link, settings, errors, work, clock, regional };
    EncodingConnection connection;
};

} // namespace

class TestFraming : public QObject
{
    Q_OBJECT
private slots:
    void cut_data()
    {
        QTest::addColumn<QString>("buffer");
        QTest::addColumn<QString>("message"); // empty: no complete message
        QTest::addColumn<QString>("rest");
        QTest::newRow("alone") << "[RS2_CONN_REQ]" << "[RS2_CONN_REQ]" << "";
        QTest::newRow("one terminator taken along") << "[RS2_CONN_TEST]\r" << "[RS2_CONN_TEST]\r" << "";
        QTest::newRow("CR LF: the LF stays") << "[A]\r\n" << "[A]\r" << "\n";
        QTest::newRow("back to back") << "[A][B]" << "[A]" << "[B]";
        QTest::newRow("noise before") << "\n[A]" << "[A]" << "";
        QTest::newRow("stray close before open") << "x]y[A]z" << "[A]z" << "";
        QTest::newRow("open only") << "[RS2_EV,1" << "" << "";
        QTest::newRow("close only") << "1,2]" << "" << "";
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("nested open") << "[A[B]" << "[A[B]" << "";
        QTest::newRow("empty brackets") << "[]" << "[]" << "";
    }
    void cut()
    {
        QFETCH(QString, buffer);
        QFETCH(QString, message);
        QFETCH(QString, rest);
        const auto c = cutMessage(buffer);
        QCOMPARE(c.has_value(), !message.isEmpty());
        if (c) {
            QCOMPARE(buffer.mid(c->begin, c->length), message);
            QCOMPARE(buffer.mid(c->consumed), rest);
        }
    }

    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("tag only") << "RS2_CONN_REQ" << QStringList { "RS2_CONN_REQ" };
        QTest::newRow("commas") << "RS2_EV,356,BOB,1234" << QStringList({ "RS2_EV", "356", "BOB", "1234" });
        QTest::newRow("blank splits like a comma") << "RS2_EV,1,two words,x" << QStringList({ "RS2_EV", "1", "two", "words", "x" });
        QTest::newRow("two commas: empty field") << "A,,B" << QStringList({ "A", "", "B" });
        QTest::newRow("trailing comma") << "A,B," << QStringList({ "A", "B", "" });
        QTest::newRow("blanks around comma skipped") << "A , B" << QStringList({ "A", "B" });
        QTest::newRow("leading and trailing control") << "\r\n A,B\r" << QStringList({ "A", "B" });
        QTest::newRow("quoted with separators") << "A,\"x, y\",B" << QStringList({ "A", "x, y", "B" });
        QTest::newRow("doubled quote") << "A,\"say \"\"hi\"\"\"" << QStringList({ "A", "say \"hi\"" });
        QTest::newRow("unclosed quote runs to end") << "A,\"b,c" << QStringList({ "A", "b,c" });
        QTest::newRow("text after quote starts a field") << "\"ab\"cd" << QStringList({ "ab", "cd" });
        QTest::newRow("lone comma") << "," << QStringList({ "", "" });
        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("NUL ends the text") << QString::fromUtf16(u"A,B\0,C", 6) << QStringList({ "A", "B" });
        QTest::newRow("NUL first") << QString::fromUtf16(u"\0A", 2) << QStringList();
    }
    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        QCOMPARE(splitFields(text), fields);
    }

    void replies_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reply");
        QTest::newRow("unknown tag") << "[RS2_FOO]" << "[NO_REPLY]";
        QTest::newRow("no bracket") << "RS2_CONN_REQ]" << "[NO_REPLY]";
        QTest::newRow("case matters") << "[rs2_conn_req]" << "[NO_REPLY]";
        QTest::newRow("NOTRANSFER") << "[RS2_NOTRANSFER,0042]" << "[RS2_NOTRANSFER_ACK]";
        QTest::newRow("NOTRANSFER_CES matches nothing") << "[RS2_NOTRANSFER_CES,1]" << "[NO_REPLY]";
        QTest::newRow("row with no reply") << "[RS2_VRY_NACK]" << "";
        QTest::newRow("prefix without bracket") << "[RS2_GRO_ACK,12,34]" << "";
        QTest::newRow("event") << "[RS2_EV,356,BOB,12]" << "[RS2_EV_ACK]";
        QTest::newRow("GRO_UNKNOWN_CAR") << "[GRO_UNKNOWN_CAR,0042]" << "[GRO_UNKNOWN_CAR_ACK]";
    }
    void replies()
    {
        QFETCH(QString, message);
        QFETCH(QString, reply);
        QCOMPARE(replyFor(message), reply);
    }

    // Every prefix names exactly its own row: a message made of the prefix alone matches that
    // row, and only rows whose prefix it begins with.
    void everyPrefixMatchesItsRow()
    {
        const auto table = inboundTable();
        QCOMPARE(table.size(), size_t(32));
        for (size_t i = 0; i < table.size(); ++i) {
            const QString message = QString(table[i].prefix) + QStringLiteral("]");
            const quint64 mask = matchingRows(message);
            QVERIFY2(mask & (quint64(1) << i), qPrintable(message));
            for (size_t j = 0; j < table.size(); ++j)
                if (j != i && (mask & (quint64(1) << j)))
                    QVERIFY2(message.startsWith(table[j].prefix), qPrintable(message));
        }
    }

    // A reply that cannot be written is logged by the handler, without the "--> " lines; the
    // read goes on with its next message.
    void failedReplyWrite()
    {
        Reader r;
        r.connection.failWrites = true;
        r.dispatcher.onRead(r.connection, QStringLiteral("[RS2_CONN_REQ][RS2_CONN_TEST]"));
        QStringList texts;
        for (const QString &l : r.log.lines())
            texts << l.mid(15);
        QCOMPARE(texts, QStringList({ "<-- [RS2_CONN_REQ][RS2_CONN_TEST]", "M-> 10.0.0.7", "M-> [RS2_CONN_REQ]",
                                      "M-> RS2 Host verbinding -> 10.0.0.7", "M-> Schrijven naar 10.0.0.7 mislukt",
                                      "M-> 10.0.0.7", "M-> [RS2_CONN_TEST]", "M-> Host verbindingstest  -> 10.0.0.7",
                                      "M-> Schrijven naar 10.0.0.7 mislukt" }));
        QCOMPARE(r.dispatcher.fields(), QStringList { "RS2_CONN_TEST" });
        QVERIFY(r.connection.receiveBuffer.isEmpty());
    }

    // Recorded sessions: "> " lines are what one read receives, "< " lines what the gateway
    // writes back, in order; "? text" expects a log line that ends with text; "= text" (or a
    // lone "=") is what the receive buffer holds then.
    void sessions_data() { sessionFiles(QStringLiteral(KORVAN_TEST_DATA)); }
    void sessions()
    {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));

        Reader r;
        Log &log = r.log;
        InboundDispatcher &dispatcher = r.dispatcher;
        EncodingConnection &connection = r.connection;

        int lineNo = 0;
        qsizetype checkedWrites = 0;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine().chopped(1);
            // The escapes of korvan-timhost scripts: \r \n \t \\ \xNN.
            auto unescape = [](const QByteArray &text) { return timhost::expandEscapes(QString::fromLatin1(text)).value(); };
            ++lineNo;
            const QByteArray where = path.toUtf8() + ':' + QByteArray::number(lineNo);
            if (line.startsWith("> ")) {
                QCOMPARE(connection.writes.size(), checkedWrites);
                dispatcher.onRead(connection, AnsiCodec::instance().decode(unescape(line.mid(2))));
            } else if (line.startsWith("< ")) {
                QVERIFY2(checkedWrites < connection.writes.size(), where + " expects a write");
                QCOMPARE(connection.writes[checkedWrites++], unescape(line.mid(2)));
            } else if (line.startsWith("? ")) {
                const QString expected = QString::fromLatin1(unescape(line.mid(2)));
                const bool found = std::any_of(log.lines().begin(), log.lines().end(),
                                               [&](const QString &l) { return l.endsWith(expected); });
                QVERIFY2(found, where + " expects a log line ending " + line.mid(2));
            } else if (line.startsWith("= ")) {
                QCOMPARE(connection.receiveBuffer, AnsiCodec::instance().decode(unescape(line.mid(2))));
            } else if (line == "=") {
                QCOMPARE(connection.receiveBuffer, QString());
            } else if (line.startsWith("set loosmelden")) {
                r.settings.Loosmelden = true;
            }
        }
        QCOMPARE(connection.writes.size(), checkedWrites);
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "tst_framing.moc"
