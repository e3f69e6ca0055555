#include "recordingmessenger.h"

RecordingMessenger::RecordingMessenger()
    : m_previous(Messenger::install(this))
{
}

RecordingMessenger::~RecordingMessenger()
{
    Messenger::install(m_previous);
}

Messenger::Button RecordingMessenger::show(QWidget*, Icon icon, const QString& title,
                                           const QString& text, Buttons buttons,
                                           Button defaultButton)
{
    m_shown.append({icon, title, text, buttons});
    // A box with only an OK button has nothing to choose; it takes no queued answer.
    if (buttons != Buttons(Ok) && !m_answers.isEmpty())
        return m_answers.takeFirst();
    if (defaultButton != NoButton)
        return defaultButton;
    return buttons.testFlag(Ok) ? Ok : NoButton;
}
