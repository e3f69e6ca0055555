#include "correctionmatrix.h"

#include "ccolorreference.h"

#include <cmath>


QString CorrectionMatrix::patchName(int patch)
{
    static const char* const names[kPatchCount] = {"red", "green", "blue", "white"};
    return QLatin1String(names[patch]);
}

Matrix CorrectionMatrix::primaries(const CColor (&values)[kPatchCount])
{
    Matrix columns(0.0, 3, 3);
    for (int patch = Red; patch <= Blue; ++patch) {
        for (int i = 0; i < 3; ++i)
            columns(i, patch) = values[patch][i];
    }
    return columns;
}

bool CorrectionMatrix::isSingular(const Matrix& columns)
{
    // The determinant against the largest it could be for columns of these
    // lengths (Hadamard's bound), so that the scale of the readings does not matter.
    double bound = 1.0;
    for (int c = 0; c < 3; ++c)
        bound *= std::sqrt(columns(0, c) * columns(0, c) + columns(1, c) * columns(1, c)
                           + columns(2, c) * columns(2, c));
    return !(std::fabs(columns.Determinant()) > 1e-9 * bound);
}

Matrix CorrectionMatrix::compute(const CColor (&measured)[kPatchCount], const CColor (&reference)[kPatchCount])
{
    return ComputeConversionMatrix(primaries(measured), primaries(reference), measured[White],
                                   reference[White]);
}

QStringList CorrectionMatrix::residualLines(const Matrix& matrix, const CColor (&measured)[kPatchCount],
                                            const CColor (&reference)[kPatchCount])
{
    QStringList lines;
    for (int patch = 0; patch < kPatchCount; ++patch) {
        const CColor corrected = matrix * measured[patch];
        const CColor& target = reference[patch];
        lines << QStringLiteral("%1 dX %2  dY %3  dZ %4")
                     .arg((patchName(patch) + QLatin1Char(':')).leftJustified(6),
                          QString::number(corrected[0] - target[0], 'f', 5),
                          QString::number(corrected[1] - target[1], 'f', 5),
                          QString::number(corrected[2] - target[2], 'f', 5));
    }
    return lines;
}
