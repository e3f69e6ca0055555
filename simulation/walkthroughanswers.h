#ifndef WALKTHROUGHANSWERS_H
#define WALKTHROUGHANSWERS_H

#include "dialogprovider.h"
#include "messenger.h"

#include <functional>

// What the person in the walkthrough answers while it is installed: "Yes" to a
// question the window asks (stopping alignment), and the profile name when the
// window asks for a text. Other message boxes go on to the messenger installed
// before; file dialogs are cancelled. Installs itself for its lifetime.
class WalkthroughAnswers final : public Messenger, public DialogProvider
{
public:
    WalkthroughAnswers(const QString& profileName, std::function<void(const QString&)> printer);
    ~WalkthroughAnswers() override;
    WalkthroughAnswers(const WalkthroughAnswers&) = delete;
    WalkthroughAnswers& operator=(const WalkthroughAnswers&) = delete;

    Button show(QWidget* parent, Icon icon, const QString& title, const QString& text, Buttons buttons,
                Button defaultButton) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString text(QWidget* parent, const QString& title, const QString& label, const QString& initial,
                 bool* ok) override;

private:
    QString m_profileName;
    std::function<void(const QString&)> m_printer;
    Messenger* m_previousMessenger = nullptr;
    DialogProvider* m_previousDialogs = nullptr;
};

#endif // WALKTHROUGHANSWERS_H
