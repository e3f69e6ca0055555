#include "displaymodel.h"

#include <algorithm>
#include <cmath>

namespace {

double clamp01(double v)
{
    // NaN counts as nothing shown rather than spreading through the sum.
    return v > 0.0 ? std::min(v, 1.0) : 0.0;
}

// Determinant of the matrix whose columns are a, b and c.
double determinant(const Xyz& a, const Xyz& b, const Xyz& c)
{
    return a[0] * (b[1] * c[2] - b[2] * c[1]) - b[0] * (a[1] * c[2] - a[2] * c[1])
        + c[0] * (a[1] * b[2] - a[2] * b[1]);
}

} // namespace

DisplayModel::DisplayModel(DisplayTechnology::Kind kind, double gamma)
    : m_kind(kind),
      m_technology(DisplayTechnology::make(kind)),
      m_gamma(gamma)
{
}

Xyz DisplayModel::primary(int channel) const
{
    if (channel < 0 || channel > 2)
        return Xyz{};
    return m_technology.primaryXyz(DisplayTechnology::Primary(channel));
}

Spectrum DisplayModel::spectrum(const Rgb& level, const Rgb& gains) const
{
    Rgb light{};
    for (size_t i = 0; i < 3; ++i)
        light[i] = std::pow(clamp01(level[i]), m_gamma) * clamp01(gains[i]);
    return m_technology.spd(light[0], light[1], light[2]);
}

Xyz DisplayModel::emitted(const Rgb& level, const Rgb& gains) const
{
    return Observer::cie1931().xyz(spectrum(level, gains));
}

DisplayModel::Chromaticity DisplayModel::targetWhite()
{
    return {0.3127, 0.3290};
}

DisplayModel::Chromaticity DisplayModel::chromaticity(const Xyz& xyz)
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    if (sum == 0.0)
        return {};
    return {xyz[0] / sum, xyz[1] / sum};
}

Xyz DisplayModel::fromChromaticity(Chromaticity c, double luminance)
{
    if (c.y == 0.0)
        return Xyz{};
    return {{c.x / c.y * luminance, luminance, (1.0 - c.x - c.y) / c.y * luminance}};
}

bool DisplayModel::solve(const std::array<Xyz, 3>& colours, const Xyz& target, Rgb* weights)
{
    // Cramer's rule: small, and exact enough for three well-separated colours.
    const double d = determinant(colours[0], colours[1], colours[2]);
    if (!std::isfinite(d) || std::abs(d) < 1e-12)
        return false;
    const Rgb w{{determinant(target, colours[1], colours[2]) / d,
                 determinant(colours[0], target, colours[2]) / d,
                 determinant(colours[0], colours[1], target) / d}};
    if (!std::isfinite(w[0]) || !std::isfinite(w[1]) || !std::isfinite(w[2]))
        return false;
    *weights = w;
    return true;
}

std::array<double, 2> DisplayModel::upvp(const Xyz& xyz)
{
    const double d = xyz[0] + 15.0 * xyz[1] + 3.0 * xyz[2];
    if (d == 0.0)
        return {{0.0, 0.0}};
    return {{4.0 * xyz[0] / d, 9.0 * xyz[1] / d}};
}

double DisplayModel::deltaUpVp(const Xyz& a, const Xyz& b)
{
    const std::array<double, 2> p = upvp(a);
    const std::array<double, 2> q = upvp(b);
    return std::hypot(p[0] - q[0], p[1] - q[1]);
}

double DisplayModel::whiteError(const Xyz& xyz)
{
    return deltaUpVp(xyz, fromChromaticity(targetWhite(), 1.0));
}
