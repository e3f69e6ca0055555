#ifndef PORTSCOMMAND_H
#define PORTSCOMMAND_H

#include "command.h"

// `ports`: the serial ports the window offers, with what the system knows of
// the USB device behind each.
class PortsCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("ports"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;
};

#endif // PORTSCOMMAND_H
