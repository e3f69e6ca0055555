#ifndef DISPLAYMODEL_H
#define DISPLAYMODEL_H

#include <array>

using Xyz = std::array<double, 3>;
using Rgb = std::array<double, 3>;

// A display of the kind on the line: three primaries, a native white that is
// not the target white, a gamma and a peak luminance. What it emits is the sum
// of its primaries, each at its drive level raised to the gamma and scaled by
// the firmware's gain for that channel (gains act in linear light, 0 to 1).
class DisplayModel
{
public:
    struct Chromaticity {
        double x = 0.0;
        double y = 0.0;
    };

    // A typical panel: sRGB-like primaries, a bluish native white, gamma 2.2,
    // 250 cd/m2 at full white.
    DisplayModel();
    DisplayModel(Chromaticity red, Chromaticity green, Chromaticity blue, Chromaticity nativeWhite,
                 double gamma, double whiteLuminance);

    double gamma() const { return m_gamma; }
    double whiteLuminance() const { return m_whiteLuminance; }
    // XYZ of one channel (0 red, 1 green, 2 blue) at full drive and gain 1.
    Xyz primary(int channel) const;
    // XYZ shown for drive levels 0..1 (clamped) with the given gains.
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
    std::array<Xyz, 3> m_primaries{};
    double m_gamma = 2.2;
    double m_whiteLuminance = 250.0;
};

#endif // DISPLAYMODEL_H
