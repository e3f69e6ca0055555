// Times the conversion of a 1 nm, 380-780 nm emission spectrum to XYZ with the
// CIE 1931 2 degree observer, side by side in one run: the library's converter
// (whole-nanometre spectra go through the observer it prepared), a plain
// weighted sum of the same 401 samples with the library's own observer table,
// and the general sample-by-sample path. Target: the converter within 3 times
// the plain sum.

#include "mlink_ca410.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// XYZ as a plain weighted sum: the observer's samples from 380 nm on.
__attribute__((noinline)) void plainSum(const xspect& spectrum, double xyz[3])
{
    const int offset = static_cast<int>(spectrum.wl_short - ob_CIE_1931_2[0].wl_short);
    const double* x = ob_CIE_1931_2[0].values + offset;
    const double* y = ob_CIE_1931_2[1].values + offset;
    const double* z = ob_CIE_1931_2[2].values + offset;
    const double* v = spectrum.values;
    double sx = 0.0, sy = 0.0, sz = 0.0;
    for (int i = 0; i < spectrum.count; ++i) {
        sx += x[i] * v[i];
        sy += y[i] * v[i];
        sz += z[i] * v[i];
    }
    xyz[0] = sx * 0.683002;
    xyz[1] = sy * 0.683002;
    xyz[2] = sz * 0.683002;
}

// Conversions per second; the spectrum changes a little each time so that
// nothing can be computed once for all.
double rate(xspect& spectrum, int conversions, double* checksum,
            const std::function<void(const xspect&, double[3])>& convert)
{
    double xyz[3] = {};
    const double kept = spectrum.values[7];
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < conversions; ++i) {
        spectrum.values[7] = kept + 1e-9 * (i & 15);
        convert(spectrum, xyz);
        *checksum += xyz[1];
    }
    spectrum.values[7] = kept;
    return conversions / std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const int conversions = argc > 1 ? std::atoi(argv[1]) : 200000;
    xspect spectrum{};
    spectrum.count = 401;
    spectrum.wl_short = 380.0;
    spectrum.wl_long = 780.0;
    spectrum.norm = 1.0;
    for (int i = 0; i < spectrum.count; ++i)
        spectrum.values[i] = 0.01 + 0.005 * std::sin(i / 40.0);

    xsp2cie* conv = new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ);
    if (!conv)
        return 1;
    // The same converter without its prepared observer takes the general path.
    xsp2cie general = *conv;
    general.weights = nullptr;

    double checksum[3] = {};
    const double plain = rate(spectrum, conversions, &checksum[0], plainSum);
    const double fast = rate(spectrum, conversions, &checksum[1], [conv](const xspect& sp, double xyz[3]) {
        conv->convert(conv, xyz, &sp);
    });
    const double slow = rate(spectrum, conversions / 50 + 1, &checksum[2], [&general](const xspect& sp, double xyz[3]) {
        xsp2cie_convert(&general, xyz, &sp);
    });
    double a[3] = {}, b[3] = {};
    conv->convert(conv, a, &spectrum);
    xsp2cie_convert(&general, b, &spectrum);
    conv->del(conv);

    std::printf("xsp2cie_convert, 1 nm 380-780 nm spectrum, CIE 1931 2 degree observer, %d conversions\n",
                conversions);
    std::printf("plain weighted sum (401 samples) %12.0f per second  %8.3f us each\n", plain, 1e6 / plain);
    std::printf("converter                        %12.0f per second  %8.3f us each  %.2f x the plain sum\n", fast,
                1e6 / fast, plain / fast);
    std::printf("general path                     %12.0f per second  %8.3f us each  %.1f x the plain sum\n", slow,
                1e6 / slow, plain / slow);
    std::printf("converter and general path agree: Y %.15g against %.15g\n", a[1], b[1]);
    std::printf("target: converter within 3 x the plain sum: %s\n", plain / fast <= 3.0 ? "met" : "MISSED");
    std::printf("(checksums %.6f %.6f %.6f)\n", checksum[0], checksum[1], checksum[2]);
    return 0;
}
