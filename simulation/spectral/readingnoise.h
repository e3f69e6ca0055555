#ifndef READINGNOISE_H
#define READINGNOISE_H

#include "matrix3.h"

#include <random>

// A reading as an instrument repeats it: a normal relative error along the
// XYZ vector (the light source's and the gain's flicker, which keep the
// chromaticity), plus a normal absolute error of standard deviation floor on
// each channel (dark current and amplifier noise), which dominates at low
// light.
Vec3 noisyReading(const Vec3& xyz, std::mt19937_64& engine, double relative, double floor);

#endif // READINGNOISE_H
