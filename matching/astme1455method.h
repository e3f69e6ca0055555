#ifndef ASTME1455METHOD_H
#define ASTME1455METHOD_H

#include "correctionmethod.h"

// The three-colour RGB matrix of ASTM E1455 ("Standard Practice for Obtaining
// Colorimetric Data from a Visual Display Unit Using Tristimulus
// Colorimeters"): the matrix that takes the sensor's XYZ of red, green and blue
// exactly onto the reference's, M = R S^-1 with the primaries as columns. The
// white is not used, so it is a fair check on the others' white.
class AstmE1455Method : public CorrectionMethod
{
public:
    QString name() const override;
    bool compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                 QString* error) const override;
};

#endif // ASTME1455METHOD_H
