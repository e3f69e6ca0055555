#include "replyscheduler.h"

#include <algorithm>

ReplyScheduler::ReplyScheduler(Send send)
    : m_send(std::move(send)), m_thread([this] { run(); })
{
}

ReplyScheduler::~ReplyScheduler()
{
    stop();
}

void ReplyScheduler::schedule(std::chrono::milliseconds delay, std::string bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const Item item{std::chrono::steady_clock::now() + delay, std::move(bytes)};
    // Kept sorted by due time; equal times keep their order.
    const auto at = std::upper_bound(m_items.begin(), m_items.end(), item,
                                     [](const Item& a, const Item& b) { return a.due < b.due; });
    m_items.insert(at, item);
    m_changed.notify_all();
}

void ReplyScheduler::cancel()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.clear();
    m_changed.notify_all();
}

bool ReplyScheduler::pending() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_items.empty() || m_sending;
}

bool ReplyScheduler::waitIdle(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_items.empty() && !m_sending; });
}

void ReplyScheduler::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_items.clear();
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void ReplyScheduler::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        if (m_items.empty()) {
            m_changed.wait(lock);
            continue;
        }
        const auto due = m_items.front().due;
        if (std::chrono::steady_clock::now() < due) {
            m_changed.wait_until(lock, due);
            continue;
        }
        std::string bytes = std::move(m_items.front().bytes);
        m_items.erase(m_items.begin());
        // Sent without the lock, so that schedule() and cancel() never wait on
        // a slow terminal. pending() stays true until the bytes are out.
        m_sending = true;
        lock.unlock();
        m_send(bytes);
        lock.lock();
        m_sending = false;
        m_changed.notify_all();
    }
}
