#include "crxxxemulator.h"

#include "emulatortext.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace {

const char* const kEnd = "\r\n";

std::string ok(const std::string& command, const std::string& value = std::string())
{
    return "OK:0:" + command + (value.empty() ? std::string() : ":" + value) + kEnd;
}

std::string error(const std::string& command, const std::string& code)
{
    return "ER:" + code + ":" + command + kEnd;
}

std::string number(double value, int decimals)
{
    return EmulatorText::fixed(value, decimals);
}

std::string frequency(const std::string& command, double hz)
{
    return ok(command, number(hz, 2) + " Hz");
}

std::string list(const std::string& command, const std::string& head,
                 const std::vector<std::string>& names, int firstIndex)
{
    std::string reply = ok(command, head);
    for (size_t i = 0; i < names.size(); ++i)
        reply += std::to_string(firstIndex + int(i)) + "," + names[i] + kEnd;
    return reply;
}

// "SM Matrix 3" -> "SM Matrix", "M" -> "M".
std::string keyOf(const std::string& line)
{
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    return second.empty() ? first : first + " " + second;
}

// The argument of a setter, or false if there is none or it is not a number.
bool argumentOf(const std::string& line, double* value)
{
    const size_t space = line.find_last_of(' ');
    if (space == std::string::npos || space + 1 >= line.size())
        return false;
    return EmulatorText::toDouble(line.substr(space + 1), value);
}

} // namespace

CrxxxEmulator::Config CrxxxEmulator::cr100()
{
    Config c;
    c.model = "CR-100";
    c.id = "10012345";
    c.calibModes = {"Factory", "User1", "User2"};
    c.calibMode = "Factory";
    c.matrices = {"Panel A", "Panel B"};
    c.matrix = 1;
    c.matches = {"Match 1", "Match 2", "Match 3"};
    c.match = 2;
    c.syncModes = {"None", "Auto", "Manual"};
    c.syncMode = "Auto";
    c.x = 95.047;
    c.y = 100.0;
    c.z = 108.883;
    return c;
}

CrxxxEmulator::Config CrxxxEmulator::cr250()
{
    Config c;
    c.model = "CR-250";
    c.id = "25067890";
    c.speeds = {"Normal", "Fast", "Slow"};
    c.speed = "Fast";
    c.syncModes = {"None", "Auto", "Manual"};
    c.syncMode = "Manual";
    c.syncFreq = 59.94;
    c.x = 41.24;
    c.y = 21.26;
    c.z = 1.93;
    return c;
}

CrxxxEmulator::CrxxxEmulator(Config config)
    : PtyDevice(Line{115200, 8, Line::None, 1}),
      m_config(std::move(config))
{
}

CrxxxEmulator::~CrxxxEmulator()
{
    stop();
}

CrxxxEmulator::Config CrxxxEmulator::config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

void CrxxxEmulator::setConfig(const Config& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = config;
}

void CrxxxEmulator::setReadingSource(std::function<std::array<double, 3>()> source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_source = std::move(source);
}

void CrxxxEmulator::setFault(const std::string& command, Fault fault, const std::string& errorCode,
                             int times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[command] = Injected{fault, errorCode, times};
}

void CrxxxEmulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

std::vector<std::string> CrxxxEmulator::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

bool CrxxxEmulator::hasReceived(const std::string& command) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::find(m_commands.begin(), m_commands.end(), command) != m_commands.end();
}

void CrxxxEmulator::clearCommands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
}

bool CrxxxEmulator::waitForCommands(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_commands.size() >= count; });
}

CrxxxEmulator::Fault CrxxxEmulator::takeFault(const std::string& key, std::string* code)
{
    auto it = m_faults.find(key);
    if (it == m_faults.end() || it->second.times == 0)
        return Fault::None;
    *code = it->second.code;
    const Fault fault = it->second.fault;
    if (it->second.times > 0)
        --it->second.times;
    return fault;
}

void CrxxxEmulator::received(const std::string& bytes)
{
    std::string out;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (char c : bytes) {
            if (c != '\r') {
                m_partial.push_back(c);
                continue;
            }
            const std::string line = m_partial;
            m_partial.clear();
            m_commands.push_back(line);
            std::string code;
            const Fault fault = takeFault(keyOf(line), &code);
            // Only the faults that still send the reply carry the command out.
            const bool carriedOut = fault == Fault::None || fault == Fault::LeadingCrLf
                || fault == Fault::CutShort;
            const std::string normal = carriedOut ? answer(line) : std::string();
            switch (fault) {
            case Fault::None: out += normal; break;
            case Fault::ErrorReply: out += error(line, code); break;
            case Fault::Silence: break;
            case Fault::LeadingCrLf: out += kEnd + normal; break;
            case Fault::Garbage: out += "\x07#?%garbage~\x7f" + std::string(kEnd); break;
            case Fault::Overlong: out += "OK:0:" + std::string(3000, 'A') + kEnd; break;
            case Fault::CutShort: out += normal.substr(0, normal.size() / 2); break;
            case Fault::MissingValue: out += "OK:0:" + line + kEnd; break;
            case Fault::BadValue: out += "OK:0:" + line + ":?,n/a,--" + kEnd; break;
            }
        }
        m_changed.notify_all();
    }
    if (!out.empty())
        send(out);
}

std::string CrxxxEmulator::answer(const std::string& line)
{
    Config& c = m_config;
    const bool cr100 = c.model == "CR-100";
    const bool cr250 = c.model == "CR-250";
    const std::string key = keyOf(line);
    const auto none = [](const std::vector<std::string>& names) {
        return names.empty() ? std::string("None")
                             : std::to_string(names.size()) + "," + std::to_string(names.size() + 8);
    };

    if (line == "RC ID")
        return ok(line, c.id);
    if (line == "RC Model")
        return ok(line, c.model);
    if (line == "M")
        return ok(line);
    if (line == "RM XYZ") {
        const std::array<double, 3> xyz = m_source ? m_source() : std::array<double, 3>{{c.x, c.y, c.z}};
        return ok(line, number(xyz[0], 4) + "," + number(xyz[1], 4) + "," + number(xyz[2], 4));
    }
    if (line == "RC SyncMode")
        return list(line, std::to_string(c.syncModes.size()), c.syncModes, 0);
    if (line == "RS SyncMode")
        return ok(line, c.syncMode);
    if (line == "RS SyncFreq")
        return frequency(line, c.syncFreq);
    if (line == "RC MinSyncFreq")
        return frequency(line, c.minSyncFreq);
    if (line == "RC MaxSyncFreq")
        return frequency(line, c.maxSyncFreq);
    if (cr100 && line == "RC UserCalibMode")
        return list(line, std::to_string(c.calibModes.size()), c.calibModes, 0);
    if (cr100 && line == "RS UserCalibMode")
        return ok(line, c.calibMode);
    if (cr100 && line == "RC Matrix")
        return c.matrices.empty() ? ok(line, "None") : list(line, none(c.matrices), c.matrices, 1);
    if (cr100 && line == "RS Matrix")
        return ok(line, std::to_string(c.matrix));
    if (cr100 && line == "RC Match")
        return c.matches.empty() ? ok(line, "None") : list(line, none(c.matches), c.matches, 1);
    if (cr100 && line == "RS Match")
        return ok(line, std::to_string(c.match));
    if (cr250 && line == "RC Speed")
        return list(line, std::to_string(c.speeds.size()), c.speeds, 0);
    if (cr250 && line == "RS Speed")
        return ok(line, c.speed);

    // Setters: the value must be in range, or the instrument refuses it.
    double value = 0.0;
    const bool hasValue = argumentOf(line, &value);
    const int index = int(value);
    const auto inRange = [&](size_t size, int first) {
        return hasValue && index == value && index >= first && index < first + int(size);
    };
    if (cr100 && key == "SM UserCalibMode" && inRange(c.calibModes.size(), 0)) {
        c.calibMode = c.calibModes[size_t(index)];
        return ok(line);
    }
    if (cr100 && key == "SM Matrix" && inRange(c.matrices.size() + 1, 0)) {
        c.matrix = index;
        return ok(line);
    }
    if (cr100 && key == "SM Match" && inRange(c.matches.size() + 1, 0)) {
        c.match = index;
        return ok(line);
    }
    if (cr250 && key == "SM Speed" && inRange(c.speeds.size(), 0)) {
        c.speed = c.speeds[size_t(index)];
        return ok(line);
    }
    if (key == "SM SyncMode" && inRange(c.syncModes.size(), 0)) {
        c.syncMode = c.syncModes[size_t(index)];
        return ok(line);
    }
    if (key == "SM SyncFreq" && hasValue && value >= c.minSyncFreq && value <= c.maxSyncFreq) {
        c.syncFreq = value;
        return ok(line);
    }
    if (key.compare(0, 3, "SM ") == 0)
        return error(line, "-102");
    return error(line, "-101");
}
