#ifndef INSTRUMENTWORKER_H
#define INSTRUMENTWORKER_H

#include <QFlags>
#include <QObject>
#include <QString>
#include <QVariant>

#include <array>
#include <functional>
#include <memory>

class QThread;

// Runs the window's instrument calls off the main thread, so that the window
// never waits for an instrument: a channel scan, a library's start-up or a
// reading in the dark takes seconds to minutes.
//
// Each instrument has one thread of its own (the sensor's also runs what
// touches both), and at most one request per instrument is pending: a request
// for an instrument that is busy is refused, so one thread at a time talks to
// an instrument without any queue behind it. Every request is answered exactly
// once on the main thread.
//
// Cancelling ends the serial waits of the request at once (through the
// request's interrupt, which the owner fills with the ports' cancelWaits); a
// call inside an outside library cannot be interrupted, so there the cancel
// is applied when the call returns: its result is undone and dropped.
class InstrumentWorker : public QObject
{
    Q_OBJECT

public:
    enum Instrument { Sensor = 0x1, Monitor = 0x2 };
    Q_DECLARE_FLAGS(Instruments, Instrument)

    enum class Outcome { Done, Cancelled };
    Q_ENUM(Outcome)

    class Record;

    // What a running request sees of itself, on the instrument thread.
    class Job
    {
    public:
        explicit Job(Record& owner) : record(owner) {}
        bool isCancelled() const;
        // Waits msecs, or less when cancelled meanwhile; false when cancelled.
        bool sleep(int msecs);
        // Runs on the main thread when the request ends without being
        // cancelled, before its done: how a result reaches the window only
        // when it is not dropped.
        void onSuccess(std::function<void()> action);

    private:
        Record& record;
    };

    struct Request {
        Instruments instruments;
        // What the window waits for, for its status bar.
        QString what;
        // On the instrument thread; the result goes to done.
        std::function<QVariant(Job&)> run;
        // On the instrument thread, after run returned although cancelled:
        // takes back what run did (a sensor opened is closed again).
        std::function<void(const QVariant&)> undo;
        // On the main thread, when cancelled while run has not returned: ends
        // the request's waits. Then, on the instrument thread once run has
        // returned, resume lets the instruments wait again.
        std::function<void()> interrupt;
        std::function<void()> resume;
        // On the main thread, exactly once.
        std::function<void(Outcome, const QVariant&)> done;
    };

    explicit InstrumentWorker(QObject* parent = nullptr);
    // Cancels what is pending, waits for it and answers it.
    ~InstrumentWorker() override;

    // False, and nothing happens, when one of the request's instruments is busy.
    bool submit(Request request);
    bool isBusy(Instruments instruments = Instruments(Sensor | Monitor)) const;
    // What the pending requests wait for; empty when none is pending.
    QString waitingFor() const;
    // True while a cancelled request waits for its instrument call to return
    // (a library call, which cannot be interrupted).
    bool isCancelling() const;

    // Cancels the pending requests of the instruments, waits for them and
    // answers them before it returns. For a caller that is about to replace or
    // delete an instrument; it waits as long as a library call takes.
    void cancelAndWait(Instruments instruments = Instruments(Sensor | Monitor));

    // The request running on the calling thread, or null.
    static Job* currentJob();

public slots:
    // Cancels every pending request; each is answered Cancelled once its
    // instrument call has returned. busyChanged tells of the cancel at once.
    void cancel();

signals:
    // Emitted on the main thread whenever a request begins or ends.
    void busyChanged(bool busy, QString what);

private:
    struct Lane;
    void cancelRecord(const std::shared_ptr<Record>& record);
    void finish(const std::shared_ptr<Record>& record);
    static void execute(const std::shared_ptr<Record>& record);

    std::array<std::unique_ptr<Lane>, 2> lanes;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(InstrumentWorker::Instruments)

#endif // INSTRUMENTWORKER_H
