#ifndef CORRECTIONMATRIX_H
#define CORRECTIONMATRIX_H

#include "ccolor.h"
#include "matrix.h"

#include <QString>
#include <QStringList>

// The sensor's correction matrix from its readings of red, green, blue and white
// and a reference instrument's values of the same patches, for the calibrate
// dialog and the command line alike, so both refuse the same readings. The four
// colours are given in the order of Patch.
class CorrectionMatrix
{
public:
    enum Patch { Red, Green, Blue, White };
    static constexpr int kPatchCount = 4;

    // "red", "green", "blue", "white".
    static QString patchName(int patch);

    // Red, green and blue as the columns of a matrix, as the dialog fills them.
    static Matrix primaries(const CColor (&values)[kPatchCount]);
    // Three columns that span (almost) no volume: readings of one patch taken
    // for another, or a failed reading, would give a matrix of infinities.
    static bool isSingular(const Matrix& columns);
    // The matrix that maps the sensor's readings onto the reference values.
    static Matrix compute(const CColor (&measured)[kPatchCount], const CColor (&reference)[kPatchCount]);
    // One line per colour: corrected reading minus reference, for the operator
    // to see how well the matrix fits.
    static QStringList residualLines(const Matrix& matrix, const CColor (&measured)[kPatchCount],
                                     const CColor (&reference)[kPatchCount]);
};

#endif // CORRECTIONMATRIX_H
