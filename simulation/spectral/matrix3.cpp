#include "matrix3.h"

#include <cmath>

Matrix3 Matrix3::identity()
{
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        r.m[i][i] = 1.0;
    return r;
}

Matrix3 Matrix3::fromColumns(const Vec3& a, const Vec3& b, const Vec3& c)
{
    Matrix3 r;
    for (int i = 0; i < 3; ++i) {
        r.m[i][0] = a[i];
        r.m[i][1] = b[i];
        r.m[i][2] = c[i];
    }
    return r;
}

Vec3 Matrix3::operator*(const Vec3& v) const
{
    Vec3 r{};
    for (int i = 0; i < 3; ++i)
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

Matrix3 Matrix3::operator*(const Matrix3& other) const
{
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[i][0] * other.m[0][j] + m[i][1] * other.m[1][j] + m[i][2] * other.m[2][j];
    return r;
}

Matrix3 Matrix3::transposed() const
{
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[j][i];
    return r;
}

double Matrix3::determinant() const
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
        + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

Matrix3 Matrix3::inverted(bool* ok) const
{
    const double det = determinant();
    // Relative to the entries' scale, so readings in any unit invert alike.
    double scale = 0.0;
    for (const auto& row : m)
        for (double v : row)
            scale = std::fmax(scale, std::fabs(v));
    const bool invertible = std::isfinite(det) && scale > 0.0 && std::fabs(det) > 1e-12 * scale * scale * scale;
    if (ok)
        *ok = invertible;
    if (!invertible)
        return identity();
    Matrix3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            // Cofactor of (j, i) over the determinant.
            const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
            r.m[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
        }
    return r;
}

Matrix3 Matrix3::fit(const std::vector<Vec3>& from, const std::vector<Vec3>& to, const std::vector<double>& weights,
                     bool* ok)
{
    // Normal equations: M = (Σ w·t·fᵀ)(Σ w·f·fᵀ)⁻¹.
    Matrix3 tf, ff;
    const std::size_t n = from.size() == to.size() ? from.size() : 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double w = k < weights.size() ? weights[k] : 1.0;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                tf.m[i][j] += w * to[k][i] * from[k][j];
                ff.m[i][j] += w * from[k][i] * from[k][j];
            }
    }
    bool invertible = false;
    const Matrix3 ffInverse = ff.inverted(&invertible);
    if (ok)
        *ok = invertible;
    return invertible ? tf * ffInverse : identity();
}
