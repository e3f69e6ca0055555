#include "cs2000emulator.h"

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
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", value < 0 ? 2 : 3, value);
    return text;
}

} // namespace

Cs2000Emulator::Cs2000Emulator()
    : Cs2000Emulator(Config())
{
}

Cs2000Emulator::Cs2000Emulator(Config config)
    : m_config(std::move(config)),
      m_scheduler([this](const std::string& bytes) { return send(bytes); })
{
}

Cs2000Emulator::~Cs2000Emulator()
{
    // Nothing may be sent once the terminal is gone.
    m_scheduler.stop();
    stop();
}

Cs2000Emulator::Config Cs2000Emulator::config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

void Cs2000Emulator::setConfig(const Config& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = config;
}

void Cs2000Emulator::setFault(const std::string& key, const Injected& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key] = fault;
}

void Cs2000Emulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

bool Cs2000Emulator::commandMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commandMode;
}

std::vector<std::string> Cs2000Emulator::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void Cs2000Emulator::clearCommands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
}

bool Cs2000Emulator::waitForCommands(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_commands.size() >= count; });
}

std::string Cs2000Emulator::xyzReply(double x, double y, double z)
{
    return "OK00," + nine(x) + "," + nine(y) + "," + nine(z) + kEnd;
}

Cs2000Emulator::Injected Cs2000Emulator::takeFault(const std::string& key)
{
    auto it = m_faults.find(key);
    if (it == m_faults.end() || it->second.times == 0)
        it = key == EndOfMeasurement ? m_faults.end() : m_faults.find(AnyCommand);
    if (it == m_faults.end() || it->second.times == 0)
        return Injected();
    if (it->second.times > 0)
        --it->second.times;
    return it->second;
}

void Cs2000Emulator::reply(const std::string& key, const std::string& normal,
                           std::chrono::milliseconds after)
{
    using std::chrono::milliseconds;
    const Injected fault = takeFault(key);
    switch (fault.fault) {
    case Fault::None:
        m_scheduler.schedule(after, normal);
        break;
    case Fault::ErrorReply:
        m_scheduler.schedule(after, error(fault.code));
        break;
    case Fault::Short:
        m_scheduler.schedule(after, normal.substr(0, fault.keep));
        if (fault.delayMs > 0 && fault.keep < normal.size())
            m_scheduler.schedule(after + milliseconds(fault.delayMs), normal.substr(fault.keep));
        break;
    case Fault::Late:
        m_scheduler.schedule(after + milliseconds(fault.delayMs), normal);
        break;
    case Fault::Silence:
        break;
    }
}

void Cs2000Emulator::received(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (char c : bytes) {
        if (c != '\n') {
            m_partial.push_back(c);
            continue;
        }
        std::string line = m_partial;
        m_partial.clear();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        m_commands.push_back(line);
        const std::string normal = answer(line);
        if (!normal.empty())
            reply(line, normal);
    }
    m_changed.notify_all();
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
        reply(line, started);
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
    if (line == "MEDR,2,0,01")
        return xyzReply(c.x, c.y, c.z);
    return error(0);
}
