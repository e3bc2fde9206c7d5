#pragma once

#include <QObject>
#include <QStringList>

// The link's shared state: the host connection the outgoing queue serves, the listed host
// addresses and the driver lamp. The window shows it; the listener, the dispatcher and the
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
    // Adds the address when it is not listed yet and switches the driver lamp on.
    void addConnection(const QString &address);
    // Removes the first occurrence and switches the driver lamp off.
    void removeConnection(const QString &address);

    bool driverLamp() const { return m_driverLamp; }

signals:
    void hostAddressChanged(const QString &address);
    void connectionsChanged(const QStringList &connections);
    void driverLampChanged(bool on);

private:
    void setDriverLamp(bool on);

    QString m_hostAddress;
    QStringList m_connections;
    bool m_driverLamp = false;
};
