#ifndef MATRIX3_H
#define MATRIX3_H

#include <array>
#include <vector>

using Vec3 = std::array<double, 3>;

// A 3 x 3 matrix acting on XYZ-like triples, row-major.
class Matrix3
{
public:
    Matrix3() = default;
    static Matrix3 identity();
    static Matrix3 fromColumns(const Vec3& a, const Vec3& b, const Vec3& c);

    double operator()(int row, int column) const { return m[row][column]; }
    double& operator()(int row, int column) { return m[row][column]; }

    Vec3 operator*(const Vec3& v) const;
    Matrix3 operator*(const Matrix3& other) const;
    Matrix3 transposed() const;
    double determinant() const;
    // The inverse; ok false (and the identity) for a singular matrix.
    Matrix3 inverted(bool* ok = nullptr) const;

    // The matrix taking each of from to its to, least squares on the whole
    // set (exact for three independent pairs), each pair weighted. ok false
    // for fewer than three independent pairs.
    static Matrix3 fit(const std::vector<Vec3>& from, const std::vector<Vec3>& to,
                       const std::vector<double>& weights = {}, bool* ok = nullptr);

private:
    std::array<std::array<double, 3>, 3> m{};
};

#endif // MATRIX3_H
