#include "mismatchcheck.h"

#include "displaymodel.h"

#include <algorithm>
#include <cmath>

namespace MismatchCheck {

namespace {

Matrix3 inverse(const Matrix3& m)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
                       - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
                       + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 inv{};
    for (size_t r = 0; r < 3; ++r) {
        for (size_t c = 0; c < 3; ++c) {
            // Cofactor of (c, r), for the adjugate.
            const size_t r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
        }
    }
    return inv;
}

} // namespace

double predictedUncorrectedError(const Matrix3& mismatch)
{
    const DisplayModel::Chromaticity d65 = DisplayModel::targetWhite();
    const Xyz target{{d65.x / d65.y, 1.0, (1.0 - d65.x - d65.y) / d65.y}};
    const Matrix3 inv = inverse(mismatch);
    Xyz white{};
    for (size_t r = 0; r < 3; ++r)
        white[r] = inv[r][0] * target[0] + inv[r][1] * target[1] + inv[r][2] * target[2];
    return DisplayModel::whiteError(white);
}

double residual(const Matrix& matrix, const Matrix3& mismatch)
{
    double worst = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += matrix(r, k) * mismatch[size_t(k)][size_t(c)];
            worst = std::max(worst, std::fabs(sum - (r == c ? 1.0 : 0.0)));
        }
    }
    return worst;
}

} // namespace MismatchCheck
