#include "monitoremulator.h"

MonitorEmulator::MonitorEmulator()
    : PtyDevice(Line{9600, 8, Line::None, 2}),
      m_epoch(std::chrono::steady_clock::now())
{
}

MonitorEmulator::~MonitorEmulator()
{
    stopScript();
    stop();
}

void MonitorEmulator::setLineEnding(LineEnding ending)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ending = ending;
}

std::string MonitorEmulator::line(const std::string& command) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return command + (m_ending == LineEnding::CrLf ? "\r\n" : "\r");
}

bool MonitorEmulator::request(const std::string& command)
{
    return send(line(command));
}

double MonitorEmulator::monotonicToElapsedMs(int64_t ns) const
{
    // steady_clock is CLOCK_MONOTONIC, the clock PtyDevice's times are taken on.
    const int64_t epochNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(m_epoch.time_since_epoch()).count();
    return double(ns - epochNs) / 1e6;
}

double MonitorEmulator::lastSendDoneMs() const
{
    return monotonicToElapsedMs(lastSendDoneNs());
}

double MonitorEmulator::elapsedMs() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_epoch)
        .count();
}

void MonitorEmulator::play(std::vector<Step> script)
{
    stopScript();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_scriptDone = false;
        m_stopScript = false;
        m_sentTimes.clear();
    }
    m_script = std::thread([this, steps = std::move(script)] {
        for (const Step& step : steps) {
            std::unique_lock<std::mutex> lock(m_mutex);
            // The pause is the script's own timing; stopScript() cuts it short.
            if (m_changed.wait_for(lock, std::chrono::milliseconds(step.delayMs),
                                   [this] { return m_stopScript; }))
                break;
            lock.unlock();
            // Taken before sending, so that no reply can seem older than its request.
            const double at = elapsedMs();
            send(step.bytes);
            lock.lock();
            m_sentTimes.push_back(at);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_scriptDone = true;
        m_changed.notify_all();
    });
}

bool MonitorEmulator::waitForScript(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_scriptDone; });
}

std::vector<double> MonitorEmulator::sentTimes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sentTimes;
}

void MonitorEmulator::stopScript()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopScript = true;
        m_changed.notify_all();
    }
    if (m_script.joinable())
        m_script.join();
}

std::vector<MonitorEmulator::Reply> MonitorEmulator::replies() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replies;
}

bool MonitorEmulator::waitForReplies(size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_replies.size() >= count; });
}

void MonitorEmulator::setReplyObserver(std::function<void(const Reply&)> observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}

void MonitorEmulator::received(const std::string& bytes)
{
    std::vector<Reply> complete;
    std::function<void(const Reply&)> observer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const double readMs = monotonicToElapsedMs(chunkReadNs());
        for (char c : bytes) {
            if (c != '\r') {
                if (m_partial.empty())
                    m_partialFirstByteMs = readMs;
                m_partial.push_back(c);
                continue;
            }
            m_replies.push_back(Reply{m_partial, elapsedMs(), m_partial.empty() ? readMs : m_partialFirstByteMs});
            complete.push_back(m_replies.back());
            m_partial.clear();
        }
        observer = m_observer;
        if (!complete.empty())
            m_changed.notify_all();
    }
    if (observer) {
        for (const Reply& reply : complete)
            observer(reply);
    }
}
