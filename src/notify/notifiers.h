#pragma once

#include "statusnotifier.h"

#include <QDateTime>

#include <memory>

#include "db/statements.h"

class ErrorHandler;
class QUdpSocket;
struct Settings;

// Status messages as rows of `Statusmeldingen`. Inside a unit of work a row belongs to the
// unit: it is written under a savepoint, and a lost connection is thrown on, not kept.
class DatabaseNotifier : public StatusNotifier
{
public:
    DatabaseNotifier(Statements &statements, ErrorHandler &errors) : m_statements(statements), m_errors(errors) {}
    bool SendUDPKorvanDB(const QString &text) override;
    bool SendKorvanDBUpdate(int status, int vehicle, int ride, int driver, const QString &text) override;

private:
    bool post(const ColumnValues &row);

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
