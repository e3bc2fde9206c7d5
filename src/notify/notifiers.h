#pragma once

#include "statusnotifier.h"

#include <QDateTime>

#include <memory>

class ErrorHandler;
class QUdpSocket;
class Statements;
struct Settings;

// Status messages as rows of `Statusmeldingen`.
class DatabaseNotifier : public StatusNotifier
{
public:
    DatabaseNotifier(Statements &statements, ErrorHandler &errors) : m_statements(statements), m_errors(errors) {}
    bool SendUDPKorvanDB(const QString &text) override;
    bool SendKorvanDBUpdate(int status, int vehicle, int ride, int driver, const QString &text) override;

private:
    Statements &m_statements;
    ErrorHandler &m_errors;
};

// Ciphered UDP notifications for the dispatch workstations, one datagram each, to the
// address and port of the settings (the limited broadcast address by default).
class UdpNotifier
{
public:
    UdpNotifier(const Settings &settings, ErrorHandler &errors);
    ~UdpNotifier();
    // Returns false after an error has gone to the application-wide handler.
    bool SendUDPKorvan(int code, const QString &station, const QString &detail, const QString &payload,
                       const QDateTime &time);

private:
    const Settings &m_settings;
    ErrorHandler &m_errors;
    std::unique_ptr<QUdpSocket> m_socket;
};
