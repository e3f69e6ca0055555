#include "signalwatcher.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<int> pipeWriteFd{-1};
std::atomic<SignalWatcher::Hook> handlerHook{nullptr};
std::atomic<bool> signalled{false};

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    signalled.store(true);
    if (const SignalWatcher::Hook hook = handlerHook.load())
        hook();
    const int fd = pipeWriteFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a pending stop; losing this byte is harmless.
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent, Hook hook)
    : QObject(parent)
{
    signalled.store(false);
    handlerHook.store(hook);
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    m_writeFd = fds[1];
    pipeWriteFd.store(m_writeFd);
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);

    for (int signalNumber : {SIGINT, SIGTERM}) {
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        Previous previous{signalNumber, {}};
        if (::sigaction(signalNumber, &action, &previous.action) == 0)
            m_previous.push_back(previous);
    }
}

SignalWatcher::~SignalWatcher()
{
    for (const Previous& previous : m_previous)
        ::sigaction(previous.signalNumber, &previous.action, nullptr);
    pipeWriteFd.store(-1);
    handlerHook.store(nullptr);
    delete m_notifier;
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
}

bool SignalWatcher::hasReceived() const
{
    return signalled.load();
}

void SignalWatcher::readPipe()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t count = ::read(m_readFd, bytes, sizeof bytes);
        if (count <= 0)
            break;
        for (ssize_t i = 0; i < count; ++i)
            emit received(int(bytes[i]));
    }
}
