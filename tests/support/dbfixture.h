#pragma once

#include <QProcess>
#include <functional>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>

#include <memory>

struct Settings;

// Fixtures for database tests: a SQLite file made from the schema, and a throwaway PostgreSQL
// cluster in a temporary directory on a free loopback port.
namespace fixture {

QString schemaPath(const QString &file);

// A TCP port nobody listens on just now.
quint16 freePort();

// Creates a database file from the SQLite schema and, when asked, the demo data.
QString makeSqliteDatabase(const QString &dir, bool demo = true);

// A PostgreSQL server of its own. Runs initdb and pg_ctl as the postgres user when run as root.
class PostgresCluster
{
public:
    ~PostgresCluster();
    // Empty when the server binaries are missing; `why` then says so.
    // `durable`: every commit synced, as a site runs it (benchmarks); else no syncs at all.
    static std::unique_ptr<PostgresCluster> start(QString *why, bool durable = false);

    quint16 port() const { return m_port; }
    QString user() const { return QStringLiteral("test"); }
    // A fresh database with the schema and, when asked, the demo data; returns its name.
    QString createDatabase(bool demo = true);

    bool stopServer();
    bool startServer();

private:
    PostgresCluster() = default;
    bool pgctl(const QStringList &args);

    QString m_bin;
    QString m_dir;
    quint16 m_port = 0;
    int m_databases = 0;
    QString m_templates[2]; // the schema without and with the demo data
    bool m_asRoot = false;
    bool m_durable = false;
};

// Whether tests that need PostgreSQL must run: in CI they fail instead of skipping.
bool postgresRequired();

// The one PostgreSQL cluster of a test executable: started in initTestCase, stopped in
// cleanupTestCase. Null, with the reason in clusterProblem(), where no server can run.
void startCluster(bool durable = false);
void stopCluster();
PostgresCluster *cluster();
const QString &clusterProblem();

// The column "engine" of a data table: a row for SQLite and one for PostgreSQL.
void engineColumn();
// Whether the engine can run here; a PostgreSQL row is skipped without a server, except in
// CI, where the caller must fail it.
bool engineAvailable(const QString &engine);

// Settings that reach a fresh dispatch database of the engine, with the demo data when asked.
// `dir` is where a SQLite file goes.
void useFreshDatabase(Settings &settings, const QString &engine, const QString &dir, bool demo = true);

// For the benchmarks: runs `bench` with settings for a fresh demo database on SQLite, then on a
// PostgreSQL cluster of its own; says so when PostgreSQL cannot run here.
void eachEngine(const QString &dir, const std::function<void(const char *engine, Settings &settings)> &bench);

// Straight access to the database of a connection, past the gateway's code.
QVariant scalar(QSqlDatabase db, const QString &sql);
void run(QSqlDatabase db, const QString &sql);
// Every row of a query, its values joined by "|".
QStringList rows(QSqlDatabase db, const QString &sql);

} // namespace fixture

// Skips or fails a test that needs an engine which cannot run.
#define FIXTURE_REQUIRE(engine)                                                                                        \
    if (!fixture::engineAvailable(engine)) {                                                                           \
        if (fixture::postgresRequired())                                                                               \
            QFAIL(qPrintable(fixture::clusterProblem()));                                                              \
        QSKIP(qPrintable(fixture::clusterProblem()));                                                                  \
    }

// In a test function with the column "engine": skips or fails a row whose engine cannot run.
#define FIXTURE_ENGINE()                                                                                               \
    QFETCH(QString, engine);                                                                                           \
    FIXTURE_REQUIRE(engine)
