/* A library that records in the environment that it was loaded: its
 * initialiser runs at load time, which is exactly what looking for a library
 * must not cause. */
#define _POSIX_C_SOURCE 200112L
#include <stdlib.h>

__attribute__((constructor)) static void leaveMark(void)
{
    setenv("LUMASERVE_MARK_LIBRARY_LOADED", "1", 1);
}

int markonloadPresent(void)
{
    return 1;
}
