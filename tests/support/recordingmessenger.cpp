#include "recordingmessenger.h"

#include <QThread>

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
    QMutexLocker lock(&m_mutex);
    m_shown.append({icon, title, text, buttons, QThread::currentThread()});
    // A box with only an OK button has nothing to choose; it takes no queued answer.
    if (buttons != Buttons(Ok) && !m_answers.isEmpty())
        return m_answers.takeFirst();
    return defaultAnswer(buttons, defaultButton);
}

void RecordingMessenger::queueAnswer(Button answer)
{
    QMutexLocker lock(&m_mutex);
    m_answers.append(answer);
}

QList<RecordingMessenger::Shown> RecordingMessenger::shown() const
{
    QMutexLocker lock(&m_mutex);
    return m_shown;
}

void RecordingMessenger::clear()
{
    QMutexLocker lock(&m_mutex);
    m_shown.clear();
}
