#pragma once

#include <QObject>

// Turns SIGTERM and SIGINT into a Qt signal on the event loop, so a server's service manager
// can end the gateway through the orderly shutdown. Does nothing where there are no such signals.
class ShutdownSignal : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignal(QObject *parent = nullptr);
    ~ShutdownSignal() override;

signals:
    void requested();
};
