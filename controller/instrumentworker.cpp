#include "instrumentworker.h"

#include "messenger.h"

#include <QStringList>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace {
thread_local InstrumentWorker::Job* runningJob = nullptr;
} // namespace

// One request from submit() until it is answered. The state moves from
// Queued or Running to Returned (run has returned) or Cancelled, never back:
// whichever comes first decides the outcome.
class InstrumentWorker::Record
{
public:
    enum class State { Queued, Running, Returned, Cancelled };

    explicit Record(Request r) : request(std::move(r)) {}

    Request request;
    std::mutex mutex;
    std::condition_variable changed;
    State state = State::Queued;
    bool laneDone = false;
    QVariant result;
    std::vector<std::function<void()>> successActions;
    // Main thread only.
    bool answered = false;
};

struct InstrumentWorker::Lane {
    QThread thread;
    // Lives in the thread; requests are posted to it.
    QObject runner;
    // The request pending in this lane; main thread only.
    std::shared_ptr<Record> record;
};

bool InstrumentWorker::Job::isCancelled() const
{
    std::lock_guard<std::mutex> lock(record.mutex);
    return record.state == Record::State::Cancelled;
}

bool InstrumentWorker::Job::sleep(int msecs)
{
    std::unique_lock<std::mutex> lock(record.mutex);
    return !record.changed.wait_for(lock, std::chrono::milliseconds(qMax(0, msecs)),
                                    [this] { return record.state == Record::State::Cancelled; });
}

void InstrumentWorker::Job::onSuccess(std::function<void()> action)
{
    std::lock_guard<std::mutex> lock(record.mutex);
    record.successActions.push_back(std::move(action));
}

InstrumentWorker::InstrumentWorker(QObject* parent)
    : QObject(parent)
{
    const char* names[] = {"sensor", "monitor"};
    for (size_t i = 0; i < lanes.size(); ++i) {
        lanes[i] = std::make_unique<Lane>();
        lanes[i]->thread.setObjectName(QStringLiteral("instrument %1").arg(QLatin1String(names[i])));
        lanes[i]->runner.moveToThread(&lanes[i]->thread);
        lanes[i]->thread.start();
    }
}

InstrumentWorker::~InstrumentWorker()
{
    cancelAndWait();
    for (const auto& lane : lanes) {
        lane->thread.quit();
        lane->thread.wait();
    }
}

InstrumentWorker::Job* InstrumentWorker::currentJob()
{
    return runningJob;
}

bool InstrumentWorker::isBusy(Instruments instruments) const
{
    for (const auto& lane : lanes) {
        if (lane->record && (lane->record->request.instruments & instruments))
            return true;
    }
    return false;
}

QString InstrumentWorker::waitingFor() const
{
    QStringList what;
    for (const auto& lane : lanes) {
        if (lane->record)
            what << lane->record->request.what;
    }
    return what.join(QStringLiteral("; "));
}

bool InstrumentWorker::submit(Request request)
{
    if (!request.instruments || !request.run || isBusy(request.instruments))
        return false;
    // Whatever touches the sensor runs on the sensor's thread; the monitor's
    // thread only ever has requests for the monitor alone.
    Lane& lane = *lanes[(request.instruments & Sensor) ? 0 : 1];
    auto record = std::make_shared<Record>(std::move(request));
    lane.record = record;
    QMetaObject::invokeMethod(
        &lane.runner,
        [this, record] {
            execute(record);
            // Answered here on the main thread; dropped with the worker, whose
            // destructor has answered it already.
            QMetaObject::invokeMethod(this, [this, record] { finish(record); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    emit busyChanged(true, waitingFor());
    return true;
}

void InstrumentWorker::execute(const std::shared_ptr<Record>& record)
{
    Job job(*record);
    bool skipped = false;
    {
        std::lock_guard<std::mutex> lock(record->mutex);
        if (record->state == Record::State::Cancelled)
            skipped = true;
        else
            record->state = Record::State::Running;
    }
    // What fails because of the cancel is no news to the user who cancelled.
    Messenger::muteThreadWhile([&job] { return job.isCancelled(); });
    QVariant result;
    if (!skipped) {
        runningJob = &job;
        result = record->request.run(job);
        runningJob = nullptr;
    }
    bool cancelled = false;
    {
        std::lock_guard<std::mutex> lock(record->mutex);
        if (record->state == Record::State::Running)
            record->state = Record::State::Returned;
        cancelled = record->state == Record::State::Cancelled;
        record->result = result;
    }
    // The interrupt was given under the record's lock: by now it has been, so
    // resuming cannot come before it and leave the waits cancelled.
    if (cancelled && !skipped && record->request.undo)
        record->request.undo(result);
    if (cancelled && !skipped && record->request.resume)
        record->request.resume();
    Messenger::muteThreadWhile({});
    {
        std::lock_guard<std::mutex> lock(record->mutex);
        record->laneDone = true;
    }
    record->changed.notify_all();
}

bool InstrumentWorker::isCancelling() const
{
    for (const auto& lane : lanes) {
        if (!lane->record)
            continue;
        std::lock_guard<std::mutex> lock(lane->record->mutex);
        if (lane->record->state == Record::State::Cancelled)
            return true;
    }
    return false;
}

void InstrumentWorker::cancel()
{
    bool any = false;
    for (const auto& lane : lanes) {
        if (lane->record) {
            cancelRecord(lane->record);
            any = true;
        }
    }
    // A library call goes on until it returns: the window says so meanwhile.
    if (any)
        emit busyChanged(true, waitingFor());
}

void InstrumentWorker::cancelRecord(const std::shared_ptr<Record>& record)
{
    std::lock_guard<std::mutex> lock(record->mutex);
    // Returned already: too late, the result stands.
    if (record->state != Record::State::Queued && record->state != Record::State::Running)
        return;
    const bool running = record->state == Record::State::Running;
    record->state = Record::State::Cancelled;
    if (running && record->request.interrupt)
        record->request.interrupt();
    record->changed.notify_all();
}

void InstrumentWorker::cancelAndWait(Instruments instruments)
{
    for (const auto& lane : lanes) {
        const std::shared_ptr<Record> record = lane->record;
        if (!record || !(record->request.instruments & instruments))
            continue;
        cancelRecord(record);
        {
            std::unique_lock<std::mutex> lock(record->mutex);
            record->changed.wait(lock, [&record] { return record->laneDone; });
        }
        finish(record);
    }
}

void InstrumentWorker::finish(const std::shared_ptr<Record>& record)
{
    if (record->answered)
        return;
    record->answered = true;
    for (const auto& lane : lanes) {
        if (lane->record == record)
            lane->record.reset();
    }
    Outcome outcome = Outcome::Done;
    std::vector<std::function<void()>> actions;
    QVariant result;
    {
        std::lock_guard<std::mutex> lock(record->mutex);
        if (record->state == Record::State::Cancelled)
            outcome = Outcome::Cancelled;
        else
            actions.swap(record->successActions);
        result = record->result;
    }
    // Not busy any more before the answer is delivered: an answer that opens
    // a modal box must not leave a wait on show behind it.
    emit busyChanged(isBusy(), waitingFor());
    for (const auto& action : actions)
        action();
    if (record->request.done)
        record->request.done(outcome, result);
}
