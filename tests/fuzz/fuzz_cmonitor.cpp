// The monitor link's ring and command parser on whatever the display sends.
// The input arrives on a pseudo-terminal in pieces cut at 0xff bytes, and the
// monitor is polled after each piece as the alignment thread polls it.
#include "cmonitor.h"
#include "fuzzinput.h"
#include "qtquiet.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace {

struct Line {
    int master = -1;
    int slave = -1;
    CMonitor monitor;
};

Line* line = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quietQtLog();
    line = new Line;
    char name[PATH_MAX];
    if (openpty(&line->master, &line->slave, name, nullptr, nullptr) != 0)
        std::abort();
    termios tio{};
    tcgetattr(line->slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(line->slave, TCSANOW, &tio);
    if (!line->monitor.init(QString::fromLocal8Bit(name)))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The terminal buffers a few KiB.
    if (size > 2048)
        return 0;
    CMonitor& monitor = line->monitor;
    monitor.flushBuffer();
    FuzzInput in(data, size);
    while (!in.empty()) {
        const std::string piece = in.piece('\xff');
        if (!piece.empty()) {
            if (write(line->master, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size()))
                std::abort();
            monitor.waitForData(100);
        }
        for (int polls = 0; polls < 64; ++polls) {
            const int command = monitor.readCommand();
            if (command < CMonitor::NoCommand || command > CMonitor::SendValue)
                std::abort();
            if (monitor.bufAvailable() < 0 || monitor.bufAvailable() > CMonitor::BufferSize)
                std::abort();
            if (command == CMonitor::NoCommand && monitor.bytesWaiting() == 0)
                break;
        }
        monitor.BufHasCommand();
        monitor.findBufCommand();
    }
    monitor.skipCommand();
    return 0;
}
