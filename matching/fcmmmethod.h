#ifndef FCMMMETHOD_H
#define FCMMMETHOD_H

#include "correctionmethod.h"

// The four-colour matrix method of Y. Ohno and J. E. Hardis, "Four-color matrix
// method for correction of tristimulus colorimeters", Proc. IS&T 5th Color
// Imaging Conference (1997). Works on the chromaticities (x, y, z) of red,
// green, blue and white as each instrument reads them: the primaries' columns
// are scaled so that they add up to the white's chromaticity, the correction
// maps the sensor's scaled columns onto the reference's, and the whole is then
// scaled so the corrected white has the reference's luminance.
class FcmmMethod : public CorrectionMethod
{
public:
    QString name() const override;
    bool compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                 QString* error) const override;
};

#endif // FCMMMETHOD_H
