#ifndef MATCHINGSAMPLE_H
#define MATCHINGSAMPLE_H

#include <QString>

#include <array>

// One patch as sensor matching uses it: what the reference instrument and the
// sensor under correction read of it (each the mean of its repeats, XYZ in
// cd/m²), and whether the patch trains the correction or only validates it.
struct MatchingSample {
    using Xyz = std::array<double, 3>;

    QString name;
    bool training = false;
    Xyz reference{};
    Xyz sensor{}; // raw, before any correction
};

#endif // MATCHINGSAMPLE_H
