#include "displaytechnology.h"

#include <algorithm>

namespace {

// Scales red, green and blue so their sum is the native white at the luminance.
void balance(std::array<Spectrum, 4>& p, const Chromaticity& white, double luminance, const Observer& observer)
{
    const Matrix3 primaries = Matrix3::fromColumns(observer.xyz(p[0]), observer.xyz(p[1]), observer.xyz(p[2]));
    const Vec3 target{luminance * white[0] / white[1], luminance, luminance * (1.0 - white[0] - white[1]) / white[1]};
    const Vec3 gains = primaries.inverted() * target;
    for (int i = 0; i < 3; ++i)
        p[static_cast<std::size_t>(i)] *= gains[static_cast<std::size_t>(i)];
}

// InGaN blue dies emit a band some 20 nm wide with a slightly longer tail on
// the red side (phonon side band).
Spectrum blueDie(double peakNm, double fwhmNm)
{
    return Spectrum::skewedGaussian(peakNm, fwhmNm, 1.3);
}

// K2SiF6:Mn4+ emits narrow lines: the strongest near 631 nm, weaker ones near
// 613 and 648 nm (and a small one at 636 nm).
Spectrum ksfRed()
{
    return Spectrum::gaussian(631.0, 4.0) + 0.35 * Spectrum::gaussian(613.0, 4.0)
        + 0.45 * Spectrum::gaussian(648.0, 5.0) + 0.3 * Spectrum::gaussian(636.0, 3.0);
}

} // namespace

DisplayTechnology::DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green,
                                     const Spectrum& blue, const Chromaticity& nativeWhite, double rgbLuminance,
                                     const Observer& observer)
    : m_name(name)
    , m_primaries{red, green, blue, Spectrum()}
{
    balance(m_primaries, nativeWhite, rgbLuminance, observer);
}

DisplayTechnology::DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green,
                                     const Spectrum& blue, const Chromaticity& nativeWhite, double rgbLuminance,
                                     const Spectrum& whiteSubpixel, double whiteLuminance, const Observer& observer)
    : m_name(name)
    , m_primaries{red, green, blue, whiteSubpixel}
    , m_hasWhite(true)
{
    balance(m_primaries, nativeWhite, rgbLuminance, observer);
    m_primaries[White] *= whiteLuminance / observer.xyz(whiteSubpixel)[1];
}

DisplayTechnology DisplayTechnology::whiteLedLcd(const Observer& observer)
{
    // Blue die at 450 nm (FWHM 20 nm) pumping YAG:Ce, whose broad emission
    // peaks near 555 nm, ~115 nm wide with a long red tail; the phosphor's peak
    // is about half the die's in a cool-white LED.
    const Spectrum backlight = blueDie(450.0, 20.0) + 0.5 * Spectrum::skewedGaussian(555.0, 115.0, 1.4);
    // Pigment filters of an office panel: broad, overlapping, with a few
    // percent leak; their overlap and YAG's lack of deep red keep the gamut
    // near sRGB.
    const Spectrum red = Spectrum::bandPass(603.0, 780.0, 7.0, 0.92, 0.01);
    const Spectrum green = Spectrum::bandPass(488.0, 582.0, 9.0, 0.82, 0.01);
    const Spectrum blue = Spectrum::bandPass(380.0, 500.0, 9.0, 0.88, 0.01);
    return DisplayTechnology(QStringLiteral("LCD, white LED"), backlight * red, backlight * green, backlight * blue,
                             {0.2900, 0.3050}, 250.0, observer);
}

DisplayTechnology DisplayTechnology::wideGamutLcd(const Observer& observer)
{
    // Blue die at 448 nm, quantum-dot green at 532 nm (FWHM 28 nm) and KSF
    // red: narrow emitters, so the filters can be steeper without much loss.
    const Spectrum backlight = blueDie(448.0, 18.0) + 0.6 * Spectrum::gaussian(532.0, 28.0) + 0.9 * ksfRed();
    const Spectrum red = Spectrum::bandPass(598.0, 780.0, 5.0, 0.92, 0.002);
    const Spectrum green = Spectrum::bandPass(495.0, 575.0, 5.0, 0.85, 0.002);
    const Spectrum blue = Spectrum::bandPass(380.0, 490.0, 5.0, 0.88, 0.002);
    return DisplayTechnology(QStringLiteral("LCD, wide gamut"), backlight * red, backlight * green, backlight * blue,
                             {0.2950, 0.3020}, 300.0, observer);
}

DisplayTechnology DisplayTechnology::rgbOled(const Observer& observer)
{
    // Separate emitters, no filters: organic emitters are broader than LEDs
    // and tail off slowly toward long wavelengths (vibronic side bands).
    return DisplayTechnology(QStringLiteral("OLED, RGB"), Spectrum::skewedGaussian(618.0, 38.0, 1.3),
                             Spectrum::skewedGaussian(528.0, 40.0, 1.6), Spectrum::skewedGaussian(462.0, 25.0, 1.4),
                             {0.3020, 0.3150}, 200.0, observer);
}

DisplayTechnology DisplayTechnology::whiteOled(const Observer& observer)
{
    // One white stack for every sub-pixel: a blue unit near 458 nm and a
    // yellow-green unit near 560 nm, broad (80 nm). R, G and B are cut out of
    // it by colour filters; the W sub-pixel has none, so it gives most light.
    const Spectrum emitter
        = Spectrum::skewedGaussian(458.0, 25.0, 1.3) + 0.6 * Spectrum::skewedGaussian(565.0, 90.0, 1.4);
    const Spectrum red = Spectrum::bandPass(605.0, 780.0, 5.0, 0.90, 0.005);
    const Spectrum green = Spectrum::bandPass(490.0, 568.0, 5.0, 0.85, 0.005);
    const Spectrum blue = Spectrum::bandPass(380.0, 492.0, 6.0, 0.88, 0.005);
    return DisplayTechnology(QStringLiteral("OLED, white with colour filters"), emitter * red, emitter * green,
                             emitter * blue, {0.3000, 0.3100}, 150.0, emitter, 250.0, observer);
}

std::vector<DisplayTechnology> DisplayTechnology::all(const Observer& observer)
{
    return {whiteLedLcd(observer), wideGamutLcd(observer), rgbOled(observer), whiteOled(observer)};
}

DisplayTechnology DisplayTechnology::make(Kind kind, const Observer& observer)
{
    switch (kind) {
    case Kind::WhiteLedLcd: return whiteLedLcd(observer);
    case Kind::WideGamutLcd: return wideGamutLcd(observer);
    case Kind::RgbOled: return rgbOled(observer);
    case Kind::WhiteOled: return whiteOled(observer);
    }
    return whiteLedLcd(observer);
}

QString DisplayTechnology::key(Kind kind)
{
    switch (kind) {
    case Kind::WhiteLedLcd: return QStringLiteral("wled-lcd");
    case Kind::WideGamutLcd: return QStringLiteral("wide-gamut-lcd");
    case Kind::RgbOled: return QStringLiteral("rgb-oled");
    case Kind::WhiteOled: return QStringLiteral("white-oled");
    }
    return QString();
}

bool DisplayTechnology::fromKey(const QString& text, Kind* kind)
{
    for (Kind k : kinds()) {
        if (text.trimmed().compare(key(k), Qt::CaseInsensitive) == 0) {
            *kind = k;
            return true;
        }
    }
    return false;
}

std::array<DisplayTechnology::Kind, DisplayTechnology::KindCount> DisplayTechnology::kinds()
{
    return {Kind::WhiteLedLcd, Kind::WideGamutLcd, Kind::RgbOled, Kind::WhiteOled};
}

Spectrum DisplayTechnology::spd(double r, double g, double b) const
{
    Spectrum s = r * m_primaries[Red] + g * m_primaries[Green] + b * m_primaries[Blue];
    if (m_hasWhite)
        s += std::min({r, g, b}) * m_primaries[White];
    return s;
}

Vec3 DisplayTechnology::primaryXyz(Primary p, const Observer& observer) const
{
    return observer.xyz(primary(p));
}

Vec3 DisplayTechnology::whiteXyz(const Observer& observer) const
{
    return observer.xyz(whiteSpd());
}
