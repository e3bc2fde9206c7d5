#pragma once

#include "database.h"

#include <QLatin1StringView>
#include <QList>
#include <QSqlRecord>
#include <QVariant>

#include <optional>

// A column and the value a statement gives it.
struct ColumnValue
{
    QLatin1StringView column;
    QVariant value;
};
using ColumnValues = QList<ColumnValue>;

// A decimal for a two- or four-decimal column: fixed point with four decimals, rounded half to
// even, as text so that no driver turns it into a binary float on the way.
QString decimalText(double value);

// The width of a text column of the dispatch tables, or 0 when it has none (numbers, memos).
int columnWidth(QLatin1StringView table, QLatin1StringView column);

// Every data set and statement the gateway runs against the dispatch database, each once,
// every value bound as a parameter. Rows are read by column name only. Each call opens the
// connection when it is closed and throws DatabaseError on failure.
class Statements
{
public:
    explicit Statements(Database &database) : m_db(database) {}
    Database &database() const { return m_db; }
    // Database::step(): a step whose failure the unit of work survives.
    template <typename F>
    void step(F &&f) const;

    // Look-ups: the first row, or nothing.
    std::optional<QSqlRecord> ADOWagens(const QString &imei);
    std::optional<QSqlRecord> ADOPlanning(const QVariant &ride);
    std::optional<QSqlRecord> ADORITBIJWERKEN(int ride);
    std::optional<QSqlRecord> ADOWAGEN(const QString &imei);
    std::optional<QSqlRecord> ADOChauffeurs(const QString &passNumber, int company);
    std::optional<QSqlRecord> ADOConstanten(int company);
    std::optional<QSqlRecord> ADOLSNDIENST(int vehicle, int driver);
    std::optional<QSqlRecord> ADODIENSTEINDE(int vehicle);
    std::optional<QSqlRecord> ADOUitgaand();
    std::optional<QSqlRecord> ADORITUIT(int ride);
    std::optional<QSqlRecord> ADOZOEKACTIEVERIT(int vehicle);
    std::optional<QSqlRecord> ADOIMEI(int vehicle);
    std::optional<QSqlRecord> ADOZOEKWAGEN(int vehicle);
    QList<QSqlRecord> ADOGPSPOL();
    std::optional<QSqlRecord> ADOZones(int zone);
    std::optional<QSqlRecord> ADOLSN(int vehicle);
    std::optional<QSqlRecord> ADORITNUMMER(int vehicle);
    std::optional<QSqlRecord> ADOZoekWagenEnLSN(const QString &imei);

    // Insert-only data sets: one row with the columns given; the others keep the defaults.
    void ADOGPS(const ColumnValues &values) { insert(QLatin1StringView("GPS"), values); }
    void ADOBerichtenInkomend(const ColumnValues &values) { insert(QLatin1StringView("berichtenbox"), values); }
    void ADOMeldingen(const ColumnValues &values) { insert(QLatin1StringView("Statusmeldingen"), values); }
    void ADORIT(const ColumnValues &values) { insert(QLatin1StringView("planning"), values); }
    // The new ritstaat of a shift start, appended through `ADOLSNDIENST`.
    void appendRitstaat(const ColumnValues &values) { insert(QLatin1StringView("ritstaten"), values); }

    // Edits of a row found by a look-up, by its key.
    void updatePlanning(int ride, const ColumnValues &values);
    void updateRitstaat(int ritstaat, const ColumnValues &values);
    void updateBerichtenbox(int message, const ColumnValues &values);

    // The statements of `ADOCommand`.
    // `tra_gebruiker` is the setting `Gebruikersnummer`, which must be a whole number.
    void insertTransactie(int user, int ritstaat, int ride, int vehicle, int driver, int code, const QString &remark);
    void setRitstaatActie(int ritstaat, QChar letter); // "B" or "K"
    void setRitstaatUnloaded(int ritstaat);            // "L", only off a route
    void updateTaxizone(int zone, int vehicle);
    void routestatusControle(int vehicle);

private:
    std::optional<QSqlRecord> first(const QString &sql, const QVariantList &values = {});
    void insert(QLatin1StringView table, const ColumnValues &values);
    void update(QLatin1StringView table, QLatin1StringView key, int id, const ColumnValues &values);

    Database &m_db;
};

template <typename F>
void Statements::step(F &&f) const
{
    m_db.step(std::forward<F>(f));
}
