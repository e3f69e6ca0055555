#include "ptydevice.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice()
{
    stop();
}

bool PtyDevice::start()
{
    if (m_running.load())
        return true;
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return false;
    // Raw from the start, so that nothing is echoed or translated before the
    // program under test sets its own line settings.
    termios tio{};
    if (tcgetattr(m_slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slave, TCSANOW, &tio);
    }
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    m_path = name;
    m_stop.store(false);
    m_running.store(true);
    m_thread = std::thread([this] { serve(); });
    return true;
}

void PtyDevice::stop()
{
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
    m_running.store(false);
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}

std::string PtyDevice::portName() const
{
    const std::string prefix = "/dev/";
    return m_path.compare(0, prefix.size(), prefix) == 0 ? m_path.substr(prefix.size()) : m_path;
}

bool PtyDevice::send(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_master < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                pollfd pfd{m_master, POLLOUT, 0};
                ::poll(&pfd, 1, 50);
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void PtyDevice::serve()
{
    char buffer[4096];
    while (!m_stop.load()) {
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 20);
        if (ready <= 0 || !(pfd.revents & POLLIN))
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        m_received.fetch_add(static_cast<size_t>(n));
        received(std::string(buffer, static_cast<size_t>(n)));
    }
}
