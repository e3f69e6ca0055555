#ifndef ALIGNINGFIRMWARE_H
#define ALIGNINGFIRMWARE_H

#include "displaymodel.h"
#include "monitoremulator.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimulatedWorld;

// The firmware of the display under alignment. Between alignments it behaves
// like the plain display emulator. When asked to align it walks through its
// patches (white, red, green, blue, then the white again until it is on target,
// then a grey ramp): for each it shows the patch, sends "MES,1", waits the time
// the "OK00" reply gives, sends "MDR,1" and takes the "OK01" values as what it
// shows. From its primaries and white it computes RGB gains that put its white
// on D65, and corrects them until the white it is told it shows is there.
class AligningFirmware : public MonitorEmulator
{
public:
    struct PatchReading {
        std::string name; // "white", "red", ..., "grey 50%"
        Rgb level{};      // drive levels shown
        Xyz told{};       // what the program answered
        Xyz truth{};      // what the display really showed
    };

    struct Progress {
        bool running = false;
        int step = 0;          // patches done
        int steps = 0;         // patches planned so far (the white may be repeated)
        std::string activity;  // what it is doing now, for a person
        std::vector<PatchReading> readings;
        Rgb gains{{1.0, 1.0, 1.0}};
        bool finished = false; // the last run ended (ok or not)
        bool succeeded = false;
        std::string error;     // why the last run failed
        double toldWhiteError = 0.0; // u'v' distance of the white it was told from D65
        double trueWhiteError = 0.0; // u'v' distance of the white it really shows from D65
        Xyz trueWhite{};             // the white it really shows, at full drive with its gains now
    };

    explicit AligningFirmware(SimulatedWorld& world);
    ~AligningFirmware() override;

    // Starts an alignment from factory gains on a thread of its own; false
    // while one is running or when the terminal is not served.
    bool startAlignment();
    // Ends a running alignment at once; it counts as failed.
    void cancelAlignment();
    bool isAligning() const;
    bool waitForAlignment(std::chrono::milliseconds timeout) const;
    Progress progress() const;
    // Called on the firmware's thread after every change of progress().
    void setProgressObserver(std::function<void(const Progress&)> observer);

    // How long it waits for each reply before it gives up (default 5 s), on
    // top of the measuring time an "OK00" reply announces.
    void setReplyTimeout(std::chrono::milliseconds timeout);

private:
    void run();
    // The whole sequence; false with the reason in error when it cannot finish.
    bool align(std::string* error);
    void applyGains(const Rgb& gains);
    // Shows the patch, asks for a measurement and returns what it was told;
    // false (and error set) when the program does not answer in time or the
    // alignment was cancelled.
    bool measure(const std::string& name, const Rgb& level, Xyz* told, std::string* error);
    bool awaitReply(const std::string& prefix, std::chrono::milliseconds timeout, std::string* line);
    void publish();
    // Notes the white the display really shows now; m_mutex held.
    void noteTrueWhite();

    SimulatedWorld& m_world;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<std::string> m_replyLines;
    Progress m_progress;
    std::function<void(const Progress&)> m_observer;
    std::chrono::milliseconds m_replyTimeout{5000};
    bool m_cancel = false;
    // Guards m_thread: starting, and joining the run before the next or at the end.
    std::mutex m_threadMutex;
    std::thread m_thread;
};

#endif // ALIGNINGFIRMWARE_H
