#include "ansicodec.h"

#include <QStringDecoder>

AnsiCodec::AnsiCodec(const char *codePage)
{
    QStringDecoder decoder(codePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder("windows-1252", QStringConverter::Flag::Stateless);
    m_fromUnicode.fill('?');
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString s = decoder.decode(QByteArrayView(&byte, 1));
        // Bytes the code page leaves undefined map to the code point of the same value, as
        // Windows does, so every byte survives a round trip.
        char16_t u = s.size() == 1 && s[0] != QChar::ReplacementCharacter ? s[0].unicode() : char16_t(b);
        m_toUnicode[b] = u;
        m_fromUnicode[u] = quint8(b);
    }
}

QString AnsiCodec::decode(QByteArrayView bytes) const
{
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(out.data());
    for (char c : bytes)
        *d++ = m_toUnicode[quint8(c)];
    return out;
}

QByteArray AnsiCodec::encode(QStringView text) const
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *d = out.data();
    for (QChar c : text)
        *d++ = char(m_fromUnicode[c.unicode()]);
    return out;
}

const AnsiCodec &AnsiCodec::instance()
{
    static const AnsiCodec codec;
    return codec;
}
