#ifndef CS2000EMULATOR_H
#define CS2000EMULATOR_H

#include "ptydevice.h"
#include "replyscheduler.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A CS-2000 spectroradiometer. Commands end in CR LF; replies begin with "OK00"
// or with "ER" and a two-digit code, and end in CR LF. Only "RMTS,1" is taken
// outside command mode. "MEAS,1" answers at once with the measuring time in
// seconds; when the measurement is done the instrument sends "OK00" by itself,
// after as many "ER20" (still measuring) messages as configured.
//
// Faults are injected per command line (without its CR LF), "END" for the
// end-of-measurement message, or "*" for every command; every command received
// is recorded.
class Cs2000Emulator : public PtyDevice
{
public:
    struct Config {
        std::string product = "CS-2000";
        std::string variant = "01";
        std::string serial = "30012345";
        int measureSeconds = 3; // reported by "MEAS,1"
        int measureMs = -1;     // until the end message; -1: measureSeconds in ms
        int busyReplies = 0;    // "ER20" messages before the end message
        int busyIntervalMs = 50;
        double x = 95.047, y = 100.0, z = 108.883;
    };

    enum class Fault {
        None,
        ErrorReply, // "ER" and the code instead of the reply
        Short,      // the first `keep` bytes; the rest after `delayMs` if that is > 0
        Late,       // the whole reply after `delayMs`
        Silence,    // no reply at all
    };

    struct Injected {
        Fault fault = Fault::None;
        int code = 0;
        size_t keep = 0;
        int delayMs = 0;
        int times = -1; // uses left; -1 for all
    };

    static constexpr const char* EndOfMeasurement = "END";
    static constexpr const char* AnyCommand = "*";

    Cs2000Emulator();
    explicit Cs2000Emulator(Config config);
    ~Cs2000Emulator() override;

    Config config() const;
    void setConfig(const Config& config);

    void setFault(const std::string& key, const Injected& fault);
    void clearFaults();

    bool commandMode() const;
    // Every command received, without its CR LF.
    std::vector<std::string> commands() const;
    void clearCommands();
    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const;
    // Waits until every late reply and end message has gone out.
    bool waitIdle(std::chrono::milliseconds timeout) const { return m_scheduler.waitIdle(timeout); }

    // The reply to "MEDR,2,0,01" for these values: three numbers of nine
    // characters each, 36 bytes in all.
    static std::string xyzReply(double x, double y, double z);

protected:
    void received(const std::string& bytes) override;

private:
    // Sends the reply as the fault for the key says.
    void reply(const std::string& key, const std::string& normal,
               std::chrono::milliseconds after = std::chrono::milliseconds(0));
    std::string answer(const std::string& line);
    Injected takeFault(const std::string& key);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Config m_config;
    std::map<std::string, Injected> m_faults;
    std::vector<std::string> m_commands;
    std::string m_partial;
    bool m_commandMode = false;
    ReplyScheduler m_scheduler;
};

#endif // CS2000EMULATOR_H
