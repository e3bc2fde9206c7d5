#include "statements.h"

#include "database.h"
#include "databaseerror.h"

#include <QHash>
#include <QSqlQuery>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

QString decimalText(double value)
{
    // Scaled to ten-thousandths and rounded to nearest, ties to even.
    const double scaled = std::nearbyint(value * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e17)
        throw KorvanError(u"Ongeldig bedrag: "_s + QString::number(value));
    const qint64 units = qint64(scaled);
    const qint64 whole = units / 10000;
    const qint64 fraction = units % 10000;
    const QString sign = units < 0 ? u"-"_s : QString();
    return sign + QString::number(std::llabs(whole)) + u'.' + QString::number(std::llabs(fraction)).rightJustified(4, u'0');
}

int columnWidth(QLatin1StringView table, QLatin1StringView column)
{
    // Widths of the text columns as the dispatch database defines them; SQL Server cuts a
    // longer value, and the other engines must store the same.
    static const QHash<QString, int> widths = [] {
        QHash<QString, int> w;
        auto add = [&w](const char *table, std::initializer_list<std::pair<const char *, int>> columns) {
            for (const auto &[name, width] : columns)
                w.insert(QString::fromLatin1(table).toLower() + u'.' + QString::fromLatin1(name).toLower(), width);
        };
        add("planning", { { "pla_status", 1 }, { "pla_eigenaar", 3 }, { "pla_naam_reiziger", 50 }, { "pla_pasnummer", 40 },
                          { "pla_ophstraat", 50 }, { "pla_ophstad", 50 }, { "pla_ophnummer", 10 }, { "pla_ophpostcode", 10 },
                          { "pla_ophnummertoe", 6 }, { "pla_oph_land", 2 }, { "pla_oph_syn", 50 }, { "pla_bes_syn", 50 },
                          { "pla_besstraat", 50 }, { "pla_beststad", 50 }, { "pla_bestnummer", 10 },
                          { "pla_bestpostcode", 10 }, { "pla_bestnummertoe", 6 }, { "pla_opmerking", 50 },
                          { "pla_soortvervoer", 1 }, { "pla_filter", 1 }, { "pla_soortwagen", 1 }, { "pla_soortrit", 1 } });
        add("ritstaten", { { "lsn_actie", 1 }, { "lsn_omschrijving", 20 } });
        add("wagens", { { "wag_imei", 100 }, { "wag_kenteken", 10 }, { "wag_type", 1 } });
        add("chauffeurs", { { "chf_pasnummer", 40 }, { "chf_naam", 40 }, { "chf_voornaam", 40 }, { "chf_tussenvoegsel", 10 } });
        add("constanten", { { "con_land", 3 } });
        add("berichtenbox", { { "bbo_code", 20 } });
        add("statusmeldingen", { { "mel_opmerking", 100 } });
        add("gps", { { "GPS_IP", 20 }, { "GPS_Imei", 100 }, { "GPS_Statuscode", 20 } });
        add("transacties", { { "tra_opmerking", 100 } });
        return w;
    }();
    return widths.value(QString(table).toLower() + u'.' + QString(column).toLower());
}

namespace {

// Parameters are as wide as their columns or as the data set declares them. An empty text is
// stored as an empty text: the drivers would bind a null QString as NULL.
QVariant cut(const QVariant &value, int width)
{
    if (value.typeId() != QMetaType::QString)
        return value;
    const QString text = value.toString();
    if (text.isNull())
        return QStringLiteral("");
    if (width > 0 && text.size() > width)
        return text.left(width);
    return value;
}

QVariant text(const QString &value, int width)
{
    return cut(value, width);
}

} // namespace

std::optional<QSqlRecord> Statements::first(const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = m_db.exec(sql, values);
    std::optional<QSqlRecord> row;
    if (query.next())
        row = query.record();
    // Releases the result at once; SQLite keeps a read lock while a statement is unfinished.
    query.finish();
    return row;
}

std::optional<QSqlRecord> Statements::ADOWagens(const QString &imei)
{
    return first(u"select * from wagens where wag_imei=?"_s, { text(imei, 100) });
}

std::optional<QSqlRecord> Statements::ADOPlanning(const QVariant &ride)
{
    return first(u"select * from planning"
                 " left join reizigers on rei_id=pla_reiziger"
                 " left join VervoersVormenPerDebiteur on vpd_vor_id=pla_soortvervoer and vpd_rei_id=pla_reiziger"
                 " where pla_id=?"_s,
                 { ride });
}

std::optional<QSqlRecord> Statements::ADORITBIJWERKEN(int ride)
{
    return first(u"select * from planning where pla_id=?"_s, { ride });
}

std::optional<QSqlRecord> Statements::ADOWAGEN(const QString &imei)
{
    return first(u"select * from (wagens INNER JOIN BEDRIJVEN ON bdr_id =wag_bdr_id) where wag_imei =?"_s, { text(imei, 20) });
}

std::optional<QSqlRecord> Statements::ADOChauffeurs(const QString &passNumber, int company)
{
    return first(u"select * from chauffeurs where chf_pasnummer=? and chf_bdr_id=?"_s, { text(passNumber, 40), company });
}

std::optional<QSqlRecord> Statements::ADOConstanten(int company)
{
    return first(u"select * from constanten where con_bdr_id=?"_s, { company });
}

std::optional<QSqlRecord> Statements::ADOLSNDIENST(int vehicle, int driver)
{
    return first(u"select * from ritstaten where lsn_wag_id=? AND lsn_chf_id=? AND lsn_status=0"_s, { vehicle, driver });
}

std::optional<QSqlRecord> Statements::ADODIENSTEINDE(int vehicle)
{
    return first(u"select * from ritstaten where lsn_wag_id=? AND lsn_status=0"_s, { vehicle });
}

std::optional<QSqlRecord> Statements::ADOUitgaand()
{
    // Only the oldest waiting row is ever used; see the index on these columns in db/schema. A
    // row without a time counts as the oldest on every engine.
    const Dialect &dialect = m_db.dialect();
    return first(dialect.firstRowOnly(u"select * from (berichtenbox INNER JOIN wagens ON wag_id=bbo_wag_id)"
                                      " where bbo_soort=12 AND bbo_verwerkt=0 ORDER by "_s
                                      + dialect.ascendingNullsFirst(u"bbo_datum"_s)));
}

std::optional<QSqlRecord> Statements::ADORITUIT(int ride)
{
    return first(u"select * from planning where pla_id=?"_s, { ride });
}

std::optional<QSqlRecord> Statements::ADOZOEKACTIEVERIT(int vehicle)
{
    return first(u"select * from ritstaten where lsn_wag_id=? AND lsn_status=0 AND lsn_actie = 'T'"_s, { vehicle });
}

std::optional<QSqlRecord> Statements::ADOIMEI(int vehicle)
{
    return first(u"select * from wagens where wag_id=?"_s, { vehicle });
}

std::optional<QSqlRecord> Statements::ADOZOEKWAGEN(int vehicle)
{
    return first(u"select * from wagens where wag_id=?"_s, { vehicle });
}

QList<QSqlRecord> Statements::ADOGPSPOL()
{
    QSqlQuery &query = m_db.exec(u"SELECT wag_ludor,wag_imei,wag_dat_id FROM Ritstaten"
                                 " JOIN Wagens on lsn_wag_id = wag_id"
                                 " WHERE lsn_status = 0 And wag_dat_id = 12 And wag_gps = 1"
                                 " Order by wag_ludor"_s,
                                 {});
    QList<QSqlRecord> rows;
    while (query.next())
        rows.append(query.record());
    query.finish();
    return rows;
}

std::optional<QSqlRecord> Statements::ADOZones(int zone)
{
    return first(u"SELECT COUNT(*) as Aantal FROM Ritstaten WHERE lsn_status = 0 AND lsn_taxizone =?"_s, { zone });
}

std::optional<QSqlRecord> Statements::ADOLSN(int vehicle)
{
    return first(u"select * from ritstaten where lsn_wag_id=?"
                 " AND ((lsn_actie = 'B') OR (lsn_actie= 'L')) AND lsn_status=0"_s,
                 { vehicle });
}

std::optional<QSqlRecord> Statements::ADORITNUMMER(int vehicle)
{
    return first(u"select MAX(PLA_ID) as waarde from planning where pla_status = 'K' and pla_wagen=?"_s, { vehicle });
}

std::optional<QSqlRecord> Statements::ADOZoekWagenEnLSN(const QString &imei)
{
    return first(u"select lsn_rit from (Wagens inner join ritstaten on lsn_wag_id=wag_id AND lsn_status=0)"
                 " where wag_imei=?"_s,
                 { text(imei, 100) });
}

void Statements::insert(QLatin1StringView table, const ColumnValues &values)
{
    QString columns, marks;
    QVariantList bound;
    for (const ColumnValue &v : values) {
        columns += (columns.isEmpty() ? QString() : u", "_s) + v.column;
        marks += marks.isEmpty() ? u"?"_s : u", ?"_s;
        bound.append(cut(v.value, columnWidth(table, v.column)));
    }
    m_db.exec(u"INSERT INTO "_s + table + u" ("_s + columns + u") VALUES ("_s + marks + u')', bound);
}

void Statements::update(QLatin1StringView table, QLatin1StringView key, int id, const ColumnValues &values)
{
    QString assignments;
    QVariantList bound;
    for (const ColumnValue &v : values) {
        assignments += (assignments.isEmpty() ? QString() : u", "_s) + v.column + u" = ?"_s;
        bound.append(cut(v.value, columnWidth(table, v.column)));
    }
    bound.append(id);
    m_db.exec(u"UPDATE "_s + table + u" SET "_s + assignments + u" WHERE "_s + key + u" = ?"_s, bound);
}

void Statements::updatePlanning(int ride, const ColumnValues &values)
{
    update(QLatin1StringView("planning"), QLatin1StringView("pla_id"), ride, values);
}

void Statements::updateRitstaat(int ritstaat, const ColumnValues &values)
{
    update(QLatin1StringView("ritstaten"), QLatin1StringView("lsn_id"), ritstaat, values);
}

void Statements::updateBerichtenbox(int message, const ColumnValues &values)
{
    update(QLatin1StringView("berichtenbox"), QLatin1StringView("bbo_id"), message, values);
}

void Statements::insertTransactie(int user, int ritstaat, int ride, int vehicle, int driver, int code, const QString &remark)
{
    m_db.exec(u"INSERT INTO TRANSACTIES (tra_gebruiker, tra_ritstaat, tra_rit, tra_wagen, tra_chauffeur, tra_code,"
              " tra_opmerking) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
              { user, ritstaat, ride, vehicle, driver, code, text(remark, columnWidth(QLatin1StringView("TRANSACTIES"), QLatin1StringView("tra_opmerking"))) });
}

void Statements::setRitstaatActie(int ritstaat, QChar letter)
{
    // The two letters are fixed texts of their own statements, as the workstations expect them.
    if (letter == u'B')
        m_db.exec(u"UPDATE RITSTATEN SET lsn_actie='B' where lsn_id=?"_s, { ritstaat });
    else if (letter == u'K')
        m_db.exec(u"UPDATE RITSTATEN SET lsn_actie='K' where lsn_id=?"_s, { ritstaat });
    else
        throw KorvanError(u"Ongeldige ritstaatletter "_s + letter);
}

void Statements::setRitstaatUnloaded(int ritstaat)
{
    m_db.exec(u"UPDATE RITSTATEN SET lsn_actie='L' where lsn_route=0 AND lsn_id=?"_s, { ritstaat });
}

void Statements::updateTaxizone(int zone, int vehicle)
{
    m_db.ensureOpen();
    m_db.exec(u"update ritstaten set lsn_taxizone = ?, lsn_taxizone_tijd = "_s + m_db.dialect().serverNow()
                  + u" where lsn_status=0 and lsn_wag_id=?"_s,
              { zone, vehicle });
}

void Statements::routestatusControle(int vehicle)
{
    m_db.ensureOpen();
    const QString call = m_db.dialect().procedureCall();
    if (!call.isEmpty())
        m_db.exec(call, { vehicle }).finish();
}
