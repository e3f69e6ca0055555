#ifndef CONSOLEPATCHPROMPT_H
#define CONSOLEPATCHPROMPT_H

#include <QObject>

class QSocketNotifier;
class RequestedPatchSource;
struct MatchingPatch;

// The operator as a patch source on a terminal: each patch is asked for on
// standard error, and Enter on standard input says it is up. The input is
// watched from the event loop, so a run waiting for the operator can still be
// stopped by a signal; the end of the input refuses the patch.
class ConsolePatchPrompt : public QObject
{
    Q_OBJECT

public:
    // inputFd: the descriptor to read lines from (standard input).
    ConsolePatchPrompt(RequestedPatchSource& source, int inputFd, QObject* parent = nullptr);

    // Whether a patch was refused because the input ended: the operator gave up.
    bool inputEnded() const { return m_inputEnded; }

private:
    void ask(const MatchingPatch& patch);
    void readInput();

    RequestedPatchSource& m_source;
    const int m_fd;
    QSocketNotifier* m_notifier = nullptr;
    bool m_waiting = false;
    bool m_inputEnded = false;
};

#endif // CONSOLEPATCHPROMPT_H
