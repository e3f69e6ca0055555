#ifndef MATRIXCHECKS_H
#define MATRIXCHECKS_H

// Building matrices from literals and comparing them, for the colour tests and
// the simulation tests that check a correction matrix.
#include "matrix.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace MatrixChecks {

// Expects one ErrorMsg report with this text.
inline void expectReport(const char* text)
{
    QTest::ignoreMessage(QtDebugMsg, QByteArray('"' + QByteArray(text) + '"').constData());
}

inline Matrix make(int rows, int cols, std::initializer_list<double> v)
{
    return Matrix(std::data(v), rows, cols);
}

inline Matrix m3(std::initializer_list<double> v)
{
    return make(3, 3, v);
}

inline Matrix m3(const std::array<std::array<double, 3>, 3>& rows)
{
    const double* starts[3] = {rows[0].data(), rows[1].data(), rows[2].data()};
    return Matrix(starts, 3, 3);
}

// NaN when the sizes differ or any element differs by NaN, so a broken result
// never passes a bound.
inline double maxAbsDiff(const Matrix& a, const Matrix& b)
{
    if (a.GetRows() != b.GetRows() || a.GetColumns() != b.GetColumns())
        return std::numeric_limits<double>::quiet_NaN();
    double worst = 0.0;
    for (int r = 0; r < a.GetRows(); ++r) {
        for (int c = 0; c < a.GetColumns(); ++c) {
            const double d = std::fabs(a(r, c) - b(r, c));
            if (std::isnan(d))
                return d;
            worst = std::max(worst, d);
        }
    }
    return worst;
}

} // namespace MatrixChecks

#endif // MATRIXCHECKS_H
