#include "spectroradiometer.h"

#include "xspect.h"

namespace {

// The observer's own range: the converter integrates over it and holds a
// spectrum's end samples beyond the spectrum's range, so the spectrum is
// handed over with explicit zeros out to these ends.
constexpr int ObserverFirstNm = 360;
constexpr int ObserverLastNm = 830;

} // namespace

Spectroradiometer::Spectroradiometer()
    : m_converter(new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ), xsp2cie_del)
{
}

Spectroradiometer::~Spectroradiometer() = default;

Vec3 Spectroradiometer::xyz(const Spectrum& spd) const
{
    if (!m_converter)
        return {};
    // Heap: an xspect holds several kilobytes of samples.
    auto padded = std::make_unique<xspect>();
    padded->count = ObserverLastNm - ObserverFirstNm + 1;
    padded->wl_short = ObserverFirstNm;
    padded->wl_long = ObserverLastNm;
    padded->norm = 1.0;
    for (int nm = ObserverFirstNm; nm <= ObserverLastNm; ++nm) {
        const int i = nm - Spectrum::FirstNm;
        padded->values[nm - ObserverFirstNm] = i >= 0 && i < Spectrum::Count ? spd.at(i) : 0.0;
    }
    double out[3] = {};
    if (xsp2cie_convert(m_converter.get(), out, padded.get()) != 0)
        return {};
    return {out[0], out[1], out[2]};
}
