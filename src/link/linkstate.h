#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

// The link's shared state: the host connection the outgoing queue serves, the listed host
// addresses and the three lamps. The window shows it; the listener, the dispatcher and the
// queue change it.
class LinkState : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    const QString &hostAddress() const { return m_hostAddress; }
    void setHostAddress(const QString &address);

    // `RamConnections`: each address once, in the order first added.
    const QStringList &connections() const { return m_connections; }
    // A connection opened: its address is listed when it is not yet, and the driver lamp goes on.
    void addConnection(const QString &address);
    // A connection closed. Its address leaves the list, and the driver lamp goes off, only when
    // it was the address's last open connection: a host that reconnects before its old
    // connection's close is noticed stays listed and reachable.
    void removeConnection(const QString &address);

    bool driverLamp() const { return m_driverLamp; }

    // The lamps of the queue tick: the database connection and the listener.
    bool databaseLamp() const { return m_databaseLamp; }
    bool serverLamp() const { return m_serverLamp; }
    void setLamps(bool database, bool server);

signals:
    void hostAddressChanged(const QString &address);
    void connectionsChanged(const QStringList &connections);
    void driverLampChanged(bool on);
    void lampsChanged(bool database, bool server);

private:
    void setDriverLamp(bool on);

    QString m_hostAddress;
    QStringList m_connections;
    QHash<QString, int> m_open; // open connections per listed address
    bool m_driverLamp = false;
    bool m_databaseLamp = false;
    bool m_serverLamp = false;
};
