#ifndef CALIBRATECOMMAND_H
#define CALIBRATECOMMAND_H

#include "command.h"

// `calibrate`: measures red, green, blue and white, computes the correction
// matrix from the reference instrument's values as the calibrate dialog does,
// and writes the profile of the sensor.
class CalibrateCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("calibrate"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;
};

#endif // CALIBRATECOMMAND_H
