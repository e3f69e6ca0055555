#ifndef STOPDEADLINE_H
#define STOPDEADLINE_H

#include <thread>

// Ends the process a set time after a stop was asked for, if the program has
// not ended by itself by then. A call inside an instrument library cannot be
// interrupted (a CA-410 that does not answer holds it for seconds), and a
// service manager must not have to wait for it. The countdown runs on a thread
// of its own, so it also runs while that call blocks the main thread.
// One deadline at a time.
class StopDeadline
{
public:
    explicit StopDeadline(int deadlineMs);
    // The program ends by itself: the countdown, if running, is dropped.
    ~StopDeadline();
    StopDeadline(const StopDeadline&) = delete;
    StopDeadline& operator=(const StopDeadline&) = delete;

    // Starts the countdown; later calls leave it running as it is.
    // Async-signal-safe, for a signal handler.
    static void start();

private:
    void run();

    const int m_deadlineMs;
    int m_readFd = -1;
    std::thread m_thread;
};

#endif // STOPDEADLINE_H
