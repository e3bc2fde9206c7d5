#include "rideorder.h"

#include "config/settings.h"
#include "util/korvanfunctions.h"

#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;
using KorvanFunctions::ZeroPadFloat;
using KorvanFunctions::ZeroPadInt;
using KorvanFunctions::ZeroPadText;

namespace {

QString textOf(const QSqlRecord &r, const char *column)
{
    const QVariant v = r.value(QLatin1StringView(column));
    return v.isNull() ? QString() : v.toString();
}

int intOf(const QSqlRecord &r, const char *column)
{
    return r.value(QLatin1StringView(column)).toInt();
}

double amountOf(const QSqlRecord &r, const char *column)
{
    return r.value(QLatin1StringView(column)).toDouble();
}

// The clock time of a date-time column as it is stored; SQLite hands the text it keeps
// ("2026-12-08 14:30:00.000"). Never through a local date-time: a time in the hour that a
// summer-time change skips (02:30 on the last Sunday of March) is no valid local date-time, yet
// it is the time the dispatcher booked.
QTime timeOf(const QSqlRecord &r, const char *column)
{
    const QVariant v = r.value(QLatin1StringView(column));
    if (v.isNull())
        return QTime(0, 0);
    QTime t;
    if (v.typeId() == QMetaType::QDateTime)
        t = v.toDateTime().time(); // the driver's date-time keeps its clock time, valid or not
    else if (const QString text = v.toString(); text.size() >= 16)
        t = QTime::fromString(text.mid(11, 8).leftJustified(8, u'0'), u"HH:mm:ss"_s);
    return t.isValid() ? t : QTime(0, 0);
}

// Leading and trailing blanks and control characters removed.
QString trimmed(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s[b].unicode() <= 32)
        ++b;
    while (e > b && s[e - 1].unicode() <= 32)
        --e;
    return s.sliced(b, e - b).toString();
}

// Column text as it goes into a field: the message's own separators cannot be part of a
// value, or the host would read the fields apart at the wrong places.
QString plain(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s)
        if (c != RS && c != US && c != ETB)
            out += c;
    return out;
}

QString hexAtLeast(qint64 value, int digits)
{
    return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

QString rideId(int id)
{
    return hexAtLeast(qint64(quint32(id)), 8);
}

// Cents rounded half up, as upper-case hexadecimal of at least four digits. A decimal(18,2)
// column always fits; anything beyond (or not a number) is held to the range, never undefined.
QString centsField(double amount)
{
    const double cents = std::trunc(amount * 100 + 0.5);
    const double limit = 9.0e18;
    return hexAtLeast(std::isnan(cents) ? 0 : qint64(std::clamp(cents, -limit, limit)), 4);
}

QString vehicleDigits(const QString &vehicle)
{
    return (u"0000"_s + vehicle).right(4);
}

// A display line of the 20-column terminal: a shorter one ends with CR.
QString line(const QString &text)
{
    return text.size() < 20 ? text + u'\r' : text;
}

QString kindCode(const RideRecord &r, const Settings &s, QString code, bool timRules)
{
    const QString &k = r.soortVervoer;
    const auto is = [&k](char16_t letter) { return k == QStringView(&letter, 1); };
    if (is(u'P'))
        code = s.vv1;
    if (is(u'P') && r.rc == 1)
        code = s.vv2;
    if (is(u'P') && r.rc == 0 && r.bedrag > 0)
        code = s.PCZM;
    if (is(u'S'))
        code = s.School;
    if (is(u'G'))
        code = s.Groeps;
    if (!timRules)
        return code; // the template order knows only these five
    if (is(u'Z'))
        code = s.vv3;
    if (is(u'C'))
        code = s.vv4;
    if (is(u'T'))
        code = s.vv5;
    if (is(u'L'))
        code = s.vv6;
    if (r.eigenaar == u"004"_s)
        code = s.vv2;
    return code;
}

QString displayText(const RideRecord &r, const QString &hhnn, bool memo)
{
    const QString fare = r.bedrag > 0 ? ZeroPadFloat(6, 2, r.bedrag) : u"000.00"_s;
    const QString pay = r.rc == 1 ? u"R"_s : u"C"_s;
    const QString wheelchair = r.rolstoel == 1 ? u"R"_s : u"L"_s;
    const QString escort = r.lopers >= 2 && r.begeleiding == 1 ? u"J"_s : u"N"_s;
    QString text = line(u"NM "_s + r.naamReiziger.left(13) + u" 1/1"_s)
                 + line(u'P' + QString::number(r.lopers) + u' ' + hhnn + u" E"_s + fare + u" M"_s)
                 + line(u"O: "_s + r.ophStraat.left(17))
                 + line(r.ophStraat.mid(17, 2) + u' ' + r.ophNummer.left(6) + u' ' + r.ophNummerToe.left(2) + u' '
                        + r.ophStad.left(7))
                 + line(u"INF "_s + r.opmerking.left(16))
                 + line(r.opmerking.mid(16, 20))
                 + line(u"B: "_s + r.besStraat.left(17))
                 + line(r.besStraat.mid(17, 2) + u' ' + r.besNummer.left(6) + u' ' + r.besNummerToe.left(2) + u"  "_s
                        + r.besStad.left(7))
                 + line(u"SV: "_s + r.soortVervoer + u" RC: "_s + pay + u" RL: "_s + wheelchair + u" BG: "_s + escort);
    if (!memo)
        return text;

    // Memo lines of 19 characters, as many as keep the whole text within 240 characters.
    const QString m = memoText(r);
    const qsizetype room = std::max<qsizetype>(0, 240 - text.size());
    qsizetype n = std::min(m.size(), room);
    const qsizetype k = (n + 18) / 19;
    if (m.size() + k > room)
        n -= k;
    QString cut = m.left(n);
    cut.replace(u'\r', u' ').replace(u'\n', u' ');
    for (qsizetype i = 0; i < cut.size(); i += 19)
        text += cut.mid(i, 19) + u'\r';
    return text;
}

} // namespace

RideRecord RideRecord::fromRecord(const QSqlRecord &r)
{
    RideRecord ride;
    ride.id = intOf(r, "pla_id");
    ride.naamReiziger = textOf(r, "pla_naam_reiziger");
    ride.soortVervoer = textOf(r, "pla_soortvervoer");
    ride.rc = intOf(r, "pla_rc");
    ride.bedrag = amountOf(r, "pla_bedrag");
    ride.bedrag3 = amountOf(r, "pla_bedrag_3");
    ride.eigenaar = textOf(r, "pla_eigenaar");
    ride.lopers = intOf(r, "pla_lopers");
    ride.rollers = intOf(r, "pla_rollers");
    ride.begeleiding = intOf(r, "pla_begeleiding");
    ride.rolstoel = intOf(r, "pla_rolstoel");
    ride.voorin = intOf(r, "pla_voorin");
    ride.zoneVan = intOf(r, "pla_zone_van");
    ride.zoneNaar = intOf(r, "pla_zone_naar");
    ride.tijdstip = timeOf(r, "pla_tijdstip");
    ride.datumtijd = timeOf(r, "pla_datumtijd");
    ride.ophStraat = textOf(r, "pla_ophstraat");
    ride.ophNummer = textOf(r, "pla_ophnummer");
    ride.ophNummerToe = textOf(r, "pla_ophnummertoe");
    ride.ophStad = textOf(r, "pla_ophstad");
    ride.ophPostcode = textOf(r, "pla_ophpostcode");
    ride.ophSyn = textOf(r, "pla_oph_syn");
    ride.besStraat = textOf(r, "pla_besstraat");
    ride.besNummer = textOf(r, "pla_bestnummer");
    ride.besNummerToe = textOf(r, "pla_bestnummertoe");
    ride.besStad = textOf(r, "pla_beststad");
    ride.besPostcode = textOf(r, "pla_bestpostcode");
    ride.besSyn = textOf(r, "pla_bes_syn");
    ride.opmerking = textOf(r, "pla_opmerking");
    ride.tekst = textOf(r, "pla_tekst");
    ride.pasnummer = textOf(r, "pla_pasnummer");
    ride.vpdPasnummer = textOf(r, "vpd_pasnummer");
    ride.filter = textOf(r, "pla_filter");
    return ride;
}

QString memoText(const RideRecord &r)
{
    QString text = u"PC: "_s + trimmed(r.ophPostcode) + u'/' + trimmed(r.besPostcode) + u"\r\n"_s
                 + QString(r.ophSyn).replace(u',', u' ') + u'/' + QString(r.besSyn).replace(u',', u' ') + u"\r\n"_s
                 + QString(r.tekst).replace(u',', u' ');
    text.replace(u';', u' ').replace(u'"', u' ').replace(u'#', u' ');
    return plain(QString::number(r.id) + u' ' + trimmed(text) + u"\r\n"_s);
}

QString timOrderText(const RideRecord &source, const QString &vehicle, const Settings &s)
{
    RideRecord r = source;
    for (QString *t : { &r.naamReiziger, &r.soortVervoer, &r.ophStraat, &r.ophNummer, &r.ophNummerToe, &r.ophStad,
                        &r.besStraat, &r.besNummer, &r.besNummerToe, &r.besStad, &r.opmerking, &r.vpdPasnummer })
        *t = plain(*t);
    const QString hhnn = r.tijdstip.toString(u"HHmm"_s);
    const QString time = hexAtLeast(hhnn.toInt(), 3);
    const QString fields[] = {
        r.naamReiziger.left(18),
        kindCode(r, s, u"00"_s, true),
        rideId(r.id),
        r.rc == 1 ? u"0000"_s : centsField(r.bedrag3),
        r.vpdPasnummer,
        u"0001"_s,
        time,
        u"$01\r"_s + trimmed(r.ophStraat) + u' ' + trimmed(r.ophNummer) + u' ' + trimmed(r.ophNummerToe),
        displayText(r, hhnn, s.MemoTekst),
        QString(),
        u"0002"_s,
        time,
        u"$01\r"_s + trimmed(r.besStraat) + u' ' + trimmed(r.besNummer) + u' ' + trimmed(r.besNummerToe),
        u"$09"_s,
        QString(),
    };
    QString m = (s.GRO ? u"[RS2_GRO,"_s : u"[RS2_GR2,"_s) + plain(vehicleDigits(vehicle)) + u','
              + ZeroPadText(QString::number(r.id), 4) + RS;
    for (size_t i = 0; i < std::size(fields); ++i)
        m += (i ? QString(US) : QString()) + fields[i];
    return m + ETB + u']';
}

QString groOrderText(const RideRecord &source, const QString &rideNumber, const QString &vehicle, const Settings &s,
                     QChar timeSeparator)
{
    RideRecord r = source;
    for (QString *t : { &r.naamReiziger, &r.soortVervoer, &r.ophStraat, &r.ophNummer, &r.ophStad, &r.besStraat,
                        &r.besNummer, &r.besStad, &r.opmerking, &r.pasnummer, &r.filter })
        *t = plain(*t);
    const bool passKind = QStringList { u"P"_s, u"Z"_s, u"C"_s, u"T"_s, u"L"_s }.contains(r.soortVervoer);
    const QString fields[] = {
        trimmed(r.naamReiziger).left(18),
        kindCode(r, s, s.vv6, false),
        rideId(r.id),
        centsField(r.bedrag),
        QString(),
        QString(),
        passKind ? r.pasnummer : QString(),
        r.datumtijd.toString(u"HH"_s) + timeSeparator + r.datumtijd.toString(u"mm"_s),
        r.ophStraat,
        r.besStraat,
        r.rolstoel == 1 ? u"R"_s : QString(),
        r.rc == 1 ? u"R"_s : QString(),
        r.begeleiding > 0 ? u"B"_s : QString(),
        r.opmerking.left(20),
        r.opmerking.mid(20, 20),
        trimmed(r.ophNummer),
        trimmed(r.besNummer),
        trimmed(r.ophStad),
        trimmed(r.besStad),
        r.soortVervoer,
        r.soortVervoer,
        r.filter,
        QString::number(r.lopers + r.rollers),
        ZeroPadInt(r.zoneVan, 4),
        ZeroPadInt(r.zoneNaar, 4),
        r.voorin == 1 ? u"T"_s : u"F"_s,
    };
    QString m = u"[RS2_GRO,"_s + plain(vehicleDigits(vehicle)) + u',' + plain(ZeroPadText(rideNumber, 10).mid(6, 4));
    for (const char *templateLine : { "O:$0109", "$0116 $0118", "$0101", "$0114", "$0115", "$0122 $0123P SV:$0120 $0108 $0104",
                                      "B:$0110", "$0117 $0119", "$0107" })
        m += QLatin1StringView(templateLine) + u"\r\n"_s;
    if (s.MemoTekst)
        m += memoText(r);
    m += u"R: $0103\r\n"_s + RS;
    for (size_t i = 0; i < std::size(fields); ++i)
        m += (i ? QString(US) : QString()) + fields[i];
    return m + ETB + u']';
}
