// Serial transport: one configured terminal device, budgeted writes and reads,
// and the write-read exchange everything above speaks through.
#include "ca410dev.h"
#include "mlink_ca410.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Formatting byte dumps for a suppressed level would be wasted work.
bool debug_on(int32_t level)
{
    return glog && level <= glog->debug_level;
}

const char *const baud_texts[] = {"not configured", "110", "300", "600", "1200", "2400", "4800", "9600",
                                  "14400", "19200", "38400", "57600", "115200", "230400", "921600"};

// Speed constant for a baud code, or 0 when the code is not accepted.
speed_t baud_speed(uint32_t code)
{
    switch (code) {
    case 1: return B110;
    case 2: return B300;
    case 3: return B600;
    case 4: return B1200;
    case 5: return B2400;
    case 6: return B4800;
    case 7: return B9600;
    case 9: return B19200;
    case 10: return B38400;
    case 11: return B57600;
    case 12: return B115200;
    case 13: return B230400;
#ifdef B921600
    case 14: return B921600;
#endif
    default: return 0;
    }
}

int32_t elapsed_since(int64_t start)
{
    return static_cast<int32_t>(msec_time() - start);
}

// A line that has fallen quiet for this many character times after a whole
// line has nothing more under way: a sender in the middle of a reply leaves no
// gap of that length. Never waited for longer than the ceiling.
constexpr int64_t QuietCharacters = 4;
constexpr int32_t QuietCeilingMs = 20;
// An owed reply is waited for as long again as its command's budget, but at
// least the first and at most the second of these.
constexpr int32_t OwedGraceMinMs = 1000;
constexpr int32_t OwedGraceMaxMs = 3000;

// Microseconds one character takes on the port's line: start bit, data bits,
// parity bit and stop bits.
int64_t character_us(const ser_com *p)
{
    static const int64_t rates[] = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600,
                                    115200, 230400, 921600};
    const int64_t rate = p->baud >= 1 && p->baud < sizeof rates / sizeof rates[0] ? rates[p->baud] : 9600;
    const int64_t data = p->word >= 1 && p->word <= 4 ? 4 + p->word : 8;
    const int64_t parity = p->parity >= 2 ? 1 : 0;
    const int64_t stop = p->stop == 2 ? 2 : 1;
    return (1 + data + parity + stop) * 1000000 / rate;
}

// Waits at most `us` microseconds for input: 1 when there is some, 0 when
// none came, -1 on failure.
int wait_input(int fd, int64_t us)
{
    pollfd pfd{fd, POLLIN | POLLPRI, 0};
#ifdef __linux__
    const timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
    const int ready = ppoll(&pfd, 1, &ts, nullptr);
#else
    const int ready = poll(&pfd, 1, static_cast<int>((us + 999) / 1000));
#endif
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready > 0 ? 1 : 0;
}

bool is_terminator(char c, const char *terminators)
{
    return terminators && *terminators ? c != '\0' && strchr(terminators, c) != nullptr : false;
}

// Reads and drops what the port holds now; -1 when reading fails. *ended is
// set when a byte is one of the terminators; *open_line tells whether bytes
// came after the last terminator (a line whose end is still to come).
int32_t discard_input(ser_com *p, const char *terminators, bool *ended, bool *open_line)
{
    int32_t total = 0;
    char scratch[500];
    const bool lines = terminators && *terminators;
    for (;;) {
        // The port returns at once with what is there (no minimum count).
        const ssize_t n = read(p->fd, scratch, sizeof scratch);
        if (n < 0)
            return errno == EAGAIN || errno == EINTR ? total : -1;
        if (n == 0)
            return total;
        total += static_cast<int32_t>(n);
        if (!lines) {
            *ended = true;
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (is_terminator(scratch[i], terminators)) {
                *ended = true;
                *open_line = false;
            } else {
                *open_line = true;
            }
        }
    }
}

// The process-wide record of replies owed on ports whose handle is gone, by
// device path: a new handle on the same port must not take such a reply for
// the answer to its own first command.
std::mutex &owed_mutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, double> &owed_by_path()
{
    static std::map<std::string, double> owed;
    return owed;
}

std::string port_key(const char *path)
{
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? std::string(resolved) : std::string(path);
}

void remember_owed(const ser_com *p)
{
    if (!p->path || !p->reply_owed || p->reply_due <= usec_time())
        return;
    std::lock_guard<std::mutex> lock(owed_mutex());
    owed_by_path()[port_key(p->path)] = p->reply_due;
}

void recall_owed(ser_com *p)
{
    if (!p->path)
        return;
    std::lock_guard<std::mutex> lock(owed_mutex());
    auto &owed = owed_by_path();
    const auto it = owed.find(port_key(p->path));
    if (it == owed.end())
        return;
    if (it->second > usec_time() && (!p->reply_owed || it->second > p->reply_due)) {
        p->reply_owed = 1;
        p->reply_due = it->second;
    }
    owed.erase(it);
}

// Discards stale input before an exchange. An empty port that owes no reply
// has nothing under way, and the drain ends at once. A reply still owed is
// waited for until its terminator, up to the time it is given up; the rest of
// a line already begun is waited for up to the exchange's own budget, however
// long the pauses inside it (a USB serial adapter may hold bytes back for
// milliseconds); after a whole line, more is waited for only while bytes keep
// coming without a pause of a few character times.
void drain_input(ser_com *p, const char *terminators, int32_t timeout_ms)
{
    if (p->fd == -1)
        return;
    const double start = usec_time();
    bool owed = p->reply_owed != 0;
    if (owed && start >= p->reply_due) {
        clogd(glog, 6, "[ser_com_write_read_ex]: owed reply given up\n");
        owed = false;
    }
    const double line_limit = start + 1000.0 * (timeout_ms > QuietCeilingMs ? timeout_ms : QuietCeilingMs);
    int64_t quiet_us = QuietCharacters * character_us(p);
    if (quiet_us > 1000 * QuietCeilingMs)
        quiet_us = 1000 * QuietCeilingMs;
    bool open_line = false;
    bool woke = false;
    for (;;) {
        bool ended = false;
        const int32_t got = discard_input(p, terminators, &ended, &open_line);
        // Readable but empty after a wait: the peer hung up.
        if (got < 0 || (got == 0 && woke))
            break;
        if (ended)
            owed = false;
        const double now = usec_time();
        double until = 0;
        if (owed)
            until = p->reply_due;
        else if (open_line)
            until = line_limit;
        else if (got > 0)
            until = now + static_cast<double>(quiet_us);
        else
            break;
        if (now >= until || wait_input(p->fd, static_cast<int64_t>(until - now)) != 1) {
            if (owed)
                clogd(glog, 6, "[ser_com_write_read_ex]: owed reply given up\n");
            owed = false;
            break;
        }
        woke = true;
    }
    p->reply_owed = owed ? 1 : 0;
}

} // namespace

const char *baud_rate_to_str(uint32_t code)
{
    return code < sizeof baud_texts / sizeof baud_texts[0] ? baud_texts[code] : "unknown";
}

const char *com2hex(const void *data, int32_t length)
{
    static char text[64 * 3 + 4];
    text[0] = '\0';
    if (!data || length <= 0)
        return text;
    const auto *bytes = static_cast<const uint8_t *>(data);
    const int32_t n = length > 64 ? 64 : length;
    int pos = 0;
    for (int32_t i = 0; i < n; ++i)
        pos += snprintf(text + pos, sizeof text - pos, i ? " %02x" : "%02x", bytes[i]);
    if (length > 64)
        snprintf(text + pos, sizeof text - pos, "...");
    return text;
}

const char *com2fix(const char *text)
{
    enum { Limit = 10000 };
    static char buffers[3][Limit + 4];
    static int next = 0;
    if (!text)
        return "(null)";
    char *out = buffers[next];
    next = (next + 1) % 3;
    size_t pos = 0;
    for (const auto *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        char piece[5];
        int n;
        if (*c < 32)
            n = snprintf(piece, sizeof piece, "^%c", *c + 64);
        else if (*c >= 128)
            n = snprintf(piece, sizeof piece, "\\%03o", *c);
        else
            n = snprintf(piece, sizeof piece, "%c", *c);
        // snprintf reports failure as a negative count: never copy on that.
        if (n <= 0 || n >= static_cast<int>(sizeof piece))
            continue;
        const size_t length = static_cast<size_t>(n);
        if (length > Limit - pos) {
            memcpy(out + pos, "...", 4);
            return out;
        }
        memcpy(out + pos, piece, length);
        pos += length;
    }
    out[pos] = '\0';
    return out;
}

ser_com *new_ser_com(const char *path)
{
    auto *p = static_cast<ser_com *>(calloc(1, sizeof(ser_com)));
    if (!p) {
        cloge(glog, 0, "[new_ser_com]: calloc err\n");
        return nullptr;
    }
    p->fd = -1;
    if (path) {
        p->path = strdup(path);
        if (!p->path) {
            cloge(glog, 0, "[new_ser_com]: calloc err\n");
            free(p);
            return nullptr;
        }
    }
    return p;
}

ser_com *new_ser_com_on(const ser_com_ops *ops, void *context)
{
    if (!ops || !ops->write || !ops->read) {
        cloge(glog, 0, "[new_ser_com_on]: invalid args\n");
        return nullptr;
    }
    ser_com *p = new_ser_com(nullptr);
    if (p) {
        p->ops = ops;
        p->ops_context = context;
        p->is_open = 1;
    }
    return p;
}

int32_t ser_com_del(ser_com *p)
{
    if (!p)
        return 0;
    if (p->fd != -1)
        ser_com_close(p);
    free(p->path);
    free(p);
    return 0;
}

int32_t ser_com_is_open(ser_com *p)
{
    if (!p)
        return 0;
    p->is_open = (p->fd != -1 || p->ops) ? 1 : 0;
    return p->is_open;
}

int32_t ser_com_close(ser_com *p)
{
    if (!p)
        return 0;
    if (p->fd != -1) {
        // A reply still owed may come after the port is closed: whoever opens
        // it next must know.
        remember_owed(p);
        // Give up exclusive use first: a terminal that stays open elsewhere
        // would otherwise refuse every later open by an ordinary user.
        ioctl(p->fd, TIOCNXCL);
        close(p->fd);
        p->fd = -1;
        msec_sleep(100);
    }
    p->is_open = 0;
    return 0;
}

namespace {

// Pseudo-terminals keep 8 data bits without parity whatever is asked, and the
// C library then reports the whole change as invalid. Such a line is usable
// when everything else that was asked for is in effect.
bool framing_ignored(int fd, const termios &wanted, int err)
{
    termios now{};
    if (err != EINVAL || tcgetattr(fd, &now) != 0)
        return false;
    const tcflag_t framing = CSIZE | PARENB | PARODD;
    const bool ok = now.c_iflag == wanted.c_iflag && (now.c_cflag & ~framing) == (wanted.c_cflag & ~framing)
                    && cfgetispeed(&now) == cfgetispeed(&wanted) && cfgetospeed(&now) == cfgetospeed(&wanted)
                    && now.c_cc[VMIN] == wanted.c_cc[VMIN] && now.c_cc[VTIME] == wanted.c_cc[VTIME];
    errno = err;
    return ok;
}

int32_t setting_error(ser_com *p, int32_t code)
{
    ser_com_close(p);
    return code;
}

int32_t open_port(ser_com *p, int32_t delay_ms)
{
    clogd(glog, 8, "[ser_com_setport_ex] start open %s\n", p->path ? p->path : "");
    if (!p->path) {
        cloge(glog, 0, "[ser_com_setport_ex] open %s, err %s(%d)\n", "(null)", strerror(ENOENT), ENOENT);
        return SER_COM_FATAL;
    }
    // The descriptor stays non-blocking: every read and write is paced by poll
    // with the remaining budget, so no call can outlast it (a peer that holds
    // CTS low would otherwise block a write for ever).
    const int fd = open(p->path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        cloge(glog, 0, "[ser_com_setport_ex] open %s, err %s(%d)\n", p->path, strerror(err), err);
        return SER_COM_FATAL;
    }
    msec_sleep(delay_ms > 160 ? delay_ms : 160);
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        cloge(glog, 0, "[ser_com_setport_ex] %s set TIOCEXCL err %s(%d)\n", p->path, strerror(err), err);
        close(fd);
        return SER_COM_FATAL;
    }
    p->fd = fd;
    p->is_open = 1;
    recall_owed(p);
    return 0;
}

} // namespace

int32_t ser_com_setport_ex(ser_com *p, uint32_t flow, uint32_t baud, uint32_t parity, uint32_t stop,
                           uint32_t word, int32_t delay_ms)
{
    if (!p) {
        cloge(glog, 0, "[ser_com_setport_ex]: invalid args\n");
        return SER_COM_FATAL;
    }
    clogd(glog, 8, "[ser_com_setport_ex]  [%s] is_open=%d\n", p->path ? p->path : "", p->is_open);
    clogd(glog, 8, "[ser_com_setport_ex] : args Flow control = %d  Baud Rate   = %s   Parity = %d\n", flow,
          baud_rate_to_str(baud), parity);
    clogd(glog, 8, "[ser_com_setport_ex] : args Stop bits    = %d  Word length = %d   msdely = %d\n", stop, word,
          delay_ms);
    if (flow)
        p->flow = flow;
    if (baud)
        p->baud = baud;
    if (parity)
        p->parity = parity;
    if (stop)
        p->stop = stop;
    if (word)
        p->word = word;

    if (p->fd == -1) {
        const int32_t err = open_port(p, delay_ms);
        if (err)
            return err;
    }

    termios tio{};
    if (tcgetattr(p->fd, &tio) != 0) {
        const int err = errno;
        cloge(glog, 0, "[ser_com_setport_ex] %s tcgetattr err %s(%d)\n", p->path, strerror(err), err);
        return setting_error(p, SER_COM_FATAL);
    }
    tio = termios{};
    tio.c_iflag = IGNBRK;
    tio.c_cflag = CREAD | CLOCAL;
    // Reads return whatever has arrived: the counted terminators or bytes and
    // the budget decide when a read ends, not an inter-character timer that
    // would stall every short reply.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;

    switch (p->flow) {
    case 0:
        cloge(glog, 0, "[ser_com_setport_ex]: illegal flow control %d\n", p->flow);
        return setting_error(p, SER_COM_FATAL);
    case 1:
        break;
    case 2:
        tio.c_iflag |= IXON | IXOFF;
        tio.c_cc[VSTART] = 0x11;
        tio.c_cc[VSTOP] = 0x13;
        break;
    case 3:
        tio.c_cflag |= CRTSCTS;
        break;
    case 4:
#if defined(CDTR_IFLOW) && defined(CDSR_OFLOW)
        tio.c_cflag |= CDTR_IFLOW | CDSR_OFLOW;
#else
        // No DTR/DSR handshake in this termios: the nearest is the hardware
        // handshake on RTS/CTS.
        tio.c_cflag |= CRTSCTS;
#endif
        break;
    default:
        break;
    }

    switch (p->parity) {
    case 0:
        cloge(glog, 0, "[ser_com_setport_ex]: illegal parity setting %d\n", p->parity);
        return setting_error(p, SER_COM_FATAL);
    case 1:
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK);
        break;
    case 2:
        tio.c_iflag |= INPCK;
        tio.c_cflag |= PARENB | PARODD;
        break;
    case 3:
        tio.c_iflag |= INPCK;
        tio.c_cflag |= PARENB;
        break;
    default:
        break;
    }

    if (p->stop == 0) {
        cloge(glog, 0, "[ser_com_setport_ex]: illegal stop bits %d\n", p->stop);
        return setting_error(p, -1);
    }
    if (p->stop == 2)
        tio.c_cflag |= CSTOPB;

    switch (p->word) {
    case 0:
        cloge(glog, 0, "[ser_com_setport_ex]: illegal word length %d\n", p->word);
        return setting_error(p, SER_COM_FATAL);
    case 2: tio.c_cflag |= CS6; break;
    case 3: tio.c_cflag |= CS7; break;
    case 4: tio.c_cflag |= CS8; break;
    default: tio.c_cflag |= CS5; break;
    }

    const speed_t speed = baud_speed(p->baud);
    if (!speed) {
        cloge(glog, 0, "[ser_com_setport_ex]: illegal baud rate! (0x%x)\n", p->baud);
        return setting_error(p, SER_COM_FATAL);
    }

    if (p->reply_owed) {
        // What the flush drops cannot be looked at later: the owed reply is
        // known to be in only when its terminator is among it.
        bool ended = false;
        bool open_line = false;
        if (discard_input(p, "\r", &ended, &open_line) > 0 && ended)
            p->reply_owed = 0;
    }
    tcflush(p->fd, TCIOFLUSH);
    if (cfsetispeed(&tio, speed) != 0) {
        cloge(glog, 0, "[ser_com_setport_ex] cfsetispeed err(%s)\n", strerror(errno));
        return setting_error(p, SER_COM_FATAL);
    }
    if (cfsetospeed(&tio, speed) != 0) {
        cloge(glog, 0, "[ser_com_setport_ex] cfsetopeed err(%s)\n", strerror(errno));
        return setting_error(p, SER_COM_FATAL);
    }
    if (tcsetattr(p->fd, TCSANOW, &tio) != 0 && !framing_ignored(p->fd, tio, errno)) {
        cloge(glog, 0, "[ser_com_setport_ex]: tcsetattr err(%s)\n", strerror(errno));
        return setting_error(p, SER_COM_FATAL);
    }
    tcflush(p->fd, TCIOFLUSH);
    msec_sleep(50);
    clogd(glog, 7, "[ser_com_setport_ex]: set port done\n");
    return 0;
}

int32_t ser_com_setport(ser_com *p, uint32_t flow, uint32_t baud, uint32_t parity, uint32_t stop, uint32_t word)
{
    return ser_com_setport_ex(p, flow, baud, parity, stop, word, 0);
}

int32_t ser_com_write(ser_com *p, const char *data, int32_t length, int32_t timeout_ms)
{
    if (debug_on(7))
        clogd(glog, 7, "[ser_com_write]: start write [%s]  mstime %d\n",
              length > 0 ? com2hex(data, length) : com2fix(data), static_cast<int>(msec_time()));
    if (!p || (p->fd == -1 && !p->ops)) {
        cloge(glog, 0, "[ser_com_write]  dev not init\n");
        return SER_COM_FATAL;
    }
    if (!data || length < 0) {
        cloge(glog, 0, "[ser_com_write]: invalid args\n");
        return SER_COM_FATAL;
    }
    if (p->ops)
        return p->ops->write(p->ops_context, data, length, timeout_ms);
    size_t remaining = length > 0 ? static_cast<size_t>(length) : strlen(data);
    const char *next = data;
    const int64_t start = msec_time();
    int32_t budget = timeout_ms;
    int32_t err = 0;
    while (budget >= 1 && remaining > 0) {
        pollfd pfd{p->fd, POLLOUT, 0};
        const int ready = poll(&pfd, 1, budget);
        if (ready < 0 && errno != EINTR) {
            cloge(glog, 0, "[ser_com_write] poll return 0x%x\n", static_cast<unsigned>(pfd.revents));
            return SER_COM_FATAL;
        }
        if (ready > 0) {
            if (pfd.revents & ~POLLOUT) {
                cloge(glog, 0, "[ser_com_write] poll return 0x%x\n", static_cast<unsigned>(pfd.revents));
                return SER_COM_FATAL;
            }
            const ssize_t n = write(p->fd, next, remaining);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                clogd(glog, 8, "[ser_com_write]  write err %d\n", errno);
                err |= SER_COM_WRITE_FAIL;
                break;
            }
            if (n > 0) {
                clogd(glog, 8, "[ser_com_write]  write %d bytes\n", static_cast<int>(n));
                next += n;
                remaining -= static_cast<size_t>(n);
            }
        }
        budget = timeout_ms - elapsed_since(start);
    }
    if (budget < 1 && remaining > 0) {
        cloge(glog, 0, "[ser_com_write] took %d ms > %d ms\n", elapsed_since(start), timeout_ms);
        err |= SER_COM_TIMEOUT;
    }
    clogd(glog, 8, "[ser_com_write] took %d ms, error 0x%x\n", elapsed_since(start), err);
    return err;
}

namespace {

int32_t read_until(ser_com *p, char *buffer, int32_t size, int32_t *received, const char *terminators,
                   int32_t count, int32_t timeout_ms)
{
    if (received)
        *received = 0;
    if (!p || (p->fd == -1 && !p->ops)) {
        cloge(glog, 0, "[ser_com_read] dev not init\n");
        return SER_COM_FATAL;
    }
    if (!buffer || size < 3) {
        cloge(glog, 0, "[ser_com_read] buf size %d < 3\n", buffer ? size : 0);
        return SER_COM_FATAL;
    }
    memset(buffer, 0, static_cast<size_t>(size));
    if (p->ops) {
        int32_t got = 0;
        const int32_t err = p->ops->read(p->ops_context, buffer, size, &got, terminators, count, timeout_ms);
        // Whatever the transport did, the caller gets a terminated buffer and
        // a count within it.
        buffer[size - 1] = '\0';
        if (received)
            *received = got < 0 ? 0 : (got > size - 1 ? size - 1 : got);
        return err;
    }
    clogd(glog, 8, "[ser_com_read]: start bufsize=[%d]  timeout=[%d]ms,  ntc=[%d]\n", size, timeout_ms, count);

    const bool has_terminators = terminators && *terminators;
    int32_t room = size - 1;  // one byte is kept for the terminating zero
    char *pos = buffer;
    const int64_t start = msec_time();
    int32_t budget = timeout_ms;
    int32_t reads = 0;
    int32_t hits = (!has_terminators && count <= 0) ? -1 : 0;
    int32_t err = 0;

    while (budget >= 1 && room >= 1 && hits < count) {
        pollfd pfd{p->fd, POLLIN | POLLPRI, 0};
        const int ready = poll(&pfd, 1, budget);
        if (ready < 0 && errno != EINTR) {
            cloge(glog, 0, "[ser_com_read] poll return 0x%x\n", static_cast<unsigned>(pfd.revents));
            return SER_COM_FATAL;
        }
        if (ready > 0) {
            // Bytes still waiting are read even when a hang-up came with them.
            if (!(pfd.revents & (POLLIN | POLLPRI))) {
                cloge(glog, 0, "[ser_com_read] poll return 0x%x\n", static_cast<unsigned>(pfd.revents));
                return SER_COM_FATAL;
            }
            const ssize_t n = read(p->fd, pos, static_cast<size_t>(room));
            ++reads;
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                cloge(glog, 0, "[ser_com_read]: read failed with 0x%x, rbuf = '%s'\n", errno, com2fix(buffer));
                err |= SER_COM_READ_FAIL;
                break;
            }
            if (n > 0) {
                if (debug_on(8))
                    clogd(glog, 8, "[ser_com_read]: read %d bytes, [%s]\n", static_cast<int>(n), com2fix(pos));
                room -= static_cast<int32_t>(n);
                if (has_terminators) {
                    for (ssize_t i = 0; i < n; ++i)
                        for (const char *t = terminators; *t; ++t)
                            if (pos[i] == *t)
                                ++hits;
                    clogd(glog, 8, "[ser_com_read] tc count %d\n", hits);
                } else if (count > 0) {
                    hits += static_cast<int32_t>(n);
                }
                pos += n;
            } else if (n == 0 && (pfd.revents & POLLHUP)) {
                // The peer is gone and nothing more will come.
                cloge(glog, 0, "[ser_com_read] poll return 0x%x\n", static_cast<unsigned>(pfd.revents));
                return SER_COM_FATAL;
            }
        }
        budget = timeout_ms - elapsed_since(start);
    }
    *pos = '\0';
    const auto stored = static_cast<int32_t>(pos - buffer);
    clogd(glog, 8, "[ser_com_read]: read [%d] times, [%d] bytes,took %d msec\n", reads, stored,
          elapsed_since(start));
    if (received)
        *received = stored;
    if (budget < 1 && room > 0 && hits < count) {
        cloge(glog, 0, "[ser_com_read]: took %d  msec out of %d msec\n", elapsed_since(start), timeout_ms);
        err |= SER_COM_TIMEOUT;
    }
    if (debug_on(7))
        clogd(glog, 7, "[ser_com_read] end [%s], err 0x%x\n",
              (!has_terminators && count > 0) ? com2hex(buffer, stored) : com2fix(buffer), err);
    return err;
}

} // namespace

int32_t ser_com_read(ser_com *p, char *buffer, int32_t size, int32_t *received, const char *terminators,
                     int32_t count, int32_t timeout_ms)
{
    return read_until(p, buffer, size, received, terminators, count, timeout_ms);
}

int32_t ser_com_write_read_ex(ser_com *p, const char *data, int32_t length, char *buffer, int32_t size,
                              int32_t *received, const char *terminators, int32_t count, int32_t timeout_ms,
                              int32_t drain_first)
{
    if (received)
        *received = 0;
    if (!p || (p->fd == -1 && !p->ops)) {
        cloge(glog, 0, "[ser_com_write_read_ex]: dev not init\n");
        return SER_COM_FATAL;
    }
    clogd(glog, 8, "[ser_com_write_read_ex] : rfirstw =%d  tc=[%s] ntc=%d ---   start\n", drain_first,
          terminators ? terminators : "", count);
    if (drain_first)
        drain_input(p, terminators, timeout_ms);
    int32_t err = ser_com_write(p, data, length, timeout_ms);
    // Until the reply is in, the device may still answer this command.
    ser_com_owe_reply(p, timeout_ms);
    if (err) {
        if (err & SER_COM_TIMEOUT)
            clogd(glog, 8, "[ser_com_write_read_ex] ist_write timeout %d ms, err 0x%x\n", timeout_ms, err);
        else
            clogd(glog, 8, "[ser_com_write_read_ex] write err 0x%x\n", err);
        return err;
    }
    err = ser_com_read(p, buffer, size, received, terminators, count, timeout_ms);
    if (err)
        ser_com_owe_reply(p, timeout_ms);
    else
        p->reply_owed = 0;
    if (err & SER_COM_TIMEOUT)
        clogd(glog, 8, "[ser_com_write_read_ex] 2nd_read timeout %d ms, err 0x%x\n", timeout_ms, err);
    else
        clogd(glog, 8, "[ser_com_write_read_ex] 2nd_read err 0x%x\n", err);
    return err;
}

void ser_com_owe_reply(ser_com *port, int32_t timeout_ms)
{
    if (!port)
        return;
    int32_t grace = timeout_ms < OwedGraceMinMs ? OwedGraceMinMs : timeout_ms;
    if (grace > OwedGraceMaxMs)
        grace = OwedGraceMaxMs;
    port->reply_owed = 1;
    port->reply_due = usec_time() + 1000.0 * grace;
}

int32_t ser_com_write_read(ser_com *p, const char *data, int32_t length, char *buffer, int32_t size,
                           int32_t *received, const char *terminators, int32_t count, int32_t timeout_ms)
{
    return ser_com_write_read_ex(p, data, length, buffer, size, received, terminators, count, timeout_ms, 0);
}

int32_t ser_com_find_inst(ser_com *p)
{
    static const uint32_t bauds[] = {10, 12, 7, 6, 5, 4, 11, 9, 3, 2, 1};
    const int32_t timeout = 20000;
    clogd(glog, 7, "[ser_com_find_inst]: timeout %d msec\n", timeout);
    const int64_t start = msec_time();
    for (uint32_t code : bauds) {
        const int32_t err = ser_com_setport(p, 3, code, 3, 2, 3);
        if (err) {
            cloge(glog, 0, "[ser_com_find_inst] ser_com_setport err 0x%x\n", err);
            return err;
        }
        clogd(glog, 7, "[ser_com_find_inst]: Trying Baud Rate[%d] -- %s\n", code, baud_rate_to_str(code));
        char answer[64];
        ser_com_write_read_ex(p, "COM,1\r", 0, answer, sizeof answer, nullptr, "\r", 1, 200, 1);
    }
    clogd(glog, 7, "[ser_com_find_inst] try baud over %d----- \n", static_cast<int>(sizeof bauds / sizeof bauds[0]));
    clogd(glog, 7, "[ser_com_find_inst]: remaining %d msec\n", timeout - elapsed_since(start));
    ser_com_close(p);
    return 0;
}
