#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include "mlink_ca410.h"

#include <cstdio>
#include <string>

// Replaces the sinks and levels of the library's log record for one scope and
// keeps everything written to each channel, so tests read what the library
// logged instead of the process's standard streams.
class LogCapture
{
public:
    explicit LogCapture(int32_t debugLevel = 0, int32_t verbosity = 0)
        : m_saved(*glog)
    {
        glog->context = this;
        glog->verb_sink = &LogCapture::sink<&LogCapture::verbText>;
        glog->debug_sink = &LogCapture::sink<&LogCapture::debugText>;
        glog->error_sink = &LogCapture::sink<&LogCapture::errorText>;
        glog->debug_level = debugLevel;
        glog->verbosity = verbosity;
    }
    ~LogCapture() { *glog = m_saved; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string verbText;
    std::string debugText;
    std::string errorText;

    void clear() { verbText = debugText = errorText = std::string(); }

private:
    template <std::string LogCapture::*text>
    MLINK_CA410_PRINTF(3, 0) static void sink(void* context, clog*, const char* fmt, va_list args)
    {
        char line[16384];
        vsnprintf(line, sizeof line, fmt, args);
        static_cast<LogCapture*>(context)->*text += line;
    }

    clog m_saved;
};

#endif // LOGCAPTURE_H
