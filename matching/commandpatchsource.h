#ifndef COMMANDPATCHSOURCE_H
#define COMMANDPATCHSOURCE_H

#include "patchsource.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

// Patches shown by an outside pattern generator: before each patch the
// command runs with "%r", "%g" and "%b" replaced by the patch's 0-255 levels
// (and "%%" by "%"), split into words as a shell would not: on blanks, with
// double quotes keeping a word together. The patch counts as shown when the
// command exits with 0 within timeoutMs(); the settle time follows.
class CommandPatchSource : public PatchSource
{
public:
    static constexpr int kDefaultSettleMs = 500;
    static constexpr int kDefaultTimeoutMs = 60 * 1000;

    explicit CommandPatchSource(QString command, int settleMs = kDefaultSettleMs);

    // The program and its arguments for the patch; empty, with *error, for a
    // command that does not split (an unclosed quote, nothing to run).
    static QStringList commandLine(const QString& command, const MatchingPatch& patch, QString* error);

    bool show(const MatchingPatch& patch, QString* error) override;
    void cancel() override;

    void setTimeoutMs(int msecs) { m_timeoutMs = msecs; }
    int timeoutMs() const { return m_timeoutMs; }

private:
    const QString m_command;
    const int m_settleMs;
    int m_timeoutMs = kDefaultTimeoutMs;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_cancelled{false};
};

#endif // COMMANDPATCHSOURCE_H
