#pragma once

#include <QList>
#include <QObject>

class QTcpServer;
class QTcpSocket;
class ErrorHandler;
class InboundDispatcher;
class LinkState;
class Log;
class StatusNotifier;
struct Regional;
struct Settings;

// The listener for the host (`RamServerSocket`): accepts connections on all IPv4 addresses,
// greets each with the banner, keeps them in the order accepted and hands their reads to the
// dispatcher.
class HostServer : public QObject
{
    Q_OBJECT
public:
    HostServer(Log &log, LinkState &link, const Settings &settings, StatusNotifier &status,
               ErrorHandler &errors, InboundDispatcher &dispatcher, const Regional &regional,
               QObject *parent = nullptr);
    ~HostServer() override;

    // Throws KorvanError when the port cannot be listened on.
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

signals:
    void listeningChanged(bool listening);

private:
    void accept(QTcpSocket *socket);
    void disconnected(QTcpSocket *socket);

    Log &m_log;
    LinkState &m_link;
    const Settings &m_settings;
    StatusNotifier &m_status;
    ErrorHandler &m_errors;
    InboundDispatcher &m_dispatcher;
    const Regional &m_regional;
    // A socket forgets its peer once closed; the address is kept for the disconnect steps.
    struct Connection
    {
        QTcpSocket *socket;
        QString address;
    };
    QTcpServer *m_server;
    QList<Connection> m_connections;
};
