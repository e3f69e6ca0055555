#ifndef MLINK_K10_H
#define MLINK_K10_H

/* Stand-in for the K-10 instrument library: the calls, records and results the
 * program relies on, backed by a simulated instrument instead of a device. Every
 * call returns a 32-bit signed code, 0 for success, and writes its results
 * through pointer arguments, only on success. */

#include <stdint.h>

#if defined(_WIN32)
#define MLINK_K10_API __declspec(dllexport)
#else
#define MLINK_K10_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
    K10_OK = 0,
    K10_ERR_ARGS = 1,      /* a required pointer is missing */
    K10_ERR_HANDLE = 2,    /* not a handle of an open device */
    K10_ERR_NOT_INIT = 3,  /* k10DeviceInit has not run */
    K10_ERR_SLOT = 4,      /* calibration index outside 0-95 */
    K10_ERR_EMPTY = 5,     /* nothing stored at that index */
    K10_ERR_MEMORY = 6
};

#define K10_MAX_SLOT 95

typedef struct k10_dev k10_dev;

typedef struct k10Info {
    char product_name[32];
    char serial_number[32];
    char firmware_version[32];
} k10Info;

/* One stored matrix; the list belongs to the library until k10DeviceReleaseList. */
typedef struct k10CalNode {
    char name[20];
    int32_t index;
    struct k10CalNode *next;
} k10CalNode;

typedef struct k10CalRecord {
    int32_t index;
    char name[20]; /* zero-terminated */
    double matrix[3][3];
} k10CalRecord;

MLINK_K10_API int32_t k10DeviceOpen(k10_dev **handle, const char *port, int32_t level);
MLINK_K10_API int32_t k10DeviceRelease(k10_dev *dev);
MLINK_K10_API int32_t k10DeviceInit(k10_dev *dev);
MLINK_K10_API int32_t k10DeviceGetList(k10_dev *dev, k10CalNode **head);
MLINK_K10_API int32_t k10DeviceReleaseList(k10CalNode **head);
MLINK_K10_API int32_t k10DeviceGetInfo(k10_dev *dev, k10Info *info);
MLINK_K10_API int32_t k10GetCalibrationMatrix(k10_dev *dev, int32_t index, k10CalRecord *record);
MLINK_K10_API int32_t k10SaveCalibrationMatrix(k10_dev *dev, k10CalRecord record);
MLINK_K10_API int32_t k10DeleteCalibrationMatrix(k10_dev *dev, int32_t index);
MLINK_K10_API int32_t k10MeasureXYZ(k10_dev *dev, double *xyz);

/* Steers the simulated instrument with one text command; returns the command's
 * answer (0 when it has none) or -1 for a command it does not know:
 *   "reset"                       defaults: nothing stored, no faults, counts
 *                                 and clock 0;
 *                                 open handles and lists stay the caller's
 *   "patch X Y Z"                 what the probe sees
 *   "reading MS"                  how long a reading takes on the instrument
 *   "scale F"                     real time spent per instrument millisecond
 *   "reply MS"                    how long one reply of the instrument takes on
 *                                 its line (default 0): every call that it
 *                                 answers waits one reply, a list one per matrix
 *                                 listed (one when empty), a reading one on top
 *                                 of its own time
 *   "clock"                       instrument milliseconds spent so far in
 *                                 readings and replies, unscaled
 *   "identity PRODUCT SERIAL FW"  the device information
 *   "fail FUNCTION CODE [TIMES]"  the next TIMES calls (default 1, -1 for ever)
 *                                 of FUNCTION return CODE and do nothing
 *   "store INDEX NAME M00..M22"   puts a matrix at INDEX 0-127, past the checks
 *   "stored INDEX"                1 when INDEX holds a matrix, else 0
 *   "clear INDEX"                 empties INDEX 0-127, past the checks
 *   "cyclic"                      lists handed out from now on run in a circle:
 *                                 the last node links back to the first
 *   "calls FUNCTION"              calls of FUNCTION since the last reset
 *   "badhandles"                  calls made with a handle that is not open
 *   "open"                        handles open now
 *   "lists"                       lists handed out and not yet given back */
MLINK_K10_API int32_t k10SimControl(const char *command);

/* Where the patch the probe sees comes from instead of "patch", for a
 * simulation in which it changes: every reading ends by calling
 * source(context, xyz) to fill X, Y, Z, on the thread taking the reading and
 * without the library's lock held. A null source goes back to the fixed patch;
 * "reset" does too. Returns K10_OK. */
MLINK_K10_API int32_t k10SimSetPatchSource(void (*source)(void *context, double *xyz), void *context);

#ifdef __cplusplus
}
#endif

#endif /* MLINK_K10_H */
