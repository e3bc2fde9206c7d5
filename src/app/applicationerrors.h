#pragma once

#include "util/errors.h"

class Database;
class Log;

// `ApplicationEvents1Exception`: every error no handler caught, and those handlers pass on, is
// logged as "M-> " + its text. A network-level database error ("[DBNETLIB]" in any letter case,
// or a connection the driver reports lost) closes the connection, which switches the vehicle
// link off until the database is back. No dialog is ever shown.
class ApplicationErrors : public ErrorHandler
{
public:
    explicit ApplicationErrors(Log &log, Database *database = nullptr) : m_log(log), m_database(database) {}
    void setDatabase(Database *database) { m_database = database; }
    void handle(const std::exception &e) override;

private:
    Log &m_log;
    Database *m_database;
};
