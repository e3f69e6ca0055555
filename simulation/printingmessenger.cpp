#include "printingmessenger.h"

PrintingMessenger::PrintingMessenger(std::function<void(const QString&)> printer)
    : m_printer(std::move(printer))
{
}

Messenger::Button PrintingMessenger::show(QWidget*, Icon icon, const QString& title, const QString& text,
                                          Buttons buttons, Button defaultButton)
{
    static const char* const kinds[] = {"information", "warning", "error", "question"};
    const Button answer = defaultAnswer(buttons, defaultButton);
    if (m_printer) {
        m_printer(QStringLiteral("   [%1 box \"%2\"] %3")
                      .arg(QLatin1String(kinds[int(icon)]), title, QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    }
    return answer;
}
