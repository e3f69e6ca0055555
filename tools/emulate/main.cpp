// Serves emulated devices on pseudo-terminals, for trying the program and its
// tests without instruments:
//
//   lumaserve-emulate [--paced] monitor cr250
//
// --paced makes every device keep the time of its serial line.
// prints one line per device, "<kind> <device path>", then reads its input:
// "<kind> <text>" (or "<number> <text>", counting the devices from 1) hands the
// text to that device; a monitor sends it as a request and prints each reply as
// "monitor reply <ms> <text>". End of input, SIGINT or SIGTERM stops it.

#include "emulatorregistry.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int)
{
    stopRequested = 1;
}

std::mutex outputMutex;

void printLine(const std::string& line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void usage(std::FILE* to)
{
    std::fputs("usage: lumaserve-emulate [--paced] KIND...\n"
               "  --paced  send and receive at the device's serial line rate\nkinds:\n",
               to);
    for (const EmulatorKind& kind : emulatorKinds())
        std::fprintf(to, "  %-10s %s\n", kind.name.c_str(), kind.summary.c_str());
}

struct Served {
    const EmulatorKind* kind;
    std::unique_ptr<PtyDevice> device;
};

// The device a line of input is addressed to: by number or by kind name.
Served* target(std::vector<Served>& served, const std::string& word)
{
    char* end = nullptr;
    const long number = std::strtol(word.c_str(), &end, 10);
    if (!word.empty() && end && *end == '\0')
        return number >= 1 && size_t(number) <= served.size() ? &served[size_t(number) - 1] : nullptr;
    for (Served& s : served) {
        if (s.kind->name == word)
            return &s;
    }
    return nullptr;
}

void handle(std::vector<Served>& served, const std::string& line)
{
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string text = space == std::string::npos ? std::string() : line.substr(space + 1);
    Served* s = target(served, word);
    if (!s || !s->kind->command || !s->kind->command(*s->device, text))
        std::fprintf(stderr, "lumaserve-emulate: not understood: %s\n", line.c_str());
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        usage(stderr);
        return 2;
    }
    std::vector<Served> served;
    bool paced = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--paced") == 0) {
            paced = true;
            continue;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
        const EmulatorKind* kind = findEmulatorKind(argv[i]);
        if (!kind) {
            std::fprintf(stderr, "lumaserve-emulate: unknown kind: %s\n", argv[i]);
            usage(stderr);
            return 2;
        }
        served.push_back(Served{kind, kind->create(printLine)});
    }
    if (served.empty()) {
        usage(stderr);
        return 2;
    }
    for (Served& s : served) {
        s.device->setPaced(paced);
        if (!s.device->start()) {
            std::fprintf(stderr, "lumaserve-emulate: no pseudo-terminal for %s: %s\n",
                         s.kind->name.c_str(), std::strerror(errno));
            return 1;
        }
        printLine(s.kind->name + " " + s.device->devicePath());
    }

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // Input is read with poll so that a signal ends the program promptly.
    std::string pending;
    char chunk[512];
    while (!stopRequested) {
        pollfd pfd{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 200);
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(chunk, size_t(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                handle(served, line);
        }
    }
    for (Served& s : served)
        s.device->stop();
    return 0;
}
