#pragma once

#include "inbound.h"

#include <QObject>

#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class ErrorHandler;
class LinkState;
class Log;
class StatusNotifier;
struct Regional;
struct Settings;

// The listener for the host (`RamServerSocket`): accepts connections on all IPv4 addresses (or
// the one of `ListenAddress`), refuses those that `AllowedHosts` does not name, greets each with
// the banner, keeps them in the order accepted and hands their reads to the dispatcher.
class HostServer : public QObject
{
    Q_OBJECT
public:
    HostServer(Log &log, LinkState &link, const Settings &settings, StatusNotifier &status,
               ErrorHandler &errors, InboundDispatcher &dispatcher, const Regional &regional,
               QObject *parent = nullptr);
    ~HostServer() override;

    // Throws KorvanError when the port cannot be listened on or `ListenAddress` is no address.
    void start(quint16 port);
    // Closes every connection, each with its disconnect steps, then stops listening.
    void stop();
    bool isListening() const;
    quint16 port() const;

    // The open connections, in the order they were accepted.
    int connectionCount() const { return int(m_connections.size()); }
    // Writes text to the connection at `position`. Throws KorvanError when there is no such
    // connection or the write fails.
    void writeTo(int position, const QString &text);
    // The position of the newest open connection from `address`, -1 when there is none: of a
    // host that reconnected, the connection it uses now.
    int positionOf(const QString &address) const;
    // What the connection at `position` has received and not yet cut into messages.
    const QString &receiveBuffer(int position) const;

    // Client connect and Accept for a socket just taken from the listener; a socket that is
    // closed by then goes through the disconnect steps at once.
    void accept(QTcpSocket *socket);

signals:
    void listeningChanged(bool listening);

private:
    class Connection;
    bool allowed(const QString &address) const;
    void disconnected(QTcpSocket *socket);

    Log &m_log;
    LinkState &m_link;
    const Settings &m_settings;
    StatusNotifier &m_status;
    ErrorHandler &m_errors;
    InboundDispatcher &m_dispatcher;
    const Regional &m_regional;
    QTcpServer *m_server;
    std::vector<std::unique_ptr<Connection>> m_connections;
};
