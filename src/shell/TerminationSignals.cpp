#include "TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace vigix {

namespace {

int signalPipe[2] = {-1, -1};
struct sigaction previousTerm
{
}, previousHup{};

void onTerminationSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1); // async-signal-safe
    errno = savedErrno;
}

} // namespace

TTerminationSignals::TTerminationSignals(std::function<void()> onSignal, QObject *parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        qWarning("VIGIX: SIGTERM and SIGHUP cannot be handled: %s", std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[1], &byte, 1);
        if (m_onSignal)
            m_onSignal();
        else
            QCoreApplication::quit();
    });

    struct sigaction action
    {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGHUP, &action, &previousHup);
}

TTerminationSignals::~TTerminationSignals()
{
    if (m_notifier) {
        ::sigaction(SIGTERM, &previousTerm, nullptr);
        ::sigaction(SIGHUP, &previousHup, nullptr);
    }
    delete m_notifier;
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

} // namespace vigix
