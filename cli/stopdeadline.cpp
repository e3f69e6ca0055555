#include "stopdeadline.h"

#include "exitcode.h"

#include <QDateTime>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The write end of the countdown's pipe; -1 while no deadline exists.
std::atomic<int> startFd{-1};
constexpr char kStart = 's';
constexpr char kDrop = 'd';

} // namespace

StopDeadline::StopDeadline(int deadlineMs)
    : m_deadlineMs(deadlineMs)
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    m_readFd = fds[0];
    startFd.store(fds[1]);
    m_thread = std::thread([this] { run(); });
}

StopDeadline::~StopDeadline()
{
    const int fd = startFd.exchange(-1);
    if (fd < 0)
        return;
    [[maybe_unused]] const ssize_t written = ::write(fd, &kDrop, 1);
    m_thread.join();
    ::close(fd);
    ::close(m_readFd);
}

void StopDeadline::start()
{
    const int fd = startFd.load();
    if (fd >= 0)
        [[maybe_unused]] const ssize_t written = ::write(fd, &kStart, 1);
}

void StopDeadline::run()
{
    using Clock = std::chrono::steady_clock;
    bool started = false;
    Clock::time_point end;
    for (;;) {
        int timeout = -1;
        if (started) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            timeout = int(left > 0 ? left : 0);
        }
        pollfd pfd{m_readFd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0) {
            char c = 0;
            if (::read(m_readFd, &c, 1) != 1 || c == kDrop)
                return;
            if (!started) {
                started = true;
                end = Clock::now() + std::chrono::milliseconds(m_deadlineMs);
            }
            continue;
        }
        if (ready == 0 && started)
            break;
        if (ready < 0)
            return;
    }
    // The log is written a whole line at a time and the system closes the
    // ports; destructors would wait for the blocked call.
    const QByteArray line = QStringLiteral("%1 stopped without waiting for the instrument's call in progress\n")
                                .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs))
                                .toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(ExitDone);
}
