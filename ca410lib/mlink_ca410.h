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

/* A transport that is no terminal device, such as an instrument simulated in
 * memory. A port made by new_ser_com_on hands every write and read to these
 * functions, which take and return what ser_com_write and ser_com_read do
 * (read gets a zeroed buffer of size bytes and must leave it zero-terminated). */
typedef struct ser_com_ops {
    int32_t (*write)(void *context, const char *data, int32_t length, int32_t timeout_ms);
    int32_t (*read)(void *context, char *buffer, int32_t size, int32_t *received, const char *terminators,
                    int32_t count, int32_t timeout_ms);
} ser_com_ops;

typedef struct ser_com {
    char *path;      /* owned copy of the device path */
    int32_t fd;      /* -1 while closed */
    int32_t is_open;
    uint32_t flow;   /* 0 not configured, 1 none, 2 XON/XOFF, 3 RTS/CTS, 4 DTR/DSR */
    uint32_t baud;   /* index of the baud table, 0 not configured */
    uint32_t parity; /* 0 not configured, 1 none, 2 odd, 3 even */
    uint32_t stop;   /* 0 not configured, 1 or 2 stop bits */
    uint32_t word;   /* 0 not configured, 1..4 for 5..8 data bits */
    /* Kept by the exchanges: 1 after one ended without its reply, which may
     * still come and is then waited for by the next exchange's drain. */
    int32_t reply_owed;
    const ser_com_ops *ops; /* null for a terminal device */
    void *ops_context;
    /* usec_time() after which an owed reply is no longer waited for. */
    double reply_due;
} ser_com;

MLINK_CA410_API ser_com *new_ser_com(const char *path);
/* An open port over the given transport; ops must outlive it. */
MLINK_CA410_API ser_com *new_ser_com_on(const ser_com_ops *ops, void *context);
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

/* ---- CA-410 device operations ---------------------------------------------- */

/* One calibration channel as read back from the instrument. */
typedef struct ca410_calfile {
    int32_t channel;
    int32_t cal_type;     /* 2: white/red/green/blue user calibration */
    int32_t display_mode; /* 0 or 7 */
    char name[11];
    double target[4][3];  /* X, Y, Z of white, red, green, blue */
    double measure[4][3];
} ca410_calfile;

/* Stores malloc'ed paths of up to max CA-410s in names (free them with free()). */
MLINK_CA410_API int32_t ca410_dev_scan(char **names, int32_t max, int32_t *count);
/* Opens and identifies the instrument on path; null when it is no CA-410. */
MLINK_CA410_API ca410_dev *ca410_dev_create(const char *path);
/* The same on a port that is already open and set up; the record takes the
 * port over, and so does the failure (it deletes the port). */
MLINK_CA410_API ca410_dev *ca410_dev_create_on(ser_com *port);
MLINK_CA410_API int32_t ca410_dev_release(ca410_dev *dev);
MLINK_CA410_API int32_t ca410_set_reset(ca410_dev *dev, int32_t type);
MLINK_CA410_API int32_t ca410_get_firmware_info(ca410_dev *dev);
/* index: entry of cfgs. */
MLINK_CA410_API int32_t ca410_get_state(ca410_dev *dev, int32_t index);
MLINK_CA410_API int32_t ca410_set_istate(ca410_dev *dev, int32_t index, int32_t value, const char *text);
MLINK_CA410_API int32_t ca410_get_config(ca410_dev *dev);
/* type 0 colour, 1 flicker. */
MLINK_CA410_API int32_t ca410_get_range(ca410_dev *dev, int32_t type);
MLINK_CA410_API int32_t ca410_set_range(ca410_dev *dev, int32_t type, int32_t mode, int32_t range);
/* xyz (optional) gets the three values of the reading in the current display mode. */
MLINK_CA410_API int32_t ca410_measure(ca410_dev *dev, int32_t format, double *xyz);
MLINK_CA410_API int32_t ca410_ch_reset(ca410_dev *dev, int32_t channel);
MLINK_CA410_API int32_t ca410_calmode_set(ca410_dev *dev, int32_t mode);
/* colour 0 white, 1 red, 2 green, 3 blue. */
MLINK_CA410_API int32_t ca410_set_cal_target(ca410_dev *dev, int32_t colour, int32_t display_mode,
                                             const double *xyz);
MLINK_CA410_API int32_t ca410_ch_enter(ca410_dev *dev, int32_t channel, int32_t year, int32_t month, int32_t day,
                                       int32_t hour);
/* Appends the white/red/green/blue channels 1-99 to the record's list. */
MLINK_CA410_API int32_t ca410_get_callist(ca410_dev *dev);
MLINK_CA410_API int32_t ca410_free_list(ca410_dev *dev);
MLINK_CA410_API int32_t ca410_get_calfile(ca410_dev *dev, int32_t channel, int32_t display_mode,
                                          ca410_calfile *calfile);
MLINK_CA410_API int32_t ca410_ch_info(ca410_dev *dev, int32_t channel, int32_t display_mode);

/* ---- Exported device interface ---------------------------------------------- */

/* Filled by ca410GetDeviceInfo: only the first 16 bytes of each field are written. */
typedef struct ca410Info {
    char product_name[32];
    char serial_number[32];
    char firmware_version[16];
} ca410Info;

typedef struct ca410Stat {
    int32_t channel;       /* current calibration channel */
    int32_t measure_speed;
    int32_t zero_cal;      /* 1 when the zero calibration is done */
} ca410Stat;

typedef struct ca410Calfile {
    int32_t channel;
    char name[11];
    int32_t cal_type;
    double target[4][3];  /* X, Y, Z of white, red, green, blue */
    double measure[4][3];
} ca410Calfile;

/* Order: ca410DeviceOpen, ca410DeviceInit (or ca410GetDeviceInfo, which runs it
 * when needed), any of the others, ca410DeviceRelease last. Output arguments
 * are written only on success. XYZ arguments are three doubles X, Y, Z. */
MLINK_CA410_API int32_t ca410DeviceOpen(ca410_dev **handle, const char *path, int32_t level);
MLINK_CA410_API int32_t ca410DeviceInit(ca410_dev *dev);
MLINK_CA410_API int32_t ca410DeviceRelease(ca410_dev *dev);
MLINK_CA410_API int32_t ca410DeviceReset(ca410_dev *dev);
MLINK_CA410_API int32_t ca410GetDeviceInfo(ca410_dev *dev, ca410Info *info);
MLINK_CA410_API int32_t ca410GetDeviceStat(ca410_dev *dev, ca410Stat *stat);
MLINK_CA410_API int32_t ca410SetChannel(ca410_dev *dev, int32_t channel);
MLINK_CA410_API int32_t ca410SetMeasureSpeed(ca410_dev *dev, int32_t speed);
MLINK_CA410_API int32_t ca410BlackCalibration(ca410_dev *dev);
MLINK_CA410_API int32_t ca410MeasureXYZ(ca410_dev *dev, double *xyz);
/* The list belongs to the caller until it is passed to ca410DeleteCallist. */
MLINK_CA410_API int32_t ca410GetCallist(ca410_dev *dev, ca410_calitem **list, int32_t *count);
MLINK_CA410_API int32_t ca410DeleteCallist(ca410_calitem **list);
MLINK_CA410_API int32_t ca410GetCalfile(ca410_dev *dev, int32_t channel, ca410Calfile *calfile);
MLINK_CA410_API int32_t ca410DeleteCalfile(ca410_dev *dev, int32_t channel);
/* A user calibration: white, red, green, blue (each while the display shows that
 * colour; measured is optional), then ca410WRGBCalibEnd stores it in a channel. */
MLINK_CA410_API int32_t ca410WRGBCalibWhite(ca410_dev *dev, const double *target, double *measured);
MLINK_CA410_API int32_t ca410WRGBCalibRed(ca410_dev *dev, const double *target, double *measured);
MLINK_CA410_API int32_t ca410WRGBCalibGreen(ca410_dev *dev, const double *target, double *measured);
MLINK_CA410_API int32_t ca410WRGBCalibBlue(ca410_dev *dev, const double *target, double *measured);
MLINK_CA410_API int32_t ca410WRGBCalibEnd(ca410_dev *dev, int32_t channel, const char *name, int32_t year,
                                          int32_t month, int32_t day, int32_t hour);

#ifdef __cplusplus
}
#endif

/* Spectral-to-CIE conversion and matrix helpers. */
#include "xspect.h"

#endif /* MLINK_CA410_H */
