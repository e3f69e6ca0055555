#include "requestedpatchsource.h"

#include <QMetaObject>

#include <chrono>

RequestedPatchSource::RequestedPatchSource(int settleMs, QObject* parent)
    : QObject(parent)
    , m_settleMs(settleMs)
{
    qRegisterMetaType<MatchingPatch>("MatchingPatch");
}

RequestedPatchSource::~RequestedPatchSource() = default;

bool RequestedPatchSource::show(const MatchingPatch& patch, QString* error)
{
    const auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_cancelled)
        return fail(tr("Cancelled."));
    m_answer = Answer::Pending;
    m_reason.clear();
    lock.unlock();

    // Posted, not sent: the main thread may be busy, and the run must stay
    // free to be cancelled meanwhile.
    QMetaObject::invokeMethod(
        this, [this, patch] { emit patchRequested(patch); }, Qt::QueuedConnection);

    lock.lock();
    const bool answered = m_changed.wait_for(lock, std::chrono::milliseconds(m_maxWaitMs),
                                             [this] { return m_cancelled || m_answer != Answer::Pending; });
    if (m_cancelled)
        return fail(tr("Cancelled."));
    if (!answered)
        return fail(
            m_maxWaitMs >= 120 * 1000
                ? tr("The patch \"%1\" was not confirmed within %2 minutes.").arg(patch.name).arg(m_maxWaitMs / 60000)
                : tr("The patch \"%1\" was not confirmed within %2 s.")
                      .arg(patch.name)
                      .arg(m_maxWaitMs / 1000.0, 0, 'f', 1));
    if (m_answer == Answer::Refused)
        return fail(m_reason);

    // Whatever shows the patch takes a moment to reach its level.
    m_changed.wait_for(lock, std::chrono::milliseconds(m_settleMs), [this] { return m_cancelled; });
    if (m_cancelled)
        return fail(tr("Cancelled."));
    return true;
}

void RequestedPatchSource::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

void RequestedPatchSource::finish()
{
    QMetaObject::invokeMethod(
        this, [this] { emit finished(); }, Qt::QueuedConnection);
}

void RequestedPatchSource::patchShown()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answer = Answer::Shown;
    }
    m_changed.notify_all();
}

void RequestedPatchSource::patchRefused(const QString& reason)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answer = Answer::Refused;
        m_reason = reason.isEmpty() ? tr("The patch was refused.") : reason;
    }
    m_changed.notify_all();
}
