#include "linkstate.h"

void LinkState::setHostAddress(const QString &address)
{
    if (address == m_hostAddress)
        return;
    m_hostAddress = address;
    emit hostAddressChanged(address);
}

void LinkState::addConnection(const QString &address)
{
    if (m_open[address]++ == 0) {
        m_connections.append(address);
        emit connectionsChanged(m_connections);
    }
    setDriverLamp(true);
}

void LinkState::removeConnection(const QString &address)
{
    const auto it = m_open.find(address);
    if (it == m_open.end() || --*it > 0)
        return;
    m_open.erase(it);
    m_connections.removeOne(address);
    emit connectionsChanged(m_connections);
    setDriverLamp(false);
}

void LinkState::setDriverLamp(bool on)
{
    if (on == m_driverLamp)
        return;
    m_driverLamp = on;
    emit driverLampChanged(on);
}

void LinkState::setLamps(bool database, bool server)
{
    if (database == m_databaseLamp && server == m_serverLamp)
        return;
    m_databaseLamp = database;
    m_serverLamp = server;
    emit lampsChanged(database, server);
}
