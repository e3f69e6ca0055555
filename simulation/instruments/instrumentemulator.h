#ifndef INSTRUMENTEMULATOR_H
#define INSTRUMENTEMULATOR_H

#include "ptydevice.h"
#include "replyscheduler.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// What the emulated spectroradiometers have in common: a configuration, faults
// injected per command, a record of every command and every byte received, and
// replies sent through a scheduler so that they can come late or in pieces.
//
// FaultKind is an enum class with at least None, Short, Late and Silence; an
// instrument's own kinds are its subclass's to send. Every member is guarded by
// one mutex, held while received bytes are handled.
template <class ConfigType, class FaultKind>
class InstrumentEmulator : public PtyDevice
{
public:
    using Config = ConfigType;
    using Fault = FaultKind;

    struct Injected {
        Fault fault = Fault::None;
        int code = 0;
        size_t keep = 0;
        int delayMs = 0;
        int times = -1; // uses left; -1 for all
    };

    static constexpr const char* AnyCommand = "*";

    // Both spectroradiometers talk at 9600 baud, 8 data bits, no parity, 1 stop bit.
    explicit InstrumentEmulator(Config config = Config())
        : PtyDevice(Line{9600, 8, Line::None, 1}),
          m_config(std::move(config)),
          m_scheduler([this](const std::string& bytes) { return send(bytes); })
    {
    }

    ~InstrumentEmulator() override { shutDown(); }

    Config config() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_config;
    }

    void setConfig(const Config& config)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_config = config;
    }

    void setFault(const std::string& key, const Injected& fault)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults[key] = fault;
    }

    void clearFaults()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_faults.clear();
    }

    // Every command received, without its line end.
    std::vector<std::string> commands() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_commands;
    }

    // Every byte received, as it came.
    std::string input() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_input;
    }

    // Forgets the commands and the bytes received so far.
    void clearCommands()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_commands.clear();
        m_input.clear();
    }

    bool waitForCommands(size_t count, std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_commands.size() >= count; });
    }

    // Waits until every scheduled reply has gone out.
    bool waitIdle(std::chrono::milliseconds timeout) const { return m_scheduler.waitIdle(timeout); }

protected:
    // Handles one received byte, with the mutex held.
    virtual void receivedByte(char c) = 0;

    void received(const std::string& bytes) final
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_input += bytes;
        for (char c : bytes)
            receivedByte(c);
        m_changed.notify_all();
    }

    // Must be called first by a subclass's destructor: after it no byte is
    // handled, so receivedByte() no longer reaches the subclass, and nothing is
    // sent once the terminal is gone.
    void shutDown()
    {
        m_scheduler.stop();
        stop();
    }

    void recordCommand(const std::string& line) { m_commands.push_back(line); }

    // Uses up one of the fault injected for the key, or else for the fallback
    // key (none for nullptr) when the key has none left.
    Injected takeFault(const std::string& key, const char* fallback = AnyCommand)
    {
        auto it = m_faults.find(key);
        if (it == m_faults.end() || it->second.times == 0)
            it = fallback ? m_faults.find(fallback) : m_faults.end();
        if (it == m_faults.end() || it->second.times == 0)
            return Injected();
        if (it->second.times > 0)
            --it->second.times;
        return it->second;
    }

    // Sends the normal reply after the delay, altered by a fault of the kinds
    // every instrument has; the subclass sends its own kinds itself.
    void deliver(const Injected& fault, const std::string& normal, std::chrono::milliseconds after)
    {
        const std::chrono::milliseconds delay(fault.delayMs);
        switch (fault.fault) {
        case Fault::Short:
            m_scheduler.schedule(after, normal.substr(0, fault.keep));
            if (fault.delayMs > 0 && fault.keep < normal.size())
                m_scheduler.schedule(after + delay, normal.substr(fault.keep));
            break;
        case Fault::Late:
            m_scheduler.schedule(after + delay, normal);
            break;
        case Fault::Silence:
            break;
        default:
            m_scheduler.schedule(after, normal);
            break;
        }
    }

    mutable std::mutex m_mutex;
    Config m_config;
    ReplyScheduler m_scheduler;

private:
    mutable std::condition_variable m_changed;
    std::map<std::string, Injected> m_faults;
    std::vector<std::string> m_commands;
    std::string m_input;
};

#endif // INSTRUMENTEMULATOR_H
