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
