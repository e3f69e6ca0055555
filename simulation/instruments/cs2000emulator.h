#ifndef CS2000EMULATOR_H
#define CS2000EMULATOR_H

#include "instrumentemulator.h"

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

// A CS-2000 spectroradiometer. Commands end in CR LF; replies begin with "OK00"
// or with "ER" and a two-digit code, and end in CR LF. Only "RMTS,1" is taken
// outside command mode. "MEAS,1" answers at once with the measuring time in
// seconds; when the measurement is done the instrument sends "OK00" by itself,
// after as many "ER20" (still measuring) messages as configured. A start
// refused with an error reply measures nothing and sends nothing more.
//
// Faults are injected per command line (without its CR LF), "END" for the
// end-of-measurement message, or "*" for every command; every command and every
// byte received are recorded.
//
// The configuration and the fault kinds stand outside the class so that the
// shared base can hold them; they are reached as Cs2000Emulator::Config and
// Cs2000Emulator::Fault.
struct Cs2000EmulatorConfig {
    std::string product = "CS-2000";
    std::string variant = "01";
    std::string serial = "30012345";
    int measureSeconds = 3; // reported by "MEAS,1"
    int measureMs = -1;     // until the end message; -1: measureSeconds in ms
    int busyReplies = 0;    // "ER20" messages before the end message
    int busyIntervalMs = 50;
    double x = 95.047, y = 100.0, z = 108.883;
};

enum class Cs2000EmulatorFault {
    None,
    ErrorReply, // "ER" and the code instead of the reply
    Short,      // the first `keep` bytes; the rest after `delayMs` if that is > 0
    Late,       // the whole reply after `delayMs`
    Silence,    // no reply at all
};

class Cs2000Emulator : public InstrumentEmulator<Cs2000EmulatorConfig, Cs2000EmulatorFault>
{
public:
    static constexpr const char* EndOfMeasurement = "END";

    using InstrumentEmulator::InstrumentEmulator;
    ~Cs2000Emulator() override;

    bool commandMode() const;

    // Where each measurement takes its X, Y, Z from instead of the
    // configuration, for an instrument that looks at something changing; an
    // empty function goes back to the configuration's values. Read when a
    // measurement starts, as the instrument measures what it sees then, and
    // kept for the readout. Called on the emulator's thread while it answers:
    // it must not call back into the emulator.
    void setReadingSource(std::function<std::array<double, 3>()> source);

    // The reply to "MEDR,2,0,01" for these values: three numbers of nine
    // characters each, 36 bytes in all.
    static std::string xyzReply(double x, double y, double z);

protected:
    void receivedByte(char c) override;

private:
    // Sends the reply as the fault for the key says.
    void reply(const std::string& key, const std::string& normal,
               std::chrono::milliseconds after = std::chrono::milliseconds(0));
    std::string answer(const std::string& line);

    std::string m_partial;
    bool m_commandMode = false;
    std::function<std::array<double, 3>()> m_source;
    // What the last measurement read from the source; none without a source.
    std::optional<std::array<double, 3>> m_measured;
};

#endif // CS2000EMULATOR_H
