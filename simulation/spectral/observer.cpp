#include "observer.h"

#include "xspect.h"

namespace {

// 683 lm/W per 1000: the CA-410 library's scale for emission spectra, kept so
// the model and the library agree on a spectrum's XYZ.
constexpr double EmissionScale = 0.683002;

Spectrum sampled(const xspect& table)
{
    Spectrum s;
    for (int i = 0; i < Spectrum::Count; ++i) {
        double v = 0.0;
        if (getval_xspec(&table, &v, Spectrum::wavelengthAt(i)) == 1)
            s[i] = v;
    }
    return s;
}

} // namespace

Observer::Observer(const Spectrum& xBar, const Spectrum& yBar, const Spectrum& zBar)
    : m_bars{xBar, yBar, zBar}
{}

const Observer& Observer::cie1931()
{
    static const Observer observer(sampled(ob_CIE_1931_2[0]), sampled(ob_CIE_1931_2[1]), sampled(ob_CIE_1931_2[2]));
    return observer;
}

Vec3 Observer::xyz(const Spectrum& spd) const
{
    return response(spd, m_bars);
}

Vec3 Observer::response(const Spectrum& spd, const std::array<Spectrum, 3>& sensitivities)
{
    return {EmissionScale * spd.integrate(sensitivities[0]), EmissionScale * spd.integrate(sensitivities[1]),
            EmissionScale * spd.integrate(sensitivities[2])};
}
