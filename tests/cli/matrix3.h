#ifndef MATRIX3_H
#define MATRIX3_H

#include <array>

// The 3 x 3 arithmetic the matching tests check the program's matrices with,
// worked out here rather than by the library under test.
namespace Matrix3Test {

using Xyz = std::array<double, 3>;
using Matrix = std::array<Xyz, 3>;

inline Xyz times(const Matrix& m, const Xyz& v)
{
    Xyz out{};
    for (size_t i = 0; i < 3; ++i)
        out[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return out;
}

// By cofactors.
inline Matrix inverse(const Matrix& m)
{
    Matrix c{};
    for (size_t i = 0; i < 3; ++i)
        for (size_t j = 0; j < 3; ++j)
            c[j][i] = m[(i + 1) % 3][(j + 1) % 3] * m[(i + 2) % 3][(j + 2) % 3]
                      - m[(i + 1) % 3][(j + 2) % 3] * m[(i + 2) % 3][(j + 1) % 3];
    const double det = m[0][0] * c[0][0] + m[0][1] * c[1][0] + m[0][2] * c[2][0];
    for (auto& row : c)
        for (double& v : row)
            v /= det;
    return c;
}

} // namespace Matrix3Test

#endif // MATRIX3_H
