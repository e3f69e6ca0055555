#ifndef ALIGNMENTTHREAD_H
#define ALIGNMENTTHREAD_H

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <mutex>

class Measure;

// Serves the display's own calibration requests while alignment is on: "MES,1"
// starts a measurement and is answered "OK00,<ms>", "MDR,1" is answered
// "OK01,<X>;<Y>;<Z>" with the corrected reading, "MES,0" stops. Between
// alignment periods the thread sleeps on a wait condition.
class AlignmentThread : public QThread
{
    Q_OBJECT

public:
    // How long one idle pass waits for the monitor before it looks at the
    // on/off switch again.
    static constexpr int IdleWaitMs = 50;

    explicit AlignmentThread(Measure* owner, QObject* parent = nullptr);
    // Asks the thread to stop and waits for the pass in progress to finish.
    ~AlignmentThread() override;

    // Switches alignment on or off; returns the new state.
    bool doAlignment();
    bool isAligning() const { return aligning.load(); }
    // True once an alignment period has flushed the monitor and serves requests;
    // what the display sent before that moment is discarded.
    bool isServing() const { return serving.load(); }
    // Passes of the service loop so far; lets a caller see that the pass after
    // a given moment has run.
    quint64 passes() const { return passCount.load(); }

    // Switches alignment off if it is on and returns once the service has let go
    // of the owner's sensor and monitor. Until the returned lock is released the
    // service does not touch them, so the owner may replace or delete them.
    std::unique_lock<std::mutex> holdIdle();

    static QString startReply(int waitMs);
    static QString valueReply(double x, double y, double z);

protected:
    void run() override;

private:
    void serve();

    Measure* const owner;
    QMutex mutex;
    QWaitCondition wakeCondition;
    // Held by the thread for a whole alignment period, from taking the owner's
    // sensor and monitor to letting go of them.
    std::mutex serviceMutex;
    std::atomic<bool> aligning{false};
    std::atomic<bool> exiting{false};
    std::atomic<bool> serving{false};
    std::atomic<quint64> passCount{0};
};

#endif // ALIGNMENTTHREAD_H
