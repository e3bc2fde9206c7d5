#pragma once

#include "dialect.h"

#include <QObject>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>
#include <vector>

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

    // Units of work. Everything between beginUnit() and commitUnit() is one transaction, begun
    // at the unit's first statement, so a unit that runs none costs nothing. A unit begun inside
    // another joins it. Once the connection goes during a unit, nothing more of it runs (the
    // connection is not opened again into autocommit halfway) and its commit throws. The same
    // holds when a failed step cannot be undone because the server ended the transaction itself.
    void beginUnit();
    // Commits, then runs the effects registered with afterCommit() in their order. Throws
    // DatabaseError when the commit fails; the unit is then rolled back and its effects dropped.
    void commitUnit();
    // Rolls the unit back and drops its effects.
    void rollbackUnit() noexcept;
    bool inUnit() const { return m_unit.depth > 0; }
    // Work outside the database that belongs to the unit (a file, a queued message): runs after
    // the commit, never for a unit rolled back; outside a unit at once. It must not throw.
    void afterCommit(std::function<void()> effect);
    // Runs `work` as one unit of work; an exception rolls it back and goes on.
    template <typename F>
    void unit(F &&work)
    {
        beginUnit();
        try {
            work();
            commitUnit();
        } catch (...) {
            rollbackUnit();
            throw;
        }
    }
    // A step whose failure the unit survives: it runs under a savepoint that is rolled back,
    // with the effects it registered, when it throws; the exception goes on to the caller.
    // The savepoint is set only when the step runs a statement. Outside a unit it just runs.
    template <typename F>
    void step(F &&f)
    {
        if (!inUnit()) {
            f();
            return;
        }
        const qsizetype mark = beginStep();
        try {
            f();
        } catch (...) {
            rollbackStep(mark);
            throw;
        }
        m_unit.steps.resize(mark);
    }

    // Throws the error of a failed statement: the driver's text, and whether the connection
    // is gone. A lost connection is closed at once, so that the next use opens it again and
    // the queue tick sees it down even where a handler keeps the error to itself.
    [[noreturn]] void fail(const QSqlError &error, const QVariant &statement = {});

signals:
    void openChanged(bool open);
    // Before every statement sent to the server, the unit's BEGIN, savepoints and COMMIT
    // among them.
    void aboutToRun(const QString &sql);

private:
    void openConnection();
    // Before a statement: the unit's transaction and the savepoints of its open steps.
    void enterUnit();
    // A statement without parameters or result, not kept prepared.
    void plain(const QString &sql);
    qsizetype beginStep();
    void rollbackStep(qsizetype mark) noexcept;
    // Throws when nothing more of the unit may run.
    void checkUnit() const;

    struct Unit
    {
        int depth = 0;
        bool begun = false;  // its BEGIN was sent
        bool lost = false;    // the connection went
        bool aborted = false; // a part of it could not be undone, or the server ended it
        struct Step
        {
            bool savepoint = false; // set on the server
            size_t effects = 0;     // effects registered before it
        };
        QList<Step> steps;
        std::vector<std::function<void()>> effects;
    };

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
    Unit m_unit;
};

// The connection test (`Button3Click`): opens the connection, runs `opened` (the window's
// message box), and closes it again. On failure logs "M-> " + the error and hands it to the
// application-wide handler; returns false.
class Log;
class ErrorHandler;
bool testConnection(Database &database, Log &log, ErrorHandler &errors, const std::function<void()> &opened = {});
