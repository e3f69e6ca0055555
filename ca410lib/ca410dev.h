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

#endif // CA410DEV_H
