#include "walkthroughanswers.h"

WalkthroughAnswers::WalkthroughAnswers(const QString& profileName, std::function<void(const QString&)> printer)
    : m_profileName(profileName)
    , m_printer(std::move(printer))
{
    m_previousMessenger = Messenger::install(this);
    m_previousDialogs = DialogProvider::install(this);
}

WalkthroughAnswers::~WalkthroughAnswers()
{
    DialogProvider::install(m_previousDialogs);
    Messenger::install(m_previousMessenger);
}

Messenger::Button WalkthroughAnswers::show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                                           Buttons buttons, Button defaultButton)
{
    if (buttons.testFlag(Yes)) {
        if (m_printer)
            m_printer(QStringLiteral("   The window asks \"%1\": Yes.").arg(text));
        return Yes;
    }
    if (!m_previousMessenger)
        return defaultAnswer(buttons, defaultButton);
    return m_previousMessenger->show(parent, icon, title, text, buttons, defaultButton);
}

QString WalkthroughAnswers::openFileName(QWidget*, const QString&, const QString&, const QString&)
{
    return QString();
}

QString WalkthroughAnswers::saveFileName(QWidget*, const QString&, const QString&, const QString&)
{
    return QString();
}

QString WalkthroughAnswers::text(QWidget*, const QString&, const QString&, const QString&, bool* ok)
{
    if (ok)
        *ok = !m_profileName.isEmpty();
    return m_profileName;
}
