#ifndef CRXXXEMULATOR_H
#define CRXXXEMULATOR_H

#include "ptydevice.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A CR-100 or CR-250 colorimeter. Commands are CR-terminated; replies are lines
// ended by CR LF of the form "OK:0:<command>:<value>", list replies followed by
// one "<index>,<name>" line per entry, and errors "ER:<code>:<command>".
// The CR-100 keeps user-calibration modes, matrices and matches; the CR-250 has
// speed modes instead; both have sync modes and a sync frequency.
//
// Faults are injected per command (its first two words, or "M") to try the
// driver's failure paths; every command received is recorded. A command whose
// fault replaces or withholds the reply is not carried out.
class CrxxxEmulator : public PtyDevice
{
public:
    struct Config {
        std::string model;
        std::string id;
        std::vector<std::string> calibModes;
        std::string calibMode;
        std::vector<std::string> matrices; // numbered from 1; empty reports "None"
        int matrix = 0;
        std::vector<std::string> matches;  // as the matrices
        int match = 0;
        std::vector<std::string> speeds;
        std::string speed;
        std::vector<std::string> syncModes;
        std::string syncMode;
        double syncFreq = 60.0; // Hz
        double minSyncFreq = 10.0;
        double maxSyncFreq = 240.0;
        double x = 0.0, y = 0.0, z = 0.0;
    };

    enum class Fault {
        None,
        ErrorReply,   // "ER:<code>:<command>"
        Silence,      // no reply at all
        LeadingCrLf,  // a bare CR LF before the reply
        Garbage,      // a line of noise instead of the reply
        Overlong,     // one line of several kilobytes instead of the reply
        CutShort,     // the first half of the reply's bytes, then nothing
        MissingValue, // the reply without its value part
        BadValue,     // "OK" with a value of three items that are no numbers
    };

    static Config cr100();
    static Config cr250();

    explicit CrxxxEmulator(Config config = cr100());
    ~CrxxxEmulator() override;

    Config config() const;
    void setConfig(const Config& config);
    // Where the measurement reply takes its X, Y, Z from instead of the
    // configuration, for a probe that looks at something changing; an empty
    // function goes back to the configuration's values. Called on the
    // emulator's thread while it answers: it must not call back into the emulator.
    void setReadingSource(std::function<std::array<double, 3>()> source);

    // Applies the fault to the next `times` uses of the command; -1 for all.
    void setFault(const std::string& command, Fault fault, const std::string& errorCode = "-100",
                  int times = -1);
    void clearFaults();

    // Every command received, without its CR.
    std::vector<std::string> commands() const;
    bool hasReceived(const std::string& command) const;
    void clearCommands();
    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const;

protected:
    void received(const std::string& bytes) override;

private:
    struct Injected {
        Fault fault = Fault::None;
        std::string code;
        int times = -1;
    };

    // The normal reply to one command line, CR LFs included.
    std::string answer(const std::string& line);
    Fault takeFault(const std::string& key, std::string* code);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Config m_config;
    std::function<std::array<double, 3>()> m_source;
    std::map<std::string, Injected> m_faults;
    std::vector<std::string> m_commands;
    std::string m_partial;
};

#endif // CRXXXEMULATOR_H
