#include "fields.h"

QStringList splitFields(QStringView text)
{
    // Reading past a NUL would loop for ever on an empty field, and the host never sends one.
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text = text.left(nul);

    QStringList fields;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto isSpace = [&](qsizetype k) { return text[k].unicode() >= 1 && text[k].unicode() <= 32; };
    auto skipSpace = [&] {
        while (i < n && isSpace(i))
            ++i;
    };

    skipSpace();
    while (i < n) {
        if (text[i] == u'"') {
            QString field;
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        field += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            fields.append(field);
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != u',' && text[i].unicode() > 32)
                ++i;
            fields.append(text.mid(start, i - start).toString());
        }
        skipSpace();
        if (i < n && text[i] == u',') {
            if (i == n - 1)
                fields.append(QString());
            ++i;
            skipSpace();
        }
    }
    return fields;
}

QString withoutBrackets(QStringView message)
{
    QString out(message.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (QChar c : message)
        if (c != u'[' && c != u']')
            *d++ = c;
    out.truncate(d - out.constData());
    return out;
}
