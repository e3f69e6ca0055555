#ifndef SENSORSCOMMAND_H
#define SENSORSCOMMAND_H

#include "command.h"

// `sensors`: the sensor types, which are supported, and where each instrument
// library was found.
class SensorsCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("sensors"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;
};

#endif // SENSORSCOMMAND_H
