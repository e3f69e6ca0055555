#ifndef MLINK_I1D3_H
#define MLINK_I1D3_H

/* Stand-in for the i1Display Pro instrument library, backed by a simulated
 * instrument. It offers the calls, records and result codes the program relies
 * on; every call returns a 32-bit code, 0 for success, and hands its results
 * back through pointer arguments owned by the caller (except the calibration
 * list, which the library owns until i1d3ReleaseCallist).
 *
 * A result code carries the library family's general error class in bits 16-23
 * and the instrument's own error number in bits 0-7. */

#include <stdint.h>

#if defined(_WIN32)
#define MLINK_I1D3_API __declspec(dllexport)
#else
#define MLINK_I1D3_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define I1D3_CODE(cls, number) ((int32_t)(((cls) << 16) | (number)))

#define I1D3_OK 0
#define I1D3_ERR_NOT_INITIALISED I1D3_CODE(4, 21)
#define I1D3_ERR_INTERNAL I1D3_CODE(6, 97)
#define I1D3_ERR_COMMS I1D3_CODE(7, 98)
#define I1D3_ERR_NO_SAVED_DATA I1D3_CODE(15, 101)
#define I1D3_ERR_STORAGE_DISABLED I1D3_CODE(21, 102)
#define I1D3_ERR_BAD_ARGS I1D3_CODE(24, 101)

/* Calibration slots the instrument keeps. */
#define I1D3_CAL_SLOTS 18
#define I1D3_NAME_SIZE 20

typedef struct i1d3_dev i1d3_dev;

typedef struct i1d3_devinfo {
    char product[34];       /* byte 0 */
    char serial[32];        /* byte 34 */
    char firmware[32];      /* byte 66 */
    char firmware_date[32]; /* byte 98 */
} i1d3_devinfo;

typedef struct i1d3_status {
    int32_t diffuser_pos; /* byte 0 */
    int32_t led_state;    /* byte 4 */
    double int_time;      /* byte 8, seconds */
} i1d3_status;

typedef struct i1d3_calnode {
    int32_t index;              /* byte 0 */
    char name[I1D3_NAME_SIZE];  /* byte 4 */
    struct i1d3_calnode *next;  /* byte 24 */
} i1d3_calnode;

typedef struct i1d3_calfile {
    int32_t index;             /* byte 0 */
    char name[I1D3_NAME_SIZE]; /* byte 4, zero-terminated */
    double matrix[3][3];       /* byte 24, row by row */
} i1d3_calfile;

/* port may be null: the simulated instrument is always found. */
MLINK_I1D3_API int32_t i1d3DeviceOpen(i1d3_dev **handle, const char *port, int32_t log_level);
MLINK_I1D3_API int32_t i1d3DeviceInit(i1d3_dev *dev);
/* The handle is invalid afterwards. */
MLINK_I1D3_API int32_t i1d3DeviceRelease(i1d3_dev *dev);
MLINK_I1D3_API int32_t i1d3GetDeviceInfo(i1d3_dev *dev, i1d3_devinfo *info);
MLINK_I1D3_API int32_t i1d3GetStatusInfo(i1d3_dev *dev, i1d3_status *status);
MLINK_I1D3_API int32_t i1d3SetIntegrationTime(i1d3_dev *dev, double seconds);
/* state: 0 off, 1 on. */
MLINK_I1D3_API int32_t i1d3SetLedState(i1d3_dev *dev, int32_t state);
MLINK_I1D3_API int32_t i1d3ReadDiffuserPosition(i1d3_dev *dev, int32_t *position);
/* xyz: X, Y, Z. Blocks for the reading. */
MLINK_I1D3_API int32_t i1d3MeasureXYZ(i1d3_dev *dev, double *xyz);
MLINK_I1D3_API int32_t i1d3GetUsrdataEnableState(i1d3_dev *dev, int32_t *enabled);
/* The stored matrices in slot order; give the list back with i1d3ReleaseCallist. */
MLINK_I1D3_API int32_t i1d3GetCallist(i1d3_dev *dev, i1d3_calnode **head, int32_t *count);
/* Frees the list and clears *head. */
MLINK_I1D3_API int32_t i1d3ReleaseCallist(i1d3_dev *dev, i1d3_calnode **head);
MLINK_I1D3_API int32_t i1d3GetCalfile(i1d3_dev *dev, int32_t index, i1d3_calfile *calfile);
MLINK_I1D3_API int32_t i1d3SaveCalfile(i1d3_dev *dev, const i1d3_calfile *calfile);
MLINK_I1D3_API int32_t i1d3DeleteCalfile(i1d3_dev *dev, int32_t index);

/* ---- Steering the simulated instrument --------------------------------------- */

/* What the simulated instrument reports about itself. */
#define I1D3_SIM_PRODUCT "i1Display Pro (simulated)"
#define I1D3_SIM_SERIAL "SIM-I1D3-0001"
#define I1D3_SIM_FIRMWARE "v2.28"
#define I1D3_SIM_FIRMWARE_DATE "11Jun2014"

typedef enum i1d3_sim_op {
    /* Defaults: patch (95.05, 100.0, 108.9), reading time 200 ms, time scale
     * 1.0, user storage enabled, no stored matrices, no failures, counters and
     * clock at 0. Open devices are released. */
    I1D3_SIM_RESET = 1,
    I1D3_SIM_SET_PATCH,        /* data[0..2]: X, Y, Z of the patch in front of it */
    I1D3_SIM_SET_READING_TIME, /* value: ms one reading takes */
    I1D3_SIM_SET_TIME_SCALE,   /* data[0]: real sleep per simulated ms (0 = none) */
    I1D3_SIM_SET_USR_ENABLED,  /* value: user-storage enable state */
    I1D3_SIM_FAIL,             /* function fails with code for its next value calls */
    I1D3_SIM_CALLS,            /* value out: calls of function so far */
    I1D3_SIM_CLOCK,            /* value out: simulated ms spent reading so far */
    I1D3_SIM_LED,              /* value out: LED state */
    I1D3_SIM_STORE,            /* slot value gets name and data[0..8] */
    I1D3_SIM_OPEN_DEVICES      /* value out: handles not yet released */
} i1d3_sim_op;

typedef struct i1d3_sim_request {
    int32_t op;                /* i1d3_sim_op */
    char function[32];         /* FAIL, CALLS: a library function's name */
    int32_t code;              /* FAIL: the code it returns */
    int64_t value;
    double data[9];
    char name[I1D3_NAME_SIZE]; /* STORE */
} i1d3_sim_request;

/* I1D3_OK, or I1D3_ERR_BAD_ARGS for an unknown op, function name or slot. */
MLINK_I1D3_API int32_t i1d3SimControl(i1d3_sim_request *request);

/* Where the patch in front of the instrument comes from instead of
 * I1D3_SIM_SET_PATCH, for a simulation in which it changes: every reading calls
 * source(context, xyz) to fill X, Y, Z, on the thread taking the reading and
 * without the library's lock held. A null source goes back to the fixed patch;
 * I1D3_SIM_RESET does too. Returns I1D3_OK. */
MLINK_I1D3_API int32_t i1d3SimSetPatchSource(void (*source)(void *context, double *xyz), void *context);

#ifdef __cplusplus
}
#endif

#endif /* MLINK_I1D3_H */
