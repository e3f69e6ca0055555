#ifndef MATCHINGRUNFAKES_H
#define MATCHINGRUNFAKES_H

// Instruments and a patch source for the matching run tests: a display both
// instruments read whatever the source last put up, instruments answering
// from a script, and a source that can hold a patch or refuse one.
#include "matchingfixtures.h"
#include "matchinginstrument.h"
#include "patchsource.h"

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace MatchingRunFakes {

using Xyz = RepeatStatistics::Xyz;

// Longer than any test waits for anything: a fake that has to wait this long
// was left waiting by the code under test.
constexpr std::chrono::seconds kForever{60};

inline Xyz failedReading()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    return {nan, nan, nan};
}

// What the display gives off for a patch: the fixtures' primaries, driven
// with a 2.2 power of the 8-bit levels.
inline Xyz truth(const MatchingPatch& patch)
{
    const auto drive = [](int level) { return std::pow(level / 255.0, 2.2); };
    return MatchingFixtures::mix(drive(patch.r), drive(patch.g), drive(patch.b));
}

inline Xyz scaled(const Xyz& v, double factor)
{
    return {v[0] * factor, v[1] * factor, v[2] * factor};
}

class FakeDisplay
{
public:
    void show(const MatchingPatch& patch)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_patch = patch;
    }
    MatchingPatch patch() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_patch;
    }

private:
    mutable std::mutex m_mutex;
    MatchingPatch m_patch;
};

// Where the two instruments' calls meet: each waits, up to a bound, for the
// other's call of the same round to have begun too. Calls made one after the
// other never meet; after the first miss no one waits any longer.
class Meeting
{
public:
    bool arrive(int seat)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const int round = ++m_count[seat];
        m_changed.notify_all();
        const auto met = [&] { return m_count[1 - seat] >= round; };
        const bool ok = m_missed ? met() : m_changed.wait_for(lock, std::chrono::seconds(5), met);
        if (!ok) {
            m_missed = true;
            ++m_misses;
        }
        return ok;
    }
    int misses() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_misses;
    }
    int count(int seat) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_count[seat];
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count[2] = {0, 0};
    bool m_missed = false;
    int m_misses = 0;
};

class FakeInstrument : public MatchingInstrument
{
public:
    // The reading of a patch; n counts this instrument's reads of that patch, from 0.
    using Response = std::function<Xyz(const MatchingPatch& patch, int n)>;

    FakeInstrument(const QString& typeName, FakeDisplay* display, Response response)
        : m_display(display)
        , m_response(std::move(response))
    {
        m_identity.typeName = typeName;
        m_identity.typeNumber = 7;
        m_identity.port = QStringLiteral("/dev/fake-%1").arg(typeName);
    }

    // Set before the run starts.
    QString openError;      // open() fails with it when set
    bool blockOpen = false; // open() waits for cancel()
    int failAfter = -1;     // every read after this many fails
    int blockAtRead = -1;   // that read (from 0) waits for cancel()
    Meeting* meeting = nullptr;
    int seat = 0;
    bool storeAccepted = true;
    QString storeError;

    bool open(QString* error) override
    {
        record();
        if (meeting)
            meeting->arrive(seat);
        if (blockOpen)
            waitForCancel();
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_opens;
        if (m_cancelled)
            return fail(error, QStringLiteral("cancelled"));
        if (!openError.isEmpty())
            return fail(error, openError);
        m_identity.serialNumber = QStringLiteral("SN-%1").arg(m_identity.typeName);
        return true;
    }

    void close() override
    {
        record();
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_closes;
    }

    Xyz read() override
    {
        record();
        if (meeting)
            meeting->arrive(seat);
        int index;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            index = m_reads++;
        }
        if (index == blockAtRead)
            waitForCancel();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_cancelled || (failAfter >= 0 && index >= failAfter))
            return failedReading();
        const MatchingPatch patch = m_display->patch();
        return m_response(patch, m_readsOf[patch.name]++);
    }

    void cancel() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_changed.notify_all();
    }

    void resume() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = false;
    }

    MatchingSession::Instrument identity() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_identity;
    }

    bool hasMatrixMemory() const override { return true; }

    bool storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error) override
    {
        record();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stores.push_back(Store{index, name, matrix});
        return storeAccepted || fail(error, storeError);
    }

    struct Store {
        int index;
        QString name;
        Matrix3x3 matrix;
    };

    int opens() const { return locked(m_opens); }
    int closes() const { return locked(m_closes); }
    int reads() const { return locked(m_reads); }
    bool waiting() const { return locked(m_waiting); }
    std::vector<Store> stores() const { return locked(m_stores); }
    // The threads open(), read(), storeMatrix() and close() were called on.
    std::vector<std::thread::id> threads() const { return locked(m_threads); }

private:
    template <typename T>
    T locked(const T& value) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return value;
    }

    static bool fail(QString* error, const QString& why)
    {
        if (error)
            *error = why;
        return false;
    }

    void record()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.push_back(std::this_thread::get_id());
    }

    void waitForCancel()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waiting = true;
        m_changed.wait_for(lock, kForever, [this] { return m_cancelled; });
        m_waiting = false;
    }

    FakeDisplay* const m_display;
    const Response m_response;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    MatchingSession::Instrument m_identity;
    bool m_cancelled = false;
    bool m_waiting = false;
    int m_opens = 0;
    int m_closes = 0;
    int m_reads = 0;
    std::map<QString, int> m_readsOf;
    std::vector<Store> m_stores;
    std::vector<std::thread::id> m_threads;
};

class FakeSource : public PatchSource
{
public:
    explicit FakeSource(FakeDisplay* display)
        : m_display(display)
    {}

    // Set before the run starts: the show() (from 0) that waits for release()
    // or cancel(), and the one that is refused.
    int holdAt = -1;
    int refuseAt = -1;
    QString refusal;

    bool show(const MatchingPatch& patch, QString* error) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const int index = m_shows++;
        if (index == holdAt) {
            m_holding = true;
            m_changed.wait_for(lock, kForever, [this] { return m_released || m_cancelled; });
            m_holding = false;
        }
        if (m_cancelled) {
            *error = QStringLiteral("cancelled");
            return false;
        }
        if (index == refuseAt) {
            *error = refusal;
            return false;
        }
        m_display->show(patch);
        return true;
    }

    void cancel() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
        m_changed.notify_all();
    }

    void finish() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_finishes;
    }

    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

    bool holding() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_holding;
    }
    int shows() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_shows;
    }
    int finishes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_finishes;
    }

private:
    FakeDisplay* const m_display;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_released = false;
    bool m_cancelled = false;
    int m_shows = 0;
    int m_finishes = 0;
};

} // namespace MatchingRunFakes

#endif // MATCHINGRUNFAKES_H
