#include "configfile.h"

#include "settingkeys.h"
#include "util/lenientint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

// Guards against a file that would make us build an absurd list or recurse without end.
constexpr int maxLines = 100000;
constexpr int maxDepth = 64;

const auto formName = "Hoofdscherm"_L1;
const auto commitName = "xaCommitRetaining"_L1;
const auto abortName = "xaAbortRetaining"_L1;

QString checkText(bool on)
{
    return on ? u"TRUE"_s : u"FALSE"_s;
}

// An integer as lenientInt reads it, but only when the whole text is one: "12abc" or a word
// does not convert.
std::optional<int> integerOf(const QString &text)
{
    static const QRegularExpression integer(uR"(^[+-]?(\$[0-9A-Fa-f]+|0[xX][0-9A-Fa-f]+|[0-9]+)$)"_s);
    const QString t = text.trimmed();
    if (!integer.match(t).hasMatch())
        return std::nullopt;
    return lenientInt(t);
}

std::optional<bool> checkOf(const std::optional<QString> &content)
{
    if (!content)
        return std::nullopt;
    const QString t = content->trimmed();
    const auto is = [&t](QLatin1StringView word) { return t.compare(word, Qt::CaseInsensitive) == 0; };
    if (is("TRUE"_L1) || is("YES"_L1) || is("Y"_L1))
        return true;
    if (is("FALSE"_L1) || is("NO"_L1) || is("N"_L1))
        return false;
    if (const auto n = integerOf(t))
        return *n != 0;
    return std::nullopt;
}

QString numberText(double value)
{
    const auto bytes = toExtended(value);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())).toHex().toUpper());
}

std::optional<double> numberOf(const std::optional<QString> &content)
{
    if (!content)
        return std::nullopt;
    const QString t = content->trimmed();
    std::array<unsigned char, 10> bytes {};
    if (t.size() != qsizetype(bytes.size()) * 2)
        return std::nullopt;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const char16_t c = t[i].unicode();
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else
            return std::nullopt;
        bytes[size_t(i / 2)] = static_cast<unsigned char>(bytes[size_t(i / 2)] << 4 | d);
    }
    const double value = fromExtended(bytes);
    if (std::isnan(value))
        return std::nullopt; // not a number of minutes, nor of anything else
    return value;
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

void appendEscaped(QByteArray &out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (!isXmlChar(c) || QChar::isSurrogate(c))
            continue;
        switch (c) {
        case u'&': out += "&amp;"; break;
        case u'<': out += "&lt;"; break;
        case u'>': out += "&gt;"; break;
        case u'"': out += "&quot;"; break;
        case u'\'': out += "&apos;"; break;
        case u'\r': out += "&#13;"; break;
        default:
            if (c < 0x100)
                out += char(c);
            else
                out += "&#" + QByteArray::number(quint32(c)) + ';';
        }
    }
}

bool isLatin1(QStringView name)
{
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x100; });
}

} // namespace

const ConfigDocument::Element *ConfigDocument::Element::child(QAnyStringView childName) const
{
    for (const Element &c : children)
        if (QAnyStringView::equal(c.name, childName))
            return &c;
    return nullptr;
}

ConfigDocument::Element &ConfigDocument::Element::ensureChild(QAnyStringView childName)
{
    for (Element &c : children)
        if (QAnyStringView::equal(c.name, childName))
            return c;
    return children.emplace_back(Element { childName.toString(), {}, {} });
}

std::optional<QString> ConfigDocument::Element::content() const
{
    if (!children.empty())
        return std::nullopt;
    return text;
}

void ConfigDocument::Element::setContent(const QString &value)
{
    children.clear();
    text = value;
}

ConfigDocument ConfigDocument::load(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {};
    ConfigDocument doc;
    if (QFileInfo(path).isDir())
        doc.m_problem = { Problem::Kind::Unreadable, 0, 0, u"het is een map"_s };
    else if (!file.open(QIODevice::ReadOnly))
        doc.m_problem = { Problem::Kind::Unreadable, 0, 0, file.errorString() };
    else
        doc = parse(file.readAll());
    return doc;
}

bool ConfigDocument::has(QLatin1StringView key) const
{
    const Element *form = m_root.child(formName);
    return form && form->child(key);
}

bool ConfigDocument::readChildren(QXmlStreamReader &xml, Element &parent, int depth)
{
    if (depth > maxDepth) {
        xml.raiseError(u"nested too deeply"_s);
        return false;
    }
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            Element e { xml.name().toString(), {}, {} };
            const bool complete = readChildren(xml, e, depth + 1);
            // Of an element the fault cut short, only its complete children count: a text
            // cut short is no value.
            if (complete || !e.children.empty())
                parent.children.push_back(std::move(e));
            if (!complete)
                return false;
            break;
        }
        case QXmlStreamReader::Characters:
            parent.text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            return true;
        default:
            break;
        }
    }
    return false;
}

ConfigDocument ConfigDocument::parse(const QByteArray &bytes)
{
    // QXmlStreamReader decodes by the file's encoding declaration.
    QXmlStreamReader xml(bytes);
    ConfigDocument doc;
    if (xml.readNextStartElement()) {
        if (xml.name() != "Configuration"_L1)
            xml.raiseError(u"het hoofdelement is %1 in plaats van Configuration"_s.arg(xml.name()));
        else if (readChildren(xml, doc.m_root, 0))
            while (!xml.atEnd())
                xml.readNext();
    }
    if (xml.hasError())
        doc.m_problem = { Problem::Kind::Malformed, xml.lineNumber(), xml.columnNumber(), xml.errorString() };
    return doc;
}

std::optional<QStringList> ConfigDocument::readLines(const Element &element)
{
    const Element *countElement = element.child("Count"_L1);
    const auto count = countElement ? integerOf(countElement->content().value_or(QString())) : std::nullopt;
    if (!count || *count < 0 || *count > maxLines)
        return std::nullopt;
    // By index, not by position; the first ItemN counts, like every other element.
    std::vector<const Element *> items(size_t(*count), nullptr);
    for (const Element &c : element.children) {
        if (!c.name.startsWith("Item"_L1))
            continue;
        bool ok = false;
        const int i = QStringView(c.name).sliced(4).toInt(&ok);
        if (ok && i >= 0 && i < *count && !items[size_t(i)] && c.name == "Item"_L1 + QString::number(i))
            items[size_t(i)] = &c;
    }
    QStringList lines;
    lines.reserve(*count);
    for (const Element *item : items)
        lines << (item ? item->content().value_or(QString()) : QString()); // a lost line stays a line
    return lines;
}

void ConfigDocument::read(Settings &settings) const
{
    const Element *form = m_root.child(formName);
    if (!form)
        return;
    for (const SettingKey &key : settingKeys()) {
        const Element *e = form->child(key.key);
        if (!e)
            continue;
        switch (key.kind) {
        case SettingKey::Kind::Text:
        case SettingKey::Kind::Secret:
        case SettingKey::Kind::Choice:
            if (const auto t = e->content())
                settings.*key.text = *t;
            break;
        case SettingKey::Kind::Check:
            if (const auto b = checkOf(e->content()))
                settings.*key.check = *b;
            break;
        case SettingKey::Kind::Number:
            if (const auto v = numberOf(e->content()))
                settings.*key.number = *v;
            break;
        case SettingKey::Kind::Attributes:
            for (auto [name, flag] : { std::pair { commitName, &Settings::xaCommitRetaining },
                                       std::pair { abortName, &Settings::xaAbortRetaining } }) {
                if (const Element *c = e->child(name))
                    if (const auto b = checkOf(c->content()))
                        settings.*flag = *b;
            }
            break;
        case SettingKey::Kind::Lines:
            if (auto lines = readLines(*e))
                settings.*key.lines = std::move(*lines);
            break;
        }
    }
}

void ConfigDocument::remove(QLatin1StringView key)
{
    for (Element &form : m_root.children) {
        if (form.name != formName)
            continue;
        std::erase_if(form.children, [key](const Element &e) { return e.name == key; });
    }
}

void ConfigDocument::copyFrom(const Settings &settings)
{
    Element &form = m_root.ensureChild(formName);
    if (!form.child("FormVersion"_L1))
        form.children.insert(form.children.begin(), Element { u"FormVersion"_s, {}, {} });
    form.ensureChild("FormVersion"_L1).setContent(u"0"_s);

    for (const SettingKey &key : settingKeys()) {
        Element &e = form.ensureChild(key.key);
        switch (key.kind) {
        case SettingKey::Kind::Text:
        case SettingKey::Kind::Secret:
        case SettingKey::Kind::Choice:
            e.setContent(settings.*key.text);
            break;
        case SettingKey::Kind::Check:
            e.setContent(checkText(settings.*key.check));
            break;
        case SettingKey::Kind::Number:
            e.setContent(numberText(settings.*key.number));
            break;
        case SettingKey::Kind::Attributes:
            e.setContent({});
            e.children.push_back({ commitName, checkText(settings.xaCommitRetaining), {} });
            e.children.push_back({ abortName, checkText(settings.xaAbortRetaining), {} });
            break;
        case SettingKey::Kind::Lines: {
            const QStringList &lines = settings.*key.lines;
            e.setContent({});
            for (qsizetype i = 0; i < lines.size(); ++i)
                e.children.push_back({ "Item"_L1 + QString::number(i), lines[i], {} });
            e.children.push_back({ u"Count"_s, QString::number(lines.size()), {} });
            break;
        }
        }
    }
}

void ConfigDocument::write(QByteArray &out, const Element &element, int level)
{
    if (!isLatin1(element.name))
        return; // a name the file's encoding cannot spell, and XML has no escape for names
    const QByteArray indent(2 * level, ' ');
    const QByteArray name = element.name.toLatin1();
    if (!element.children.empty()) {
        out += indent + '<' + name + ">\r\n";
        for (const Element &c : element.children)
            write(out, c, level + 1);
        out += indent + "</" + name + ">\r\n";
    } else if (element.text.isEmpty()) {
        out += indent + '<' + name + "/>\r\n";
    } else {
        out += indent + '<' + name + '>';
        appendEscaped(out, element.text);
        out += "</" + name + ">\r\n";
    }
}

QByteArray ConfigDocument::toBytes() const
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";
    write(out, m_root, 0);
    return out;
}

namespace {

// Whether a new file may take the place of this one without losing what the operator set: the
// directory takes a new file, and the new file would have the same owner.
bool replaceable(const QFileInfo &file)
{
    if (!QFileInfo(file.absolutePath()).isWritable())
        return false;
#ifdef Q_OS_UNIX
    return file.ownerId() == ::geteuid();
#else
    return true;
#endif
}

} // namespace

bool ConfigDocument::save(const QString &path, QString *error) const
{
    const auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    // QSaveFile replaces the file by renaming, which a read-only file would not stop; look at
    // the permission bits, as the read-only attribute would stop a plain write.
    if (info.exists() && info.isDir())
        return failed(u"het is een map"_s);
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        return failed(u"het bestand is alleen-lezen"_s);
    const QByteArray bytes = toBytes();
    if (info.exists() && !replaceable(info)) {
        // In place: where the directory takes no new file this is the only way to save, and it
        // keeps the file's owner and mode.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return failed(file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush())
            return failed(file.errorString());
        file.close();
        return file.error() == QFileDevice::NoError || failed(file.errorString());
    }
    if (!QDir().mkpath(info.absolutePath()))
        return failed(u"de map "_s + QDir::toNativeSeparators(info.absolutePath()) + u" kan niet worden gemaakt"_s);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file.errorString());
    // Set on the new file before anything is in it; on Windows only the read-only attribute follows.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return failed(file.errorString());
    }
    return file.commit() || failed(file.errorString());
}

std::array<unsigned char, 10> toExtended(double value)
{
    const auto bits = std::bit_cast<quint64>(value);
    const bool negative = bits >> 63;
    const int exponent = int(bits >> 52) & 0x7FF;
    const quint64 fraction = bits & ((quint64(1) << 52) - 1);
    constexpr quint64 integerBit = quint64(1) << 63;

    quint64 mantissa = 0;
    int biased = 0;
    if (exponent == 0x7FF) {
        biased = 0x7FFF;
        mantissa = fraction ? integerBit | quint64(1) << 62 | fraction << 11 : integerBit; // NaN comes back quiet
    } else if (exponent == 0) {
        if (fraction) { // a double's denormal is a normal extended value
            const int shift = std::countl_zero(fraction);
            mantissa = fraction << shift;
            biased = 16383 - 1074 + 63 - shift;
        }
    } else {
        mantissa = integerBit | fraction << 11;
        biased = exponent - 1023 + 16383;
    }

    std::array<unsigned char, 10> bytes {};
    for (int i = 0; i < 8; ++i)
        bytes[size_t(i)] = static_cast<unsigned char>(mantissa >> (8 * i));
    bytes[8] = static_cast<unsigned char>(biased);
    bytes[9] = static_cast<unsigned char>(biased >> 8 | (negative ? 0x80 : 0));
    return bytes;
}

double fromExtended(const std::array<unsigned char, 10> &bytes)
{
    quint64 mantissa = 0;
    for (int i = 0; i < 8; ++i)
        mantissa |= quint64(bytes[size_t(i)]) << (8 * i);
    const bool negative = bytes[9] & 0x80;
    const int biased = (bytes[9] & 0x7F) << 8 | bytes[8];

    double value;
    if (biased == 0x7FFF) {
        // The integer bit is not looked at: a pseudo-infinity reads as infinity.
        value = (mantissa << 1) != 0 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    } else {
        // The value is mantissa * 2^exp2 whatever the integer bit says, so unnormals and
        // denormals read as the numbers they spell.
        int exp2 = std::max(biased, 1) - 16383 - 63;
        if (mantissa) {
            // Keep 53 significant bits, and none below the smallest denormal, rounding half to even.
            const int top = 63 - std::countl_zero(mantissa);
            const int drop = std::max(top - 52, -1074 - exp2);
            if (drop > 64) {
                mantissa = 0;
            } else if (drop > 0) {
                const quint64 kept = drop == 64 ? 0 : mantissa >> drop;
                const quint64 rest = drop == 64 ? mantissa : mantissa & ((quint64(1) << drop) - 1);
                const quint64 half = quint64(1) << (drop - 1);
                mantissa = kept + (rest > half || (rest == half && (kept & 1)));
                exp2 += drop;
            }
        }
        value = std::ldexp(double(mantissa), exp2); // exact, or beyond the range: infinity
    }
    return negative ? -value : value;
}
