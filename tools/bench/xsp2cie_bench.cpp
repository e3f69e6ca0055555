// Prints how many 1 nm, 380-780 nm emission spectra the library converts to XYZ
// per second with the CIE 1931 2 degree observer.

#include "mlink_ca410.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int conversions = argc > 1 ? std::atoi(argv[1]) : 20000;
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
    double xyz[3] = {};
    double checksum = 0.0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < conversions; ++i) {
        conv->convert(conv, xyz, &spectrum);
        checksum += xyz[1];
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    conv->del(conv);

    std::printf("xsp2cie_convert, 1 nm 380-780 nm spectrum, CIE 1931 2 degree observer\n");
    std::printf("conversions: %d in %.3f s\n", conversions, seconds);
    std::printf("conversions per second: %.0f\n", conversions / seconds);
    std::printf("microseconds per conversion: %.2f\n", 1e6 * seconds / conversions);
    std::printf("(checksum %.6f)\n", checksum);
    return 0;
}
