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

    // The line written for a message. A driver's title may be the instrument's
    // own name and its text may quote what the instrument said: both are shown
    // with their control characters escaped.
    static QString line(const QString& title, const QString& text);
};

#endif // STDERRMESSENGER_H
