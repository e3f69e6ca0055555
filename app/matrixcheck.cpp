#include "matrixcheck.h"

#include <cmath>
#include <limits>

namespace {

bool allWithin(const Matrix& matrix, double bound)
{
    if (matrix.GetRows() != 3 || matrix.GetColumns() != 3)
        return false;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            // Written so that NaN fails too.
            if (!(std::fabs(matrix(r, c)) <= bound))
                return false;
        }
    }
    return true;
}

} // namespace

bool MatrixCheck::isFinite(const Matrix& matrix)
{
    return allWithin(matrix, std::numeric_limits<double>::max());
}

bool MatrixCheck::isUsable(const Matrix& matrix)
{
    return allWithin(matrix, MaxEntry);
}

int MatrixCheck::poorFit(const Matrix& matrix, const CColor (&measured)[ColourCount],
                         const CColor (&reference)[ColourCount])
{
    for (int colour = 0; colour < ColourCount; ++colour) {
        const CColor corrected = matrix * measured[colour];
        double miss = 0.0;
        double size = 0.0;
        for (int i = 0; i < 3; ++i) {
            const double d = corrected[i] - reference[colour][i];
            miss += d * d;
            size += reference[colour][i] * reference[colour][i];
        }
        // Written so that NaN and infinity fail too.
        if (!(std::sqrt(miss) <= MaxResidual * std::sqrt(size)))
            return colour;
    }
    return -1;
}
