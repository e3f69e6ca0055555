#include "stderrmessenger.h"

#include "printabletext.h"

#include <cstdio>

QString StderrMessenger::line(const QString& title, const QString& text)
{
    return PrintableText::from(title) + QStringLiteral(": ") + PrintableText::from(text) + QLatin1Char('\n');
}

Messenger::Button StderrMessenger::show(QWidget* parent, Icon icon, const QString& title,
                                        const QString& text, Buttons buttons, Button defaultButton)
{
    Q_UNUSED(parent)
    Q_UNUSED(icon)
    const QByteArray bytes = line(title, text).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    return defaultAnswer(buttons, defaultButton);
}
