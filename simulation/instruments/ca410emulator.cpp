#include "ca410emulator.h"

#include "emulatortext.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

// The instrument accepts decimal integers only; anything else is a bad command.
bool toInt(const std::string& text, int* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < -1000000 || v > 1000000)
        return false;
    *value = static_cast<int>(v);
    return true;
}

// Targets come blank-padded to a fixed width ("%9f"); the number is the rest.
bool toDouble(const std::string& text, double* value)
{
    const size_t first = text.find_first_not_of(' ');
    return first != std::string::npos && EmulatorText::toDouble(text.substr(first), value);
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

std::string number(double v)
{
    return EmulatorText::fixed(v, 4);
}

std::string padded(const std::string& text, size_t width)
{
    return text.size() >= width ? text.substr(0, width) : text + std::string(width - text.size(), ' ');
}

// Setting ids changed by the plain one-value setting commands, with their limits.
struct SimpleSetting {
    const char* prefix;
    int id;
    int low;
    int high;
};
const SimpleSetting simpleSettings[] = {
    {"MDS,", 0, 0, 8},   {"LUS,", 6, 0, 1},    {"FSC,", 7, 0, 3},  {"DPR,", 11, 1, 10},
    {"OPR,", 12, 1, 10}, {"TMS,", 18, 0, 1},   {"TDS,", 19, 0, 100}, {"MMS,", 26, 0, 1},
};

} // namespace

Ca410Emulator::Ca410Emulator()
    : PtyDevice(Line{38400, 7, Line::Even, 2})
{
    resetMeasurementSettings();
    m_settings[3] = "0";
    m_settings[23] = "0";
}

Ca410Emulator::~Ca410Emulator()
{
    stop();
}

void Ca410Emulator::resetMeasurementSettings()
{
    m_settings[0] = "0";
    m_settings[1] = "0";
    m_settings[6] = "0";
    m_settings[7] = "1";
    m_settings[11] = "1";
    m_settings[12] = "1";
    m_settings[15] = "0.0000";
    m_settings[16] = "60.00";
    m_settings[17] = "100.0";
    m_settings[18] = "0";
    m_settings[19] = "0";
    m_settings[26] = "0";
    m_settings[28] = "60.00";
    m_ranges = {};
}

void Ca410Emulator::setIdentity(const std::string& family, const std::string& model, const std::string& version,
                                const std::string& serial)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_family = family;
    m_model = model;
    m_version = version;
    m_serial = serial;
}

void Ca410Emulator::setMeasurement(double X, double Y, double Z)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_xyz = {{X, Y, Z}};
}

void Ca410Emulator::setReadingSource(std::function<std::array<double, 3>()> source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_source = std::move(source);
}

void Ca410Emulator::addFault(Fault fault, const std::string& prefix, int value, int times, const std::string& raw)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.push_back(Rule{fault, prefix, value, times, raw});
}

void Ca410Emulator::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rules.clear();
}

void Ca410Emulator::setSplitPause(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_splitPauseMs = ms;
}

std::vector<std::string> Ca410Emulator::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void Ca410Emulator::clearCommands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
}

bool Ca410Emulator::waitForCommands(size_t n, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_commandArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return m_commands.size() >= n; });
}

std::string Ca410Emulator::setting(int id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_settings.find(id);
    return it == m_settings.end() ? std::string() : it->second;
}

void Ca410Emulator::setSetting(int id, const std::string& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_settings[id] = value;
}

void Ca410Emulator::setZeroCalibrationResult(const std::string& status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_zeroResult = status;
}

Ca410Emulator::Channel Ca410Emulator::channel(int number) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return number >= 1 && number <= 99 ? m_channels[static_cast<size_t>(number)] : Channel{};
}

void Ca410Emulator::setChannel(int number, const Channel& channel)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (number >= 1 && number <= 99)
        m_channels[static_cast<size_t>(number)] = channel;
}

int Ca410Emulator::calibrationMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calMode;
}

void Ca410Emulator::received(const std::string& bytes)
{
    for (const char c : bytes) {
        if (c == '\n')
            continue;
        if (c != '\r') {
            // A line that never ends is no command: keep the buffer bounded.
            if (m_pending.size() < 4096)
                m_pending += c;
            continue;
        }
        const std::string line = m_pending;
        m_pending.clear();

        Reply reply;
        Rule rule{Fault::Warning, std::string(), 0, 0, std::string()};
        bool ruled = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_commands.push_back(line);
            for (Rule& r : m_rules) {
                if (r.times != 0 && line.compare(0, r.prefix.size(), r.prefix) == 0) {
                    if (r.times > 0)
                        --r.times;
                    rule = r;
                    ruled = true;
                    break;
                }
            }
            const bool carriedOut =
                !ruled || (rule.fault != Fault::Error && rule.fault != Fault::Silence && rule.fault != Fault::Raw);
            if (carriedOut) {
                m_wrongChannel = ruled && rule.fault == Fault::WrongChannel;
                reply = execute(line);
                m_wrongChannel = false;
            }
        }
        m_commandArrived.notify_all();
        deliver(line, reply, ruled ? &rule : nullptr);
    }
}

void Ca410Emulator::deliver(const std::string&, const Reply& reply, const Rule* rule)
{
    const Fault fault = rule ? rule->fault : Fault::WrongChannel;
    if (rule && fault == Fault::Silence)
        return;
    if (rule && fault == Fault::Raw) {
        send(rule->raw);
        return;
    }
    if (rule && fault == Fault::Error) {
        char text[16];
        std::snprintf(text, sizeof text, "ER%02d\r", rule->value % 100);
        send(text);
        return;
    }

    char status[8];
    std::string data = reply.data;
    if (reply.error) {
        std::snprintf(status, sizeof status, "ER%02d", reply.status % 100);
        data.clear();
    } else {
        const int warning = rule && fault == Fault::Warning && reply.status == 0 ? rule->value : reply.status;
        std::snprintf(status, sizeof status, "OK%02d", warning % 100);
        if (rule && fault == Fault::OverLong)
            data += std::string(static_cast<size_t>(rule->value > 0 ? rule->value : 0), '9');
    }
    const std::string text = std::string(status) + (data.empty() ? std::string() : "," + data) + "\r";

    if (rule && (fault == Fault::Slow || fault == Fault::LateSplit))
        std::this_thread::sleep_for(std::chrono::milliseconds(rule->value));
    size_t pieces = 1;
    if (rule && fault == Fault::LateSplit)
        pieces = 2;
    else if (rule && fault == Fault::Split)
        pieces = size_t(std::max(rule->value, 1));
    if (pieces > 1) {
        int pauseMs = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pauseMs = m_splitPauseMs;
        }
        const size_t step = (text.size() + pieces - 1) / pieces;
        for (size_t at = 0; at < text.size(); at += step) {
            send(text.substr(at, step));
            if (at + step < text.size())
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        return;
    }
    send(text);
}

Ca410Emulator::Reply Ca410Emulator::ok(const std::string& data)
{
    Reply r;
    r.data = data;
    return r;
}

Ca410Emulator::Reply Ca410Emulator::error(int number)
{
    Reply r;
    r.error = true;
    r.status = number;
    return r;
}

const std::vector<Ca410Emulator::Command>& Ca410Emulator::commandTable()
{
    static const std::vector<Command> table = {
        {"IDO,", &Ca410Emulator::identify},         {"COM,", &Ca410Emulator::communication},
        {"RST,", &Ca410Emulator::reset},            {"MDS,", &Ca410Emulator::simpleSetting},
        {"DPR,", &Ca410Emulator::simpleSetting},    {"OPR,", &Ca410Emulator::simpleSetting},
        {"LUS,", &Ca410Emulator::simpleSetting},    {"FSC,", &Ca410Emulator::simpleSetting},
        {"TMS,", &Ca410Emulator::simpleSetting},    {"TDS,", &Ca410Emulator::simpleSetting},
        {"MMS,", &Ca410Emulator::simpleSetting},    {"SCS,", &Ca410Emulator::syncMode},
        {"MCH,", &Ca410Emulator::channelNumber},    {"IDS,", &Ca410Emulator::channelName},
        {"STR,", &Ca410Emulator::readSetting},      {"ZRC", &Ca410Emulator::zeroCalibration},
        {"RGR,", &Ca410Emulator::readRange},        {"RGS,", &Ca410Emulator::setRange},
        {"MES,", &Ca410Emulator::measure},          {"TDR,", &Ca410Emulator::readChannel},
        {"UCS,", &Ca410Emulator::calibrationModeCommand},
        {"UWT,", &Ca410Emulator::target},           {"URD,", &Ca410Emulator::target},
        {"UGR,", &Ca410Emulator::target},           {"UBL,", &Ca410Emulator::target},
        {"ETR,", &Ca410Emulator::enterCalibration}, {"MDD,", &Ca410Emulator::deleteChannel},
    };
    return table;
}

// Executes one command line against the device state; called with m_mutex held.
// A command is its prefix (up to and including the first comma, or the whole
// line) followed by comma-separated arguments.
Ca410Emulator::Reply Ca410Emulator::execute(const std::string& line)
{
    const size_t comma = line.find(',');
    const std::string prefix = comma == std::string::npos ? line : line.substr(0, comma + 1);
    const Args args = comma == std::string::npos ? Args() : splitFields(line.substr(comma + 1));
    for (const Command& c : commandTable())
        if (prefix == c.prefix)
            return (this->*c.handler)(prefix, args);
    return error(10);
}

Ca410Emulator::Reply Ca410Emulator::identify(const std::string&, const Args& args)
{
    if (args.size() != 2 || args[0] != "0" || args[1] != "1")
        return error(10);
    return ok(m_family + ",0," + padded(m_model, 15) + "," + m_version + "," + m_serial);
}

Ca410Emulator::Reply Ca410Emulator::communication(const std::string&, const Args& args)
{
    return args.size() == 1 ? ok() : error(10);
}

Ca410Emulator::Reply Ca410Emulator::reset(const std::string&, const Args& args)
{
    int type = 0;
    if (args.size() != 2 || args[0] != "0" || !toInt(args[1], &type) || type < 0 || type > 3)
        return error(10);
    // Type 2 puts the measurement settings (display mode 0 among them) back to
    // their defaults; type 0 resets everything, the user calibration state and
    // the selected channel too. Types 1 and 3 concern nothing emulated here.
    if (type == 0 || type == 2)
        resetMeasurementSettings();
    if (type == 0) {
        m_settings[3] = "0";
        m_calMode = 0;
        m_lastMeasure.reset();
        m_targetsGiven = 0;
    }
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::simpleSetting(const std::string& prefix, const Args& args)
{
    for (const SimpleSetting& s : simpleSettings) {
        int value = 0;
        if (prefix != s.prefix)
            continue;
        if (args.size() != 1 || !toInt(args[0], &value) || value < s.low || value > s.high)
            return error(10);
        m_settings[s.id] = std::to_string(value);
        return ok();
    }
    return error(10);
}

Ca410Emulator::Reply Ca410Emulator::syncMode(const std::string&, const Args& args)
{
    int mode = 0;
    if (args.empty() || !toInt(args[0], &mode) || mode < 0 || mode > 5)
        return error(10);
    if (mode >= 4) {
        // Sync modes 4 and 5 carry their frequency or measuring time.
        if (args.size() != 2 || args[1].empty() || args[1].size() > 6)
            return error(10);
        m_settings[mode == 4 ? 28 : 17] = args[1];
    } else if (args.size() != 1) {
        return error(10);
    }
    m_settings[1] = std::to_string(mode);
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::channelNumber(const std::string&, const Args& args)
{
    int ch = 0;
    if (args.size() != 2 || args[0] != "1" || !toInt(args[1], &ch) || ch < 0 || ch > 99)
        return error(10);
    m_settings[3] = std::to_string(ch);
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::channelName(const std::string&, const Args& args)
{
    int ch = 0;
    if (args.size() != 3 || !toInt(args[1], &ch) || ch < 0 || ch > 99 || args[2].size() > 10)
        return error(10);
    m_channels[static_cast<size_t>(ch)].name = args[2];
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::readSetting(const std::string&, const Args& args)
{
    int id = 0;
    if (args.size() != 1 || !toInt(args[0], &id))
        return error(10);
    if (id == 4) {
        // The name of the current channel.
        int ch = 0;
        toInt(m_settings[3], &ch);
        return ok(padded(ch >= 1 && ch <= 99 ? m_channels[static_cast<size_t>(ch)].name : "", 10));
    }
    const auto it = m_settings.find(id);
    return it == m_settings.end() ? error(10) : ok(it->second);
}

Ca410Emulator::Reply Ca410Emulator::zeroCalibration(const std::string&, const Args& args)
{
    if (!args.empty())
        return error(10);
    m_settings[23] = m_zeroResult;
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::readRange(const std::string&, const Args& args)
{
    int type = 0;
    if (args.size() != 2 || args[0] != "0" || !toInt(args[1], &type) || type < 0 || type > 1)
        return error(10);
    const Range& r = m_ranges[static_cast<size_t>(type)];
    return ok(std::to_string(r.mode) + "," + std::to_string(r.range));
}

Ca410Emulator::Reply Ca410Emulator::setRange(const std::string&, const Args& args)
{
    int type = 0;
    int mode = 0;
    int range = 0;
    if (args.size() != 4 || args[0] != "0" || !toInt(args[1], &type) || !toInt(args[2], &mode)
        || !toInt(args[3], &range) || type < 0 || type > 1 || mode < 0 || mode > 1 || range < 1
        || range > (type == 0 ? 6 : 4))
        return error(10);
    m_ranges[static_cast<size_t>(type)] = Range{mode, range};
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::calibrationModeCommand(const std::string&, const Args& args)
{
    int mode = 0;
    if (args.size() != 1 || !toInt(args[0], &mode) || mode < 0 || mode > 1)
        return error(10);
    m_calMode = mode;
    // Entering the mode starts a new calibration: targets and the reading
    // they refer to are given afresh.
    if (mode == 1)
        m_targetsGiven = 0;
    m_lastMeasure.reset();
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::target(const std::string& prefix, const Args& args)
{
    const size_t colour = prefix == "UWT," ? 0 : prefix == "URD," ? 1 : prefix == "UGR," ? 2 : 3;
    int mode = 0;
    std::array<double, 3> xyz{};
    if (args.size() != 4 || !toInt(args[0], &mode) || !toDouble(args[1], &xyz[0]) || !toDouble(args[2], &xyz[1])
        || !toDouble(args[3], &xyz[2]))
        return error(10);
    if (m_calMode != 1)
        return error(10);  // targets are taken in user calibration mode only
    if (!m_lastMeasure)
        return error(5);  // no reading of this colour to calibrate against
    m_pendingDisplayMode = mode;
    m_pendingTarget[colour] = xyz;
    m_pendingMeasure[colour] = *m_lastMeasure;
    m_lastMeasure.reset();  // each colour is measured before its target
    m_targetsGiven |= 1u << colour;
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::enterCalibration(const std::string&, const Args& args)
{
    int ch = 0;
    std::array<int, 6> date{};
    if (args.size() != 7 || !toInt(args[0], &ch) || ch < 1 || ch > 99)
        return error(10);
    for (size_t i = 0; i < 6; ++i)
        if (!toInt(args[i + 1], &date[i]))
            return error(10);
    if (m_calMode != 1)
        return error(10);
    if (m_targetsGiven != 0xF)
        return error(6);  // white, red, green and blue are all needed
    Channel& c = m_channels[static_cast<size_t>(ch)];
    c.calType = 2;
    c.displayMode = m_pendingDisplayMode;
    c.target = m_pendingTarget;
    c.measure = m_pendingMeasure;
    c.date = date;
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::deleteChannel(const std::string&, const Args& args)
{
    int ch = 0;
    if (args.size() != 2 || args[0] != "1" || !toInt(args[1], &ch) || ch < 0 || ch > 99)
        return error(10);
    if (ch >= 1)
        m_channels[static_cast<size_t>(ch)] = Channel{};
    return ok();
}

Ca410Emulator::Reply Ca410Emulator::measure(const std::string&, const Args& args)
{
    int format = 0;
    if (args.size() != 1 || !toInt(args[0], &format) || format < 1 || format > 2)
        return error(10);
    if (m_settings[23] != "2")
        return error(10);  // no zero calibration yet
    int mode = 0;
    toInt(m_settings[0], &mode);
    const std::array<double, 3> xyz = m_source ? m_source() : m_xyz;
    m_lastMeasure = xyz;
    const double X = xyz[0], Y = xyz[1], Z = xyz[2];
    std::string values;
    if (mode == 0) {
        // x, y and luminance
        const double sum = X + Y + Z;
        values = number(sum > 0 ? X / sum : 0) + "," + number(sum > 0 ? Y / sum : 0) + "," + number(Y);
    } else {
        values = number(X) + "," + number(Y) + "," + number(Z);
    }
    // Format 1 is the full record: probe, display mode, the three values, the
    // flicker value and the sampling state. Format 2 is the short one, which
    // ends after the three values.
    const std::string head = "P1," + std::to_string(mode) + "," + values;
    return ok(format == 1 ? head + ",0.0000,0" : head);
}

Ca410Emulator::Reply Ca410Emulator::readChannel(const std::string&, const Args& args)
{
    int ch = 0;
    int mode = 0;
    if (args.size() != 3 || !toInt(args[0], &ch) || ch < 0 || ch > 99 || args[1] != "1" || !toInt(args[2], &mode)
        || (mode != 0 && mode != 1 && (mode < 5 || mode > 8)))
        return error(10);
    const Channel c = ch >= 1 ? m_channels[static_cast<size_t>(ch)] : Channel{};
    char head[16];
    std::snprintf(head, sizeof head, "CH%02d", m_wrongChannel ? (ch % 99) + 1 : ch);
    // 0 channel, 1-3 probe details, 4 model, 5 type, 6 name, 7 spare, 8 display
    // mode, 9-11 spare, 12-23 targets, 24-35 measured values, 36-41 date.
    std::string data = std::string(head) + ",P1,0,0," + m_model + "," + std::to_string(c.calType) + ","
                       + padded(c.name, 10) + ",0," + std::to_string(mode) + ",0,0,0";
    for (const auto& xyz : c.target)
        for (double v : xyz)
            data += "," + number(v);
    for (const auto& xyz : c.measure)
        for (double v : xyz)
            data += "," + number(v);
    for (int part : c.date)
        data += "," + std::to_string(part);
    return ok(data);
}
