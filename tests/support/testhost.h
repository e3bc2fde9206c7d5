#pragma once

// A host on loopback for link tests: a real client socket that collects what it receives.
#include "log/log.h"

#include <QTcpSocket>
#include <QTest>

#include <utility>

struct TestHost
{
    QTcpSocket socket;
    QByteArray received;

    // `from`: the loopback address the host connects from.
    explicit TestHost(quint16 port, const QString &from = QStringLiteral("127.0.0.1"))
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        socket.bind(QHostAddress(from));
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    }
    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }
    // Everything received since the last take().
    QByteArray take() { return std::exchange(received, {}); }
};

// Sends and waits until the gateway has read it.
inline bool deliver(const Log &log, TestHost &host, const QByteArray &bytes)
{
    const qsizetype reads = log.received().size();
    host.send(bytes);
    return QTest::qWaitFor([&] { return log.received().size() > reads; }, 5000);
}

// A link test ends in a round trip; whatever arrived before its answer was sent before it.
inline bool roundTrip(const Log &log, TestHost &host, QByteArray &before)
{
    if (!deliver(log, host, "[RS2_CONN_TEST]"))
        return false;
    const QByteArray alive = "[RS2_CONN_ALIVE]";
    if (!QTest::qWaitFor([&] { return host.received.endsWith(alive); }, 5000))
        return false;
    before = host.take();
    before.chop(alive.size());
    return true;
}
