#include "fourcolourmethod.h"

#include "correctionmatrix.h"
#include "matchingpatch.h"

#include <algorithm>
#include <cmath>

namespace {

CColor toColour(const MatchingSample::Xyz& v)
{
    return CColor(v[0], v[1], v[2]);
}

Matrix3x3 primaryColumns(const std::vector<const MatchingSample*>& p, bool reference)
{
    Matrix3x3 m{};
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            m[r][c] = reference ? p[c]->reference[r] : p[c]->sensor[r];
    return m;
}

// The white as a mix of the primaries has no share of one of them: the white
// balance would divide by that zero share.
bool whiteLacksAPrimary(const Matrix3x3& primaries, const MatchingSample::Xyz& white)
{
    Matrix3x3 inverse{};
    if (!CorrectionMethod::invert(primaries, &inverse))
        return true;
    const MatchingSample::Xyz k = CorrectionMethod::apply(inverse, white);
    const double largest = std::max({std::fabs(k[0]), std::fabs(k[1]), std::fabs(k[2])});
    return !(std::min({std::fabs(k[0]), std::fabs(k[1]), std::fabs(k[2])}) > 1e-9 * largest);
}

} // namespace

QString FourColourMethod::name() const
{
    return QStringLiteral("four-colour");
}

bool FourColourMethod::compute(const std::vector<MatchingSample>& samples, Matrix3x3* out,
                               QString* error) const
{
    std::vector<const MatchingSample*> p;
    if (!trainingPatches(samples, MatchingPatch::trainingNames(), &p, error))
        return false;

    CColor measured[CorrectionMatrix::kPatchCount];
    CColor reference[CorrectionMatrix::kPatchCount];
    for (int i = 0; i < CorrectionMatrix::kPatchCount; ++i) {
        measured[i] = toColour(p[i]->sensor);
        reference[i] = toColour(p[i]->reference);
    }
    // Without a white the dialog's computation quietly drops the white balance;
    // here that would be another method under this one's name.
    if (measured[CorrectionMatrix::White].IsNoData() || reference[CorrectionMatrix::White].IsNoData())
        return refuse(error, tr("the reading of \"white\" is the failed-reading marker"));
    if (CorrectionMatrix::isSingular(CorrectionMatrix::primaries(measured)))
        return refuse(error, tr("the sensor's readings of red, green and blue are linearly dependent"));
    if (CorrectionMatrix::isSingular(CorrectionMatrix::primaries(reference)))
        return refuse(error, tr("the reference's readings of red, green and blue are linearly dependent"));
    if (whiteLacksAPrimary(primaryColumns(p, false), p[3]->sensor)
        || whiteLacksAPrimary(primaryColumns(p, true), p[3]->reference))
        return refuse(error, tr("the white lies in the plane of two primaries"));

    const Matrix m = CorrectionMatrix::compute(measured, reference);
    if (m.GetRows() != 3 || m.GetColumns() != 3)
        return refuse(error, tr("the matrix is not finite"));
    Matrix3x3 rows{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rows[r][c] = m(r, c);
    return accept(rows, out, error);
}
