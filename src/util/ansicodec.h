#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The single-byte code page of the link, the log files and the export files. Tables are
// built once from Qt's codec, so the hot path is a lookup per character.
class AnsiCodec
{
public:
    // An unknown code page name falls back to Windows-1252.
    explicit AnsiCodec(const char *codePage = "windows-1252");

    QString decode(QByteArrayView bytes) const;
    // Characters the code page cannot hold become "?".
    QByteArray encode(QStringView text) const;

    // The process-wide codec; the code page is Windows-1252 unless set otherwise at start-up.
    static const AnsiCodec &instance();

private:
    std::array<char16_t, 256> m_toUnicode {};
    std::array<quint8, 65536> m_fromUnicode {};
};
