#include "consolepatchprompt.h"

#include "command.h"
#include "requestedpatchsource.h"

#include <QSocketNotifier>

#include <cerrno>
#include <unistd.h>

ConsolePatchPrompt::ConsolePatchPrompt(RequestedPatchSource& source, int inputFd, QObject* parent)
    : QObject(parent)
    , m_source(source)
    , m_fd(inputFd)
{
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsolePatchPrompt::readInput);
    connect(&m_source, &RequestedPatchSource::patchRequested, this, &ConsolePatchPrompt::ask);
}

void ConsolePatchPrompt::ask(const MatchingPatch& patch)
{
    Command::printError(QStringLiteral("Show %1 (%2, %3, %4) on the display and press Enter.")
                            .arg(patch.name)
                            .arg(patch.r)
                            .arg(patch.g)
                            .arg(patch.b));
    m_waiting = true;
    m_notifier->setEnabled(true);
}

void ConsolePatchPrompt::readInput()
{
    // Byte by byte up to the end of the line, so that lines typed ahead stay
    // for the patches that follow.
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(m_fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            m_notifier->setEnabled(false);
            if (m_waiting) {
                m_waiting = false;
                m_inputEnded = true;
                m_source.patchRefused(QStringLiteral("the operator's input ended"));
            }
            return;
        }
        if (c == '\n')
            break;
    }
    if (!m_waiting)
        return;
    m_waiting = false;
    m_notifier->setEnabled(false);
    m_source.patchShown();
}
