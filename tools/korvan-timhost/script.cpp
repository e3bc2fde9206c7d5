#include "script.h"

#include <QStringEncoder>

namespace timhost {

namespace {

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// Decimal digits only: no sign, no blanks; eight digits keep it well inside int.
std::optional<int> parseNumber(QStringView s)
{
    if (s.isEmpty() || s.size() > 8)
        return std::nullopt;
    int value = 0;
    for (const QChar c : s) {
        if (!isAsciiDigit(c))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

QString unencodableMessage(QStringView text, qsizetype i)
{
    char32_t codePoint = text[i].unicode();
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
    return QStringLiteral("character U+%1 has no Windows-1252 byte; write the byte as \\xNN")
        .arg(QString::number(codePoint, 16).toUpper().rightJustified(4, u'0'));
}

} // namespace

std::optional<QByteArray> expandEscapes(QStringView text, QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };

    QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return fail(QStringLiteral("this Qt build has no Windows-1252 encoder"));

    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            // Windows-1252 is one byte per character; anything else (unmapped
            // characters, surrogates) cannot be sent as typed.
            const QByteArray byte = encoder.encode(text.sliced(i, 1));
            if (encoder.hasError() || byte.size() != 1)
                return fail(unencodableMessage(text, i));
            out += byte;
            continue;
        }
        if (++i == text.size())
            return fail(QStringLiteral("backslash at end of line; write \\\\ for a backslash"));
        switch (text[i].unicode()) {
        case u'r':
            out += '\r';
            break;
        case u'n':
            out += '\n';
            break;
        case u't':
            out += '\t';
            break;
        case u'\\':
            out += '\\';
            break;
        case u'x': {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                return fail(QStringLiteral("\\x needs two hex digits"));
            out += char(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return fail(QStringLiteral("unknown escape \\%1; write \\\\ for a backslash").arg(text[i]));
        }
    }
    return out;
}

QByteArray escapeBytes(QByteArrayView bytes)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (b) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (b >= 0x20 && b < 0x7F) {
                out += char(b);
            } else {
                out += "\\x";
                out += hexDigits[b >> 4];
                out += hexDigits[b & 0x0F];
            }
        }
    }
    return out;
}

ParseResult parseScript(QStringView text, int defaultWaitMs)
{
    ParseResult result;
    const auto fail = [&result](int line, const QString &why) {
        result.steps.clear();
        result.error = why;
        result.errorLine = line;
        return result;
    };

    std::optional<Step> batch; // the open @batch, collecting its lines
    int lineNo = 0;
    for (QStringView line : text.split(u'\n')) {
        ++lineNo;
        // Scripts saved with CRLF line ends must send the same bytes; a CR to send is written \r.
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;

        if (!line.startsWith(u'@')) {
            QString why;
            const std::optional<QByteArray> bytes = expandEscapes(line, &why);
            if (!bytes)
                return fail(lineNo, why);
            if (batch)
                batch->bytes += *bytes;
            else
                result.steps.append(Step{.kind = Step::Kind::Send, .bytes = *bytes, .line = lineNo});
            continue;
        }

        qsizetype nameEnd = 1;
        while (nameEnd < line.size() && !isBlank(line[nameEnd]))
            ++nameEnd;
        const QStringView name = line.sliced(1, nameEnd - 1);
        const QStringView rest = line.sliced(nameEnd);
        const QStringView argument = rest.trimmed();
        const QString takesNoArgument = QStringLiteral("@%1 takes no argument").arg(name);

        if (batch) {
            if (name != u"end")
                return fail(lineNo,
                            QStringLiteral("only @end may appear inside @batch; "
                                           "write \\x40 for a message starting with @"));
            if (!argument.isEmpty())
                return fail(lineNo, takesNoArgument);
            if (batch->bytes.isEmpty())
                return fail(batch->line, QStringLiteral("@batch has no message lines"));
            result.steps.append(std::move(*batch));
            batch.reset();
        } else if (name == u"pause" || name == u"wait") {
            const bool isWait = name == u"wait";
            const std::optional<int> ms
                = isWait && argument.isEmpty() ? defaultWaitMs : parseNumber(argument);
            if (!ms)
                return fail(lineNo,
                            QStringLiteral("@%1 needs a time in milliseconds, 0 to 99999999").arg(name));
            result.steps.append(
                Step{.kind = isWait ? Step::Kind::Wait : Step::Kind::Pause, .ms = *ms, .line = lineNo});
        } else if (name == u"batch") {
            if (!argument.isEmpty())
                return fail(lineNo, takesNoArgument);
            batch = Step{.kind = Step::Kind::Send, .line = lineNo};
        } else if (name == u"split") {
            // TEXT starts after the one blank that follows N, so it may itself start with blanks.
            qsizetype start = 0;
            while (start < rest.size() && isBlank(rest[start]))
                ++start;
            qsizetype digitsEnd = start;
            while (digitsEnd < rest.size() && isAsciiDigit(rest[digitsEnd]))
                ++digitsEnd;
            const std::optional<int> splitAt = parseNumber(rest.sliced(start, digitsEnd - start));
            if (!splitAt || digitsEnd == rest.size() || !isBlank(rest[digitsEnd]))
                return fail(lineNo, QStringLiteral("usage: @split N TEXT"));
            QString why;
            const std::optional<QByteArray> bytes = expandEscapes(rest.sliced(digitsEnd + 1), &why);
            if (!bytes)
                return fail(lineNo, why);
            if (bytes->size() < 2)
                return fail(lineNo, QStringLiteral("@split needs a TEXT of at least two bytes"));
            if (*splitAt < 1 || *splitAt >= bytes->size())
                return fail(lineNo,
                            QStringLiteral("@split needs N from 1 to %1 (TEXT has %2 bytes)")
                                .arg(bytes->size() - 1)
                                .arg(bytes->size()));
            result.steps.append(
                Step{.kind = Step::Kind::Split, .bytes = *bytes, .splitAt = *splitAt, .line = lineNo});
        } else if (name == u"close") {
            if (!argument.isEmpty())
                return fail(lineNo, takesNoArgument);
            result.steps.append(Step{.kind = Step::Kind::Close, .line = lineNo});
        } else if (name == u"end") {
            return fail(lineNo, QStringLiteral("@end without @batch"));
        } else {
            return fail(lineNo,
                        QStringLiteral("unknown directive @%1; "
                                       "write \\x40 for a message starting with @")
                            .arg(name));
        }
    }
    if (batch)
        return fail(batch->line, QStringLiteral("@batch is not closed by @end"));
    return result;
}

QList<QByteArray> takeMessages(QByteArray &buffer)
{
    QList<QByteArray> messages;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype open = buffer.indexOf('[', pos);
        if (open < 0) {
            pos = buffer.size();
            break;
        }
        const qsizetype close = buffer.indexOf(']', open);
        if (close < 0) {
            pos = open;
            break;
        }
        messages.append(buffer.mid(open, close - open + 1));
        pos = close + 1;
    }
    buffer.remove(0, pos);
    return messages;
}

QList<QByteArray> hostAnswers(QByteArrayView message)
{
    // The order's vehicle and ride: the two fields after the head, up to the record separator.
    const auto order = [&message](qsizetype head) {
        QByteArray rest = message.sliced(head).toByteArray();
        rest.truncate(rest.indexOf('\x1E') < 0 ? rest.size() - 1 : rest.indexOf('\x1E'));
        return rest;
    };
    if (message.startsWith("[RS2_GR2,"))
        return { "[RS2_GR2_ADAP_TACK," + order(9) + "]\r\n" };
    if (message.startsWith("[RS2_GRO,"))
        return { "[RS2_GRO_TACK," + order(9) + "]\r\n" };
    if (message.startsWith("[RS2_VRY,"))
        return { QByteArray("[RS2_VRY_ACK]\r\n") };
    if (message.startsWith("[RS2_RGD_REQ,") && message.endsWith("]")) {
        const QByteArray vehicle = message.sliced(13, message.size() - 14).toByteArray();
        // A position near Utrecht, as the terminals write it: radians times 10^8.
        return { QByteArray("[RS2_RGD_REQ_ACK]\r\n"), "[RS2_RGD," + vehicle + ",0,91437890,8529634]\r\n" };
    }
    return {};
}

} // namespace timhost

