// Logging, clocks and number conversions shared by every other part of the library.
#include "mlink_ca410.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

void default_v_log(void *, clog *, const char *format, va_list args)
{
    vfprintf(stdout, format, args);
    fflush(stdout);
}

void default_de_log(void *, clog *, const char *format, va_list args)
{
    vfprintf(stderr, format, args);
    fflush(stderr);
}

clog default_log = {1, 0, 0, nullptr, default_v_log, default_de_log, default_de_log};
clog *glog = &default_log;

clog *new_clog(clog *log, int32_t verbosity, int32_t debug_level, void *context, ...)
{
    if (log) {
        ++log->ref_count;
        return log;
    }
    auto *made = static_cast<clog *>(calloc(1, sizeof(clog)));
    if (!made) {
        cloge(glog, 0, "new_clog: malloc failed, call exit1\n");
        exit(1);
    }
    made->ref_count = 1;
    made->verbosity = verbosity;
    made->debug_level = debug_level;
    made->context = context;
    made->verb_sink = default_v_log;
    made->debug_sink = default_de_log;
    made->error_sink = default_de_log;
    return made;
}

clog *new_clog_default(clog *log)
{
    return new_clog(log, 0, 0, nullptr);
}

int32_t clog_del(clog *log)
{
    if (!log)
        return 0;
    // The static default record is never freed, whatever its count says.
    if (--log->ref_count <= 0 && log != &default_log)
        free(log);
    return 0;
}

int32_t clog_set_debug(clog *log, int32_t level)
{
    if (log)
        log->debug_level = level;
    return 0;
}

int32_t clog_set_verb(clog *log, int32_t level)
{
    if (log)
        log->verbosity = level;
    return 0;
}

int32_t clogv(clog *log, int32_t level, const char *format, ...)
{
    if (!log || level > log->verbosity || !log->verb_sink)
        return 0;
    va_list args;
    va_start(args, format);
    log->verb_sink(log->context, log, format, args);
    va_end(args);
    return 0;
}

int32_t clogd(clog *log, int32_t level, const char *format, ...)
{
    if (!log || level > log->debug_level || !log->debug_sink)
        return 0;
    va_list args;
    va_start(args, format);
    log->debug_sink(log->context, log, format, args);
    va_end(args);
    return 0;
}

int32_t cloge(clog *log, int32_t, const char *format, ...)
{
    if (!log || !log->error_sink)
        return 0;
    va_list args;
    va_start(args, format);
    log->error_sink(log->context, log, format, args);
    va_end(args);
    return 0;
}

int32_t dump_bytes(clog *log, const char *prefix, const void *data, int32_t offset, int32_t length)
{
    if (!data || length <= 0)
        return 0;
    const auto *bytes = static_cast<const uint8_t *>(data);
    // Prefix capped so that one line always fits the fixed buffer.
    char line[64 + 4 + 8 + 1 + 16 * 3 + 2 + 16 + 2];
    for (int32_t first = 0; first < length; first += length - first > 16 ? 16 : length - first) {
        const int32_t n = length - first < 16 ? length - first : 16;
        // Summed unsigned: an offset near INT32_MAX must not overflow.
        int pos = snprintf(line, sizeof line, "%.64s%04x:", prefix ? prefix : "",
                           static_cast<uint32_t>(offset) + static_cast<uint32_t>(first));
        for (int32_t i = 0; i < 16; ++i) {
            if (i < n)
                pos += snprintf(line + pos, sizeof line - pos, " %02x", bytes[first + i]);
            else
                pos += snprintf(line + pos, sizeof line - pos, "   ");
        }
        pos += snprintf(line + pos, sizeof line - pos, "  ");
        for (int32_t i = 0; i < n; ++i) {
            const uint8_t c = bytes[first + i];
            line[pos++] = (c < 0x80 && c >= 0x20 && c != 0x7f) ? static_cast<char>(c) : '.';
        }
        line[pos++] = '\n';
        line[pos] = '\0';
        clogd(log, 0, "%s", line);
    }
    return 0;
}

int32_t msec_sleep(int32_t ms)
{
    if (ms <= 0)
        return 0;
    timespec ts{};
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    // Once: an interrupted sleep is not resumed.
    return nanosleep(&ts, nullptr) == 0 ? 0 : -1;
}

static int64_t monotonic_ns()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t msec_time(void)
{
    static const int64_t start = monotonic_ns();
    return (monotonic_ns() - start + 500000) / 1000000;
}

double usec_time(void)
{
    static const int64_t start = monotonic_ns();
    return static_cast<double>(monotonic_ns() - start) / 1000.0;
}

double IEEE754todouble(uint32_t bits)
{
    const int e = static_cast<int>((bits >> 23) & 0xFF);
    const uint32_t f = bits & 0x7FFFFF;
    const bool negative = (bits & 0x80000000u) != 0;
    double magnitude;
    if (e == 255)  // keep infinities and NaNs what they are
        magnitude = f ? NAN : INFINITY;
    else if (e)
        magnitude = std::ldexp(1.0 + f / 8388608.0, e - 127);
    else
        magnitude = std::ldexp(f / 8388608.0, -126);
    return negative ? -magnitude : magnitude;
}

uint32_t doubletoIEEE754(double value)
{
    if (std::isnan(value))
        return 0x7FC00000u;
    const uint32_t sign = value < 0 ? 0x80000000u : 0;
    const double x = std::fabs(value);
    if (x == 0)
        return sign;
    if (std::isinf(x))
        return sign ? 0xFF800000u : 0x7F800000u;
    int ex = 0;
    std::frexp(x, &ex);  // exact floor(log2 x) + 1, free of log2 rounding
    int e = ex - 1;
    if (e < -126) {
        // Below the normal range: a subnormal pattern (exponent field 0).
        const auto m = static_cast<uint32_t>(std::ldexp(x, 149));
        return sign | (m & 0x7FFFFF);
    }
    if (e + 127 >= 255)
        return sign ? 0xFF800000u : 0x7F800000u;
    const auto m = static_cast<uint32_t>(std::ldexp(x, 23 - e));
    return sign | (static_cast<uint32_t>(e + 127) << 23) | (m & 0x7FFFFF);
}

double IEEE754_64todouble(uint64_t bits)
{
    const int e = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t f = bits & 0xFFFFFFFFFFFFFull;
    const bool negative = (bits >> 63) != 0;
    const double fraction = static_cast<double>(f) / 4503599627370496.0;  // 2^52
    double magnitude;
    if (e == 2047)
        magnitude = f ? NAN : INFINITY;
    else if (e)
        magnitude = std::ldexp(1.0 + fraction, e - 1023);
    else
        magnitude = std::ldexp(fraction, -1022);
    return negative ? -magnitude : magnitude;
}

double Bytes3Buf2Float(const uint8_t *b)
{
    if (!b)
        return NAN;
    const int mantissa = ((b[0] & 0x7F) << 8) | b[1];
    const int exponent = b[2] > 128 ? b[2] - 256 : b[2];
    const double magnitude = std::ldexp(mantissa / 32768.0, exponent);
    return (b[0] & 0x80) ? -magnitude : magnitude;
}

int32_t Float2Bytes3Buf(uint8_t *b, double value)
{
    if (!b || !std::isfinite(value))
        return -1;
    if (value == 0) {
        b[0] = b[1] = b[2] = 0;
        return 0;
    }
    const double x = std::fabs(value);
    int e = static_cast<int>(std::trunc(std::log(x) / std::log(2.0))) + 1;
    double m = std::trunc(0.5 + std::ldexp(x, -e) * 32768.0);
    if (m >= 32768) {
        m = std::trunc(m / 2);
        ++e;
    }
    // The exponent byte reads back as -127..128; anything else would wrap.
    if (e < -127 || e > 128)
        return -1;
    int hi = static_cast<int>(std::trunc(m / 256));
    const int lo = static_cast<int>(m) - 256 * hi;
    if (value < 0)
        hi += 128;
    b[0] = static_cast<uint8_t>(hi);
    b[1] = static_cast<uint8_t>(lo);
    b[2] = static_cast<uint8_t>(e < 0 ? e + 256 : e);
    return 0;
}
