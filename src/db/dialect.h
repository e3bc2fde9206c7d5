#pragma once

#include <QString>
#include <QVariant>

class QSqlDatabase;
class QSqlError;

class Clock;

// Everything that differs between the engines the gateway runs on. The statements are written
// once in SQL all three accept; only what is here differs.
class Dialect
{
public:
    enum class Engine { SqlServer, PostgreSql, Sqlite };

    // From `xDatabaseType`: "SQLSERVER" (also when empty), "POSTGRESQL" or "SQLITE", any case.
    // Returns false for anything else.
    static bool engineFromSetting(const QString &setting, Engine &engine);

    explicit Dialect(Engine engine = Engine::SqlServer) : m_engine(engine) {}
    Engine engine() const { return m_engine; }

    // The Qt driver: QODBC, QPSQL or QSQLITE.
    QString driverName() const;

    // Sets up an unopened connection from the four connection settings. For SQL Server
    // `odbcDriver` names the ODBC driver; for SQLite `database` is the file, relative paths
    // taken from `programDir`. Every engine gets a login timeout.
    void configure(QSqlDatabase &db, const QString &server, const QString &database, const QString &user,
                   const QString &password, const QString &odbcDriver, const QString &programDir) const;

    // Work after a successful open: SQLite gets getdate() from the gateway's clock, and runs
    // with write-ahead logging and full syncs.
    void afterOpen(QSqlDatabase &db, const Clock &clock) const;

    // A value as the engine stores it: SQLite keeps date-times as text, in the form of the
    // schema's data and the workstations ("2026-12-10 16:23:30.837"), so that text order is time
    // order; the driver alone would write "T" between date and time.
    QVariant bindable(const QVariant &value) const;

    // The SQL of the server's local clock, as SQL Server writes getdate().
    QString serverNow() const;

    // A query that starts "select " limited to its first row: TOP 1 on SQL Server, LIMIT 1
    // elsewhere, so that the server does not read a whole backlog to hand over one row.
    QString firstRowOnly(const QString &select) const;

    // An ascending sort key that puts NULLs first, as SQL Server and SQLite do by themselves.
    QString ascendingNullsFirst(const QString &column) const;

    // The call of PROC_ROUTESTATUS_CONTROLE with the vehicle id as its one parameter; empty
    // where the engine has no stored procedures.
    QString procedureCall() const;

    // The statements of a unit of work's transaction, and of the savepoint `n` under a step
    // whose failure the unit survives (SQL Server's SAVE TRANSACTION where the others have
    // SAVEPOINT). A savepoint is not released: it ends with the transaction.
    enum TransactionStatement { Begin, Commit, Rollback };
    enum SavepointStatement { Set, RollBackTo };
    QString transaction(TransactionStatement statement) const;
    QString savepoint(SavepointStatement statement, int n) const;
    // Whether statements without parameters may go to the server together, separated by ";".
    bool takesBatches() const { return m_engine != Engine::Sqlite; }

    // Whether a failure left the connection unusable; `statement` is the failed statement's
    // driver handle when there is one.
    bool connectionLost(QSqlDatabase &db, const QSqlError &error, const QVariant &statement = {}) const;

    // The ODBC connection string for SQL Server, every value quoted as ODBC requires.
    static QString odbcConnectionString(const QString &driver, const QString &server, const QString &database,
                                        const QString &user, const QString &password);

    // Seconds a login may take before it fails.
    static constexpr int LoginTimeout = 5;

private:
    Engine m_engine;
};
