#ifndef MLINK_CA410_H
#define MLINK_CA410_H

/* C interface of the CA-410 instrument library. Every operation returns a 32-bit
 * signed result code, 0 for success, and hands its results back through pointer
 * arguments owned by the caller. */

#include <stdint.h>

#if defined(_WIN32)
#define MLINK_CA410_API __declspec(dllexport)
#else
#define MLINK_CA410_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef __cplusplus
}
#endif

#endif /* MLINK_CA410_H */
