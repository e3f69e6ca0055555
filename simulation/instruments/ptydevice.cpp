#include "ptydevice.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <termios.h>
#include <unistd.h>

namespace {

int64_t monotonicNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Sleeps until an absolute monotonic time, so that the pauses of a paced
// transfer do not add up their wake-up delays.
void sleepUntilNs(int64_t deadline)
{
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / 1000000000);
    ts.tv_nsec = static_cast<long>(deadline % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Characters are written in bursts of about this length: short enough that a
// reader sees a steady stream, long enough to keep the system calls few.
constexpr int64_t burstNs = 500000;

} // namespace

std::chrono::nanoseconds PtyDevice::Line::characterTime() const
{
    return std::chrono::nanoseconds(baud > 0 ? int64_t(bitsPerCharacter()) * 1000000000 / baud : 0);
}

std::chrono::nanoseconds PtyDevice::Line::wireTime(size_t characters) const
{
    return std::chrono::nanoseconds(baud > 0 ? int64_t(characters) * bitsPerCharacter() * 1000000000 / baud : 0);
}

PtyDevice::PtyDevice() = default;

PtyDevice::PtyDevice(const Line& line)
    : m_line(line)
{
}

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

PtyDevice::Line PtyDevice::serialLine() const
{
    std::lock_guard<std::mutex> lock(m_lineMutex);
    return m_line;
}

void PtyDevice::setSerialLine(const Line& line)
{
    std::lock_guard<std::mutex> lock(m_lineMutex);
    m_line = line;
}

bool PtyDevice::writeAll(const char* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_master, data + done, size - done);
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
        m_sent.fetch_add(static_cast<size_t>(n));
    }
    return true;
}

bool PtyDevice::send(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(m_writeMutex);
    if (m_master < 0)
        return false;
    const int64_t processingNs = m_processingUs.load() * 1000;
    const bool paced = m_paced.load();
    if (!paced && processingNs <= 0) {
        const bool written = writeAll(bytes.data(), bytes.size());
        m_lastSendDoneNs.store(monotonicNs());
        return written;
    }

    // The reply starts once the command is handled and the line is free.
    int64_t start = std::max(monotonicNs(), m_lastReceivedNs.load() + processingNs);
    if (!paced) {
        sleepUntilNs(start);
        const bool written = writeAll(bytes.data(), bytes.size());
        m_lastSendDoneNs.store(monotonicNs());
        return written;
    }
    start = std::max(start, m_sendFreeNs);
    const int64_t characterNs = serialLine().characterTime().count();
    const size_t burst = size_t(std::max<int64_t>(1, burstNs / std::max<int64_t>(characterNs, 1)));
    // Each burst is written when its last character has fully crossed the
    // line, as a reader at the far end of a real line would get it.
    for (size_t at = 0; at < bytes.size(); at += burst) {
        const size_t n = std::min(burst, bytes.size() - at);
        sleepUntilNs(start + int64_t(at + n) * characterNs);
        if (!writeAll(bytes.data() + at, n))
            return false;
    }
    m_lastSendDoneNs.store(monotonicNs());
    m_sendFreeNs = start + int64_t(bytes.size()) * characterNs;
    return true;
}

void PtyDevice::serve()
{
#ifdef __linux__
    // Paced arrivals are timed by this thread's sleeps; the default slack of
    // 50 us would be added to every one.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    char buffer[4096];
    // When the last character received so far has crossed the line.
    int64_t arrivedNs = 0;
    while (!m_stop.load()) {
        pollfd pfd{m_master, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 20);
        if (ready <= 0 || !(pfd.revents & POLLIN))
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            continue;
        m_chunkReadNs = monotonicNs();
        if (m_paced.load()) {
            // The program wrote the chunk at once; on the line its characters
            // follow each other, after any still under way.
            arrivedNs = std::max(arrivedNs, monotonicNs()) + n * serialLine().characterTime().count();
            sleepUntilNs(arrivedNs);
        }
        m_lastReceivedNs.store(monotonicNs());
        m_received.fetch_add(static_cast<size_t>(n));
        received(std::string(buffer, static_cast<size_t>(n)));
    }
}
