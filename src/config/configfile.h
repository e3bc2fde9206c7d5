#pragma once

#include "settings.h"

#include <QAnyStringView>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class QXmlStreamReader;

// "KorvanTim.xml", kept in memory between start-up and shutdown.
//
// The document keeps every element it was loaded with, unknown ones included and in their
// order, so that writing it back keeps what an earlier version of the program (or a newer
// one) stored. copyFrom() rewrites only the content of the elements of the stored keys and
// appends, in key-list order, the keys the document lacks.
//
// Text that ISO-8859-1 cannot hold is written as numeric character references (&#8364;),
// which any XML reader turns back into the character; a CR is written as &#13; so that the
// line-end normalisation of XML readers does not change it. Characters that XML 1.0 cannot
// carry at all (other control characters, unpaired surrogates) are left out.
class ConfigDocument
{
public:
    // What was wrong with the file it was loaded from.
    struct Problem
    {
        enum class Kind { None, Malformed, Unreadable };
        Kind kind = Kind::None;
        qint64 line = 0;
        qint64 column = 0;
        QString detail;
    };

    // Loads the file; a missing file gives an empty document (all defaults) and no problem, a
    // file that cannot be opened an empty document and the problem Unreadable.
    static ConfigDocument load(const QString &path);
    // The same from the file's bytes. Bytes that are not well-formed XML keep every element
    // that was complete before the fault (and the elements around them), so that a bad spot
    // costs only the settings at and after it; problem() says where it is.
    static ConfigDocument parse(const QByteArray &bytes);

    const Problem &problem() const { return m_problem; }
    // Whether the document holds the element of a stored key.
    bool has(QLatin1StringView key) const;

    // Sets every stored setting the document holds, in key-list order. A missing element keeps
    // the setting as it is, and so does a content that does not convert; unknown elements are
    // ignored. For ESTLIJST_Lines, an item missing below Count reads as an empty line.
    void read(Settings &settings) const;
    // Copies every stored setting into the document.
    void copyFrom(const Settings &settings);
    // Leaves a key out of the file, as if it had never been written.
    void remove(QLatin1StringView key);

    // The file's bytes as they would be written.
    QByteArray toBytes() const;
    // Writes the file, creating its directory when missing. The file holds the database password
    // and the network key in plain text, so a file written anew is readable by its owner only.
    // Where the directory takes no new file, or the file has another owner, it is written in
    // place and keeps its owner and mode. Returns false, with the reason in `error`, when the
    // file is read-only or cannot be written.
    bool save(const QString &path, QString *error = nullptr) const;

private:
    struct Element
    {
        QString name;
        QString text; // ignored when the element has children
        std::vector<Element> children;

        // The first child of that name: later ones are kept but never read or changed.
        const Element *child(QAnyStringView childName) const;
        Element &ensureChild(QAnyStringView childName);
        // The text, for an element without children.
        std::optional<QString> content() const;
        void setContent(const QString &value);
    };

    static bool readChildren(QXmlStreamReader &xml, Element &parent, int depth);
    static void write(QByteArray &out, const Element &element, int level);
    static std::optional<QStringList> readLines(const Element &element);

    Element m_root { QStringLiteral("Configuration"), {}, {} };
    Problem m_problem;
};

// RGDMIN_Value's encoding: the x87 80-bit extended value, 10 bytes little-endian.
// Every double converts exactly; the way back rounds to nearest, ties to even.
std::array<unsigned char, 10> toExtended(double value);
double fromExtended(const std::array<unsigned char, 10> &bytes);
