#ifndef QMESSAGEBOXMESSENGER_H
#define QMESSAGEBOXMESSENGER_H

#include "messenger.h"

// Shows messages as real modal QMessageBox dialogs.
class QMessageBoxMessenger final : public Messenger
{
public:
    Button show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                Buttons buttons, Button defaultButton) override;
};

#endif // QMESSAGEBOXMESSENGER_H
