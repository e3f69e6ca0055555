#ifndef LEASTSQUARESMETHOD_H
#define LEASTSQUARESMETHOD_H

#include "correctionmethod.h"

// Weighted linear least squares over every training patch: the matrix M that
// minimises sum_i w_i^2 |M s_i - r_i|^2 (s the sensor's XYZ, r the reference's),
// solved by Householder QR of the weighted readings rather than the normal
// equations, which would square the readings' condition number.
//
// By default w_i = 1 / Y_i of the reference, i.e. each patch's residual is taken
// relative to its luminance, so a dark patch counts as much as a bright one in
// relative terms instead of vanishing beside white.
class LeastSquaresMethod : public CorrectionMethod
{
public:
    enum class Weighting { InverseLuminance, Uniform };

    explicit LeastSquaresMethod(Weighting weighting = Weighting::InverseLuminance);

    Weighting weighting() const { return m_weighting; }

    QString name() const override;
    // Needs the four training colours (so every method sees the same patches)
    // and fits all training patches.
    bool compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                 QString* error) const override;
    // The fit over exactly these patches, whatever their names: for leaving one
    // out. Refuses fewer than three linearly independent sensor readings.
    bool fit(const std::vector<const MatchingSample*>& patches, Matrix3x3* out, QString* error) const;

private:
    Weighting m_weighting;
};

#endif // LEASTSQUARESMETHOD_H
