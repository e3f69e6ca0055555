#include "aligningfirmware.h"

#include "simulatedworld.h"
#include "whitealignment.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

constexpr std::chrono::milliseconds kLongestAnnouncedWait{60000};
const Rgb kWhite{{1.0, 1.0, 1.0}};

// Seconds for a person, with a decimal point whatever the locale: "5", "0.3".
std::string seconds(std::chrono::milliseconds time)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, double(time.count()) / 1000.0);
    return std::string(text, result.ptr);
}

bool parseNumber(const std::string& text, double* value)
{
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, *value);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(*value);
}

// "OK01,X;Y;Z" after its prefix: three numbers separated by semicolons.
bool parseXyz(const std::string& text, Xyz* xyz)
{
    size_t start = 0;
    for (size_t i = 0; i < 3; ++i) {
        const size_t end = i < 2 ? text.find(';', start) : text.size();
        if (end == std::string::npos || !parseNumber(text.substr(start, end - start), &(*xyz)[i]))
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

AligningFirmware::AligningFirmware(SimulatedWorld& world)
    : m_world(world)
{
    // The program's replies go to our own queue, so that the firmware thread
    // waits on one condition for a reply, a cancel or its end.
    setReplyObserver([this](const Reply& reply) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replyLines.push_back(reply.line);
        // A program that chatters while nobody asks must not grow the queue for ever.
        while (m_replyLines.size() > 64)
            m_replyLines.pop_front();
        m_changed.notify_all();
    });
}

AligningFirmware::~AligningFirmware()
{
    cancelAlignment();
    {
        std::lock_guard<std::mutex> lock(m_threadMutex);
        if (m_thread.joinable())
            m_thread.join();
    }
    // The reply observer reaches this object's members: stop the terminal's
    // thread while they still exist.
    stop();
}

bool AligningFirmware::startAlignment()
{
    if (!isRunning())
        return false;
    std::lock_guard<std::mutex> threadLock(m_threadMutex);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_progress.running)
            return false;
    }
    // The last run has ended; its thread is only finishing.
    if (m_thread.joinable())
        m_thread.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancel = false;
        m_replyLines.clear();
        m_progress = Progress();
        m_progress.running = true;
        // White, red, green, blue, the white with its gains, and three greys.
        m_progress.steps = 8;
        m_progress.activity = "starting";
        m_progress.gains = SimulatedWorld::factoryGains();
        noteTrueWhite();
    }
    m_thread = std::thread(&AligningFirmware::run, this);
    return true;
}

void AligningFirmware::cancelAlignment()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_progress.running)
        return;
    m_cancel = true;
    m_changed.notify_all();
}

bool AligningFirmware::isAligning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progress.running;
}

bool AligningFirmware::waitForAlignment(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return !m_progress.running; });
}

AligningFirmware::Progress AligningFirmware::progress() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_progress;
}

void AligningFirmware::setProgressObserver(std::function<void(const Progress&)> observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}

void AligningFirmware::setReplyTimeout(std::chrono::milliseconds timeout)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_replyTimeout = timeout;
}

void AligningFirmware::publish()
{
    Progress copy;
    std::function<void(const Progress&)> observer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        copy = m_progress;
        observer = m_observer;
    }
    if (observer)
        observer(copy);
}

void AligningFirmware::noteTrueWhite()
{
    m_progress.trueWhite = m_world.trueWhite();
    m_progress.trueWhiteError = DisplayModel::whiteError(m_progress.trueWhite);
}

void AligningFirmware::run()
{
    publish();
    std::string error;
    const bool ok = align(&error);
    // The display leaves measuring mode whatever happened; the program does
    // not answer this one.
    request("MES,0");
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.running = false;
        m_progress.finished = true;
        m_progress.succeeded = ok;
        m_progress.error = ok ? std::string() : error;
        m_progress.activity = ok ? "aligned" : "failed: " + error;
        noteTrueWhite();
        m_changed.notify_all();
    }
    publish();
}

void AligningFirmware::applyGains(const Rgb& gains)
{
    m_world.setDisplayGains(gains);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.gains = gains;
        noteTrueWhite();
    }
    publish();
}

bool AligningFirmware::align(std::string* error)
{
    WhiteAlignment::Steps steps;
    steps.measure = [this](const std::string& name, const Rgb& level, Xyz* told, std::string* why) {
        return measure(name, level, told, why);
    };
    steps.applyGains = [this](const Rgb& gains) { applyGains(gains); };
    steps.activity = [this](const std::string& activity) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.activity = activity;
    };
    steps.extraStep = [this] {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_progress.steps;
    };
    return WhiteAlignment::run(steps, error);
}

bool AligningFirmware::awaitReply(const std::string& prefix, std::chrono::milliseconds timeout,
                                  std::string* line)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        // Lines it did not ask for (a late answer to an earlier request) are dropped.
        while (!m_replyLines.empty()) {
            std::string next = std::move(m_replyLines.front());
            m_replyLines.pop_front();
            if (next.compare(0, prefix.size(), prefix) == 0) {
                *line = std::move(next);
                return true;
            }
        }
        if (m_cancel)
            return false;
        if (!m_changed.wait_until(lock, deadline, [this] { return m_cancel || !m_replyLines.empty(); }))
            return false;
    }
}

bool AligningFirmware::measure(const std::string& name, const Rgb& level, Xyz* told, std::string* error)
{
    m_world.setDisplayPatch(level);
    std::chrono::milliseconds replyTimeout{};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.activity = "measuring " + name;
        // What came before the request answers something else.
        m_replyLines.clear();
        replyTimeout = m_replyTimeout;
    }
    publish();

    const auto cancelled = [this, error] {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_cancel)
            *error = "alignment cancelled";
        return m_cancel;
    };

    std::string line;
    if (!request("MES,1")) {
        *error = "could not send MES,1";
        return false;
    }
    if (!awaitReply("OK00", replyTimeout, &line)) {
        if (!cancelled())
            *error = "no reply to MES,1 within " + seconds(replyTimeout) + " s: is alignment switched on?";
        return false;
    }
    double announced = 0.0;
    if (line.compare(0, 5, "OK00,") != 0 || !parseNumber(line.substr(5), &announced) || announced < 0.0) {
        *error = "unreadable reply to MES,1: " + line;
        return false;
    }
    const std::chrono::milliseconds wait =
        std::min(std::chrono::milliseconds(std::llround(std::min(announced, 1e9))), kLongestAnnouncedWait);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.activity = "waiting " + std::to_string(wait.count()) + " ms for the " + name + " reading";
    }
    publish();
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_changed.wait_for(lock, wait, [this] { return m_cancel; })) {
            *error = "alignment cancelled";
            return false;
        }
        m_replyLines.clear();
    }

    if (!request("MDR,1")) {
        *error = "could not send MDR,1";
        return false;
    }
    const std::chrono::milliseconds readTimeout = wait + replyTimeout;
    if (!awaitReply("OK01", readTimeout, &line)) {
        if (!cancelled())
            *error = "no reply to MDR,1 within " + seconds(readTimeout) + " s";
        return false;
    }
    Xyz reading{};
    if (line.compare(0, 5, "OK01,") != 0 || !parseXyz(line.substr(5), &reading)) {
        *error = "unreadable reply to MDR,1: " + line;
        return false;
    }
    *told = reading;

    PatchReading record;
    record.name = name;
    record.level = level;
    record.told = reading;
    record.truth = m_world.trueReading();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.readings.push_back(record);
        ++m_progress.step;
        if (level == kWhite)
            m_progress.toldWhiteError = DisplayModel::whiteError(reading);
        noteTrueWhite();
    }
    publish();
    return true;
}
