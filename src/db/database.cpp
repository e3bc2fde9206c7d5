#include "database.h"

#include "config/settings.h"
#include "databaseerror.h"
#include "log/log.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlResult>

using namespace Qt::Literals::StringLiterals;

namespace {

DatabaseError lostDuringUnit()
{
    return DatabaseError(u"De verbinding met de database is verbroken tijdens de verwerking; er is niets van opgeslagen"_s, true);
}

DatabaseError abortedUnit()
{
    return DatabaseError(u"Een fout kon niet worden teruggedraaid; de verwerking is afgebroken en er is niets van opgeslagen"_s, false);
}

} // namespace

Database::Database(const Settings &settings, const QString &programDir, const Clock &clock, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_programDir(programDir)
    , m_clock(clock)
    , m_name(u"korvantim-"_s + QString::number(quintptr(this), 16))
{
}

Database::~Database()
{
    close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

bool Database::openDue() const
{
    return m_clock.msecsSinceEpoch() >= m_nextOpen;
}

void Database::open()
{
    try {
        openConnection();
        m_failedOpens = 0;
        m_nextOpen = 0;
    } catch (const DatabaseError &) {
        static constexpr int waitSeconds[] = { 1, 2, 4, 8, 10 };
        const int wait = waitSeconds[std::min<size_t>(size_t(m_failedOpens), std::size(waitSeconds) - 1)];
        ++m_failedOpens;
        m_nextOpen = m_clock.msecsSinceEpoch() + wait * 1000;
        throw;
    }
}

void Database::openConnection()
{
    close();
    Dialect::Engine engine;
    if (!Dialect::engineFromSetting(m_settings.xDatabaseType, engine))
        throw DatabaseError(u"Onbekend databasetype: "_s + m_settings.xDatabaseType, false);
    m_dialect = Dialect(engine);
    // ADOBeforeConnect: the connection is set up anew from the settings at every opening.
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
    m_db = QSqlDatabase::addDatabase(m_dialect.driverName(), m_name);
    if (!m_db.isValid())
        throw DatabaseError(u"Databasestuurprogramma "_s + m_dialect.driverName() + u" is niet beschikbaar"_s, false);
    m_dialect.configure(m_db, m_settings.xLoginServer, m_settings.xLoginDatabase, m_settings.xLoginSQL,
                        m_settings.xPaswoordSQL, m_settings.xOdbcDriver, m_programDir);
    if (!m_db.open()) {
        const QString text = m_db.lastError().text();
        m_db.close();
        throw DatabaseError(text, true);
    }
    m_dialect.afterOpen(m_db, m_clock);
    m_open = true;
    emit openChanged(true);
}

void Database::close()
{
    if (m_unit.depth > 0 && m_db.isOpen())
        m_unit.lost = true;
    m_prepared.clear();
    const bool wasOpen = m_open;
    m_open = false;
    if (m_db.isOpen())
        m_db.close();
    if (wasOpen)
        emit openChanged(false);
}

void Database::fail(const QSqlError &error, const QVariant &statement)
{
    const bool lost = m_dialect.connectionLost(m_db, error, statement);
    if (lost)
        close();
    throw DatabaseError(error.text(), lost);
}

QSqlQuery &Database::prepared(const QString &sql)
{
    ensureOpen();
    auto it = m_prepared.find(sql);
    if (it == m_prepared.end()) {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            fail(query.lastError(), query.result()->handle());
        it = m_prepared.insert(sql, std::move(query));
    }
    return *it;
}

QSqlQuery &Database::exec(const QString &sql, const QVariantList &values)
{
    if (m_unit.depth > 0)
        enterUnit();
    emit aboutToRun(sql);
    checkUnit();
    QSqlQuery &query = prepared(sql);
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), m_dialect.bindable(values[i]));
    // Copies: closing a lost connection clears the prepared statements.
    if (!query.exec())
        fail(QSqlError(query.lastError()), QVariant(query.result()->handle()));
    return query;
}

void Database::plain(const QString &sql)
{
    emit aboutToRun(sql);
    if (!m_db.isOpen())
        throw lostDuringUnit();
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        fail(QSqlError(query.lastError()), QVariant(query.result()->handle()));
}

void Database::beginUnit()
{
    ++m_unit.depth;
}

void Database::checkUnit() const
{
    if (m_unit.lost)
        throw lostDuringUnit();
    if (m_unit.aborted)
        throw abortedUnit();
}

void Database::enterUnit()
{
    checkUnit();
    QStringList pending;
    if (!m_unit.begun) {
        ensureOpen();
        pending << m_dialect.transaction(Dialect::Begin);
    }
    for (qsizetype i = 0; i < m_unit.steps.size(); ++i)
        if (!m_unit.steps[i].savepoint)
            pending << m_dialect.savepoint(Dialect::Set, int(i));
    if (pending.isEmpty())
        return;
    // Marked first: whatever part of them fails, the rollback must still be sent.
    m_unit.begun = true;
    for (Unit::Step &step : m_unit.steps)
        step.savepoint = true;
    // One round trip where the server takes a batch.
    if (m_dialect.takesBatches())
        plain(pending.join(u"; "_s));
    else
        for (const QString &sql : pending)
            plain(sql);
}

void Database::commitUnit()
{
    if (m_unit.depth > 1) {
        --m_unit.depth;
        return;
    }
    const Unit unit = std::exchange(m_unit, Unit());
    if (unit.lost)
        throw lostDuringUnit();
    if (unit.aborted) {
        if (unit.begun && m_db.isOpen())
            QSqlQuery(m_db).exec(m_dialect.transaction(Dialect::Rollback));
        throw abortedUnit();
    }
    if (unit.begun) {
        try {
            plain(m_dialect.transaction(Dialect::Commit));
        } catch (...) {
            if (m_db.isOpen())
                QSqlQuery(m_db).exec(m_dialect.transaction(Dialect::Rollback));
            throw;
        }
    }
    for (const auto &effect : unit.effects) {
        try {
            effect();
        } catch (...) {
            // An effect reports its own failure; the unit is stored whatever it does.
        }
    }
}

void Database::rollbackUnit() noexcept
{
    if (m_unit.depth > 1) {
        // The outer unit cannot commit what is left of it.
        --m_unit.depth;
        m_unit.aborted = true;
        return;
    }
    const Unit unit = std::exchange(m_unit, Unit());
    if (unit.begun && !unit.lost && m_db.isOpen())
        QSqlQuery(m_db).exec(m_dialect.transaction(Dialect::Rollback));
}

void Database::afterCommit(std::function<void()> effect)
{
    if (m_unit.depth == 0) {
        effect();
        return;
    }
    m_unit.effects.push_back(std::move(effect));
}

qsizetype Database::beginStep()
{
    m_unit.steps.append({ false, m_unit.effects.size() });
    return m_unit.steps.size() - 1;
}

void Database::rollbackStep(qsizetype mark) noexcept
{
    const Unit::Step step = m_unit.steps[mark];
    m_unit.steps.resize(mark);
    m_unit.effects.resize(step.effects);
    if (!step.savepoint || m_unit.lost || m_unit.aborted)
        return;
    try {
        plain(m_dialect.savepoint(Dialect::RollBackTo, int(mark)));
    } catch (...) {
        // What the step left behind cannot be undone (or the server ended the transaction on
        // the step's error): nothing more of the unit may run, and none of it be committed.
        m_unit.aborted = true;
    }
}

bool testConnection(Database &database, Log &log, ErrorHandler &errors, const std::function<void()> &opened)
{
    try {
        database.open();
        if (opened)
            opened();
        database.close();
        return true;
    } catch (const std::exception &e) {
        log.Logger(u"M-> "_s + errorText(e));
        errors.report(e);
        return false;
    }
}
