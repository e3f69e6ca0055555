#include "cs2000emulator.h"

#include "emulatortext.h"

#include <cstdio>

namespace {

const char* const kEnd = "\r\n";
const std::string kOk = std::string("OK00") + kEnd;

std::string error(int code)
{
    char text[32];
    std::snprintf(text, sizeof text, "ER%02d\r\n", code);
    return text;
}

// Nine characters: "9.504e+01", or "-9.50e+01" for a negative value.
std::string nine(double value)
{
    return EmulatorText::scientific(value, value < 0 ? 2 : 3);
}

} // namespace

Cs2000Emulator::~Cs2000Emulator()
{
    // receivedByte() uses this class's members.
    shutDown();
}

bool Cs2000Emulator::commandMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commandMode;
}

void Cs2000Emulator::setReadingSource(std::function<std::array<double, 3>()> source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_source = std::move(source);
    m_measured.reset();
}

std::string Cs2000Emulator::xyzReply(double x, double y, double z)
{
    return "OK00," + nine(x) + "," + nine(y) + "," + nine(z) + kEnd;
}

void Cs2000Emulator::reply(const std::string& key, const std::string& normal,
                           std::chrono::milliseconds after)
{
    // A fault for every command does not touch the message the instrument sends by itself.
    const Injected fault = takeFault(key, key == EndOfMeasurement ? nullptr : AnyCommand);
    if (fault.fault == Fault::ErrorReply)
        m_scheduler.schedule(after, error(fault.code));
    else
        deliver(fault, normal, after);
}

void Cs2000Emulator::receivedByte(char c)
{
    if (c != '\n') {
        m_partial.push_back(c);
        return;
    }
    std::string line = m_partial;
    m_partial.clear();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    recordCommand(line);
    const std::string normal = answer(line);
    if (!normal.empty())
        reply(line, normal);
}

std::string Cs2000Emulator::answer(const std::string& line)
{
    using std::chrono::milliseconds;
    const Config& c = m_config;
    if (line == "RMTS,1") {
        m_commandMode = true;
        return kOk;
    }
    if (!m_commandMode)
        return error(0);
    if (line == "RMTS,0") {
        m_commandMode = false;
        m_scheduler.cancel();
        return kOk;
    }
    if (line == "IDDR")
        return "OK00," + c.product + "," + c.variant + "," + c.serial + kEnd;
    if (line == "MEAS,1") {
        // A new measurement replaces one still running.
        m_scheduler.cancel();
        char time[32];
        std::snprintf(time, sizeof time, "OK00,%03d\r\n", c.measureSeconds);
        const std::string started = time;
        const Injected fault = takeFault(line);
        if (fault.fault == Fault::ErrorReply) {
            // A refused start measures nothing, so no end message follows.
            m_scheduler.schedule(milliseconds(0), error(fault.code));
            return std::string();
        }
        // Read before the reply goes out: once the start is answered, what is
        // shown may change without changing this measurement.
        if (m_source)
            m_measured = m_source();
        deliver(fault, started, milliseconds(0));
        const int total = c.measureMs >= 0 ? c.measureMs : c.measureSeconds * 1000;
        for (int i = 0; i < c.busyReplies; ++i)
            m_scheduler.schedule(milliseconds(total + i * c.busyIntervalMs), error(20));
        reply(EndOfMeasurement, kOk, milliseconds(total + c.busyReplies * c.busyIntervalMs));
        return std::string(); // answered above
    }
    if (line == "MEAS,0") {
        m_scheduler.cancel();
        return kOk;
    }
    if (line == "MEDR,2,0,01") {
        if (m_source && m_measured)
            return xyzReply((*m_measured)[0], (*m_measured)[1], (*m_measured)[2]);
        return xyzReply(c.x, c.y, c.z);
    }
    return error(0);
}
