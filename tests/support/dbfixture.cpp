#include "dbfixture.h"

#include "config/settings.h"
#include "db/sqlscript.h"

#include <QDir>
#include <QFile>
#include <QSqlRecord>
#include <QTest>
#include <QTcpServer>
#include <QUuid>

#include <cstdio>

#include <unistd.h>

namespace fixture {

QString schemaPath(const QString &file)
{
    return QStringLiteral(KORVAN_SCHEMA_DIR "/") + file;
}

namespace {

// Runs the schema files on a connection that is opened and removed here.
void load(QSqlDatabase db, bool demo, const QString &engineFile)
{
    if (!db.open())
        qFatal("fixture: cannot open %s: %s", qPrintable(db.databaseName()), qPrintable(db.lastError().text()));
    runSqlScript(db, schemaPath(engineFile));
    if (demo)
        runSqlScript(db, schemaPath(QStringLiteral("demo.sql")));
    db.close();
}

void withConnection(const QString &driver, const std::function<void(QSqlDatabase &)> &setup, bool demo,
                    const QString &engineFile)
{
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
        setup(db);
        load(db, demo, engineFile);
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

QString makeSqliteDatabase(const QString &dir, bool demo)
{
    const QString path = QDir(dir).filePath(QStringLiteral("dispatch-%1.sqlite").arg(QUuid::createUuid().toString(QUuid::Id128)));
    withConnection(QStringLiteral("QSQLITE"), [&](QSqlDatabase &db) { db.setDatabaseName(path); }, demo,
                   QStringLiteral("sqlite.sql"));
    return path;
}

bool postgresRequired()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

std::unique_ptr<PostgresCluster> PostgresCluster::start(QString *why, bool durable)
{
    std::unique_ptr<PostgresCluster> c(new PostgresCluster);
    c->m_durable = durable;
    for (const char *version : { "17", "16", "15", "14", "13" }) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(QLatin1String(version));
        if (QFile::exists(bin + QStringLiteral("/initdb"))) {
            c->m_bin = bin;
            break;
        }
    }
    if (c->m_bin.isEmpty()) {
        *why = QStringLiteral("PostgreSQL server binaries (initdb, pg_ctl) not found under /usr/lib/postgresql; "
                              "install postgresql-15 to run these tests");
        return {};
    }
    c->m_asRoot = geteuid() == 0;
    // /tmp, not the home directory: the postgres user must be able to enter it.
    c->m_dir = QDir::tempPath() + QStringLiteral("/korvan-pg-") + QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(c->m_dir);
    if (c->m_asRoot)
        QProcess::execute(QStringLiteral("chown"), { QStringLiteral("postgres:"), c->m_dir });
    QStringList initdb { c->m_bin + QStringLiteral("/initdb"), QStringLiteral("-D"), c->m_dir + QStringLiteral("/data"),
                         QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-U"), QStringLiteral("test"),
                         QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8") };
    QProcess p;
    if (c->m_asRoot)
        p.start(QStringLiteral("runuser"), QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--") } + initdb);
    else
        p.start(initdb.takeFirst(), initdb);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *why = QStringLiteral("initdb failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
        c->m_port = freePort();
        if (c->startServer())
            return c;
    }
    *why = QStringLiteral("pg_ctl could not start a server; see ") + c->m_dir + QStringLiteral("/log");
    return {};
}

PostgresCluster::~PostgresCluster()
{
    pgctl({ QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("immediate") });
    QDir(m_dir).removeRecursively();
}

bool PostgresCluster::pgctl(const QStringList &args)
{
    QStringList command { m_bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), m_dir + QStringLiteral("/data"),
                          QStringLiteral("-l"), m_dir + QStringLiteral("/log"), QStringLiteral("-w") };
    command += args;
    QProcess p;
    if (m_asRoot)
        p.start(QStringLiteral("runuser"), QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--") } + command);
    else
        p.start(command.takeFirst(), command);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PostgresCluster::startServer()
{
    return pgctl({ QStringLiteral("-o"),
                   QStringLiteral("-h 127.0.0.1 -p %1 -k %2").arg(m_port).arg(m_dir)
                       + (m_durable ? QStringLiteral(" -c synchronous_commit=on") : QStringLiteral(" -c fsync=off -c full_page_writes=off")),
                   QStringLiteral("start") });
}

bool PostgresCluster::stopServer()
{
    return pgctl({ QStringLiteral("stop"), QStringLiteral("-m"), QStringLiteral("fast") });
}

QString PostgresCluster::createDatabase(bool demo)
{
    auto setup = [&](const QString &database) {
        return [this, database](QSqlDatabase &db) {
            db.setHostName(QStringLiteral("127.0.0.1"));
            db.setPort(m_port);
            db.setUserName(user());
            db.setDatabaseName(database);
        };
    };
    auto create = [&](const QString &name, const QString &from) {
        const QString admin = QUuid::createUuid().toString();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), admin);
            setup(QStringLiteral("postgres"))(db);
            if (!db.open())
                qFatal("fixture: cannot reach PostgreSQL: %s", qPrintable(db.lastError().text()));
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("CREATE DATABASE ") + name + (from.isEmpty() ? QString() : QStringLiteral(" TEMPLATE ") + from)))
                qFatal("fixture: %s", qPrintable(q.lastError().text()));
        }
        QSqlDatabase::removeDatabase(admin);
    };
    // The schema is loaded once per kind; every database after that is a copy, made in a
    // fraction of the time.
    QString &model = m_templates[demo ? 1 : 0];
    if (model.isEmpty()) {
        model = demo ? QStringLiteral("model_demo") : QStringLiteral("model_empty");
        create(model, QString());
        withConnection(QStringLiteral("QPSQL"), setup(model), demo, QStringLiteral("postgresql.sql"));
    }
    const QString name = QStringLiteral("dispatch%1").arg(++m_databases);
    create(name, model);
    return name;
}

namespace {
std::unique_ptr<PostgresCluster> theCluster;
QString theProblem;
} // namespace

void startCluster(bool durable)
{
    theCluster = PostgresCluster::start(&theProblem, durable);
}

void stopCluster()
{
    theCluster.reset();
}

PostgresCluster *cluster()
{
    return theCluster.get();
}

const QString &clusterProblem()
{
    return theProblem;
}

void engineColumn()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

bool engineAvailable(const QString &engine)
{
    return engine != QLatin1String("postgresql") || theCluster;
}

void useFreshDatabase(Settings &settings, const QString &engine, const QString &dir, bool demo)
{
    if (engine == QLatin1String("sqlite")) {
        settings.xDatabaseType = QStringLiteral("SQLITE");
        settings.xLoginDatabase = QFileInfo(makeSqliteDatabase(dir, demo)).fileName();
    } else {
        settings.xDatabaseType = QStringLiteral("POSTGRESQL");
        settings.xLoginServer = QStringLiteral("127.0.0.1:") + QString::number(theCluster->port());
        settings.xLoginSQL = theCluster->user();
        settings.xLoginDatabase = theCluster->createDatabase(demo);
    }
}

void eachEngine(const QString &dir, const std::function<void(const char *engine, Settings &settings)> &bench)
{
    {
        Settings s;
        useFreshDatabase(s, QStringLiteral("sqlite"), dir);
        bench("SQLite", s);
    }
    // As a site runs it: every commit synced.
    startCluster(true);
    if (!theCluster) {
        std::printf("PostgreSQL skipped: %s\n", qPrintable(theProblem));
        return;
    }
    {
        Settings s;
        useFreshDatabase(s, QStringLiteral("postgresql"), dir);
        bench("PostgreSQL", s);
    }
    stopCluster();
}

QVariant scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return QStringLiteral("<no row: %1>").arg(q.lastError().text());
    return q.value(0);
}

void run(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("fixture: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

QStringList rows(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql))
        qFatal("fixture: %s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    QStringList out;
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i).toString();
        out << values.join(u'|');
    }
    return out;
}

} // namespace fixture
