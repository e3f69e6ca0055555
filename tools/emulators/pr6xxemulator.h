#ifndef PR6XXEMULATOR_H
#define PR6XXEMULATOR_H

#include "ptydevice.h"
#include "replyscheduler.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

// A PR-6xx spectroradiometer. It listens only for "PHOTO" (no line end) until
// it is in remote mode, and leaves remote mode on a lone "Q"; other commands
// end in CR. Replies begin with a five-digit status, "00000" for success, and
// end in CR LF; "M2" answers once its measuring time has passed.
//
// Faults are injected per command (without its CR), or "*" for every command;
// every command and every byte received are recorded.
class Pr6xxEmulator : public PtyDevice
{
public:
    struct Config {
        std::string serial = "60812345";
        int units = 0;       // the second number of a reading reply
        int measureMs = 200; // until the reading reply
        double x = 95.047, y = 100.0, z = 108.883;
        // Digits after the point of X, Y and Z; three each give a reading reply
        // of 39 bytes, and each digit fewer makes it a byte shorter.
        int decimals[3] = {3, 3, 3};
    };

    enum class Fault {
        None,
        ErrorStatus, // the reply with `code` as its status
        Short,       // the first `keep` bytes; the rest after `delayMs` if that is > 0
        Late,        // the whole reply after `delayMs`
        Silence,     // no reply at all
        Garbage,     // a line of noise without a status
    };

    struct Injected {
        Fault fault = Fault::None;
        int code = 0;
        size_t keep = 0;
        int delayMs = 0;
        int times = -1; // uses left; -1 for all
    };

    static constexpr const char* AnyCommand = "*";

    Pr6xxEmulator();
    explicit Pr6xxEmulator(Config config);
    ~Pr6xxEmulator() override;

    Config config() const;
    void setConfig(const Config& config);

    void setFault(const std::string& key, const Injected& fault);
    void clearFaults();

    bool remoteMode() const;
    // Every command received, without its CR.
    std::vector<std::string> commands() const;
    // Every byte received, as it came.
    std::string input() const;
    void clearCommands();
    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const;
    // Waits until every scheduled reply has gone out.
    bool waitIdle(std::chrono::milliseconds timeout) const { return m_scheduler.waitIdle(timeout); }

    // The reading reply for the configuration.
    static std::string readingReply(const Config& config, int status = 0);

protected:
    void received(const std::string& bytes) override;

private:
    void command(const std::string& line);
    // The normal reply, empty for none, and its delay.
    std::string answer(const std::string& line, std::chrono::milliseconds* after);
    Injected takeFault(const std::string& key);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    Config m_config;
    std::map<std::string, Injected> m_faults;
    std::vector<std::string> m_commands;
    std::string m_input;
    std::string m_partial;
    bool m_remote = false;
    ReplyScheduler m_scheduler;
};

#endif // PR6XXEMULATOR_H
