#ifndef CHROMATICITY_H
#define CHROMATICITY_H

#include "matrix3.h"

#include <array>
#include <cmath>

using Chromaticity = std::array<double, 2>;

inline Chromaticity xyChromaticity(const Vec3& xyz)
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    return {xyz[0] / sum, xyz[1] / sum};
}

// CIE 1976 u', v'.
inline Chromaticity uvChromaticity(const Vec3& xyz)
{
    const double d = xyz[0] + 15.0 * xyz[1] + 3.0 * xyz[2];
    return {4.0 * xyz[0] / d, 9.0 * xyz[1] / d};
}

inline double deltaUv(const Vec3& a, const Vec3& b)
{
    const Chromaticity p = uvChromaticity(a), q = uvChromaticity(b);
    return std::hypot(p[0] - q[0], p[1] - q[1]);
}

#endif // CHROMATICITY_H
