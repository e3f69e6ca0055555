#ifndef RAWTERMINAL_H
#define RAWTERMINAL_H

#include <QElapsedTimer>

#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The far end of an emulated instrument's line, opened as the program's
// drivers see it: raw, so that the line discipline changes no byte.
inline int openRawTerminal(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fd;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Reads until one of the terminators arrives (kept) or the deadline passes.
inline std::string readUntilAny(int fd, const char* terminators, int timeoutMs)
{
    std::string got;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        char ch = 0;
        if (::read(fd, &ch, 1) == 1) {
            got += ch;
            if (std::strchr(terminators, ch))
                break;
        }
    }
    return got;
}

#endif // RAWTERMINAL_H
