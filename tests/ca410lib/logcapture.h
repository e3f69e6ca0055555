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
        glog->verb_sink = &LogCapture::verb;
        glog->debug_sink = &LogCapture::debug;
        glog->error_sink = &LogCapture::error;
        glog->debug_level = debugLevel;
        glog->verbosity = verbosity;
    }
    ~LogCapture() { *glog = m_saved; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string verbText;
    std::string debugText;
    std::string errorText;

    void clear()
    {
        verbText.clear();
        debugText.clear();
        errorText.clear();
    }

private:
    MLINK_CA410_PRINTF(1, 0) static std::string format(const char* fmt, va_list args)
    {
        char text[16384];
        vsnprintf(text, sizeof text, fmt, args);
        return text;
    }
    MLINK_CA410_PRINTF(3, 0) static void verb(void* context, clog*, const char* fmt, va_list args)
    {
        static_cast<LogCapture*>(context)->verbText += format(fmt, args);
    }
    MLINK_CA410_PRINTF(3, 0) static void debug(void* context, clog*, const char* fmt, va_list args)
    {
        static_cast<LogCapture*>(context)->debugText += format(fmt, args);
    }
    MLINK_CA410_PRINTF(3, 0) static void error(void* context, clog*, const char* fmt, va_list args)
    {
        static_cast<LogCapture*>(context)->errorText += format(fmt, args);
    }

    clog m_saved;
};

#endif // LOGCAPTURE_H
