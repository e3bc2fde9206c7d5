// Arbitrary received bytes through cutting, splitting and the inbound table, as pure functions:
// every cut lies where framing.h says, every split follows the separator rules of fields.h, and
// the table's reply is the one of its last matching row.
#include "check.h"
#include "link/fields.h"
#include "link/framing.h"
#include "link/inboundtable.h"
#include "util/ansicodec.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

void checkSplit(QStringView text)
{
    const QStringList fields = splitFields(text);
    const qsizetype nul = text.indexOf(QChar(0));
    const QStringView used = nul >= 0 ? text.left(nul) : text;
    for (const QString &field : fields)
        FUZZ_CHECK(!field.contains(QChar(0)));
    if (used.contains(u'"'))
        return;

    // Without quotes nothing but separators is dropped and no field holds one.
    QString kept;
    for (QChar c : used)
        if (c.unicode() > 32 && c != u',')
            kept += c;
    QString joined;
    for (const QString &field : fields) {
        for (QChar c : field)
            FUZZ_CHECK(c.unicode() > 32 && c != u',');
        joined += field;
    }
    FUZZ_CHECK(joined == kept);
    // Empty fields come from commas only, so the fields joined by commas split back to themselves.
    // The exception is [""]: a comma followed by nothing but blanks adds no trailing empty field,
    // so ", " gives one field that joins to nothing.
    FUZZ_CHECK(fields == QStringList { QString() } || splitFields(fields.join(u',')) == fields);
    // Outside quotes every character from 1 to 32 separates alike.
    QString blanks = used.toString();
    for (QChar &c : blanks)
        if (c.unicode() <= 32)
            c = u' ';
    FUZZ_CHECK(splitFields(blanks) == fields);
}

void checkTable(QStringView message)
{
    const auto table = inboundTable();
    const quint64 mask = matchingRows(message);
    if (!message.startsWith(u'['))
        FUZZ_CHECK(mask == 0);
    QString reply = QStringLiteral("[NO_REPLY]");
    for (size_t i = 0; i < 64; ++i) {
        const bool set = mask & (quint64(1) << i);
        if (i >= table.size()) {
            FUZZ_CHECK(!set);
            continue;
        }
        // matchingRows skips rows by their second character; it must agree with the plain test.
        const InboundRow &row = table[i];
        const bool expected = message.startsWith(row.prefix) && (row.unless.isEmpty() || !message.startsWith(row.unless));
        FUZZ_CHECK(set == expected);
        FUZZ_CHECK(matches(row, message) == expected);
        if (set)
            reply = row.reply;
    }
    FUZZ_CHECK(replyFor(message) == reply);
}

void checkCuts(QStringView buffer)
{
    qsizetype pos = 0;
    qsizetype rounds = 0;
    for (;;) {
        // Every cut takes at least "[]", so the loop ends within half the buffer's length.
        FUZZ_CHECK(++rounds <= buffer.size() / 2 + 1);
        const QStringView rest = buffer.mid(pos);
        const auto cut = cutMessage(rest);
        const qsizetype open = rest.indexOf(u'[');
        if (!cut) {
            FUZZ_CHECK(open < 0 || rest.indexOf(u']', open + 1) < 0);
            return;
        }
        FUZZ_CHECK(cut->begin == open);
        FUZZ_CHECK(cut->length >= 2 && cut->begin + cut->length <= rest.size());
        FUZZ_CHECK(cut->consumed >= cut->begin + cut->length && cut->consumed <= rest.size());

        const QStringView message = rest.mid(cut->begin, cut->length);
        FUZZ_CHECK(message.front() == u'[');
        const qsizetype close = message.indexOf(u']');
        FUZZ_CHECK(close > 0 && close == rest.indexOf(u']', open + 1) - open);
        // One character after the "]" goes along, unless it opens the next message or is not there yet.
        const qsizetype after = cut->begin + close + 1;
        if (after < rest.size() && rest[after] != u'[')
            FUZZ_CHECK(message.size() == close + 2);
        else
            FUZZ_CHECK(message.size() == close + 1);

        checkSplit(withoutBrackets(message));
        checkTable(message);
        pos += cut->consumed;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString buffer = AnsiCodec::instance().decode(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    checkCuts(buffer);
    // Also the raw text, which holds what no cut produces: several brackets, separators at the ends.
    checkSplit(buffer);
    checkTable(buffer);
    return 0;
}
