#include "fcmmmethod.h"

#include "matchingpatch.h"

#include <algorithm>
#include <cmath>

namespace {

// (x, y, z) of a reading; false when its X + Y + Z is no usable divisor.
bool chromaticity(const MatchingSample::Xyz& v, MatchingSample::Xyz* xyz)
{
    const double sum = v[0] + v[1] + v[2];
    if (!(std::fabs(sum) > 0.0))
        return false;
    *xyz = {v[0] / sum, v[1] / sum, v[2] / sum};
    return true;
}

// N = M diag(k) with k = M^-1 w: the primaries' chromaticity columns weighted so
// that they add up to the white's chromaticity w.
bool normalisedPrimaries(const std::vector<const MatchingSample*>& p, bool reference, Matrix3x3* n)
{
    Matrix3x3 m{};
    MatchingSample::Xyz w{};
    for (int c = 0; c < 3; ++c) {
        MatchingSample::Xyz xyz{};
        if (!chromaticity(reference ? p[c]->reference : p[c]->sensor, &xyz))
            return false;
        for (int r = 0; r < 3; ++r)
            m[r][c] = xyz[r];
    }
    if (!chromaticity(reference ? p[3]->reference : p[3]->sensor, &w))
        return false;
    Matrix3x3 inverse{};
    if (!CorrectionMethod::invert(m, &inverse))
        return false;
    const MatchingSample::Xyz k = CorrectionMethod::apply(inverse, w);
    const double largest = std::max({std::fabs(k[0]), std::fabs(k[1]), std::fabs(k[2])});
    if (!(std::min({std::fabs(k[0]), std::fabs(k[1]), std::fabs(k[2])}) > 1e-9 * largest))
        return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            m[r][c] *= k[c];
    *n = m;
    return true;
}

} // namespace

QString FcmmMethod::name() const
{
    return QStringLiteral("fcmm");
}

bool FcmmMethod::compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                         QString* error) const
{
    std::vector<const MatchingSample*> p;
    if (!trainingPatches(samples, MatchingPatch::trainingNames(), &p, error))
        return false;

    Matrix3x3 nSensor{};
    Matrix3x3 nReference{};
    Matrix3x3 nSensorInverse{};
    if (!normalisedPrimaries(p, false, &nSensor) || !invert(nSensor, &nSensorInverse))
        return refuse(error, tr("the sensor's chromaticities of red, green, blue and white admit no matrix"));
    if (!normalisedPrimaries(p, true, &nReference))
        return refuse(error, tr("the reference's chromaticities of red, green, blue and white admit no matrix"));
    Matrix3x3 m = multiply(nReference, nSensorInverse);

    // The chromaticity matrix leaves luminance open; the white fixes it.
    const double correctedWhiteY = apply(m, p[3]->sensor)[1];
    const double factor = p[3]->reference[1] / correctedWhiteY;
    if (!std::isfinite(factor) || factor == 0.0)
        return refuse(error, tr("the white's luminance cannot be matched"));
    for (auto& row : m)
        for (double& v : row)
            v *= factor;
    return accept(m, out, error);
}
