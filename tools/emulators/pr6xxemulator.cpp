#include "pr6xxemulator.h"

#include <cstdio>

namespace {

const char* const kEnd = "\r\n";
const char* const kRemoteBanner = " REMOTE MODE";
// Status of a command the instrument does not know.
constexpr int kUnknownCommand = 11;

std::string status(int code)
{
    char text[16];
    std::snprintf(text, sizeof text, "%05d", code);
    return text;
}

bool endsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

Pr6xxEmulator::Pr6xxEmulator()
    : Pr6xxEmulator(Config())
{
}

Pr6xxEmulator::Pr6xxEmulator(Config config)
    : m_config(std::move(config)),
      m_scheduler([this](const std::string& bytes) { return send(bytes); })
{
}

Pr6xxEmulator::~Pr6xxEmulator()
{
    // Nothing may be sent once the terminal is gone.
    m_scheduler.stop();
    stop();
}

Pr6xxEmulator::Config Pr6xxEmulator::config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

void Pr6xxEmulator::setConfig(const Config& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = config;
}

void Pr6xxEmulator::setFault(const std::string& key, const Injected& fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[key] = fault;
}

void Pr6xxEmulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

bool Pr6xxEmulator::remoteMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remote;
}

std::vector<std::string> Pr6xxEmulator::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

std::string Pr6xxEmulator::input() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_input;
}

void Pr6xxEmulator::clearCommands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
    m_input.clear();
}

bool Pr6xxEmulator::waitForCommands(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_commands.size() >= count; });
}

std::string Pr6xxEmulator::readingReply(const Config& c, int code)
{
    char text[160];
    std::snprintf(text, sizeof text, "%s,%d,%.*e,%.*e,%.*e\r\n", status(code).c_str(), c.units,
                  c.decimals[0], c.x, c.decimals[1], c.y, c.decimals[2], c.z);
    return text;
}

Pr6xxEmulator::Injected Pr6xxEmulator::takeFault(const std::string& key)
{
    auto it = m_faults.find(key);
    if (it == m_faults.end() || it->second.times == 0)
        it = m_faults.find(AnyCommand);
    if (it == m_faults.end() || it->second.times == 0)
        return Injected();
    if (it->second.times > 0)
        --it->second.times;
    return it->second;
}

void Pr6xxEmulator::received(const std::string& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_input += bytes;
    for (char c : bytes) {
        if (!m_remote) {
            // Outside remote mode only "PHOTO" is heard; other bytes are lost.
            m_partial.push_back(c);
            if (endsWith(m_partial, "PHOTO")) {
                m_partial.clear();
                command("PHOTO");
            } else if (m_partial.size() > 4) {
                m_partial.erase(0, m_partial.size() - 4);
            }
            continue;
        }
        if (m_partial.empty() && c == 'Q') {
            command("Q");
            continue;
        }
        if (c == '\r') {
            const std::string line = m_partial;
            m_partial.clear();
            command(line);
            continue;
        }
        m_partial.push_back(c);
        // "PHOTO" has no line end, also when it comes again in remote mode.
        if (m_partial == "PHOTO") {
            m_partial.clear();
            command("PHOTO");
        }
    }
    m_changed.notify_all();
}

void Pr6xxEmulator::command(const std::string& line)
{
    using std::chrono::milliseconds;
    m_commands.push_back(line);
    milliseconds after(0);
    const std::string normal = answer(line, &after);
    if (normal.empty())
        return;
    const Injected fault = takeFault(line);
    switch (fault.fault) {
    case Fault::None:
        m_scheduler.schedule(after, normal);
        break;
    case Fault::ErrorStatus:
        m_scheduler.schedule(after, status(fault.code) + normal.substr(std::min<size_t>(5, normal.size())));
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
    case Fault::Garbage:
        m_scheduler.schedule(after, std::string("?#~ noise ~#?") + kEnd);
        break;
    }
}

std::string Pr6xxEmulator::answer(const std::string& line, std::chrono::milliseconds* after)
{
    const Config& c = m_config;
    if (line == "PHOTO") {
        m_remote = true;
        return kRemoteBanner;
    }
    if (line == "Q") {
        m_remote = false;
        m_scheduler.cancel();
        return std::string();
    }
    if (line == "D110")
        return status(0) + "," + c.serial + kEnd;
    if (line == "SU1" || (line.size() > 2 && line.compare(0, 2, "SE") == 0))
        return status(0) + kEnd;
    if (line == "M2") {
        *after = std::chrono::milliseconds(c.measureMs);
        return readingReply(c);
    }
    return status(kUnknownCommand) + kEnd;
}
