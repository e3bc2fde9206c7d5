#pragma once

#include "dialect.h"

#include <QObject>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>

class Clock;
class QSqlError;
struct Settings;

// The one connection to the dispatch database. Closed at start, opened on demand by the
// statements, by the queue tick and by the connection test. The settings are read at every
// opening (`ADOBeforeConnect`), so a change takes effect at the next one.
class Database : public QObject
{
    Q_OBJECT
public:
    Database(const Settings &settings, const QString &programDir, const Clock &clock, QObject *parent = nullptr);
    ~Database() override;

    // Throws DatabaseError when the connection cannot be opened.
    void open();
    // Whether the next attempt to open is due: after a failed one the queue tick waits 1, 2, 4
    // and 8 seconds, then 10 seconds between attempts, so that an unreachable server does not
    // block the window for its login timeout at every tick.
    bool openDue() const;
    void ensureOpen()
    {
        if (!isOpen())
            open();
    }
    void close();
    bool isOpen() const { return m_open && m_db.isOpen(); }

    const Dialect &dialect() const { return m_dialect; }
    QSqlDatabase &connection() { return m_db; }

    // A statement prepared once per opening and reused; opens the connection when needed.
    // Throws DatabaseError when the statement cannot be prepared.
    QSqlQuery &prepared(const QString &sql);
    // Runs a prepared statement with its values bound in order; throws DatabaseError.
    QSqlQuery &exec(const QString &sql, const QVariantList &values);

    // Throws the error of a failed statement: the driver's text, and whether the connection
    // is gone. A lost connection is closed at once, so that the next use opens it again and
    // the queue tick sees it down even where a handler keeps the error to itself.
    [[noreturn]] void fail(const QSqlError &error, const QVariant &statement = {});

signals:
    void openChanged(bool open);

private:
    void openConnection();

    const Settings &m_settings;
    QString m_programDir;
    const Clock &m_clock;
    QString m_name;
    QSqlDatabase m_db;
    Dialect m_dialect;
    bool m_open = false;
    QHash<QString, QSqlQuery> m_prepared;
    int m_failedOpens = 0;
    qint64 m_nextOpen = 0;
};

// The connection test (`Button3Click`): opens the connection, runs `opened` (the window's
// message box), and closes it again. On failure logs "M-> " + the error and hands it to the
// application-wide handler; returns false.
class Log;
class ErrorHandler;
bool testConnection(Database &database, Log &log, ErrorHandler &errors, const std::function<void()> &opened = {});
