#include "colourdifference.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double radians(double degrees)
{
    return degrees * kPi / 180.0;
}

double labF(double t)
{
    constexpr double delta = 6.0 / 29.0;
    return t > delta * delta * delta ? std::cbrt(t) : t / (3.0 * delta * delta) + 4.0 / 29.0;
}

// Hue angle in degrees, 0 <= h < 360; 0 for a neutral colour.
double hueDegrees(double b, double aPrime)
{
    if (b == 0.0 && aPrime == 0.0)
        return 0.0;
    double h = std::atan2(b, aPrime) * 180.0 / kPi;
    if (h < 0.0)
        h += 360.0;
    return h;
}

double pow7(double x)
{
    const double x2 = x * x;
    return x2 * x2 * x2 * x;
}

} // namespace

ColourDifference::Lab ColourDifference::lab(const MatchingSample::Xyz& xyz, const MatchingSample::Xyz& white)
{
    const double fx = labF(xyz[0] / white[0]);
    const double fy = labF(xyz[1] / white[1]);
    const double fz = labF(xyz[2] / white[2]);
    return Lab{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

double ColourDifference::ciede2000(const Lab& first, const Lab& second)
{
    const double c1 = std::hypot(first.a, first.b);
    const double c2 = std::hypot(second.a, second.b);
    const double cMean = (c1 + c2) / 2.0;
    const double g = 0.5 * (1.0 - std::sqrt(pow7(cMean) / (pow7(cMean) + pow7(25.0))));

    const double a1 = (1.0 + g) * first.a;
    const double a2 = (1.0 + g) * second.a;
    const double cp1 = std::hypot(a1, first.b);
    const double cp2 = std::hypot(a2, second.b);
    const double hp1 = hueDegrees(first.b, a1);
    const double hp2 = hueDegrees(second.b, a2);

    const double dL = second.L - first.L;
    const double dC = cp2 - cp1;
    double dh = 0.0;
    if (cp1 * cp2 != 0.0) {
        dh = hp2 - hp1;
        if (dh > 180.0)
            dh -= 360.0;
        else if (dh < -180.0)
            dh += 360.0;
    }
    const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(radians(dh / 2.0));

    const double lMean = (first.L + second.L) / 2.0;
    const double cpMean = (cp1 + cp2) / 2.0;
    double hMean = hp1 + hp2;
    if (cp1 * cp2 != 0.0) {
        if (std::fabs(hp1 - hp2) <= 180.0)
            hMean = (hp1 + hp2) / 2.0;
        else if (hp1 + hp2 < 360.0)
            hMean = (hp1 + hp2 + 360.0) / 2.0;
        else
            hMean = (hp1 + hp2 - 360.0) / 2.0;
    }

    const double t = 1.0 - 0.17 * std::cos(radians(hMean - 30.0)) + 0.24 * std::cos(radians(2.0 * hMean))
                     + 0.32 * std::cos(radians(3.0 * hMean + 6.0)) - 0.20 * std::cos(radians(4.0 * hMean - 63.0));
    const double dTheta = 30.0 * std::exp(-std::pow((hMean - 275.0) / 25.0, 2.0));
    const double rC = 2.0 * std::sqrt(pow7(cpMean) / (pow7(cpMean) + pow7(25.0)));
    const double lm50 = (lMean - 50.0) * (lMean - 50.0);
    const double sL = 1.0 + 0.015 * lm50 / std::sqrt(20.0 + lm50);
    const double sC = 1.0 + 0.045 * cpMean;
    const double sH = 1.0 + 0.015 * cpMean * t;
    const double rT = -std::sin(radians(2.0 * dTheta)) * rC;

    const double l = dL / sL;
    const double c = dC / sC;
    const double h = dH / sH;
    return std::sqrt(l * l + c * c + h * h + rT * c * h);
}

double ColourDifference::cie76(const Lab& first, const Lab& second)
{
    const double dL = first.L - second.L;
    const double da = first.a - second.a;
    const double db = first.b - second.b;
    return std::sqrt(dL * dL + da * da + db * db);
}
