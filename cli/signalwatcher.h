#ifndef SIGNALWATCHER_H
#define SIGNALWATCHER_H

#include <QObject>

#include <csignal>
#include <vector>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the thread that owns the
// watcher. The handler only writes the signal number into a pipe, the one thing
// it may safely do whichever thread the kernel picks; the event loop reads it.
// One watcher at a time; the previous handlers come back when it is destroyed.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    // Runs inside the signal handler, before the event loop hears of the
    // signal, for what cannot wait for the loop: its thread may be blocked in a
    // call. It must be async-signal-safe.
    using Hook = void (*)();

    explicit SignalWatcher(QObject* parent = nullptr, Hook hook = nullptr);
    ~SignalWatcher() override;

    bool isValid() const { return m_notifier != nullptr; }
    // True once a signal has arrived, also before the loop has reported it.
    bool hasReceived() const;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    int m_readFd = -1;
    int m_writeFd = -1;
    QSocketNotifier* m_notifier = nullptr;
    struct Previous {
        int signalNumber;
        struct sigaction action;
    };
    std::vector<Previous> m_previous;
};

#endif // SIGNALWATCHER_H
