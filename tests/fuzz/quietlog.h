#ifndef QUIETLOG_H
#define QUIETLOG_H

// Formats every message of the CA-410 library's log and throws it away: the
// formatting still reads every argument (so a bad text pointer is found), but
// a fuzzer's millions of error messages are not printed.

#include "mlink_ca410.h"

#include <cstdarg>
#include <cstdio>

__attribute__((format(printf, 3, 0))) inline void quietSink(void*, clog*, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
}

inline void quietLibraryLog()
{
    glog->verb_sink = quietSink;
    glog->debug_sink = quietSink;
    glog->error_sink = quietSink;
    // Every level: the debug messages format what was received too.
    clog_set_debug(glog, 8);
    clog_set_verb(glog, 8);
}

#endif // QUIETLOG_H
