#ifndef DISPLAYMODEL_H
#define DISPLAYMODEL_H

#include "displaytechnology.h"

#include <array>

using Xyz = std::array<double, 3>;
using Rgb = std::array<double, 3>;

// A display of the kind on the line: a display technology's sub-pixel
// spectra, driven through a gamma. Each channel's drive level is raised to the
// gamma and scaled by the firmware's gain for that channel (gains act in
// linear light, 0 to 1); the technology turns the three into the spectrum
// shown, and the CIE 1931 observer into its true XYZ.
class DisplayModel
{
public:
    struct Chromaticity {
        double x = 0.0;
        double y = 0.0;
    };

    // The white-LED LCD is the panel the line makes most of; gamma 2.2.
    explicit DisplayModel(DisplayTechnology::Kind kind = DisplayTechnology::Kind::WhiteLedLcd, double gamma = 2.2);

    DisplayTechnology::Kind kind() const { return m_kind; }
    const DisplayTechnology& technology() const { return m_technology; }
    double gamma() const { return m_gamma; }
    // XYZ of one channel (0 red, 1 green, 2 blue) at full drive and gain 1.
    Xyz primary(int channel) const;
    // The spectrum shown for drive levels 0..1 (clamped) with the given gains.
    Spectrum spectrum(const Rgb& level, const Rgb& gains = Rgb{{1.0, 1.0, 1.0}}) const;
    // Its true XYZ.
    Xyz emitted(const Rgb& level, const Rgb& gains = Rgb{{1.0, 1.0, 1.0}}) const;

    // D65 as the alignment's target white.
    static Chromaticity targetWhite();
    static Chromaticity chromaticity(const Xyz& xyz);
    // The colour of that chromaticity at that luminance (Y); black for y = 0.
    static Xyz fromChromaticity(Chromaticity c, double luminance);
    // How much of each of three colours adds up to the target: weights with
    // w0 c0 + w1 c1 + w2 c2 = target. False when the colours do not span the
    // space (one is a mix of the others) or a weight is not finite.
    static bool solve(const std::array<Xyz, 3>& colours, const Xyz& target, Rgb* weights);
    // CIE 1976 u', v'.
    static std::array<double, 2> upvp(const Xyz& xyz);
    // Distance between the two colours' chromaticities in the u'v' diagram.
    static double deltaUpVp(const Xyz& a, const Xyz& b);
    // Distance of a colour's chromaticity from the target white.
    static double whiteError(const Xyz& xyz);

private:
    DisplayTechnology::Kind m_kind;
    DisplayTechnology m_technology;
    double m_gamma = 2.2;
};

#endif // DISPLAYMODEL_H
