#ifndef RECORDINGMESSENGER_H
#define RECORDINGMESSENGER_H

#include "messenger.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

class QThread;

// Records every message box the code under test would show and answers at once.
// Installs itself on construction and restores the previous messenger when it goes.
// Safe to call from any thread; each record notes the thread that showed it.
class RecordingMessenger final : public Messenger
{
public:
    struct Shown {
        Icon icon;
        QString title;
        QString text;
        Buttons buttons;
        QThread* thread;
    };

    RecordingMessenger();
    ~RecordingMessenger() override;

    Button show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                Buttons buttons, Button defaultButton) override;

    // Answers given to boxes offering a choice, in order; when they run out the
    // default button (or Ok) is the answer.
    void queueAnswer(Button answer);
    // Called with each box as it is shown, on the thread showing it: what
    // else is on the screen at that moment.
    void setWhenShown(std::function<void(const Shown&)> look);

    QList<Shown> shown() const;
    // One line per box, in order: "<icon> <title>: <text>", and the texts alone,
    // so that a single comparison says how many boxes came and what each said.
    QStringList boxes() const;
    QStringList texts() const;
    void clear();

private:
    mutable QMutex m_mutex;
    QList<Shown> m_shown;
    QList<Button> m_answers;
    std::function<void(const Shown&)> m_whenShown;
    Messenger* m_previous = nullptr;
};

#endif // RECORDINGMESSENGER_H
