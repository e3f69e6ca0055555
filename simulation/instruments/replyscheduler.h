#ifndef REPLYSCHEDULER_H
#define REPLYSCHEDULER_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Sends bytes at given times on a thread of its own: how an emulated instrument
// answers late, or reports by itself when a measurement is done.
class ReplyScheduler
{
public:
    using Send = std::function<bool(const std::string& bytes)>;

    explicit ReplyScheduler(Send send);
    ~ReplyScheduler();
    ReplyScheduler(const ReplyScheduler&) = delete;
    ReplyScheduler& operator=(const ReplyScheduler&) = delete;

    // Sends the bytes after the delay; items due at the same time go out in
    // the order they were scheduled.
    void schedule(std::chrono::milliseconds delay, std::string bytes);
    // Drops everything not yet sent.
    void cancel();
    // True while something waits to be sent or is being sent.
    bool pending() const;
    // Waits until nothing is pending; false on time-out.
    bool waitIdle(std::chrono::milliseconds timeout) const;
    // Ends the thread; what is not yet sent is dropped. Called by the destructor.
    void stop();

private:
    struct Item {
        std::chrono::steady_clock::time_point due;
        std::string bytes;
    };

    void run();

    Send m_send;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Item> m_items;
    bool m_sending = false;
    bool m_stop = false;
    std::thread m_thread;
};

#endif // REPLYSCHEDULER_H
