#include "pr6xxemulator.h"

#include "emulatortext.h"

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

Pr6xxEmulator::~Pr6xxEmulator()
{
    // receivedByte() uses this class's members.
    shutDown();
}

bool Pr6xxEmulator::remoteMode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remote;
}

void Pr6xxEmulator::setSpectrumSource(std::function<Spectrum()> source)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_source = std::move(source);
}

double Pr6xxEmulator::spectrumWavelength(int index)
{
    const double span = Spectrum::LastNm - Spectrum::FirstNm;
    return Spectrum::FirstNm + span * index / (SpectrumValueCount - 1);
}

std::string Pr6xxEmulator::spectrumReply(const Spectrum& spd) const
{
    // The values begin at byte 8, after the status and the units, as the
    // instrument sends them.
    std::string reply = status(0) + ",0,";
    for (int i = 0; i < SpectrumValueCount; ++i)
        reply += EmulatorText::scientific(spd.valueAt(spectrumWavelength(i)), 6) + kEnd;
    return reply;
}

std::string Pr6xxEmulator::readingReply(const Config& c, int code)
{
    return status(code) + "," + std::to_string(c.units) + "," + EmulatorText::scientific(c.x, c.decimals[0]) + ","
           + EmulatorText::scientific(c.y, c.decimals[1]) + "," + EmulatorText::scientific(c.z, c.decimals[2])
           + kEnd;
}

void Pr6xxEmulator::receivedByte(char c)
{
    if (!m_remote) {
        // Outside remote mode only "PHOTO" is heard; other bytes are lost.
        m_partial.push_back(c);
        if (endsWith(m_partial, "PHOTO")) {
            m_partial.clear();
            command("PHOTO");
        } else if (m_partial.size() > 4) {
            m_partial.erase(0, m_partial.size() - 4);
        }
        return;
    }
    if (m_partial.empty() && c == 'Q') {
        command("Q");
        return;
    }
    if (c == '\r') {
        const std::string line = m_partial;
        m_partial.clear();
        command(line);
        return;
    }
    m_partial.push_back(c);
    // "PHOTO" has no line end, also when it comes again in remote mode.
    if (m_partial == "PHOTO") {
        m_partial.clear();
        command("PHOTO");
    }
}

void Pr6xxEmulator::command(const std::string& line)
{
    recordCommand(line);
    std::chrono::milliseconds after(0);
    const std::string normal = answer(line, &after);
    if (normal.empty())
        return;
    const Injected fault = takeFault(line);
    if (fault.fault == Fault::ErrorStatus)
        m_scheduler.schedule(after, status(fault.code) + normal.substr(std::min<size_t>(5, normal.size())));
    else if (fault.fault == Fault::Garbage)
        m_scheduler.schedule(after, std::string("?#~ noise ~#?") + kEnd);
    else
        deliver(fault, normal, after);
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
        if (!m_source)
            return readingReply(c);
        Config measured = c;
        const Vec3 xyz = m_radiometer.xyz(m_source());
        measured.x = xyz[0];
        measured.y = xyz[1];
        measured.z = xyz[2];
        return readingReply(measured);
    }
    if (line == "M5" && m_source) {
        *after = std::chrono::milliseconds(c.measureMs);
        return spectrumReply(m_source());
    }
    return status(kUnknownCommand) + kEnd;
}
