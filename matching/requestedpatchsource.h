#ifndef REQUESTEDPATCHSOURCE_H
#define REQUESTEDPATCHSOURCE_H

#include "patchsource.h"

#include <QObject>

#include <condition_variable>
#include <mutex>

// A patch source whose showing is done on the main thread by whoever answers
// patchRequested: the operator confirming that the patch is up, or a window of
// the program painting it. show() raises the request without waiting for the
// main thread to take it, then waits, cancellably and at most
// maxWaitMs(), for patchShown() or patchRefused(); the settle time follows.
class RequestedPatchSource : public QObject, public PatchSource
{
    Q_OBJECT

public:
    // An operator may take a while to change a pattern by hand; a run left
    // alone longer than this is given up.
    static constexpr int kDefaultMaxWaitMs = 60 * 60 * 1000;

    explicit RequestedPatchSource(int settleMs, QObject* parent = nullptr);
    ~RequestedPatchSource() override;

    bool show(const MatchingPatch& patch, QString* error) override;
    void cancel() override;
    void finish() override;

    int settleMs() const { return m_settleMs; }
    int maxWaitMs() const { return m_maxWaitMs; }
    void setMaxWaitMs(int msecs) { m_maxWaitMs = msecs; }

signals:
    // Queued to the thread this object lives in (the main thread).
    void patchRequested(const MatchingPatch& patch);
    void finished();

public slots:
    // The answer to the last patchRequested; from any thread.
    void patchShown();
    void patchRefused(const QString& reason);

private:
    const int m_settleMs;
    int m_maxWaitMs = kDefaultMaxWaitMs;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    enum class Answer { Pending, Shown, Refused } m_answer = Answer::Pending;
    QString m_reason;
    bool m_cancelled = false;
};

Q_DECLARE_METATYPE(MatchingPatch)

#endif // REQUESTEDPATCHSOURCE_H
