#ifndef MATCHINGFIXTURES_H
#define MATCHINGFIXTURES_H

// Patches of a plausible display and sensors that misread them, for the
// matching tests.
#include "certificate.h"
#include "correctionmethod.h"
#include "matchingsample.h"

#include <QRandomGenerator>
#include <QStringList>

#include <cmath>
#include <vector>

namespace MatchingFixtures {

using Xyz = MatchingSample::Xyz;

// An sRGB-like display with a 100 cd/m² D65 white: its primaries' XYZ at full drive.
const Xyz kRed{41.24, 21.26, 1.93};
const Xyz kGreen{35.76, 71.52, 11.92};
const Xyz kBlue{18.05, 7.22, 95.05};

// What a colorimeter with imperfect filters makes of the truth.
const Matrix3x3 kSensorError{{{{1.031, 0.024, -0.012}}, {{-0.018, 0.976, 0.009}}, {{0.006, -0.021, 1.064}}}};

inline Xyz mix(double r, double g, double b)
{
    Xyz v{};
    for (int i = 0; i < 3; ++i)
        v[i] = r * kRed[i] + g * kGreen[i] + b * kBlue[i];
    return v;
}

struct Patch {
    const char* name;
    bool training;
    double r, g, b; // linear drive, 0 ... 1
};

inline std::vector<Patch> displayPatches()
{
    return {{"red", true, 1, 0, 0},        {"green", true, 0, 1, 0},
            {"blue", true, 0, 0, 1},       {"white", true, 1, 1, 1},
            {"cyan", false, 0, 1, 1},      {"magenta", false, 1, 0, 1},
            {"yellow", false, 1, 1, 0},    {"grey 50", false, 0.214, 0.214, 0.214},
            {"grey 10", false, 0.01, 0.01, 0.01}, {"skin", false, 0.55, 0.31, 0.22},
            {"sky", false, 0.18, 0.30, 0.60}};
}

// Reference = truth; sensor = error x truth, each channel then off by a relative
// Gaussian error of standard deviation noise (0 for none).
inline std::vector<MatchingSample> samples(const Matrix3x3& error = kSensorError, double noise = 0.0,
                                           quint32 seed = 7)
{
    QRandomGenerator random(seed);
    auto gaussian = [&random]() {
        const double u1 = 1.0 - random.generateDouble(); // (0, 1]
        const double u2 = random.generateDouble();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
    };
    std::vector<MatchingSample> out;
    for (const Patch& p : displayPatches()) {
        MatchingSample s;
        s.name = QString::fromLatin1(p.name);
        s.training = p.training;
        s.reference = mix(p.r, p.g, p.b);
        s.sensor = CorrectionMethod::apply(error, s.reference);
        for (double& v : s.sensor)
            v *= 1.0 + noise * gaussian();
        out.push_back(s);
    }
    return out;
}

// The certificate of every standard method on samples.
inline Certificate standardCertificate(const std::vector<MatchingSample>& samples)
{
    const auto owned = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> methods;
    for (const auto& m : owned)
        methods.push_back(m.get());
    Certificate certificate;
    certificate.compute(samples, methods);
    return certificate;
}

inline MatchingSample* find(std::vector<MatchingSample>& list, const QString& name)
{
    for (MatchingSample& s : list)
        if (s.name == name)
            return &s;
    return nullptr;
}

inline std::array<double, 2> xy(const Xyz& v)
{
    return {v[0] / (v[0] + v[1] + v[2]), v[1] / (v[0] + v[1] + v[2])};
}

} // namespace MatchingFixtures

#endif // MATCHINGFIXTURES_H
