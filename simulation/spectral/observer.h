#ifndef OBSERVER_H
#define OBSERVER_H

#include "matrix3.h"
#include "spectrum.h"

// Colour-matching functions x̄, ȳ, z̄ and the XYZ of a spectrum through them.
class Observer
{
public:
    Observer(const Spectrum& xBar, const Spectrum& yBar, const Spectrum& zBar);

    // The CIE 1931 2° observer of the CA-410 library: the one place its data
    // is looked up, so a finer table replaces it for every model at once.
    static const Observer& cie1931();

    const Spectrum& function(int channel) const { return m_bars[static_cast<std::size_t>(channel)]; }
    // XYZ of an emission spectrum, in the CA-410 library's unit.
    Vec3 xyz(const Spectrum& spd) const;
    // The same integral through any three sensitivities.
    static Vec3 response(const Spectrum& spd, const std::array<Spectrum, 3>& sensitivities);

private:
    std::array<Spectrum, 3> m_bars;
};

#endif // OBSERVER_H
