#include "spectrum.h"

#include <algorithm>
#include <cmath>

namespace {

// FWHM of a normal band in standard deviations: 2·sqrt(2·ln 2).
constexpr double FwhmPerSigma = 2.3548200450309493;

} // namespace

Spectrum Spectrum::gaussian(double peakNm, double fwhmNm)
{
    return skewedGaussian(peakNm, fwhmNm, 1.0);
}

Spectrum Spectrum::skewedGaussian(double peakNm, double fwhmNm, double skew)
{
    // Each side a half normal band, their half widths in the ratio 1 : skew.
    const double shortSigma = fwhmNm / (1.0 + skew) / (FwhmPerSigma / 2.0);
    const double longSigma = shortSigma * skew;
    Spectrum s;
    for (int i = 0; i < Count; ++i) {
        const double d = wavelengthAt(i) - peakNm;
        const double sigma = d < 0.0 ? shortSigma : longSigma;
        s[i] = std::exp(-0.5 * d * d / (sigma * sigma));
    }
    return s;
}

Spectrum Spectrum::planckian(double kelvin, double c2)
{
    const auto radiance = [&](double nm) {
        const double m = nm * 1e-9;
        return 1.0 / (std::pow(m, 5) * std::expm1(c2 / (m * kelvin)));
    };
    const double reference = radiance(560.0);
    Spectrum s;
    for (int i = 0; i < Count; ++i)
        s[i] = radiance(wavelengthAt(i)) / reference;
    return s;
}

Spectrum Spectrum::illuminantA()
{
    // Defined as Planck's law with c2 = 1.435e-2 m·K at 2848 K: the same
    // curve as today's c2 at 2856 K, since only c2 / T counts once scaled.
    return planckian(2856.0);
}

Spectrum Spectrum::bandPass(double lowEdgeNm, double highEdgeNm, double edgeWidthNm, double peak, double leak)
{
    const auto rise = [&](double x) { return 1.0 / (1.0 + std::exp(-x / edgeWidthNm)); };
    Spectrum s;
    for (int i = 0; i < Count; ++i) {
        const double nm = wavelengthAt(i);
        const double low = lowEdgeNm <= FirstNm ? 1.0 : rise(nm - lowEdgeNm);
        const double high = highEdgeNm >= LastNm ? 1.0 : rise(highEdgeNm - nm);
        s[i] = leak + (peak - leak) * low * high;
    }
    return s;
}

Spectrum Spectrum::constant(double value)
{
    Spectrum s;
    s.m_values.fill(value);
    return s;
}

double Spectrum::valueAt(double nm) const
{
    const double x = nm - FirstNm;
    if (!(x >= 0.0) || x > Count - 1)
        return 0.0;
    const int i = std::min(static_cast<int>(x), Count - 2);
    const double t = x - i;
    return at(i) * (1.0 - t) + at(i + 1) * t;
}

double Spectrum::peakValue() const
{
    return *std::max_element(m_values.begin(), m_values.end());
}

Spectrum& Spectrum::operator+=(const Spectrum& other)
{
    for (int i = 0; i < Count; ++i)
        (*this)[i] += other.at(i);
    return *this;
}

Spectrum& Spectrum::operator*=(double factor)
{
    for (double& v : m_values)
        v *= factor;
    return *this;
}

Spectrum& Spectrum::operator*=(const Spectrum& other)
{
    for (int i = 0; i < Count; ++i)
        (*this)[i] *= other.at(i);
    return *this;
}

double Spectrum::integrate(const Spectrum& other) const
{
    double sum = 0.0;
    for (int i = 0; i < Count; ++i)
        sum += at(i) * other.at(i);
    return sum;
}

void Spectrum::toXspect(xspect& out) const
{
    out.count = Count;
    out.wl_short = FirstNm;
    out.wl_long = LastNm;
    out.norm = 1.0;
    std::copy(m_values.begin(), m_values.end(), out.values);
}

Spectrum operator+(Spectrum a, const Spectrum& b)
{
    return a += b;
}

Spectrum operator*(Spectrum a, double factor)
{
    return a *= factor;
}

Spectrum operator*(double factor, Spectrum a)
{
    return a *= factor;
}

Spectrum operator*(Spectrum a, const Spectrum& b)
{
    return a *= b;
}
