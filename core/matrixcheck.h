#ifndef MATRIXCHECK_H
#define MATRIXCHECK_H

#include "ccolor.h"
#include "matrix.h"

// Whether a correction matrix can be trusted with a display's gains.
//
// A correction maps one instrument's XYZ onto another's for the same display,
// so its entries are of the order of 1. An entry of a million is already far
// beyond any instrument's correction, yet small enough that it times any
// reading an instrument gives (at most some 1e5 cd/m2) stays finite and
// formattable: anything beyond it, NaN or infinity is damage, not a correction.
//
// A matrix computed from readings of red, green, blue and white must also map
// each of those readings onto its reference. The computation makes white exact
// and each primary exact up to how far the two instruments disagree on how the
// white divides among the primaries, plus their noise; for two instruments
// reading the same display that is a few percent of the display's output. The
// miss is measured against the size of the reference (the length of its largest
// XYZ, the white's), as that is what the display's gains are set against: a
// colour missed by more than a tenth of it means readings or references of
// something else (a patch taken for another, a wrong reference file) or a
// computation that lost its precision, where misses are of the order of the
// white itself or far beyond.
class MatrixCheck
{
public:
    static constexpr double MaxEntry = 1e6;
    static constexpr double MaxResidual = 0.1;
    static constexpr int ColourCount = 4;

    // 3 x 3 with every entry finite.
    static bool isFinite(const Matrix& matrix);
    // 3 x 3, every entry finite and within MaxEntry.
    static bool isUsable(const Matrix& matrix);
    // The first of red, green, blue and white (0 to 3) whose reading the matrix
    // does not bring within MaxResidual times the reference's size onto its
    // reference; -1 when all fit.
    static int poorFit(const Matrix& matrix, const CColor (&measured)[ColourCount],
                       const CColor (&reference)[ColourCount]);
};

#endif // MATRIXCHECK_H
