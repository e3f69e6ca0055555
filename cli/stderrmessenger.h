#ifndef STDERRMESSENGER_H
#define STDERRMESSENGER_H

#include "messenger.h"

// Messages the window would show in a box go to standard error as
// "<title>: <text>", and questions take their default answer: there is nobody
// at the screen to click.
class StderrMessenger : public Messenger
{
public:
    Button show(QWidget* parent, Icon icon, const QString& title, const QString& text,
                Buttons buttons, Button defaultButton) override;
};

#endif // STDERRMESSENGER_H
