#ifndef SPECTRUM_H
#define SPECTRUM_H

#include <array>

#include "xspect.h"

// A spectral quantity (power, transmission or sensitivity) sampled every
// nanometre from 380 to 780 nm; zero outside that range.
class Spectrum
{
public:
    static constexpr int FirstNm = 380;
    static constexpr int LastNm = 780;
    static constexpr int Count = LastNm - FirstNm + 1;

    Spectrum() = default;

    // A normal band of height 1 at its peak.
    static Spectrum gaussian(double peakNm, double fwhmNm);
    // A band of height 1 whose long-wavelength side is skew times as wide as
    // its short side, the whole keeping the given full width at half maximum.
    static Spectrum skewedGaussian(double peakNm, double fwhmNm, double skew);
    // Planck's radiator at the temperature, scaled to 1 at 560 nm. c2 is the
    // second radiation constant in m·K.
    static Spectrum planckian(double kelvin, double c2 = 1.4388e-2);
    // CIE Illuminant A: the radiator at 2856 K.
    static Spectrum illuminantA();
    // A smooth band-pass transmission: logistic edges at the two half-points,
    // peak transmission inside and a leak outside. An edge at or beyond the
    // range's end leaves that side open.
    static Spectrum bandPass(double lowEdgeNm, double highEdgeNm, double edgeWidthNm, double peak, double leak);
    static Spectrum constant(double value);

    double at(int index) const { return m_values[static_cast<std::size_t>(index)]; }
    double& operator[](int index) { return m_values[static_cast<std::size_t>(index)]; }
    static int wavelengthAt(int index) { return FirstNm + index; }
    // Linearly interpolated value at any wavelength; 0 outside the range.
    double valueAt(double nm) const;
    double peakValue() const;

    Spectrum& operator+=(const Spectrum& other);
    Spectrum& operator*=(double factor);
    // Sample by sample, as light through a filter.
    Spectrum& operator*=(const Spectrum& other);

    // Sum over the samples of the product: the integral at 1 nm steps.
    double integrate(const Spectrum& other) const;

    // The same samples as the CA-410 library's spectrum type.
    void toXspect(xspect& out) const;

private:
    std::array<double, Count> m_values{};
};

Spectrum operator+(Spectrum a, const Spectrum& b);
Spectrum operator*(Spectrum a, double factor);
Spectrum operator*(double factor, Spectrum a);
Spectrum operator*(Spectrum a, const Spectrum& b);

#endif // SPECTRUM_H
