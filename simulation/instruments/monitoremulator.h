#ifndef MONITOREMULATOR_H
#define MONITOREMULATOR_H

#include "ptydevice.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A display under alignment: it sends requests such as "MES,1" and records every
// CR-terminated reply the program writes back, with its arrival time.
//
// Requests go out at once (request(), sendRaw()) or on a script played on a
// thread of its own (play()), which is how bursts and pauses between requests
// are produced.
class MonitorEmulator : public PtyDevice
{
public:
    enum class LineEnding { Cr, CrLf };

    struct Step {
        int delayMs = 0;   // pause before the bytes go out
        std::string bytes; // sent as they stand, endings included
    };

    struct Reply {
        std::string line;  // without its CR
        double atMs = 0.0; // arrival, in ms after the emulator was built
        // When the chunk holding the reply's first byte was read from the
        // terminal, before the line's pacing: the program's own reply time.
        double firstByteMs = 0.0;
    };

    MonitorEmulator();
    ~MonitorEmulator() override;

    void setLineEnding(LineEnding ending);
    // The command followed by the line ending in use.
    std::string line(const std::string& command) const;
    bool request(const std::string& command);
    bool sendRaw(const std::string& bytes) { return send(bytes); }

    // Plays the steps in order; a script still playing is stopped first.
    void play(std::vector<Step> script);
    bool waitForScript(std::chrono::milliseconds timeout);
    // Milliseconds after construction at which each script step went out.
    std::vector<double> sentTimes() const;

    std::vector<Reply> replies() const;
    bool waitForReplies(size_t count, std::chrono::milliseconds timeout) const;
    // Called on the emulator's thread with each complete reply.
    void setReplyObserver(std::function<void(const Reply&)> observer);

    double elapsedMs() const;
    // When the last request went out whole, on the elapsedMs() scale.
    double lastSendDoneMs() const;

protected:
    void received(const std::string& bytes) override;

private:
    void stopScript();
    double monotonicToElapsedMs(int64_t ns) const;

    const std::chrono::steady_clock::time_point m_epoch;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    LineEnding m_ending = LineEnding::Cr;
    std::string m_partial;
    double m_partialFirstByteMs = 0.0;
    std::vector<Reply> m_replies;
    std::function<void(const Reply&)> m_observer;
    std::vector<double> m_sentTimes;
    std::thread m_script;
    bool m_scriptDone = true;
    bool m_stopScript = false;
};

#endif // MONITOREMULATOR_H
