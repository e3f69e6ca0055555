#ifndef FOURCOLOURMETHOD_H
#define FOURCOLOURMETHOD_H

#include "correctionmethod.h"

// The program's own correction from red, green, blue and white, the one the
// calibrate dialog and the command line compute (CorrectionMatrix): each
// reference primary keeps its direction and the sensor's white lands exactly
// on the reference's white.
class FourColourMethod : public CorrectionMethod
{
public:
    QString name() const override;
    bool compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                 QString* error) const override;
};

#endif // FOURCOLOURMETHOD_H
