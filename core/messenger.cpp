#include "messenger.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QThread>

#include <atomic>
#include <mutex>
#include <utility>

namespace {

class LogMessenger final : public Messenger
{
public:
    Button show(QWidget*, Icon, const QString& title, const QString& text, Buttons buttons,
                Button defaultButton) override
    {
        qWarning().noquote() << title << ":" << text;
        return defaultAnswer(buttons, defaultButton);
    }
};

LogMessenger logMessenger;
std::atomic<Messenger*> installed{nullptr};

// Messages raised off the main thread, from the moment they are posted until
// their box has closed, with how often each was raised meanwhile.
std::mutex relayMutex;
QHash<QString, int> relayed;

QString relayKey(Messenger::Icon icon, const QString& title, const QString& text)
{
    return QString::number(int(icon)) + QLatin1Char('\n') + title + QLatin1Char('\n') + text;
}

thread_local std::function<bool()> threadMuted;

bool onMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

} // namespace

Messenger::~Messenger() = default;

Messenger& Messenger::current()
{
    Messenger* m = installed.load();
    return m ? *m : logMessenger;
}

Messenger* Messenger::install(Messenger* messenger)
{
    return installed.exchange(messenger);
}

Messenger::Button Messenger::defaultAnswer(Buttons buttons, Button defaultButton)
{
    if (defaultButton != NoButton)
        return defaultButton;
    return buttons.testFlag(Ok) ? Ok : NoButton;
}

Messenger::Button Messenger::dispatch(QWidget* parent, Icon icon, const QString& title,
                                      const QString& text, Buttons buttons,
                                      Button defaultButton)
{
    if (threadMuted && threadMuted()) {
        qInfo().noquote() << "not shown:" << title << ":" << text;
        return defaultAnswer(buttons, defaultButton);
    }
    if (onMainThread())
        return current().show(parent, icon, title, text, buttons, defaultButton);

    // The parent widget belongs to the main thread too; the box goes without it.
    const QString key = relayKey(icon, title, text);
    {
        std::lock_guard<std::mutex> lock(relayMutex);
        auto it = relayed.find(key);
        if (it != relayed.end()) {
            ++it.value();
            return defaultAnswer(buttons, defaultButton);
        }
        relayed.insert(key, 1);
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [=] {
            current().show(nullptr, icon, title, text, buttons, defaultButton);
            int count = 0;
            {
                std::lock_guard<std::mutex> lock(relayMutex);
                count = relayed.take(key);
            }
            if (count > 1)
                qWarning().noquote() << title << ":" << text << "- raised" << count
                                     << "times while shown";
        },
        Qt::QueuedConnection);
    return defaultAnswer(buttons, defaultButton);
}

void Messenger::muteThreadWhile(std::function<bool()> muted)
{
    threadMuted = std::move(muted);
}

void Messenger::information(QWidget* parent, const QString& title, const QString& text)
{
    dispatch(parent, Icon::Information, title, text, Ok, Ok);
}

void Messenger::warning(QWidget* parent, const QString& title, const QString& text)
{
    dispatch(parent, Icon::Warning, title, text, Ok, Ok);
}

void Messenger::critical(QWidget* parent, const QString& title, const QString& text)
{
    dispatch(parent, Icon::Critical, title, text, Ok, Ok);
}

Messenger::Button Messenger::question(QWidget* parent, const QString& title, const QString& text,
                                      Buttons buttons, Button defaultButton)
{
    return dispatch(parent, Icon::Question, title, text, buttons, defaultButton);
}
