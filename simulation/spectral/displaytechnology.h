#ifndef DISPLAYTECHNOLOGY_H
#define DISPLAYTECHNOLOGY_H

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

    // The red, green and blue are scaled so that together they make a D65
    // white of the given luminance under the observer, as the panel maker sets
    // the white point; a white sub-pixel is scaled to its own luminance.
    DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green, const Spectrum& blue,
                      double rgbLuminance, const Observer& observer);
    DisplayTechnology(const QString& name, const Spectrum& red, const Spectrum& green, const Spectrum& blue,
                      double rgbLuminance, const Spectrum& whiteSubpixel, double whiteLuminance,
                      const Observer& observer);

    static DisplayTechnology whiteLedLcd(const Observer& observer = Observer::cie1931());
    static DisplayTechnology wideGamutLcd(const Observer& observer = Observer::cie1931());
    static DisplayTechnology rgbOled(const Observer& observer = Observer::cie1931());
    static DisplayTechnology whiteOled(const Observer& observer = Observer::cie1931());
    static std::vector<DisplayTechnology> all(const Observer& observer = Observer::cie1931());

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
