#include "messenger.h"

#include <QDebug>

#include <atomic>

namespace {

class LogMessenger final : public Messenger
{
public:
    Button show(QWidget*, Icon, const QString& title, const QString& text, Buttons buttons,
                Button defaultButton) override
    {
        qWarning().noquote() << title << ":" << text;
        if (defaultButton != NoButton)
            return defaultButton;
        return buttons.testFlag(Ok) ? Ok : NoButton;
    }
};

LogMessenger logMessenger;
std::atomic<Messenger*> installed{nullptr};

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

void Messenger::information(QWidget* parent, const QString& title, const QString& text)
{
    current().show(parent, Icon::Information, title, text, Ok, Ok);
}

void Messenger::warning(QWidget* parent, const QString& title, const QString& text)
{
    current().show(parent, Icon::Warning, title, text, Ok, Ok);
}

void Messenger::critical(QWidget* parent, const QString& title, const QString& text)
{
    current().show(parent, Icon::Critical, title, text, Ok, Ok);
}

Messenger::Button Messenger::question(QWidget* parent, const QString& title, const QString& text,
                                      Buttons buttons, Button defaultButton)
{
    return current().show(parent, Icon::Question, title, text, buttons, defaultButton);
}
