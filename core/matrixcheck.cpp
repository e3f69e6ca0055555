#include "matrixcheck.h"

#include <algorithm>
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
    const auto length = [](const Matrix& xyz) {
        return std::sqrt(xyz(0, 0) * xyz(0, 0) + xyz(1, 0) * xyz(1, 0) + xyz(2, 0) * xyz(2, 0));
    };
    double size = 0.0;
    for (const CColor& colour : reference)
        size = std::max(size, length(colour));
    for (int colour = 0; colour < ColourCount; ++colour) {
        const Matrix miss = matrix * measured[colour] - reference[colour];
        // Written so that NaN and infinity fail too.
        if (!(length(miss) <= MaxResidual * size))
            return colour;
    }
    return -1;
}
