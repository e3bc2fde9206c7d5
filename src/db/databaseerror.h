#pragma once

#include "util/errors.h"

// A database failure: the driver's text, and whether the connection to the server is gone.
class DatabaseError : public KorvanError
{
public:
    DatabaseError(QString text, bool connectionLost) : KorvanError(std::move(text)), m_lost(connectionLost) {}
    bool connectionLost() const { return m_lost; }

private:
    bool m_lost;
};

// Whether an error means the database connection is gone: the driver says so, or its text
// carries the network marker "[DBNETLIB]" in any letter case. Only a database error counts: an
// error that quotes what the host sent must not close the connection.
inline bool isConnectionLost(const std::exception &e)
{
    const auto *db = dynamic_cast<const DatabaseError *>(&e);
    return db && (db->connectionLost() || db->text().toUpper().contains(QStringLiteral("[DBNETLIB]")));
}

// For handlers that catch their own errors: a lost connection is not theirs to keep. Call it
// inside the catch block; it rethrows the error being handled.
inline void rethrowIfConnectionLost(const std::exception &e)
{
    if (isConnectionLost(e))
        throw;
}
