#include "polling.h"

#include "config/settings.h"
#include "db/statements.h"
#include "link/hostserver.h"
#include "link/outqueue.h"
#include "log/log.h"
#include "notify/notifiers.h"
#include "notify/statusnotifier.h"
#include "util/clock.h"
#include "util/lenientint.h"
#include "vehiclemessages.h"

#include <QSqlRecord>

using namespace Qt::Literals::StringLiterals;

void Polling::PollenTimer()
{
    if (!p.settings.RGD || !p.server.isListening())
        return;
    Database &database = p.statements.database();
    database.unit([&] {
        for (const QSqlRecord &row : p.statements.ADOGPSPOL()) {
            const QString imei = row.value(u"wag_imei"_s).toString();
            database.afterCommit([this, imei] { p.queue.append(positionRequest(imei)); });
            p.log.Logger(u"GPS pakket aangemaakt voor "_s + imei);
        }
    });
}

void Polling::AortaTimer()
{
    // Without an address nothing is sent; the operator reads so once, not every ten seconds.
    const bool silent = p.settings.NotifyAddress.trimmed().isEmpty();
    if (silent && !m_silenceLogged)
        p.log.Logger(u"M-> Geen netwerkadres voor meldingen ingesteld: de keep-alive (922) wordt niet verzonden"_s);
    m_silenceLogged = silent;
    if (silent)
        return;
    p.udp.SendUDPKorvan(922, p.regional.stationName(), u"TIMFFFFFFF"_s, u"0000"_s, p.clock.now());
}

void Polling::sendPositionTest(const QString &imei)
{
    p.queue.append(positionRequest(imei));
}

void Polling::sendVoiceTest(const QString &vehicle)
{
    if (p.status.SendKorvanDBUpdate(1000, lenientInt(vehicle), 0, 0, QString()))
        p.log.Logger(u"M-> Testoproep spraak werd aangeboden"_s);
    else
        p.log.Logger(u"M-> Testoproep spraak is mislukt"_s);
}
