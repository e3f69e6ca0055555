#include "matchingrun.h"

#include "patchset.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <utility>

namespace {

using Role = MatchingSession::Role;
using Xyz = RepeatStatistics::Xyz;
using Clock = std::chrono::steady_clock;

constexpr Role kRoles[] = {Role::Sensor, Role::Reference};

int slot(Role role)
{
    return role == Role::Sensor ? 0 : 1;
}

// Failed readings of one instrument in a row after which it is taken to have
// stopped working rather than to have missed a reading.
constexpr int kFailuresInARow = 3;

// Bounds on what a driver is trusted to keep to on its own. Generous: a
// spectroradiometer on a dark patch integrates for minutes, and some take a
// while to start up.
constexpr std::chrono::minutes kOpenBound{3};
constexpr std::chrono::minutes kReadBound{10};
constexpr std::chrono::minutes kStoreBound{3};

// Runs the jobs given to it one after another on a thread of its own, so that
// exactly one thread talks to its instrument. The lock and the condition it
// signals when a job is done are its owner's, so that the owner can wait for
// several workers, and for a cancel, at once.
class Worker
{
public:
    Worker(std::mutex& mutex, std::condition_variable& done)
        : m_mutex(mutex)
        , m_done(done)
        , m_thread([this] { loop(); })
    {}

    // Runs what is still queued, then ends the thread.
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // With the owner's lock held.
    void post(std::function<void()> job)
    {
        m_jobs.push_back(std::move(job));
        m_wake.notify_all();
    }
    bool idle() const { return m_jobs.empty() && !m_busy; }

private:
    void loop()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            // Idle until there is work or the owner is done with the worker.
            m_wake.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_busy = true;
            lock.unlock();
            job();
            lock.lock();
            m_busy = false;
            m_done.notify_all();
        }
    }

    std::mutex& m_mutex;
    std::condition_variable& m_done;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};

// What a job on an instrument's thread hands back. Shared with the job, since
// a run that stops waiting (a cancel, a driver out of bounds) leaves the job
// to finish on its own.
struct JobResult {
    bool ok = false;
    QString error;
    Xyz xyz{};
    QDateTime time;
    MatchingSession::Instrument identity;
};

} // namespace

class MatchingRun::Private
{
    Q_DECLARE_TR_FUNCTIONS(MatchingRun)

public:
    Private(MatchingRun* object, std::unique_ptr<MatchingInstrument> sensor,
            std::unique_ptr<MatchingInstrument> reference, PatchSource* patchSource, Settings runSettings)
        : q(object)
        , source(patchSource)
        , settings(std::move(runSettings))
        , methods(Certificate::standardMethods())
    {
        instruments[0] = std::move(sensor);
        instruments[1] = std::move(reference);
    }

    enum class Wait { Done, Cancelled, OutOfBounds };

    // How a stage of the run ended when it did not go on.
    struct Stop {
        Outcome outcome = Outcome::Completed;
        QString reason;
    };

    void run();

    // Each of the instruments named, on its own thread, at once.
    void post(Role role, std::function<void()> job);
    // Until the workers of the roles are idle; with `cancellable`, a cancel
    // ends the wait too. *late, if given, gets the roles still busy.
    Wait wait(std::initializer_list<Role> roles, Clock::duration bound, bool cancellable,
              std::vector<Role>* late = nullptr);

    bool isCancelled() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return cancelled;
    }

    QString describe(Role role) const;
    bool openBoth(Stop* stop);
    // Reads patch `index` until both have enough readings that count.
    bool readPatch(int index, Stop* stop);
    bool writeSession(QString* error);
    void updateCertificate();
    void storeMatrix();
    void closeBoth();

    // Signals go out on the object's own thread, whatever the receivers'
    // connections; a run deleted meanwhile drops them with its object.
    template <typename F>
    void emitLater(F&& emitter)
    {
        QMetaObject::invokeMethod(q, std::forward<F>(emitter), Qt::QueuedConnection);
    }
    void setState(Role role, InstrumentState state, const QString& text)
    {
        MatchingRun* object = q;
        if (state == InstrumentState::Failed)
            failed[slot(role)] = true;
        emitLater([object, role, state, text] { emit object->instrumentStateChanged(role, state, text); });
    }

    MatchingRun* const q;
    std::unique_ptr<MatchingInstrument> instruments[2];
    PatchSource* const source;
    const Settings settings;
    const std::vector<std::unique_ptr<CorrectionMethod>> methods;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool cancelled = false;
    bool started = false;
    bool running = false;
    MatchingSession session;
    std::optional<Certificate> certificate;
    QString memoryResult;
    bool memoryStored = false;

    // Only the run's thread touches these.
    std::unique_ptr<Worker> workers[2];
    // As last known on the run's thread: what identity() says may change
    // while the instrument's own thread opens it.
    MatchingSession::Instrument identities[2];
    // Whether each opened shows once its thread has answered: a cancel may
    // end the wait for it first.
    std::shared_ptr<JobResult> openResults[2];
    bool failed[2] = {false, false};
    std::thread thread;
};

QString MatchingRun::Private::describe(Role role) const
{
    const QString type = identities[slot(role)].typeName;
    if (role == Role::Sensor)
        return type.isEmpty() ? tr("sensor") : tr("sensor (%1)").arg(type);
    return type.isEmpty() ? tr("reference instrument") : tr("reference instrument (%1)").arg(type);
}

void MatchingRun::Private::post(Role role, std::function<void()> job)
{
    std::lock_guard<std::mutex> lock(mutex);
    workers[slot(role)]->post(std::move(job));
}

MatchingRun::Private::Wait MatchingRun::Private::wait(std::initializer_list<Role> roles, Clock::duration bound,
                                                      bool cancellable, std::vector<Role>* late)
{
    std::unique_lock<std::mutex> lock(mutex);
    const auto done
        = [&] { return std::all_of(roles.begin(), roles.end(), [this](Role r) { return workers[slot(r)]->idle(); }); };
    const bool finished = changed.wait_for(lock, bound, [&] { return done() || (cancellable && cancelled); });
    if (cancellable && cancelled)
        return Wait::Cancelled;
    if (finished)
        return Wait::Done;
    if (late) {
        for (const Role r : roles) {
            if (!workers[slot(r)]->idle())
                late->push_back(r);
        }
    }
    return Wait::OutOfBounds;
}

bool MatchingRun::Private::openBoth(Stop* stop)
{
    std::shared_ptr<JobResult>* results = openResults;
    for (const Role role : kRoles) {
        setState(role, InstrumentState::Opening, tr("Opening the %1…").arg(describe(role)));
        auto result = std::make_shared<JobResult>();
        results[slot(role)] = result;
        MatchingInstrument* instrument = instruments[slot(role)].get();
        post(role, [instrument, result] {
            result->ok = instrument->open(&result->error);
            result->identity = instrument->identity();
        });
    }
    std::vector<Role> late;
    const Wait waited = wait({Role::Sensor, Role::Reference}, kOpenBound, true, &late);
    if (waited == Wait::Cancelled) {
        *stop = Stop{Outcome::Cancelled, tr("The run was cancelled.")};
        return false;
    }
    QStringList failures;
    for (const Role role : kRoles) {
        const JobResult& r = *results[slot(role)];
        if (std::find(late.begin(), late.end(), role) != late.end()) {
            instruments[slot(role)]->cancel();
            const QString why = tr("The %1 did not open within %2 minutes.")
                                    .arg(describe(role))
                                    .arg(std::chrono::duration_cast<std::chrono::minutes>(kOpenBound).count());
            setState(role, InstrumentState::Failed, why);
            failures << why;
            continue;
        }
        identities[slot(role)] = r.identity;
        if (!r.ok) {
            const QString why = tr("The %1 could not be opened: %2").arg(describe(role), r.error);
            setState(role, InstrumentState::Failed, why);
            failures << why;
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex);
        session.setInstrument(role, r.identity);
    }
    if (!failures.isEmpty()) {
        *stop = Stop{Outcome::Stopped, failures.join(QLatin1Char(' '))};
        return false;
    }
    for (const Role role : kRoles) {
        const MatchingSession::Instrument id = results[slot(role)]->identity;
        QString text = id.typeName;
        if (!id.serialNumber.isEmpty())
            text = tr("%1, serial number %2").arg(text, id.serialNumber);
        if (!id.port.isEmpty())
            text = tr("%1 on %2").arg(text, id.port);
        setState(role, InstrumentState::Ready, text);
    }
    return true;
}

bool MatchingRun::Private::readPatch(int index, Stop* stop)
{
    const MatchingPatch& patch = settings.patches[static_cast<size_t>(index)];
    const int limit = settings.maxReadingsPerPatch > 0
        ? settings.maxReadingsPerPatch
        : std::min(3 * settings.repeats + 2, MatchingSession::MaxRepeats);
    std::vector<Xyz> raw[2];
    std::vector<QDateTime> times[2];
    int failuresInARow[2] = {0, 0};
    int accepted[2] = {0, 0};

    for (const Role role : kRoles)
        setState(role, InstrumentState::Reading, tr("Reading \"%1\"").arg(patch.name));

    for (int taken = 0;;) {
        if (accepted[0] >= settings.repeats && accepted[1] >= settings.repeats)
            break;
        if (taken >= limit) {
            QStringList short_;
            for (const Role role : kRoles) {
                if (accepted[slot(role)] < settings.repeats)
                    short_ << tr("the %1 gave %2 of %3")
                                  .arg(describe(role))
                                  .arg(accepted[slot(role)])
                                  .arg(settings.repeats);
            }
            *stop = Stop{Outcome::Stopped,
                         tr("Too few readings of \"%1\" count after %2 tries: %3. Is the patch too dark, or "
                            "the instrument not steady on the screen?")
                             .arg(patch.name)
                             .arg(taken)
                             .arg(short_.join(QStringLiteral(", ")))};
            return false;
        }

        // Both at once, every time: a reading is only compared with the
        // other instrument's reading of the same moment.
        std::shared_ptr<JobResult> results[2];
        for (const Role role : kRoles) {
            auto result = std::make_shared<JobResult>();
            results[slot(role)] = result;
            MatchingInstrument* instrument = instruments[slot(role)].get();
            post(role, [instrument, result] {
                result->xyz = instrument->read();
                result->time = QDateTime::currentDateTimeUtc();
            });
        }
        std::vector<Role> late;
        const Wait waited = wait({Role::Sensor, Role::Reference}, kReadBound, true, &late);
        if (waited == Wait::Cancelled) {
            // A pair broken off is no pair: neither reading is kept.
            *stop = Stop{Outcome::Cancelled, tr("The run was cancelled.")};
            return false;
        }
        if (waited == Wait::OutOfBounds) {
            QStringList names;
            for (const Role role : late) {
                instruments[slot(role)]->cancel();
                setState(role, InstrumentState::Failed, tr("No reading came."));
                names << describe(role);
            }
            *stop = Stop{Outcome::Stopped,
                         tr("The %1 gave no reading of \"%2\" within %3 minutes.")
                             .arg(names.join(tr(" and the ")), patch.name)
                             .arg(std::chrono::duration_cast<std::chrono::minutes>(kReadBound).count())};
            return false;
        }
        ++taken;

        for (const Role role : kRoles) {
            const int s = slot(role);
            raw[s].push_back(results[s]->xyz);
            times[s].push_back(results[s]->time);
            // Every verdict again: a later reading may make an earlier one an outlier, or no longer one.
            const RepeatStatistics statistics(raw[s], settings.luminanceFloor);
            accepted[s] = statistics.acceptedCount();
            std::vector<MatchingSession::Reading> readings;
            for (size_t i = 0; i < raw[s].size(); ++i)
                readings.push_back(
                    MatchingSession::Reading{raw[s][i], times[s][i], statistics.rejection(static_cast<int>(i))});
            std::lock_guard<std::mutex> lock(mutex);
            session.setReadings(index, role, std::move(readings));
        }
        MatchingRun* object = q;
        const int sensorAccepted = accepted[0];
        const int referenceAccepted = accepted[1];
        emitLater([object, index, sensorAccepted, referenceAccepted, taken] {
            emit object->readingTaken(index, sensorAccepted, referenceAccepted, taken);
        });

        QStringList failing;
        for (const Role role : kRoles) {
            const int s = slot(role);
            failuresInARow[s] = RepeatStatistics::isFailed(raw[s].back()) ? failuresInARow[s] + 1 : 0;
            if (failuresInARow[s] >= kFailuresInARow) {
                setState(role, InstrumentState::Failed, tr("%1 readings in a row failed.").arg(failuresInARow[s]));
                failing << describe(role);
            }
        }
        if (!failing.isEmpty()) {
            *stop = Stop{Outcome::Stopped,
                         tr("The %1 failed %2 readings of \"%3\" in a row.")
                             .arg(failing.join(tr(" and the ")))
                             .arg(kFailuresInARow)
                             .arg(patch.name)};
            return false;
        }
    }
    for (const Role role : kRoles)
        setState(role, InstrumentState::Ready, tr("Read \"%1\"").arg(patch.name));
    return true;
}

bool MatchingRun::Private::writeSession(QString* error)
{
    MatchingSession copy;
    {
        std::lock_guard<std::mutex> lock(mutex);
        // Each write ends the session as far as it goes, so every file
        // written is one the program reads.
        session.setEnded(QDateTime::currentDateTimeUtc());
        copy = session;
    }
    if (settings.sessionFile.isEmpty())
        return true;
    QString why;
    if (copy.write(settings.sessionFile, &why))
        return true;
    *error = tr("The session could not be written: %1").arg(why);
    return false;
}

void MatchingRun::Private::updateCertificate()
{
    std::vector<MatchingSample> samples;
    {
        std::lock_guard<std::mutex> lock(mutex);
        samples = session.samples();
    }
    for (const QString& name : MatchingPatch::trainingNames()) {
        const bool present = std::any_of(samples.begin(), samples.end(), [&name](const MatchingSample& s) {
            return s.training && s.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (!present)
            return;
    }
    std::vector<const CorrectionMethod*> list;
    for (const auto& m : methods)
        list.push_back(m.get());
    Certificate fresh;
    if (!fresh.compute(samples, list, settings.tolerance))
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        certificate = std::move(fresh);
    }
    MatchingRun* object = q;
    emitLater([object] { emit object->certificateUpdated(); });
}

void MatchingRun::Private::storeMatrix()
{
    std::optional<Certificate> current;
    {
        std::lock_guard<std::mutex> lock(mutex);
        current = certificate;
    }
    const Certificate::MethodResult* method
        = current && !current->recommended().isEmpty() ? current->method(current->recommended()) : nullptr;
    QString text;
    bool stored = false;
    if (!method) {
        text = tr("No method is recommended, so nothing was written to the sensor's memory.");
    } else {
        const int index = *settings.memoryIndex;
        const QString name = settings.memoryName.isEmpty() ? method->name : settings.memoryName;
        auto result = std::make_shared<JobResult>();
        MatchingInstrument* sensor = instruments[slot(Role::Sensor)].get();
        const Matrix3x3 matrix = method->matrix;
        setState(Role::Sensor, InstrumentState::Reading, tr("Writing the matrix to memory %1").arg(index));
        post(Role::Sensor, [sensor, result, index, name, matrix] {
            result->ok = sensor->storeMatrix(index, name, matrix, &result->error);
        });
        // Not cancellable: a write broken off half way leaves the memory
        // in a state nobody knows; the driver keeps its own bounds.
        if (wait({Role::Sensor}, kStoreBound, false) != Wait::Done) {
            sensor->cancel();
            text = tr("The %1 did not finish writing the matrix to memory %2; what the memory holds now is unknown.")
                       .arg(describe(Role::Sensor))
                       .arg(index);
        } else if (result->ok) {
            stored = true;
            text = tr("The %1 matrix was written to the sensor's memory %2 as \"%3\", read back and found the same.")
                       .arg(method->name)
                       .arg(index)
                       .arg(name);
        } else {
            text = tr("The matrix was not stored in the sensor's memory: %1").arg(result->error);
        }
        setState(Role::Sensor, InstrumentState::Ready, text);
    }
    std::lock_guard<std::mutex> lock(mutex);
    memoryResult = text;
    memoryStored = stored;
}

void MatchingRun::Private::closeBoth()
{
    for (const Role role : kRoles) {
        const std::shared_ptr<JobResult> opened = openResults[slot(role)];
        if (!opened)
            continue;
        MatchingInstrument* instrument = instruments[slot(role)].get();
        // After the open on the same thread, so it knows how that went.
        post(role, [instrument, opened] {
            if (opened->ok)
                instrument->close();
        });
    }
    // Closing is the drivers' own business and bounded by them; the
    // workers' ends wait for it.
    for (const Role role : kRoles) {
        workers[slot(role)].reset();
        const std::shared_ptr<JobResult>& opened = openResults[slot(role)];
        // A failed instrument keeps saying why.
        if (opened && opened->ok && !failed[slot(role)])
            setState(role, InstrumentState::Closed, tr("Closed"));
    }
}

void MatchingRun::Private::run()
{
    for (auto& worker : workers)
        worker = std::make_unique<Worker>(mutex, changed);

    {
        std::lock_guard<std::mutex> lock(mutex);
        session.setRepeats(settings.repeats);
        session.setLuminanceFloor(settings.luminanceFloor);
        session.setPatches(settings.patches);
        for (const Role role : kRoles) {
            identities[slot(role)] = instruments[slot(role)]->identity();
            session.setInstrument(role, identities[slot(role)]);
        }
    }

    Stop stop;
    int at = -1; // the patch the run stopped at
    bool wroteAtStop = false;
    if (openBoth(&stop)) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            session.setStarted(QDateTime::currentDateTimeUtc());
        }
        const int count = static_cast<int>(settings.patches.size());
        for (int i = 0; i < count; ++i) {
            if (isCancelled()) {
                stop = Stop{Outcome::Cancelled, tr("The run was cancelled.")};
                at = i;
                break;
            }
            MatchingRun* object = q;
            emitLater([object, i] { emit object->patchStarted(i); });
            QString why;
            if (!source->show(settings.patches[static_cast<size_t>(i)], &why)) {
                stop = isCancelled() ? Stop{Outcome::Cancelled, tr("The run was cancelled.")}
                                     : Stop{Outcome::Stopped,
                                            tr("The patch \"%1\" could not be shown: %2")
                                                .arg(settings.patches[static_cast<size_t>(i)].name, why)};
                at = i;
                break;
            }
            if (!readPatch(i, &stop)) {
                at = i;
                break;
            }
            QString error;
            if (!writeSession(&error)) {
                stop = Stop{Outcome::Stopped, error};
                // The file cannot take it; saying so in it is not tried.
                wroteAtStop = true;
                at = i;
                break;
            }
            emitLater([object, i] { emit object->patchFinished(i); });
            updateCertificate();
        }
        if (stop.outcome == Outcome::Completed && settings.memoryIndex) {
            if (isCancelled())
                stop = Stop{Outcome::Cancelled, tr("The run was cancelled before the matrix was written.")};
            else
                storeMatrix();
        }
    } else {
        // Not one reading: the file would hold nothing worth keeping.
        wroteAtStop = true;
    }

    source->finish();
    closeBoth();

    if (at >= 0) {
        std::lock_guard<std::mutex> lock(mutex);
        session.setStoppedAt(MatchingSession::Stop{settings.patches[static_cast<size_t>(at)].name, stop.reason});
    }
    if (!wroteAtStop) {
        QString error;
        if (!writeSession(&error))
            stop = Stop{stop.outcome == Outcome::Completed ? Outcome::Stopped : stop.outcome,
                        stop.reason.isEmpty() ? error : stop.reason + QLatin1Char(' ') + error};
    }

    const Outcome outcome = stop.outcome;
    const QString reason = stop.reason;
    {
        std::lock_guard<std::mutex> lock(mutex);
        running = false;
    }
    MatchingRun* object = q;
    emitLater([object, outcome, reason] { emit object->finished(outcome, reason); });
}

MatchingRun::MatchingRun(std::unique_ptr<MatchingInstrument> sensor, std::unique_ptr<MatchingInstrument> reference,
                         PatchSource* source, Settings settings, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, std::move(sensor), std::move(reference), source, std::move(settings)))
{
    qRegisterMetaType<MatchingSession::Role>("MatchingSession::Role");
    qRegisterMetaType<MatchingRun::Outcome>("MatchingRun::Outcome");
    qRegisterMetaType<MatchingRun::InstrumentState>("MatchingRun::InstrumentState");
}

MatchingRun::~MatchingRun()
{
    if (d->thread.joinable()) {
        cancel();
        d->thread.join();
    }
}

QString MatchingRun::checkSettings(const Settings& settings)
{
    const auto& patches = settings.patches;
    if (patches.empty())
        return tr("There are no patches to read.");
    if (static_cast<int>(patches.size()) > PatchSet::MaxPatches)
        return tr("%1 patches are more than the %2 a run reads.").arg(patches.size()).arg(PatchSet::MaxPatches);
    for (size_t i = 0; i < patches.size(); ++i) {
        const MatchingPatch& p = patches[i];
        if (p.name.trimmed().isEmpty() || p.name != p.name.trimmed())
            return tr("The patch name \"%1\" is empty or has spaces around it.").arg(p.name);
        for (const int level : {p.r, p.g, p.b}) {
            if (level < 0 || level > 255)
                return tr("The patch \"%1\" has a level outside 0-255.").arg(p.name);
        }
        if (p.training != MatchingPatch::isTrainingName(p.name))
            return p.training ? tr("Only red, green, blue and white train; \"%1\" cannot.").arg(p.name)
                              : tr("\"%1\" is a training colour and must train.").arg(p.name);
        for (size_t j = 0; j < i; ++j) {
            if (patches[j].name.compare(p.name, Qt::CaseInsensitive) == 0)
                return tr("The patch \"%1\" is given twice.").arg(p.name);
        }
    }
    QStringList missing;
    for (const QString& name : MatchingPatch::trainingNames()) {
        if (std::none_of(patches.begin(), patches.end(),
                         [&name](const MatchingPatch& p) { return p.name.compare(name, Qt::CaseInsensitive) == 0; }))
            missing << name;
    }
    if (!missing.isEmpty())
        return tr("The patches lack the training colours %1, which every correction is fitted on.")
            .arg(missing.join(QStringLiteral(", ")));
    if (settings.repeats < 1 || settings.repeats > MatchingSession::MaxRepeats)
        return tr("Each patch is read 1 to %1 times; %2 was asked.")
            .arg(MatchingSession::MaxRepeats)
            .arg(settings.repeats);
    if (settings.maxReadingsPerPatch != 0
        && (settings.maxReadingsPerPatch < settings.repeats
            || settings.maxReadingsPerPatch > MatchingSession::MaxRepeats))
        return tr("A patch may be read %1 to %2 times in all, retakes included; %3 was asked.")
            .arg(settings.repeats)
            .arg(MatchingSession::MaxRepeats)
            .arg(settings.maxReadingsPerPatch);
    if (!std::isfinite(settings.luminanceFloor) || settings.luminanceFloor < 0)
        return tr("The luminance floor must be a number of 0 cd/m² or more.");
    if (!(settings.tolerance > 0) || !std::isfinite(settings.tolerance))
        return tr("The tolerance must be a number above 0.");
    if (settings.memoryIndex && *settings.memoryIndex < 0)
        return tr("The memory index must be 0 or more.");
    return QString();
}

bool MatchingRun::start()
{
    if (!d->instruments[0] || !d->instruments[1] || !d->source || !checkSettings(d->settings).isEmpty())
        return false;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->started)
            return false;
        d->started = true;
        d->running = true;
    }
    d->thread = std::thread([this] { d->run(); });
    return true;
}

bool MatchingRun::isRunning() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->running;
}

MatchingSession MatchingRun::session() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->session;
}

std::optional<Certificate> MatchingRun::certificate() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->certificate;
}

QString MatchingRun::memoryResult() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memoryResult;
}

bool MatchingRun::memoryStored() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->memoryStored;
}

void MatchingRun::cancel()
{
    {
        // The source and the instruments are told only while they serve
        // this run: a source may serve the next one.
        std::lock_guard<std::mutex> lock(d->mutex);
        if (d->cancelled || !d->running)
            return;
        d->cancelled = true;
    }
    d->changed.notify_all();
    if (d->source)
        d->source->cancel();
    for (const auto& instrument : d->instruments) {
        if (instrument)
            instrument->cancel();
    }
}
