#ifndef PRINTINGMESSENGER_H
#define PRINTINGMESSENGER_H

#include "messenger.h"

#include <functional>

// Shows a message box as a printed line and takes its default answer, for a
// story played without anybody at the screen.
class PrintingMessenger : public Messenger
{
public:
    explicit PrintingMessenger(std::function<void(const QString& line)> printer);

    Button show(QWidget* parent, Icon icon, const QString& title, const QString& text, Buttons buttons,
                Button defaultButton) override;

private:
    std::function<void(const QString&)> m_printer;
};

#endif // PRINTINGMESSENGER_H
