#include "notifiers.h"

#include "config/settings.h"
#include "datagram.h"
#include "db/databaseerror.h"
#include "db/statements.h"
#include "util/ansicodec.h"
#include "util/errors.h"
#include "util/lenientint.h"

#include <QHostAddress>
#include <QUdpSocket>

using namespace Qt::Literals::StringLiterals;

bool DatabaseNotifier::SendUDPKorvanDB(const QString &text)
{
    return post({ { "mel_status"_L1, 999 }, { "mel_opmerking"_L1, text } });
}

bool DatabaseNotifier::SendKorvanDBUpdate(int status, int vehicle, int ride, int driver, const QString &text)
{
    return post({ { "mel_status"_L1, status },
                  { "mel_wagen"_L1, vehicle },
                  { "mel_ritnummer"_L1, ride },
                  { "mel_chauffeur"_L1, driver },
                  { "mel_opmerking"_L1, text } });
}

bool DatabaseNotifier::post(const ColumnValues &row)
{
    try {
        m_statements.step([&] { m_statements.ADOMeldingen(row); });
        return true;
    } catch (const std::exception &e) {
        // A status row of a unit of work is part of it: losing the connection there loses
        // the unit, which its caller must hear of.
        if (m_statements.database().inUnit() && isConnectionLost(e))
            throw;
        m_errors.report(e);
        return false;
    }
}

UdpNotifier::UdpNotifier(const Settings &settings, ErrorHandler &errors)
    : m_settings(settings)
    , m_errors(errors)
{
}

UdpNotifier::~UdpNotifier() = default;

bool UdpNotifier::SendUDPKorvan(int code, const QString &station, const QString &detail, const QString &payload,
                                const QDateTime &time)
{
    // No address, no notifications: what a site without workstations to tell (or a gateway
    // whose configured address could not be read) wants rather than a broadcast.
    if (m_settings.NotifyAddress.trimmed().isEmpty())
        return true;
    try {
        // A fresh socket per notification; Qt enables broadcasting on every UDP socket.
        m_socket = std::make_unique<QUdpSocket>();
        const AnsiCodec &codec = AnsiCodec::instance();
        const QByteArray datagram = cipherDatagram(codec.encode(datagramText(code, time, station, detail, payload)),
                                                   codec.encode(m_settings.ssl_key));
        const QHostAddress target(m_settings.NotifyAddress.trimmed());
        if (target.isNull())
            throw KorvanError(u"Ongeldig netwerkadres voor meldingen: "_s + m_settings.NotifyAddress);
        const int port = lenientInt(m_settings.NotifyPort);
        if (port <= 0 || port > 65535)
            throw KorvanError(u"Ongeldige netwerkpoort voor meldingen: "_s + m_settings.NotifyPort);
        if (m_socket->writeDatagram(datagram, target, quint16(port)) != datagram.size())
            throw KorvanError(u"Netwerkmelding "_s + QString::number(code) + u" niet verzonden: "_s + m_socket->errorString());
        return true;
    } catch (const std::exception &e) {
        m_errors.report(e);
        return false;
    }
}
