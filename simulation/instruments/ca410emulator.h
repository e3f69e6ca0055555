#ifndef CA410EMULATOR_H
#define CA410EMULATOR_H

#include "ptydevice.h"

#include <array>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// An emulated Konica Minolta CA-410 on a pseudo-terminal: carriage-return
// terminated ASCII commands, one reply line each ("OK00[,data]", "OKnn[,data]"
// for a warning, "ERnn" for an error).
//
// It keeps the instrument's rules rather than forgiving a faulty driver: a
// calibration target (UWT, URD, UGR, UBL) is taken only in user calibration
// mode ("UCS,1") and only after a measurement, whose reading it stores; ETR
// needs all four colours; a measurement reports the current display mode, in
// the full record for "MES,1" and the short one for "MES,2"; TDR answers in
// the display mode asked for; reset type 2 restores the measurement settings
// (display mode 0), type 0 everything.
//
// The protocol is split in two steps so that new commands slot in cleanly:
// execute() turns one command line into a Reply purely from the device state,
// and deliver() applies the configured faults to how (and whether) it is sent.
class Ca410Emulator : public PtyDevice
{
public:
    // A user calibration channel as the instrument keeps it.
    struct Channel {
        int calType = 0;        // 2: white/red/green/blue user calibration
        std::string name;       // at most 10 characters, sent blank-padded
        int displayMode = 7;
        std::array<std::array<double, 3>, 4> target{};   // white, red, green, blue
        std::array<std::array<double, 3>, 4> measure{};
        std::array<int, 6> date{};                       // year, month, day, hour, minute, second
    };

    // How the next matching commands are answered.
    enum class Fault {
        Error,         // "ERnn" with value as the number; the command is not carried out
        Warning,       // carried out, answered "OKnn" with value as the number
        Silence,       // not carried out, never answered
        Slow,          // carried out, answered after value milliseconds
        Split,         // carried out, answered in value pieces with short pauses
        LateSplit,     // carried out, answered after value milliseconds in two halves
                       // with the split pause between them
        OverLong,      // carried out, value extra characters appended to the data
        WrongChannel,  // TDR answers for the channel after the one asked for
        Raw,           // answered with the given bytes verbatim; not carried out
    };

    Ca410Emulator();
    ~Ca410Emulator() override;

    void setIdentity(const std::string& family, const std::string& model, const std::string& version,
                     const std::string& serial);
    // The tristimulus values the probe sees.
    void setMeasurement(double X, double Y, double Z);
    // Where every measurement takes its tristimulus values from instead, for a
    // probe that looks at something changing; an empty function goes back to
    // setMeasurement()'s values. Called on the emulator's thread while it
    // handles the command: it must not call back into the emulator.
    void setReadingSource(std::function<std::array<double, 3>()> source);

    // Applies fault to the next `times` commands beginning with `prefix`
    // (empty: any command; times < 0: for ever). Earlier rules match first.
    void addFault(Fault fault, const std::string& prefix, int value = 0, int times = 1,
                  const std::string& raw = std::string());
    void clearFaults();
    // The pause between the pieces of a split reply (3 ms unless set): over a
    // USB serial adapter a reply may stop for milliseconds in the middle.
    void setSplitPause(int ms);

    // Command lines received so far, without their carriage returns.
    std::vector<std::string> commands() const;
    void clearCommands();
    // Waits until at least n command lines have arrived; false on time-out.
    bool waitForCommands(size_t n, int timeoutMs) const;

    std::string setting(int id) const;
    void setSetting(int id, const std::string& value);
    // The zero-calibration status ZRC leaves behind ("2": done); another value
    // stands for a calibration the instrument did not complete.
    void setZeroCalibrationResult(const std::string& status);
    Channel channel(int number) const;
    void setChannel(int number, const Channel& channel);
    int calibrationMode() const;

protected:
    void received(const std::string& bytes) override;

private:
    struct Reply {
        int status = 0;        // OK number, or the ER number when error is set
        bool error = false;
        std::string data;      // fields after the status, without the leading comma
    };
    struct Rule {
        Fault fault;
        std::string prefix;
        int value;
        int times;
        std::string raw;
    };
    struct Range {
        int mode = 0;
        int range = 1;
    };

    static Reply ok(const std::string& data = std::string());
    static Reply error(int number);

    // One handler per command; commandTable() maps each prefix to its handler.
    using Args = std::vector<std::string>;
    using Handler = Reply (Ca410Emulator::*)(const std::string& prefix, const Args& args);
    struct Command {
        const char* prefix;
        Handler handler;
    };
    static const std::vector<Command>& commandTable();

    Reply execute(const std::string& line);
    Reply identify(const std::string&, const Args& args);
    Reply communication(const std::string&, const Args& args);
    Reply reset(const std::string&, const Args& args);
    Reply simpleSetting(const std::string& prefix, const Args& args);
    Reply syncMode(const std::string&, const Args& args);
    Reply channelNumber(const std::string&, const Args& args);
    Reply channelName(const std::string&, const Args& args);
    Reply readSetting(const std::string&, const Args& args);
    Reply zeroCalibration(const std::string&, const Args& args);
    Reply readRange(const std::string&, const Args& args);
    Reply setRange(const std::string&, const Args& args);
    Reply measure(const std::string&, const Args& args);
    Reply readChannel(const std::string&, const Args& args);
    Reply calibrationModeCommand(const std::string&, const Args& args);
    Reply target(const std::string& prefix, const Args& args);
    Reply enterCalibration(const std::string&, const Args& args);
    Reply deleteChannel(const std::string&, const Args& args);
    void resetMeasurementSettings();
    void deliver(const std::string& line, const Reply& reply, const Rule* rule);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_commandArrived;
    std::string m_pending;
    std::vector<std::string> m_commands;
    std::vector<Rule> m_rules;
    int m_splitPauseMs = 3;

    std::string m_family = "CA-410";
    std::string m_model = "CA-410";
    std::string m_version = "1.20.0000";
    std::string m_serial = "51000001";
    std::array<double, 3> m_xyz{{95.05, 100.0, 108.88}};
    std::function<std::array<double, 3>()> m_source;
    std::map<int, std::string> m_settings;
    std::array<Range, 2> m_ranges{};
    int m_calMode = 0;
    std::string m_zeroResult = "2";
    std::array<Channel, 100> m_channels{};  // index 0 unused: channels are 1-99
    std::array<std::array<double, 3>, 4> m_pendingTarget{};
    std::array<std::array<double, 3>, 4> m_pendingMeasure{};
    int m_pendingDisplayMode = 7;
    std::optional<std::array<double, 3>> m_lastMeasure;  // the reading the next target refers to
    unsigned m_targetsGiven = 0;                         // bit per colour, white first
    bool m_wrongChannel = false;  // the TDR being executed answers for the next channel
};

#endif // CA410EMULATOR_H
