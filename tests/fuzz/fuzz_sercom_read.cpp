// The library's real read loop (ser_com_read) on a file descriptor: whatever
// bytes the line delivers, with any buffer size, terminators and count.
//
// Input: buffer size and count (one byte each), a terminator text up to the
// first newline, then the bytes that arrive on the line. The line is a pipe
// whose writing end closes after the bytes, so every read ends at once.
#include "fuzzinput.h"
#include "mlink_ca410.h"
#include "quietlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quietLibraryLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The pipe holds 64 KiB; more would block the writer.
    if (size > 16384)
        return 0;
    FuzzInput in(data, size);
    const int32_t bufferSize = in.byte();
    const int32_t count = static_cast<int8_t>(in.byte());
    const std::string terminators = in.piece();
    const std::string line = in.rest();

    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        std::abort();
    if (!line.empty() && write(fds[1], line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        std::abort();
    close(fds[1]);

    ser_com* port = new_ser_com(nullptr);
    port->fd = fds[0];
    std::vector<char> buffer(static_cast<size_t>(bufferSize) + 1, '\x55');
    int32_t received = -1;
    const int32_t err =
        ser_com_read(port, buffer.data(), bufferSize, &received, terminators.c_str(), count, 200);
    if (bufferSize >= 3) {
        // The promise of the interface: a terminated text within the buffer and,
        // unless the line failed, the count of what it holds.
        if (std::memchr(buffer.data(), '\0', static_cast<size_t>(bufferSize)) == nullptr)
            std::abort();
        if (received < 0 || received > bufferSize - 1)
            std::abort();
        if (!(err & SER_COM_FATAL) && buffer[static_cast<size_t>(received)] != '\0')
            std::abort();
    }
    // Closed here, not by the library, which pauses after closing a terminal.
    close(fds[0]);
    port->fd = -1;
    ser_com_del(port);
    return 0;
}
