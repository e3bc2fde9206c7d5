#pragma once

#include <QString>

#include <exception>

// The one error type of the gateway: a message in the operator's words. Handlers log it
// as "M-> " + text(); the database layer derives its own kind from it.
class KorvanError : public std::exception
{
public:
    explicit KorvanError(QString text);
    const QString &text() const { return m_text; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_text;
    QByteArray m_what;
};

// The text an operator sees for any exception.
QString errorText(const std::exception &e);

// The application-wide error handler. Every entry point from the event loop runs inside
// guard(), so no exception ever reaches Qt.
class ErrorHandler
{
public:
    virtual ~ErrorHandler() = default;
    virtual void handle(const std::exception &e) = 0;

    template <typename F>
    void guard(F &&f) noexcept
    {
        try {
            f();
        } catch (const std::exception &e) {
            report(e);
        } catch (...) {
            report(KorvanError(QStringLiteral("Onbekende fout")));
        }
    }

    // handle(), but never throws: the handler itself may fail (a full disk under a log
    // checkpoint, a lost database while closing it).
    void report(const std::exception &e) noexcept;
};
