#ifndef ALIGNMENTTHREAD_H
#define ALIGNMENTTHREAD_H

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

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

    static QString startReply(int waitMs);
    static QString valueReply(double x, double y, double z);

protected:
    void run() override;

private:
    void serve();

    Measure* const owner;
    QMutex mutex;
    QWaitCondition wakeCondition;
    std::atomic<bool> aligning{false};
    std::atomic<bool> exiting{false};
    std::atomic<bool> serving{false};
};

#endif // ALIGNMENTTHREAD_H
