#include "recordingmessenger.h"

#include <QThread>

#include <utility>

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
    const Shown box{icon, title, text, buttons, QThread::currentThread()};
    std::function<void(const Shown&)> look;
    {
        QMutexLocker lock(&m_mutex);
        look = m_whenShown;
    }
    if (look)
        look(box);
    QMutexLocker lock(&m_mutex);
    m_shown.append(box);
    // A box with only an OK button has nothing to choose; it takes no queued answer.
    if (buttons != Buttons(Ok) && !m_answers.isEmpty())
        return m_answers.takeFirst();
    return defaultAnswer(buttons, defaultButton);
}

void RecordingMessenger::setWhenShown(std::function<void(const Shown&)> look)
{
    QMutexLocker lock(&m_mutex);
    m_whenShown = std::move(look);
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

namespace {

QString iconName(Messenger::Icon icon)
{
    switch (icon) {
    case Messenger::Icon::Information: return QStringLiteral("Information");
    case Messenger::Icon::Warning: return QStringLiteral("Warning");
    case Messenger::Icon::Critical: return QStringLiteral("Critical");
    case Messenger::Icon::Question: return QStringLiteral("Question");
    }
    return QString();
}

} // namespace

QStringList RecordingMessenger::boxes() const
{
    QStringList lines;
    for (const Shown& box : shown())
        lines << QStringLiteral("%1 %2: %3").arg(iconName(box.icon), box.title, box.text);
    return lines;
}

QStringList RecordingMessenger::texts() const
{
    QStringList lines;
    for (const Shown& box : shown())
        lines << box.text;
    return lines;
}

void RecordingMessenger::clear()
{
    QMutexLocker lock(&m_mutex);
    m_shown.clear();
}
