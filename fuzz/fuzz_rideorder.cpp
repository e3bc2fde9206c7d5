// Arbitrary ride records through the ride orders: no crash, every message starts with its head
// and ends with "]", it has exactly its fields, no field holds a separator, and the display
// text stays within 240 characters.
#include "check.h"
#include "config/settings.h"
#include "output/rideorder.h"
#include "util/ansicodec.h"

#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

// The input as texts separated by NUL bytes: flags, then the ride's columns in a fixed order.
struct Reader
{
    QStringList parts;
    qsizetype next = 0;
    QString text() { return next < parts.size() ? parts[next++] : QString(); }
    int number() { return text().toInt(); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString all = AnsiCodec::instance().decode(QByteArrayView(data, qsizetype(size)));
    Reader in { all.split(QChar(0)) };
    const int flags = in.number();
    Settings s;
    s.GRO = flags & 1;
    s.MemoTekst = flags & 2;

    RideRecord r;
    r.id = in.number();
    for (QString *t : { &r.naamReiziger, &r.soortVervoer, &r.eigenaar, &r.ophStraat, &r.ophNummer, &r.ophNummerToe,
                        &r.ophStad, &r.ophPostcode, &r.ophSyn, &r.besStraat, &r.besNummer, &r.besNummerToe, &r.besStad,
                        &r.besPostcode, &r.besSyn, &r.opmerking, &r.tekst, &r.pasnummer, &r.vpdPasnummer, &r.filter })
        *t = in.text();
    r.soortVervoer.truncate(1); // a one-character column; the display's 240 rely on it
    for (int *n : { &r.rc, &r.lopers, &r.rollers, &r.begeleiding, &r.rolstoel, &r.voorin, &r.zoneVan, &r.zoneNaar })
        *n = in.number();
    r.bedrag = in.text().toDouble();
    r.bedrag3 = in.text().toDouble();
    r.tijdstip = QTime(in.number() & 15, in.number() & 31);
    const QString vehicle = in.text();

    const QString tim = timOrderText(r, vehicle, s);
    FUZZ_CHECK(tim.startsWith(s.GRO ? QStringLiteral("[RS2_GRO,") : QStringLiteral("[RS2_GR2,")));
    FUZZ_CHECK(tim.endsWith(QString(ETB) + u']'));
    FUZZ_CHECK(tim.count(RS) == 1 && tim.count(ETB) == 1 && tim.count(US) == 14);
    const QStringList timFields = tim.mid(tim.indexOf(RS) + 1).split(US);
    FUZZ_CHECK(timFields.size() == 15 && timFields[8].size() <= 240);

    const QString gro = groOrderText(r, QString::number(r.id), vehicle, s, u':');
    FUZZ_CHECK(gro.startsWith(QStringLiteral("[RS2_GRO,")));
    FUZZ_CHECK(gro.endsWith(QString(ETB) + u']'));
    FUZZ_CHECK(gro.count(RS) == 1 && gro.count(ETB) == 1 && gro.count(US) == 25);
    return 0;
}
