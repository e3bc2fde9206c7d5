#include "shutdownsignal.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int fds[2] = { -1, -1 };

void onSignal(int)
{
    // Only async-signal-safe work here: one byte down the pipe wakes the event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fds[0], &byte, 1);
}
} // namespace

ShutdownSignal::ShutdownSignal(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return;
    auto *notifier = new QSocketNotifier(fds[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(fds[1], &byte, 1);
        notifier->setEnabled(false); // once is enough: the shutdown is under way
        emit requested();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

ShutdownSignal::~ShutdownSignal()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}
#else
ShutdownSignal::ShutdownSignal(QObject *parent) : QObject(parent) {}
ShutdownSignal::~ShutdownSignal() = default;
#endif
