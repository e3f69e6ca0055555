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
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    if (defaultButton != NoButton)
        return defaultButton;
    return buttons.testFlag(Ok) ? Ok : NoButton;
}
