#include "dialect.h"

#include "util/clock.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QRegularExpression>
#include <QUrl>

#include <sqlite3.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

using namespace Qt::Literals::StringLiterals;

bool Dialect::engineFromSetting(const QString &setting, Engine &engine)
{
    const QString s = setting.trimmed().toUpper();
    if (s.isEmpty() || s == u"SQLSERVER"_s)
        engine = Engine::SqlServer;
    else if (s == u"POSTGRESQL"_s)
        engine = Engine::PostgreSql;
    else if (s == u"SQLITE"_s)
        engine = Engine::Sqlite;
    else
        return false;
    return true;
}

QString Dialect::driverName() const
{
    switch (m_engine) {
    case Engine::SqlServer:
        return u"QODBC"_s;
    case Engine::PostgreSql:
        return u"QPSQL"_s;
    case Engine::Sqlite:
        return u"QSQLITE"_s;
    }
    return {};
}

namespace {

// A value that holds a character ODBC gives a meaning goes in braces, a closing brace doubled,
// so that ";" in a password cannot end it. Plain values stay bare: not every driver takes braces
// around a host name.
QString odbcValue(const QString &value)
{
    static const QRegularExpression special(uR"([\[\]{}(),;?*=!@]|^\s|\s$)"_s);
    if (!value.contains(special))
        return value;
    QString v = value;
    v.replace(u'}', u"}}"_s);
    return u'{' + v + u'}';
}

// "host,port" and "host:port" both give a port; a named instance ("host\SQLEXPRESS") stays.
void splitServer(const QString &server, QString &host, QString &port)
{
    const qsizetype sep = server.lastIndexOf(QRegularExpression(u"[,:]"_s));
    if (sep > 0 && !server.mid(sep + 1).isEmpty()
        && std::all_of(server.begin() + sep + 1, server.end(), [](QChar c) { return c.isDigit(); })) {
        host = server.left(sep).trimmed();
        port = server.mid(sep + 1);
    } else {
        host = server.trimmed();
        port.clear();
    }
}

// getdate() for SQLite, from the gateway's clock, in the text form SQLite keeps date-times in.
void sqliteGetdate(sqlite3_context *context, int, sqlite3_value **)
{
    const auto *clock = static_cast<const Clock *>(sqlite3_user_data(context));
    const QByteArray now = clock->now().toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s).toLatin1();
    sqlite3_result_text(context, now.constData(), int(now.size()), SQLITE_TRANSIENT);
}

} // namespace

QString Dialect::odbcConnectionString(const QString &driver, const QString &server, const QString &database,
                                      const QString &user, const QString &password)
{
    QString host, port;
    splitServer(server, host, port);
    // Microsoft's drivers take the port after a comma in SERVER; FreeTDS and the others want PORT.
    const bool microsoft = driver.contains(u"SQL Server"_s, Qt::CaseInsensitive);
    QString s = u"DRIVER="_s + odbcValue(driver) + u';';
    if (microsoft || port.isEmpty())
        s += u"SERVER="_s + odbcValue(port.isEmpty() ? host : host + u',' + port) + u';';
    else
        s += u"SERVER="_s + odbcValue(host) + u";PORT="_s + port + u';';
    s += u"DATABASE="_s + odbcValue(database) + u";UID="_s + odbcValue(user) + u";PWD="_s + odbcValue(password) + u';';
    // FreeTDS needs a protocol version new enough for current servers.
    if (driver.contains(u"FreeTDS"_s, Qt::CaseInsensitive))
        s += u"TDS_Version=7.4;"_s;
    return s;
}

void Dialect::configure(QSqlDatabase &db, const QString &server, const QString &database, const QString &user,
                        const QString &password, const QString &odbcDriver, const QString &programDir) const
{
    const QString timeout = QString::number(LoginTimeout);
    switch (m_engine) {
    case Engine::SqlServer:
        db.setDatabaseName(odbcConnectionString(odbcDriver, server, database, user, password));
        // Without a login timeout FreeTDS waits for ever on a server that never answers.
        db.setConnectOptions(u"SQL_ATTR_LOGIN_TIMEOUT="_s + timeout);
        break;
    case Engine::PostgreSql: {
        QString host, port;
        splitServer(server, host, port);
        db.setHostName(host);
        if (!port.isEmpty())
            db.setPort(port.toInt());
        db.setDatabaseName(database);
        db.setUserName(user);
        db.setPassword(password);
        db.setConnectOptions(u"connect_timeout="_s + timeout);
        break;
    }
    case Engine::Sqlite: {
        // mode=rw opens an existing file only: a mistyped path must fail, not create an empty database.
        const QString path = QDir(programDir).absoluteFilePath(database);
        db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + u"?mode=rw"_s);
        db.setConnectOptions(u"QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT="_s + QString::number(LoginTimeout * 1000));
        break;
    }
    }
}

void Dialect::afterOpen(QSqlDatabase &db, const Clock &clock) const
{
    if (m_engine != Engine::Sqlite)
        return;
    const QVariant handle = db.driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    sqlite3 *sqlite = *static_cast<sqlite3 *const *>(handle.data());
    sqlite3_create_function(sqlite, "getdate", 0, SQLITE_UTF8, const_cast<Clock *>(&clock), sqliteGetdate, nullptr, nullptr);
    // Write-ahead logging: a workstation reading the file never holds up the gateway's commit,
    // nor the commit the reader, and a commit costs one sync instead of several. FULL keeps
    // every acknowledged event on disk through a power failure. A file that cannot switch
    // (a read-only directory) keeps its journal; the pragma then changes nothing.
    sqlite3_exec(sqlite, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
}

QVariant Dialect::bindable(const QVariant &value) const
{
    if (m_engine != Engine::Sqlite || value.typeId() != QMetaType::QDateTime)
        return value;
    const QDateTime t = value.toDateTime();
    return t.isValid() ? QVariant(t.toString(u"yyyy-MM-dd HH:mm:ss.zzz"_s)) : QVariant(QMetaType::fromType<QString>());
}

QString Dialect::serverNow() const
{
    switch (m_engine) {
    case Engine::SqlServer:
    case Engine::Sqlite: // getdate() is registered on every SQLite connection
        return u"getdate()"_s;
    case Engine::PostgreSql:
        return u"LOCALTIMESTAMP"_s;
    }
    return {};
}

QString Dialect::ascendingNullsFirst(const QString &column) const
{
    return m_engine == Engine::PostgreSql ? column + u" NULLS FIRST"_s : column;
}

QString Dialect::procedureCall() const
{
    switch (m_engine) {
    case Engine::SqlServer:
        return u"EXEC PROC_ROUTESTATUS_CONTROLE ?"_s;
    case Engine::PostgreSql:
        // A function there: CALL cannot be prepared.
        return u"SELECT PROC_ROUTESTATUS_CONTROLE(?)"_s;
    case Engine::Sqlite:
        return {}; // no stored procedures; the call is a no-op
    }
    return {};
}

bool Dialect::connectionLost(QSqlDatabase &db, const QSqlError &error, const QVariant &statement) const
{
    switch (m_engine) {
    case Engine::PostgreSql: {
        // A prepared statement can fail on a dead connection that QPSQL still calls open; the
        // SQLSTATE tells: class 08 is the connection, 57P01 to 57P03 a server shutting down.
        const QString state = error.nativeErrorCode();
        return !db.isOpen() || state.startsWith(u"08"_s) || state.startsWith(u"57P0"_s)
            || error.text().contains(u"server closed the connection"_s);
    }
    case Engine::SqlServer: {
        // QODBC keeps the connection open; the driver manager knows it is dead.
        if (!db.isOpen())
            return true;
        // A communication failure is SQLSTATE class 08 on the statement.
        if (statement.isValid() && qstrcmp(statement.typeName(), "void*") == 0) {
            SQLHANDLE hstmt = *static_cast<SQLHANDLE const *>(statement.data());
            SQLCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLSMALLINT length = 0;
            if (hstmt && SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, hstmt, 1, state, &native, nullptr, 0, &length))
                && state[0] == '0' && state[1] == '8')
                return true;
        }
        const QVariant handle = db.driver()->handle();
        if (qstrcmp(handle.typeName(), "void*") != 0)
            return false;
        SQLHANDLE hdbc = *static_cast<SQLHANDLE const *>(handle.data());
        SQLUINTEGER dead = SQL_CD_FALSE;
        const SQLRETURN r = SQLGetConnectAttr(hdbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
        return SQL_SUCCEEDED(r) && dead == SQL_CD_TRUE;
    }
    case Engine::Sqlite:
        return !db.isOpen();
    }
    return false;
}

QString Dialect::transaction(TransactionStatement statement) const
{
    // Explicit statements on SQL Server too: with ODBC's manual-commit mode the server would
    // have no open transaction for the first SAVE TRANSACTION.
    const bool tsql = m_engine == Engine::SqlServer;
    switch (statement) {
    case Begin:
        return tsql ? u"BEGIN TRANSACTION"_s : u"BEGIN"_s;
    case Commit:
        return tsql ? u"COMMIT TRANSACTION"_s : u"COMMIT"_s;
    case Rollback:
        return tsql ? u"ROLLBACK TRANSACTION"_s : u"ROLLBACK"_s;
    }
    return {};
}

QString Dialect::savepoint(SavepointStatement statement, int n) const
{
    const QString name = u"korvan_stap"_s + QString::number(n);
    if (m_engine == Engine::SqlServer)
        return (statement == Set ? u"SAVE TRANSACTION "_s : u"ROLLBACK TRANSACTION "_s) + name;
    return (statement == Set ? u"SAVEPOINT "_s : u"ROLLBACK TO SAVEPOINT "_s) + name;
}

QString Dialect::firstRowOnly(const QString &select) const
{
    if (m_engine == Engine::SqlServer)
        return select.left(7) + QStringLiteral("TOP 1 ") + select.mid(7);
    return select + QStringLiteral(" LIMIT 1");
}
