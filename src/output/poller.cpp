#include "poller.h"

#include "db/databaseerror.h"
#include "db/statements.h"
#include "link/linkstate.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "output.h"
#include "util/clock.h"

#include <QSqlRecord>

using namespace Qt::Literals::StringLiterals;

void OutgoingPoller::tick()
{
    if (p.link.driverLamp())
        p.statements.database().unit([this] { take(); });
}

void OutgoingPoller::take()
{
    const auto row = p.statements.ADOUitgaand();
    if (!row)
        return;
    const int message = row->value(u"bbo_id"_s).toInt();
    const int action = row->value(u"bbo_actie"_s).toInt();
    const int ride = row->value(u"bbo_pla_id"_s).toInt();
    const QString imei = row->value(u"wag_imei"_s).toString();
    const MessageRow origin { message, row->isNull(u"bbo_datum"_s) ? QVariant() : row->value(u"bbo_datum"_s) };

    switch (action) {
    case 1:
    case 2: {
        const auto found = p.statements.ADORITUIT(ride);
        if (!found) {
            skip(message, u"rit %1 bestaat niet"_s.arg(ride));
            return;
        }
        const QString number = QString::number(found->value(u"pla_id"_s).toInt());
        if (action == 1) {
            if (p.output.Tim_enkel(number, imei, origin)) {
                markProcessed(message);
                p.log.Logger(u"M-> Verzenden ritnummer "_s + number);
            } else {
                p.log.Logger(u"M-> Fout bij verzenden van ritnummer "_s + number);
            }
        } else {
            p.output.OngedaanVerzendenRit(number.toInt(), imei, origin);
            p.log.Logger(u"M-> Ongedaan maken ritnummer "_s + number);
            p.status.SendUDPKorvanDB(u"Ongedaan maken toewijzing verzonden rit "_s + number);
            markProcessed(message);
        }
        return;
    }
    case 99:
        chat(origin, row->value(u"bbo_wag_id"_s).toInt(), imei, row->value(u"bbo_pakket"_s).toString());
        return;
    default:
        skip(message, u"onbekende actie %1"_s.arg(action));
    }
}

void OutgoingPoller::chat(const MessageRow &origin, int vehicle, const QString &imei, const QString &text)
{
    const int message = origin.id;
    if (!p.statements.ADOZOEKWAGEN(vehicle)) {
        p.log.Logger(u"M-> Chatbericht verzenden is mislukt wagen %1 - wagen niet bekend"_s.arg(vehicle));
        p.status.SendUDPKorvanDB(u"Chatbericht verzenden is mislukt"_s);
        markProcessed(message);
        p.log.Logger(u"M-> Chatbericht verzenden is mislukt - wagen niet actief"_s);
        p.status.SendUDPKorvanDB(u"Chatbericht verzenden mislukt - wagen niet actief"_s);
        return;
    }
    bool marked = false;
    try {
        const bool sent = p.output.VerzendenChat(QString(text).replace(u',', u' '), imei, origin);
        // Its own step: the chat is queued even when the marking fails.
        p.statements.step([&] { markProcessed(message); });
        marked = true;
        p.log.Logger(sent ? u"M-> Chatbericht verzenden werd verzonden"_s : u"M-> Chatbericht verzenden werd niet verzonden"_s);
        p.status.SendUDPKorvanDB(sent ? u"Chatbericht werd verzonden"_s : u"Chatbericht werd niet verzonden"_s);
    } catch (const std::exception &e) {
        p.log.Logger(u"M-> Chatbericht verzenden is mislukt"_s);
        // Nothing more can be stored; the row is taken again when the database is back.
        rethrowIfConnectionLost(e);
        p.status.SendUDPKorvanDB(u"Chatbericht verzenden mislukt"_s);
    }
    // A chat is never retried: in every outcome its row ends processed.
    if (!marked)
        markProcessed(message);
}

void OutgoingPoller::skip(int message, const QString &why)
{
    const QString text = u"Bericht %1 overgeslagen: "_s.arg(message) + why;
    p.log.Logger(u"M-> "_s + text);
    p.status.SendUDPKorvanDB(text);
    markProcessed(message);
}

void OutgoingPoller::putBack(const QList<MessageRow> &rows)
{
    if (rows.isEmpty())
        return;
    try {
        p.statements.database().unit([&] {
            for (const MessageRow &row : rows)
                p.statements.updateBerichtenbox(row.id, { { QLatin1StringView("bbo_verwerkt"), 0 },
                                                          { QLatin1StringView("bbo_datum"), row.datum } });
        });
    } catch (const std::exception &e) {
        for (const MessageRow &row : rows)
            p.log.Logger(u"M-> Bericht %1 is niet verzonden en kon niet worden teruggezet: "_s.arg(row.id) + errorText(e));
        return;
    }
    for (const MessageRow &row : rows)
        p.log.Logger(u"M-> Bericht %1 is niet verzonden en wacht weer op verzending"_s.arg(row.id));
}

void OutgoingPoller::markProcessed(int message)
{
    p.statements.updateBerichtenbox(message, { { QLatin1StringView("bbo_verwerkt"), 1 },
                                               { QLatin1StringView("bbo_datum"), p.clock.now() } });
}
