// The exported spectral and 3 x 3 helpers with hostile spectra, custom
// observers, wavelengths and matrix bounds.
//
// Input: one operation byte, then the operands as raw big-endian numbers:
//   0  interpolation: spectrum, wavelength
//   1  conversion with a standard observer (type byte): spectrum
//   2  conversion with a custom observer: three spectra, then the spectrum
//   3  dmatrix: four 32-bit bounds
//   4  3 x 3 helpers: 18 doubles
// A spectrum is count (32 bits), short, long and norm (doubles), then its
// values (up to the count, the rest zero).
#include "fuzzinput.h"
#include "xspect.h"

#include <cstdint>
#include <cstdlib>

namespace {

xspect readSpectrum(FuzzInput& in)
{
    xspect sp{};
    sp.count = in.int32();
    sp.wl_short = in.number();
    sp.wl_long = in.number();
    sp.norm = in.number();
    const int n = sp.count > 0 && sp.count <= XSPECT_MAX_BANDS ? sp.count : 0;
    for (int i = 0; i < n && !in.empty(); ++i)
        sp.values[i] = in.number();
    return sp;
}

void interpolate(FuzzInput& in)
{
    const xspect sp = readSpectrum(in);
    const double wl = in.number();
    double v = 0.0;
    getval_raw_xspec_lin(&sp, &v, wl);
    getval_raw_xspec_poly3(&sp, &v, wl);
    getval_raw_xspec(&sp, &v, wl);
    getval_xspec(&sp, &v, wl);
    getval_xspec(&sp, nullptr, wl);
}

void convert(xsp2cie* conv, const xspect& sp)
{
    if (!conv)
        return;
    double xyz[3];
    xspect copy;
    conv->convert(conv, xyz, &sp);
    xsp2cie_sconvert(conv, &copy, xyz, &sp);
    conv->del(conv);
}

void bounds(FuzzInput& in)
{
    const int32_t nrl = in.int32();
    const int32_t nrh = in.int32();
    const int32_t ncl = in.int32();
    const int32_t nch = in.int32();
    const int64_t rows = nrh < nrl ? 1 : int64_t(nrh) - nrl + 1;
    const int64_t cols = nch < ncl ? 1 : int64_t(nch) - ncl + 1;
    // Allocations the library accepts are only made when they are small; bounds
    // beyond what it accepts must be refused without allocating anything.
    constexpr int64_t kRefused = int64_t(1) << 24;
    const bool small = rows <= 4096 && cols <= 4096 && rows * cols <= (1 << 16);
    if (!small && rows <= kRefused && cols <= kRefused)
        return;
    double** m = dmatrix(nrl, nrh, ncl, nch);
    if (!m)
        return;
    if (!small)
        std::abort(); // more than it can hold was promised
    const int32_t lastRow = nrh < nrl ? nrl : nrh;
    const int32_t lastCol = nch < ncl ? ncl : nch;
    m[nrl][ncl] = 1.0;
    m[lastRow][lastCol] = 2.0;
    double dst[3][3];
    copy_dmatrix_to3x3(dst, m, nrl, lastRow, ncl, lastCol);
    free_dmatrix(m, nrl);
}

void threeByThree(FuzzInput& in)
{
    double a[9], b[9], out[9], v[3];
    for (double& x : a)
        x = in.number();
    for (double& x : b)
        x = in.number();
    for (int i = 0; i < 3; ++i)
        v[i] = a[i];
    Clamp3(v, v);
    MulBy3x3(v, a, v);
    Mul3x3_2(out, a, b);
    Mul3x3_2(a, a, b);
    Det3x3(a);
    adjust(out, a);
    Inverse3x3(out, a);
    Transpose3x3(b, b);
    Copy3x3(out, b);
    SetUnity3x3(out);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    switch (in.byte() % 5) {
    case 0:
        interpolate(in);
        break;
    case 1: {
        const int32_t type = static_cast<int8_t>(in.byte());
        const xspect sp = readSpectrum(in);
        convert(new_xsp2cie(type, nullptr, in.byte() % 2), sp);
        break;
    }
    case 2: {
        // Spectra are large: keep them off the stack of the fuzzer's frame.
        auto* observer = static_cast<xspect*>(std::malloc(3 * sizeof(xspect)));
        for (int j = 0; j < 3; ++j)
            observer[j] = readSpectrum(in);
        const xspect sp = readSpectrum(in);
        convert(new_xsp2cie(XSPECT_OBS_CUSTOM, observer, XSPECT_CIE_XYZ), sp);
        std::free(observer);
        break;
    }
    case 3:
        bounds(in);
        break;
    default:
        threeByThree(in);
        break;
    }
    return 0;
}
