#ifndef MLINK_CA410_H
#define MLINK_CA410_H

/* C interface of the CA-410 instrument library. Every operation returns a 32-bit
 * signed result code, 0 for success, and hands its results back through pointer
 * arguments owned by the caller. The library is not re-entrant: drive it from
 * one thread at a time. */

#include <stdarg.h>
#include <stdint.h>

#if defined(_WIN32)
#define MLINK_CA410_API __declspec(dllexport)
#else
#define MLINK_CA410_API __attribute__((visibility("default")))
#endif

#if defined(__GNUC__)
#define MLINK_CA410_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MLINK_CA410_PRINTF(fmt, args)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Logging, time and number conversions ------------------------------ */

typedef struct clog clog;

/* A sink receives the record's context, the record, the format and its
 * arguments; formatting happens here, so a suppressed message costs nothing. */
typedef void (*clog_func)(void *context, clog *log, const char *format, va_list args);

struct clog {
    int32_t ref_count;
    int32_t verbosity;   /* threshold of clogv */
    int32_t debug_level; /* threshold of clogd */
    void *context;       /* first argument of every sink */
    clog_func verb_sink;
    clog_func debug_sink;
    clog_func error_sink;
};

/* The statically initialised record and the record the whole library writes to
 * (it points at default_log from load time; callers change its levels). */
extern MLINK_CA410_API clog default_log;
extern MLINK_CA410_API clog *glog;

MLINK_CA410_API void default_v_log(void *context, clog *log, const char *format, va_list args)
    MLINK_CA410_PRINTF(3, 0);
MLINK_CA410_API void default_de_log(void *context, clog *log, const char *format, va_list args)
    MLINK_CA410_PRINTF(3, 0);

/* Returns log with one more reference when given, else a new record with the
 * default sinks; further arguments are accepted and ignored. Free with clog_del. */
MLINK_CA410_API clog *new_clog(clog *log, int32_t verbosity, int32_t debug_level, void *context, ...);
MLINK_CA410_API clog *new_clog_default(clog *log);
MLINK_CA410_API int32_t clog_del(clog *log);
MLINK_CA410_API int32_t clog_set_debug(clog *log, int32_t level);
MLINK_CA410_API int32_t clog_set_verb(clog *log, int32_t level);
MLINK_CA410_API int32_t clogv(clog *log, int32_t level, const char *format, ...) MLINK_CA410_PRINTF(3, 4);
MLINK_CA410_API int32_t clogd(clog *log, int32_t level, const char *format, ...) MLINK_CA410_PRINTF(3, 4);
MLINK_CA410_API int32_t cloge(clog *log, int32_t level, const char *format, ...) MLINK_CA410_PRINTF(3, 4);

/* Hex dump of length bytes through clogd(log, 0, ...), 16 bytes per line. */
MLINK_CA410_API int32_t dump_bytes(clog *log, const char *prefix, const void *data, int32_t offset,
                                   int32_t length);

MLINK_CA410_API int32_t msec_sleep(int32_t ms);
MLINK_CA410_API int64_t msec_time(void);
MLINK_CA410_API double usec_time(void);

MLINK_CA410_API double IEEE754todouble(uint32_t bits);
MLINK_CA410_API uint32_t doubletoIEEE754(double value);
MLINK_CA410_API double IEEE754_64todouble(uint64_t bits);
/* The instrument's 3-byte float: sign and 15-bit mantissa, then an exponent byte. */
MLINK_CA410_API double Bytes3Buf2Float(const uint8_t *b);
MLINK_CA410_API int32_t Float2Bytes3Buf(uint8_t *b, double value);

/* ---- Serial transport ---------------------------------------------------- */

#define SER_COM_FATAL 0x20000
#define SER_COM_TIMEOUT 0x4000
#define SER_COM_WRITE_FAIL 0x800
#define SER_COM_READ_FAIL 0x400

typedef struct ser_com {
    char *path;      /* owned copy of the device path */
    int32_t fd;      /* -1 while closed */
    int32_t is_open;
    uint32_t flow;   /* 0 not configured, 1 none, 2 XON/XOFF, 3 RTS/CTS, 4 DTR/DSR */
    uint32_t baud;   /* index of the baud table, 0 not configured */
    uint32_t parity; /* 0 not configured, 1 none, 2 odd, 3 even */
    uint32_t stop;   /* 0 not configured, 1 or 2 stop bits */
    uint32_t word;   /* 0 not configured, 1..4 for 5..8 data bits */
} ser_com;

MLINK_CA410_API ser_com *new_ser_com(const char *path);
MLINK_CA410_API int32_t ser_com_del(ser_com *p);
MLINK_CA410_API int32_t ser_com_is_open(ser_com *p);
MLINK_CA410_API int32_t ser_com_close(ser_com *p);
MLINK_CA410_API int32_t ser_com_setport_ex(ser_com *p, uint32_t flow, uint32_t baud, uint32_t parity,
                                           uint32_t stop, uint32_t word, int32_t delay_ms);
MLINK_CA410_API int32_t ser_com_setport(ser_com *p, uint32_t flow, uint32_t baud, uint32_t parity,
                                        uint32_t stop, uint32_t word);
/* length 0 sends data as a zero-terminated text. */
MLINK_CA410_API int32_t ser_com_write(ser_com *p, const char *data, int32_t length, int32_t timeout_ms);
/* Reads until count terminator characters (or, without terminators, count
 * bytes) have arrived, the buffer is full or the budget runs out. The buffer
 * is always zero-terminated; received gets the number of bytes stored. */
MLINK_CA410_API int32_t ser_com_read(ser_com *p, char *buffer, int32_t size, int32_t *received,
                                     const char *terminators, int32_t count, int32_t timeout_ms);
MLINK_CA410_API int32_t ser_com_write_read_ex(ser_com *p, const char *data, int32_t length, char *buffer,
                                              int32_t size, int32_t *received, const char *terminators,
                                              int32_t count, int32_t timeout_ms, int32_t drain_first);
MLINK_CA410_API int32_t ser_com_write_read(ser_com *p, const char *data, int32_t length, char *buffer,
                                           int32_t size, int32_t *received, const char *terminators,
                                           int32_t count, int32_t timeout_ms);
/* Fills up to max entries with malloc'ed device paths (free them with free());
 * entries beyond those found are left untouched. */
MLINK_CA410_API int32_t get_serial_path(char **paths, int32_t max);
MLINK_CA410_API const char *baud_rate_to_str(uint32_t code);
/* Log helpers: results live in static buffers (com2fix rotates through three). */
MLINK_CA410_API const char *com2hex(const void *data, int32_t length);
MLINK_CA410_API const char *com2fix(const char *text);
MLINK_CA410_API int32_t ser_com_find_inst(ser_com *p);

/* ---- CA-410 command protocol ---------------------------------------------- */

#define CA410_KEY_COUNT 41
#define CA410_CFG_COUNT 16

typedef struct ca410_cfg {
    int32_t id;  /* what "STR," asks for */
    int32_t cmd; /* keystr index of the command that changes it, 0 for none */
    const char *name;
} ca410_cfg;

/* Command prefixes by command number; entry 0 is null. */
extern MLINK_CA410_API const char *const keystr[CA410_KEY_COUNT];
extern MLINK_CA410_API const ca410_cfg cfgs[CA410_CFG_COUNT];

/* Opaque device record of one open instrument. */
typedef struct ca410_dev ca410_dev;

/* One user calibration channel of a channel list. */
typedef struct ca410_calitem {
    int32_t channel;
    char name[11];
    struct ca410_calitem *next;
} ca410_calitem;

MLINK_CA410_API int32_t ca_command(ca410_dev *dev, int32_t cmd, const char *params, int32_t plen, char *rbuf,
                                   int32_t rsize, int32_t *rlen, int32_t timeout_ms);
MLINK_CA410_API int32_t wcode(const char *reply);
MLINK_CA410_API int32_t ecode(const char *number);
MLINK_CA410_API int32_t ser_com_check_ca410(ser_com *port);
MLINK_CA410_API int32_t buf_dump(const void *data, int32_t length);

#ifdef __cplusplus
}
#endif

/* Spectral-to-CIE conversion and matrix helpers. */
#include "xspect.h"

#endif /* MLINK_CA410_H */
