#include "errors.h"

#include <cstdio>

KorvanError::KorvanError(QString text)
    : m_text(std::move(text))
    , m_what(m_text.toUtf8())
{
}

QString errorText(const std::exception &e)
{
    if (auto k = dynamic_cast<const KorvanError *>(&e))
        return k->text();
    return QString::fromLocal8Bit(e.what());
}

void ErrorHandler::report(const std::exception &e) noexcept
{
    try {
        handle(e);
    } catch (const std::exception &inner) {
        std::fprintf(stderr, "korvantim: error while handling an error: %s\n", inner.what());
    } catch (...) {
        std::fprintf(stderr, "korvantim: unknown error while handling an error\n");
    }
}
