#include "stderrmessenger.h"

#include <cstdio>

Messenger::Button StderrMessenger::show(QWidget* parent, Icon icon, const QString& title,
                                        const QString& text, Buttons buttons, Button defaultButton)
{
    Q_UNUSED(parent)
    Q_UNUSED(icon)
    const QByteArray line = (title + QStringLiteral(": ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    return defaultAnswer(buttons, defaultButton);
}
