#ifndef ALIGNMENTTHREAD_H
#define ALIGNMENTTHREAD_H

#include "ccolor.h"

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <mutex>

class CMonitor;
class CSensor;
class Measure;

// Serves the display's own calibration requests while alignment is on: "MES,1"
// starts a measurement and is answered "OK00,<ms>", "MDR,1" is answered
// "OK01,<X>;<Y>;<Z>" with the corrected reading, "MES,0" stops. Between
// alignment periods the thread sleeps on a wait condition.
//
// When the display hangs up (unplugged, which on a line happens all day) the
// service stops polling that line, reports it, and looks for the same port every
// ReconnectPollMs until it comes back, then serves again.
class AlignmentThread : public QThread
{
    Q_OBJECT

public:
    // How long one idle pass waits for the monitor before it looks at the
    // on/off switch again.
    static constexpr int IdleWaitMs = 50;
    // How often a hung-up display's port is looked for again.
    static constexpr int ReconnectPollMs = 200;

    explicit AlignmentThread(Measure* owner, QObject* parent = nullptr);
    // Asks the thread to stop and waits for the pass in progress to finish.
    ~AlignmentThread() override;

    // Switches alignment on or off; returns the new state.
    bool doAlignment();
    bool isAligning() const { return aligning.load(); }
    // True once an alignment period has flushed the monitor and serves requests;
    // what the display sent before that moment is discarded.
    bool isServing() const { return serving.load(); }
    // True from taking the owner's sensor and monitor until letting go of them,
    // which may be a while after alignment was switched off.
    bool inPeriod() const { return periodActive.load(); }
    // Passes of the service loop so far; lets a caller see that the pass after
    // a given moment has run.
    quint64 passes() const { return passCount.load(); }

    // Switches alignment off if it is on and returns once the service has let go
    // of the owner's sensor and monitor. Until the returned lock is released the
    // service does not touch them, so the owner may replace or delete them.
    std::unique_lock<std::mutex> holdIdle();

    // Ends the serial waits of the period in progress at once (the instrument's
    // reply, the display's line), so that switching off is not held up by a
    // reading that may take minutes. Waits inside an outside library go on.
    void cancelWaits();

    // A corrected reading that may go to the display: all three values finite.
    static bool isSendable(const CColor& color);
    static QString startReply(int waitMs);
    static QString valueReply(double x, double y, double z);

signals:
    // An alignment period began or ended (emitted from the service thread).
    void periodChanged();
    // The display's line hung up, or came back and is served again.
    void monitorHungUp();
    void monitorReconnected();
    // A request of the display was handled: its command code, the reply sent
    // (empty for none) and, for a value request, the raw and corrected reading
    // (no-data otherwise).
    void requestServed(int command, QString reply, CColor raw, CColor corrected);

protected:
    void run() override;

private:
    void serve();
    void beginPeriod(CSensor* sensor, CMonitor* monitor);
    void endPeriod();
    // Waits for a hung-up display's port to come back; false when alignment is
    // switched off or the thread is stopped first.
    bool waitForMonitor(CMonitor* monitor);
    void resumeWaits();

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

    // The period's sensor and monitor, for cancelWaits() from the main thread.
    std::mutex periodMutex;
    CSensor* periodSensor = nullptr;
    CMonitor* periodMonitor = nullptr;
    std::atomic<bool> periodActive{false};
};

#endif // ALIGNMENTTHREAD_H
