// Sampled spectra, their interpolation and the spectrum-to-XYZ converter.

#include "xspect.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

// The observer at each integration point of a converter, so that a spectrum
// sampled on whole nanometres needs no interpolation of the observer.
struct xsp2cie_weights {
    double wl_start = 0.0;
    double wl_end = 0.0;
    int32_t step = 0;
    std::vector<double> observer[3];
};

namespace {

constexpr double kLinearBelowSpacing = 5.01;
// Physical wavelengths, in nm. Beyond them the index arithmetic of the
// interpolation leaves the range of int, and a converter's 1 nm walk over the
// observer's range no longer ends in reasonable time (or at all, once adding a
// step leaves the wavelength unchanged).
constexpr double kShortestWavelength = 1.0;
constexpr double kLongestWavelength = 10000.0;
// Emission spectra in W/(sr m^2 nm) integrate to cd/m^2 divided by 1000.
constexpr double kEmissiveScale = 0.683002;

constexpr xspect makeNoIlluminant()
{
    xspect sp{};
    sp.count = 531;
    sp.wl_short = 300.0;
    sp.wl_long = 830.0;
    sp.norm = 1.0;
    for (int i = 0; i < sp.count; ++i)
        sp.values[i] = 1.0;
    return sp;
}

bool wellFormed(const xspect *sp)
{
    return sp && sp->count >= 2 && sp->count <= XSPECT_MAX_BANDS && sp->wl_short >= kShortestWavelength
           && sp->wl_long <= kLongestWavelength && sp->wl_long > sp->wl_short;
}

// Clamps wl into the spectrum's range; 1 when it was inside, 0 when clamped.
int32_t clampWavelength(const xspect *sp, double *wl)
{
    if (*wl < sp->wl_short) {
        *wl = sp->wl_short;
        return 0;
    }
    if (*wl > sp->wl_long) {
        *wl = sp->wl_long;
        return 0;
    }
    if (std::isnan(*wl)) {
        *wl = sp->wl_short;
        return 0;
    }
    return 1;
}

double spacing(const xspect *sp)
{
    return (sp->wl_long - sp->wl_short) / (sp->count - 1);
}

} // namespace

extern "C" {

const xspect il_none = makeNoIlluminant();

MLINK_CA410_API int32_t standardObserver(const xspect *out[3], int32_t type)
{
    if (!out)
        return 1;
    const xspect *observer = nullptr;
    switch (type) {
    case XSPECT_OBS_DEFAULT:
    case XSPECT_OBS_CIE_1931_2:
        observer = ob_CIE_1931_2;
        break;
    case XSPECT_OBS_CIE_1964_10:
        observer = ob_CIE_1964_10;
        break;
    default:
        return 1;
    }
    for (int j = 0; j < 3; ++j)
        out[j] = &observer[j];
    return 0;
}

MLINK_CA410_API const char *stardardObserverDescription(int32_t type)
{
    switch (type) {
    case XSPECT_OBS_DEFAULT:
    case XSPECT_OBS_CIE_1931_2: return "CIE 1931 2 degree observer";
    case XSPECT_OBS_NONE: return "No observer";
    case XSPECT_OBS_CUSTOM: return "Custom observer";
    case XSPECT_OBS_CIE_1964_10: return "CIE 1964 10 degree observer";
    case XSPECT_OBS_CIE_2012_2: return "CIE 2012 2 degree observer";
    case XSPECT_OBS_CIE_2012_10: return "CIE 2012 10 degree observer";
    default: return "Unknown observer";
    }
}

MLINK_CA410_API int32_t getval_raw_xspec_lin(const xspect *sp, double *out, double wl)
{
    if (!wellFormed(sp) || !out)
        return -1;
    const int32_t inside = clampWavelength(sp, &wl);
    const int n = sp->count;
    const double x = (n - 1) * (wl - sp->wl_short) / (sp->wl_long - sp->wl_short);
    int i = static_cast<int>(std::floor(x));
    if (i < 0)
        i = 0;
    if (i > n - 2)
        i = n - 2;
    const double t = x - i;
    *out = (1.0 - t) * sp->values[i] + t * sp->values[i + 1];
    return inside;
}

MLINK_CA410_API int32_t getval_raw_xspec_poly3(const xspect *sp, double *out, double wl)
{
    if (!wellFormed(sp) || !out)
        return -1;
    const int n = sp->count;
    // Four samples are needed for a cubic; fewer fall back to a straight line.
    if (n < 4)
        return getval_raw_xspec_lin(sp, out, wl);
    const int32_t inside = clampWavelength(sp, &wl);
    const double step = spacing(sp);
    int i = static_cast<int>(std::floor((n - 1) * (wl - sp->wl_short) / (sp->wl_long - sp->wl_short)));
    if (i <= 0)
        i = 1;
    if (i >= n - 2)
        i = n - 3;
    // Lagrange polynomial through samples i-1 .. i+2.
    double value = 0.0;
    for (int k = i - 1; k <= i + 2; ++k) {
        const double wk = sp->wl_short + k * step;
        double weight = 1.0;
        for (int m = i - 1; m <= i + 2; ++m) {
            if (m == k)
                continue;
            const double wm = sp->wl_short + m * step;
            weight *= (wl - wm) / (wk - wm);
        }
        value += weight * sp->values[k];
    }
    *out = value;
    return inside;
}

MLINK_CA410_API int32_t getval_raw_xspec(const xspect *sp, double *out, double wl)
{
    if (!wellFormed(sp) || !out)
        return -1;
    if (spacing(sp) < kLinearBelowSpacing)
        return getval_raw_xspec_lin(sp, out, wl);
    return getval_raw_xspec_poly3(sp, out, wl);
}

MLINK_CA410_API int32_t getval_xspec(const xspect *sp, double *out, double wl)
{
    if (!out)
        return -1;
    double raw = 0.0;
    const int32_t rc = getval_raw_xspec(sp, &raw, wl);
    if (rc < 0)
        return rc;
    *out = raw / sp->norm;
    return rc;
}

MLINK_CA410_API int32_t xspect_dump(const xspect *sp)
{
    if (!sp || sp->count < 0 || sp->count > XSPECT_MAX_BANDS)
        return -1;
    std::printf("\t%d, %f, %f\n", sp->count, sp->wl_short, sp->wl_long);
    std::printf("\t%f\n", sp->norm);
    for (int i = 0; i < sp->count; ++i) {
        if (i % 5 == 0)
            std::printf("\t\t");
        std::printf("%f%s ", sp->values[i], i + 1 < sp->count ? "," : "");
        if (i % 5 == 4 || i + 1 == sp->count)
            std::printf("\n");
    }
    std::printf("\n");
    return 0;
}

MLINK_CA410_API void xsp2cie_del(xsp2cie *conv)
{
    if (conv)
        delete conv->weights;
    std::free(conv);
}

namespace {

// Whole nanometres, kept well inside the range where doubles hold integers.
bool wholeNanometre(double wl)
{
    return std::isfinite(wl) && std::fabs(wl) < 1e9 && std::floor(wl) == wl;
}

// The observer at every point the general conversion visits, through the very
// interpolation it uses; null when the points are not on whole nanometres.
xsp2cie_weights *prepareWeights(const xsp2cie *conv)
{
    constexpr double MaxPoints = 1e6;
    if (conv->step < 1 || !wholeNanometre(conv->wl_start) || !std::isfinite(conv->wl_end)
        || (conv->wl_end - conv->wl_start) / conv->step > MaxPoints)
        return nullptr;
    auto *weights = new (std::nothrow) xsp2cie_weights;
    if (!weights)
        return nullptr;
    weights->wl_start = conv->wl_start;
    weights->wl_end = conv->wl_end;
    weights->step = conv->step;
    for (double w = conv->wl_start; w < conv->wl_end; w += conv->step) {
        for (int j = 0; j < 3; ++j) {
            double obs = 0.0;
            if (getval_xspec(&conv->observer[j], &obs, w) < 0) {
                delete weights;
                return nullptr;
            }
            weights->observer[j].push_back(obs);
        }
    }
    return weights;
}

// The sums of the general conversion for a spectrum sampled every few whole
// nanometres (spacings the linear interpolation serves) from a whole
// nanometre: the integration points fall on samples or between two, at
// fractions the general path would compute alike.
bool sumOnCoarseSharedGrid(const xsp2cie *conv, const xspect *spectrum, long spacing, double sums[3])
{
    const xsp2cie_weights *weights = conv->weights;
    const long points = static_cast<long>(weights->observer[0].size());
    const long n = spectrum->count;
    const long span = (n - 1) * spacing;
    const long first = static_cast<long>(conv->wl_start - spectrum->wl_short);
    const double *v = spectrum->values;
    for (int j = 0; j < 3; ++j)
        sums[j] = 0.0;
    for (long p = 0; p < points; ++p) {
        const long k = first + p * conv->step;
        double s;
        if (k <= 0) {
            s = v[0];
        } else if (k >= span) {
            s = v[n - 1];
        } else {
            const double x = static_cast<double>((n - 1) * k) / static_cast<double>(span);
            const long i = k / spacing;
            const double t = x - static_cast<double>(i);
            s = (1.0 - t) * v[i] + t * v[i + 1];
        }
        if (spectrum->norm != 1.0)
            s /= spectrum->norm;
        for (int j = 0; j < 3; ++j)
            sums[j] += weights->observer[j][static_cast<size_t>(p)] * s;
    }
    return true;
}

// The sums of the general conversion for a spectrum on whole nanometres,
// through the observer prepared for the converter; false for any other grid,
// which the general path converts. Sampled every nanometre, each integration
// point falls on a sample (or is clamped to the first or last), so the sum is
// the observer weights times the samples, in the order the general path adds
// them.
bool sumOnSharedGrid(const xsp2cie *conv, const xspect *spectrum, double sums[3])
{
    const xsp2cie_weights *weights = conv->weights;
    if (!weights || !conv->emissive || weights->step != conv->step || weights->wl_start != conv->wl_start
        || weights->wl_end != conv->wl_end || !wholeNanometre(spectrum->wl_short))
        return false;
    const double spacing = (spectrum->wl_long - spectrum->wl_short) / (spectrum->count - 1);
    // Wider spacings are interpolated by cubics: left to the general path.
    if (spacing < 1.0 || spacing >= kLinearBelowSpacing || std::floor(spacing) != spacing
        || spectrum->wl_short + spacing * (spectrum->count - 1) != spectrum->wl_long)
        return false;
    if (spacing > 1.0)
        return sumOnCoarseSharedGrid(conv, spectrum, static_cast<long>(spacing), sums);
    const double *ox = weights->observer[0].data();
    const double *oy = weights->observer[1].data();
    const double *oz = weights->observer[2].data();
    const long points = static_cast<long>(weights->observer[0].size());
    const long last = spectrum->count - 1;
    const long step = conv->step;
    // Sample index of integration point p: first + p * step, clamped.
    const long first = static_cast<long>(conv->wl_start - spectrum->wl_short);
    const double *v = spectrum->values;
    const double norm = spectrum->norm;
    double sx = 0.0, sy = 0.0, sz = 0.0;
    const auto add = [&](long p, double s) {
        sx += ox[p] * s;
        sy += oy[p] * s;
        sz += oz[p] * s;
    };
    long p = 0;
    // Points before the first sample take its value.
    const double head = norm == 1.0 ? v[0] : v[0] / norm;
    for (; p < points && first + p * step <= 0; ++p)
        add(p, head);
    if (norm == 1.0) {
        for (; p < points && first + p * step < last; ++p)
            add(p, v[first + p * step]);
    } else {
        for (; p < points && first + p * step < last; ++p)
            add(p, v[first + p * step] / norm);
    }
    // Points from the last sample on take its value.
    const double tail = norm == 1.0 ? v[last] : v[last] / norm;
    for (; p < points; ++p)
        add(p, tail);
    sums[0] = sx;
    sums[1] = sy;
    sums[2] = sz;
    return true;
}

} // namespace

MLINK_CA410_API int32_t xsp2cie_sconvert(xsp2cie *conv, xspect *spectrumOut, double xyz[3],
                                         const xspect *spectrum)
{
    if (!conv || !xyz || !wellFormed(spectrum) || conv->step <= 0)
        return -1;
    double sums[3] = {0.0, 0.0, 0.0};
    double illuminantY = 0.0;
    const bool shared = sumOnSharedGrid(conv, spectrum, sums);
    for (int j = 0; j < 3 && !shared; ++j) {
        for (double w = conv->wl_start; w < conv->wl_end; w += conv->step) {
            double illum = 1.0;
            if (!conv->emissive && getval_xspec(&conv->illuminant, &illum, w) < 0)
                return -1;
            double obs = 0.0;
            double s = 0.0;
            if (getval_xspec(&conv->observer[j], &obs, w) < 0 || getval_xspec(spectrum, &s, w) < 0)
                return -1;
            sums[j] += illum * obs * s;
            if (j == 1)
                illuminantY += illum * obs;
        }
    }
    const double scale = conv->emissive ? conv->step * kEmissiveScale : 1.0 / illuminantY;
    for (int j = 0; j < 3; ++j) {
        xyz[j] = sums[j] * scale;
        if (conv->clamp && xyz[j] < 0.0)
            xyz[j] = 0.0;
    }
    if (spectrumOut)
        *spectrumOut = *spectrum;
    return 0;
}

MLINK_CA410_API int32_t xsp2cie_convert(xsp2cie *conv, double xyz[3], const xspect *spectrum)
{
    return xsp2cie_sconvert(conv, nullptr, xyz, spectrum);
}

MLINK_CA410_API xsp2cie *new_xsp2cie(int32_t observerType, const xspect *customObserver,
                                     int32_t outputType)
{
    auto *conv = static_cast<xsp2cie *>(std::calloc(1, sizeof(xsp2cie)));
    if (!conv) {
        std::printf("new_xsp2cie:  calloc err\n");
        return nullptr;
    }
    if (observerType == XSPECT_OBS_CUSTOM) {
        // Checked like any spectrum: the conversion walks the observer's range.
        if (!customObserver || !wellFormed(&customObserver[0]) || !wellFormed(&customObserver[1])
            || !wellFormed(&customObserver[2])) {
            std::printf("new_xsp2cie: custom observer missing or malformed\n");
            std::free(conv);
            return nullptr;
        }
        for (int j = 0; j < 3; ++j)
            conv->observer[j] = customObserver[j];
    } else {
        const xspect *observer[3] = {nullptr, nullptr, nullptr};
        if (standardObserver(observer, observerType) != 0) {
            std::printf("new_xsp2cie: standardObserver  err\n");
            std::free(conv);
            return nullptr;
        }
        for (int j = 0; j < 3; ++j)
            conv->observer[j] = *observer[j];
    }
    conv->emissive = 1;
    conv->illuminant = il_none;
    if (outputType != XSPECT_CIE_XYZ) {
        std::printf("new_xsp2cie: output cie type != XYZ\n");
        std::free(conv);
        return nullptr;
    }
    conv->output_type = XSPECT_CIE_XYZ;
    conv->clamp = 1;
    conv->step = 1;
    conv->wl_start = conv->observer[0].wl_short;
    conv->wl_end = conv->observer[0].wl_long;
    conv->del = xsp2cie_del;
    conv->convert = xsp2cie_convert;
    conv->weights = prepareWeights(conv);
    return conv;
}

} // extern "C"
