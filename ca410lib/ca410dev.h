#ifndef CA410DEV_H
#define CA410DEV_H

// The library's model of one connected CA-410. Internal: callers only ever see
// the opaque handle declared in mlink_ca410.h.

#include "mlink_ca410.h"

struct ca410_dev {
    int32_t init;  // 1 after a complete device initialisation
    ser_com *ser;  // owned transport
    char name[16];
    char model[16];
    char sn[16];
    char vn[16];
    uint8_t display_mode;
    uint8_t sync_mode;
    uint8_t lum_unit;
    uint8_t probe_display;
    uint8_t probe_output;
    uint8_t measure_speed;
    uint8_t color_range;
    uint8_t flicker_range;
    uint8_t color_range_mode;
    uint8_t flicker_range_mode;
    uint8_t trigger_mode;
    uint8_t trigger_delay;
    uint8_t zero_cal_status;
    uint8_t simultaneous;
    double temperature_shift;
    double manual_measure_time;
    double internal_freq;
    uint8_t calmode;
    uint8_t channel;
    uint8_t calitem_count;
    ca410_calitem *calitems;
};

// True for a record made by ca410_dev_create and not yet released. Callers of
// the exported interface may hand back a released or foreign handle, which
// must then never be read.
bool ca410_dev_live(const ca410_dev *dev);

// Sends "IDO,0,1" on an open port and reads the answer line within the budget.
// A reply of 12 bytes or more without its carriage return still counts, as the
// identity is in its first 12 bytes. Returns the transport's error word.
int32_t ca410_identity_exchange(ser_com *port, char *answer, int32_t size, int32_t *received,
                                int32_t timeout_ms);

// Records on the port that the reply to the command just sent has not come
// (or not whole): the next exchange on the port waits for it and discards it
// before it sends anything, for a bounded time that grows with timeout_ms.
void ser_com_owe_reply(ser_com *port, int32_t timeout_ms);

// Sends a command line and reads reply lines within the budget until one has
// the form of command number cmd's reply. Lines of another form (the late
// reply of an earlier command, or the tail of one) are discarded whole. When
// the budget ends with only such lines, the last of them is returned with
// *fitted false, for the caller to judge; with none, the transport's error.
// The line is left zero-terminated right after its carriage return.
int32_t ca410_exchange_line(ser_com *port, int32_t cmd, const char *command, int32_t length, char *line,
                            int32_t size, int32_t *received, int32_t timeout_ms, bool *fitted);

// ca410_measure for a reading in the given display mode: a reply in another
// mode, or with a value that is no number, fails with 48.
int32_t ca410_measure_mode(ca410_dev *dev, int32_t format, int32_t display_mode, double *xyz);

// The probing half of ca410_dev_scan: stores in names a copy of each of the
// paths on which a CA-410 answers, up to max. Exported so that ports the host
// enumeration does not list (pseudo-terminals) can be probed too.
extern "C" MLINK_CA410_API int32_t ca410_dev_probe(const char *const *paths, int32_t npaths, char **names,
                                                   int32_t max, int32_t *count);

#endif // CA410DEV_H
