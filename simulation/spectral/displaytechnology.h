#ifndef DISPLAYTECHNOLOGY_H
#define DISPLAYTECHNOLOGY_H

#include "chromaticity.h"
#include "matrix3.h"
#include "observer.h"
#include "spectrum.h"

#include <QString>

#include <array>
#include <vector>

// A display technology as the spectra its sub-pixels emit at full drive. A
// colour (r, g, b) in linear light emits r·R + g·G + b·B, and on a panel with a
// white sub-pixel also min(r, g, b)·W: the white sub-pixel takes the grey share
// every channel has in common and adds its light on top, as white-OLED
// televisions brighten their whites. A firmware's gains scale r, g and b, so
// they keep their meaning on every technology.
class DisplayTechnology
{
public:
    enum Primary { Red, Green, Blue, White };
    enum class Kind { WhiteLedLcd, WideGamutLcd, RgbOled, WhiteOled };
    static constexpr int KindCount = 4;

    // The red, green and blue are scaled so that together they make the
    // panel's native white (x, y) at the given luminance under the observer; a
    // white sub-pixel is scaled to its own luminance. Panels leave the cell
    // line bluer than D65, since the firmware's gains can only take light away
    // and blue costs the least; aligning the white is the firmware's job.
    DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green, const Spectrum& blue,
                      const Chromaticity& nativeWhite, double rgbLuminance, const Observer& observer);
    DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green, const Spectrum& blue,
                      const Chromaticity& nativeWhite, double rgbLuminance, const Spectrum& whiteSubpixel,
                      double whiteLuminance, const Observer& observer);

    static DisplayTechnology whiteLedLcd(const Observer& observer = Observer::cie1931());
    static DisplayTechnology wideGamutLcd(const Observer& observer = Observer::cie1931());
    static DisplayTechnology rgbOled(const Observer& observer = Observer::cie1931());
    static DisplayTechnology whiteOled(const Observer& observer = Observer::cie1931());
    static std::vector<DisplayTechnology> all(const Observer& observer = Observer::cie1931());
    static DisplayTechnology make(Kind kind, const Observer& observer = Observer::cie1931());
    static std::array<Kind, KindCount> kinds();
    // The technology's name on the command line and in tables: "wled-lcd",
    // "wide-gamut-lcd", "rgb-oled", "white-oled".
    static QString key(Kind kind);
    // Case and surrounding blanks do not matter; false for no known key.
    static bool fromKey(const QString& text, Kind* kind);

    const QString& name() const { return m_name; }
    bool hasWhiteSubpixel() const { return m_hasWhite; }
    // The sub-pixel's spectrum at full drive; White is zero without one.
    const Spectrum& primary(Primary p) const { return m_primaries[static_cast<std::size_t>(p)]; }
    Spectrum spd(double r, double g, double b) const;
    // The colour (1, 1, 1).
    Spectrum whiteSpd() const { return spd(1.0, 1.0, 1.0); }

    Vec3 primaryXyz(Primary p, const Observer& observer = Observer::cie1931()) const;
    Vec3 whiteXyz(const Observer& observer = Observer::cie1931()) const;

private:
    QString m_name;
    std::array<Spectrum, 4> m_primaries;
    bool m_hasWhite = false;
};

#endif // DISPLAYTECHNOLOGY_H
