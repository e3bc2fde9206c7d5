#include "hostserver.h"

#include "config/settings.h"
#include "inbound.h"
#include "linkstate.h"
#include "log/log.h"
#include "notify/statusnotifier.h"
#include "util/ansicodec.h"
#include "util/clock.h"
#include "util/errors.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::Literals::StringLiterals;

namespace {

QString dottedAddress(const QTcpSocket *socket)
{
    const QHostAddress a = socket->peerAddress();
    bool isV4 = false;
    const quint32 v4 = a.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : a.toString();
}

void writeText(QTcpSocket *socket, const QString &address, const QString &text)
{
    const QByteArray bytes = AnsiCodec::instance().encode(text);
    if (socket->state() != QAbstractSocket::ConnectedState || socket->write(bytes) != bytes.size())
        throw KorvanError(u"Schrijven naar "_s + address + u" mislukt: "_s + socket->errorString());
}

} // namespace

// A socket forgets its peer once closed; the address is kept for the disconnect steps.
class HostServer::Connection : public HostConnection
{
public:
    Connection(QTcpSocket *s, const QString &a) : socket(s), m_address(a) {}
    QString address() const override { return m_address; }
    void write(const QString &text) override { writeText(socket, m_address, text); }

    QTcpSocket *const socket;

private:
    const QString m_address;
};

HostServer::HostServer(Log &log, LinkState &link, const Settings &settings, StatusNotifier &status,
                       ErrorHandler &errors, InboundDispatcher &dispatcher, const Regional &regional,
                       QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_link(link)
    , m_settings(settings)
    , m_status(status)
    , m_errors(errors)
    , m_dispatcher(dispatcher)
    , m_regional(regional)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            accept(socket);
    });
}

HostServer::~HostServer()
{
    // The sockets are children of the server; only the signal handlers must not run any more.
    for (const auto &c : m_connections)
        c->socket->disconnect(this);
}

void HostServer::start(quint16 port)
{
    if (m_server->isListening())
        return;
    QHostAddress address(QHostAddress::AnyIPv4);
    const QString listenAddress = m_settings.ListenAddress.trimmed();
    if (!listenAddress.isEmpty() && !address.setAddress(listenAddress))
        throw KorvanError(u"Ongeldig luisteradres: "_s + listenAddress);
    if (!m_server->listen(address, port))
        throw KorvanError(u"Ludor Korvan TIM server kan niet luisteren op poort "_s + QString::number(port) + u": "_s
                          + m_server->errorString());
    emit listeningChanged(true);
}

void HostServer::stop()
{
    const bool wasListening = m_server->isListening();
    while (!m_connections.empty())
        disconnected(m_connections.front()->socket);
    m_server->close();
    if (wasListening)
        emit listeningChanged(false);
}

bool HostServer::isListening() const
{
    return m_server->isListening();
}

quint16 HostServer::port() const
{
    return m_server->serverPort();
}

void HostServer::writeTo(int position, const QString &text)
{
    if (position < 0 || size_t(position) >= m_connections.size())
        throw KorvanError(u"Geen open verbinding op positie "_s + QString::number(position));
    m_connections[size_t(position)]->write(text);
}

int HostServer::positionOf(const QString &address) const
{
    for (size_t i = m_connections.size(); i-- > 0;)
        if (m_connections[i]->address() == address)
            return int(i);
    return -1;
}

const QString &HostServer::receiveBuffer(int position) const
{
    return m_connections.at(size_t(position))->receiveBuffer;
}

bool HostServer::allowed(const QString &address) const
{
    const QString list = m_settings.AllowedHosts.trimmed();
    if (list.isEmpty())
        return true;
    const QHostAddress peer(address);
    for (const QString &entry : list.split(u',', Qt::SkipEmptyParts))
        if (QHostAddress(entry.trimmed()).isEqual(peer, QHostAddress::ConvertV4MappedToIPv4))
            return true;
    return false;
}

void HostServer::accept(QTcpSocket *socket)
{
    const QString address = dottedAddress(socket);
    if (!allowed(address)) {
        m_log.Logger(u"M-> Verbinding geweigerd -> "_s + address);
        socket->abort();
        socket->deleteLater();
        return;
    }
    Connection *connection = m_connections.emplace_back(std::make_unique<Connection>(socket, address)).get();

    connect(socket, &QTcpSocket::readyRead, this, [this, socket, connection] {
        m_errors.guard([&] { m_dispatcher.onRead(*connection, AnsiCodec::instance().decode(socket->readAll())); });
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { disconnected(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket, address](QAbstractSocket::SocketError error) {
        // A host closing its side is the ordinary end of a connection, not a fault.
        if (error != QAbstractSocket::RemoteHostClosedError)
            m_errors.report(KorvanError(u"Socket fout "_s + address + u": "_s + socket->errorString()));
    });

    // Client connect
    m_errors.guard([&] { m_link.addConnection(address); });
    m_link.setHostAddress(address);

    // Accept
    m_errors.guard([&] { m_log.checkpoint(Log::List::View, 200, u"TIM"_s); });
    m_log.Logger(u"M-> Verbinding opgebouwd -> "_s + address);
    m_errors.guard([&] { m_status.SendUDPKorvanDB(u"Ludor Korvan TIM / RAMSERV koppeling actief"_s); });
    m_errors.guard([&] { writeText(socket, address, u'[' + m_settings.RamID + u" - "_s + m_regional.machineName + u']'); });

    // A socket that closed before its signals were connected would never say so.
    if (socket->state() != QAbstractSocket::ConnectedState)
        disconnected(socket);
}

void HostServer::disconnected(QTcpSocket *socket)
{
    const auto it = std::find_if(m_connections.begin(), m_connections.end(),
                                 [socket](const auto &c) { return c->socket == socket; });
    if (it == m_connections.end())
        return;
    const QString address = (*it)->address();
    // Leaves the acceptance list first, so that positions always match `RamConnections`; its
    // receive buffer goes with it.
    m_connections.erase(it);
    socket->disconnect(this);

    m_errors.guard([&] { m_log.checkpoint(Log::List::View, 500, u"TIM"_s); });
    m_log.Logger(u"M-> Verbinding verbroken -> "_s + address);
    m_errors.guard([&] { m_status.SendUDPKorvanDB(u"Ludor Korvan TIM/RAMSERV server normaal uitgeschakeld"_s); });
    m_errors.guard([&] { m_link.removeConnection(address); });

    socket->abort();
    socket->deleteLater();
}
