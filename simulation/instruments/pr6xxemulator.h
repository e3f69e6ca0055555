#ifndef PR6XXEMULATOR_H
#define PR6XXEMULATOR_H

#include "instrumentemulator.h"
#include "spectroradiometer.h"
#include "spectrum.h"

#include <chrono>
#include <functional>
#include <string>

// A PR-6xx spectroradiometer. It listens only for "PHOTO" (no line end) until
// it is in remote mode, and leaves remote mode on a lone "Q"; other commands
// end in CR. Replies begin with a five-digit status, "00000" for success, and
// end in CR LF; "M2" answers once its measuring time has passed.
//
// Given a spectrum to look at, it measures that: "M2" answers the spectrum's
// XYZ and "M5" the spectrum itself, 128 radiances evenly spaced from 380 to
// 780 nm, one per line after the status. Without one, "M2" answers the
// configured XYZ and "M5" is a command it does not know.
//
// Faults are injected per command (without its CR), or "*" for every command;
// every command and every byte received are recorded.
//
// The configuration and the fault kinds stand outside the class so that the
// shared base can hold them; they are reached as Pr6xxEmulator::Config and
// Pr6xxEmulator::Fault.
struct Pr6xxEmulatorConfig {
    std::string serial = "60812345";
    int units = 0;       // the second number of a reading reply
    int measureMs = 200; // until the reading reply
    double x = 95.047, y = 100.0, z = 108.883;
    // Digits after the point of X, Y and Z; three each give a reading reply
    // of 39 bytes, and each digit fewer makes it a byte shorter.
    int decimals[3] = {3, 3, 3};
};

enum class Pr6xxEmulatorFault {
    None,
    ErrorStatus, // the reply with `code` as its status
    Short,       // the first `keep` bytes; the rest after `delayMs` if that is > 0
    Late,        // the whole reply after `delayMs`
    Silence,     // no reply at all
    Garbage,     // a line of noise without a status
};

class Pr6xxEmulator : public InstrumentEmulator<Pr6xxEmulatorConfig, Pr6xxEmulatorFault>
{
public:
    using InstrumentEmulator::InstrumentEmulator;
    ~Pr6xxEmulator() override;

    bool remoteMode() const;

    // What "M2" and "M5" measure from now on, called on the emulator's thread
    // when a command comes; an empty function goes back to the configured XYZ.
    void setSpectrumSource(std::function<Spectrum()> source);

    // The spectral reply's values: the radiance at this many wavelengths.
    static constexpr int SpectrumValueCount = 128;
    static double spectrumWavelength(int index);

    // The reading reply for the configuration.
    static std::string readingReply(const Config& config, int status = 0);

protected:
    void receivedByte(char c) override;

private:
    void command(const std::string& line);
    // The normal reply, empty for none, and its delay.
    std::string answer(const std::string& line, std::chrono::milliseconds* after);

    std::string spectrumReply(const Spectrum& spd) const;

    std::string m_partial;
    bool m_remote = false;
    std::function<Spectrum()> m_source;
    Spectroradiometer m_radiometer;
};

#endif // PR6XXEMULATOR_H
