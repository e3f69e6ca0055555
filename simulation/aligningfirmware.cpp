#include "aligningfirmware.h"

#include "simulatedworld.h"

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

// Scales the gains so the largest is 1: the brightest white that has their balance.
bool normalised(Rgb* gains)
{
    const double top = std::max({(*gains)[0], (*gains)[1], (*gains)[2]});
    if (!(top > 0.0) || !((*gains)[0] > 0.0 && (*gains)[1] > 0.0 && (*gains)[2] > 0.0))
        return false;
    for (double& g : *gains)
        g /= top;
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
        m_progress.trueWhiteError = m_world.trueWhiteError();
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
        m_progress.trueWhiteError = m_world.trueWhiteError();
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
        m_progress.trueWhiteError = m_world.trueWhiteError();
    }
    publish();
}

bool AligningFirmware::align(std::string* error)
{
    applyGains(SimulatedWorld::factoryGains());

    // The primaries at full drive, through the factory gains of 1: the
    // columns of the matrix from gains to the white they make.
    Xyz told{};
    if (!measure("white", kWhite, &told, error))
        return false;
    std::array<Xyz, 3> primaries{};
    const char* const names[3] = {"red", "green", "blue"};
    for (size_t i = 0; i < 3; ++i) {
        Rgb level{};
        level[i] = 1.0;
        if (!measure(names[i], level, &primaries[i], error))
            return false;
    }

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_progress.activity = "computing the gains";
    }
    const Xyz target = DisplayModel::fromChromaticity(DisplayModel::targetWhite(), 1.0);
    Rgb gains{};
    if (!DisplayModel::solve(primaries, target, &gains) || !normalised(&gains)) {
        *error = "the primaries it was told cannot make the target white";
        return false;
    }
    applyGains(gains);
    if (!measure("white", kWhite, &told, error))
        return false;

    // Nudge the gains by what the white still misses, at the luminance it has.
    for (int correction = 0;
         correction < kMaxWhiteCorrections && DisplayModel::whiteError(told) > kTolerance; ++correction) {
        const Xyz wanted = DisplayModel::fromChromaticity(DisplayModel::targetWhite(), told[1]);
        const Xyz missing{{wanted[0] - told[0], wanted[1] - told[1], wanted[2] - told[2]}};
        Rgb step{};
        if (!DisplayModel::solve(primaries, missing, &step)) {
            *error = "the primaries it was told cannot correct the white";
            return false;
        }
        for (size_t i = 0; i < 3; ++i)
            gains[i] += step[i];
        if (!normalised(&gains)) {
            *error = "the white it was told needs a channel switched off";
            return false;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_progress.steps;
        }
        applyGains(gains);
        if (!measure("white", kWhite, &told, error))
            return false;
    }

    for (int percent : {75, 50, 25}) {
        const double level = percent / 100.0;
        Xyz grey{};
        if (!measure("grey " + std::to_string(percent) + "%", Rgb{{level, level, level}}, &grey, error))
            return false;
    }
    return true;
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
        m_progress.trueWhiteError = m_world.trueWhiteError();
    }
    publish();
    return true;
}
