#include "readingnoise.h"

Vec3 noisyReading(const Vec3& xyz, std::mt19937_64& engine, double relative, double floor)
{
    std::normal_distribution<double> normal(0.0, 1.0);
    const double factor = 1.0 + relative * normal(engine);
    Vec3 r{};
    for (std::size_t i = 0; i < 3; ++i)
        r[i] = xyz[i] * factor + floor * normal(engine);
    return r;
}
