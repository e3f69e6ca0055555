#include "ptypeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>

namespace {

// How long the driver may stay silent before it gets the next reply unasked,
// and how long anything on the line may take at most.
constexpr int kUnaskedAfterMs = 5;
constexpr int kLongestWaitMs = 2000;

} // namespace

PtyPeer::PtyPeer(std::vector<std::string> replies, char commandEnd)
    : m_replies(std::move(replies)), m_commandEnd(commandEnd)
{
    char name[PATH_MAX];
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return;
    termios tio{};
    tcgetattr(m_slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_path = name;
    m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { run(); });
}

PtyPeer::~PtyPeer()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!write(m_stop, &one, sizeof one);
        m_thread.join();
    }
    if (m_master != -1)
        close(m_master);
    if (m_slave != -1)
        close(m_slave);
    if (m_stop != -1)
        close(m_stop);
}

bool PtyPeer::send(const std::string& reply)
{
    size_t done = 0;
    while (done < reply.size()) {
        const ssize_t n = write(m_master, reply.data() + done, reply.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        pollfd out{m_master, POLLOUT, 0};
        if (poll(&out, 1, kLongestWaitMs) <= 0)
            return false;
    }
    return true;
}

void PtyPeer::hangUpWhenRead()
{
    // Closing the master discards what the driver has not read yet: wait,
    // briefly, until the reply has been taken.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    int pending = 0;
    while (ioctl(m_slave, FIONREAD, &pending) == 0 && pending > 0
           && std::chrono::steady_clock::now() < deadline) {
        pollfd stop{m_stop, POLLIN, 0};
        if (poll(&stop, 1, 1) > 0)
            break;
    }
    close(m_master);
    m_master = -1;
}

void PtyPeer::run()
{
    size_t next = 0;
    bool asked = false;
    for (;;) {
        if (next == m_replies.size()) {
            hangUpWhenRead();
            return;
        }
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_stop, POLLIN, 0}};
        const int ready = poll(fds, 2, asked ? kUnaskedAfterMs : kLongestWaitMs);
        if (ready < 0 || fds[1].revents)
            return;
        if (ready == 0) {
            if (!asked)
                return;
            if (!send(m_replies[next++]))
                return;
            continue;
        }
        char buffer[512];
        const ssize_t n = read(m_master, buffer, sizeof buffer);
        if (n <= 0) {
            // Nothing readable although poll said so: the line is gone.
            pollfd stop{m_stop, POLLIN, 0};
            poll(&stop, 1, kLongestWaitMs);
            return;
        }
        asked = true;
        for (ssize_t i = 0; i < n && next < m_replies.size(); ++i) {
            if (m_commandEnd == 0 ? i == n - 1 : buffer[i] == m_commandEnd) {
                if (!send(m_replies[next++]))
                    return;
            }
        }
    }
}
