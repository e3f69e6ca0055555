#include "qmessageboxmessenger.h"

#include <QMessageBox>

namespace {
QMessageBox::Icon toQtIcon(Messenger::Icon icon)
{
    switch (icon) {
    case Messenger::Icon::Information: return QMessageBox::Information;
    case Messenger::Icon::Warning: return QMessageBox::Warning;
    case Messenger::Icon::Critical: return QMessageBox::Critical;
    case Messenger::Icon::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}
} // namespace

Messenger::Button QMessageBoxMessenger::show(QWidget* parent, Icon icon, const QString& title,
                                             const QString& text, Buttons buttons,
                                             Button defaultButton)
{
    QMessageBox box(toQtIcon(icon), title, text,
                    QMessageBox::StandardButtons(static_cast<int>(buttons)), parent);
    if (defaultButton != NoButton)
        box.setDefaultButton(static_cast<QMessageBox::StandardButton>(defaultButton));
    return static_cast<Button>(box.exec());
}
