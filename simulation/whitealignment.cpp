#include "whitealignment.h"

#include "simulatedworld.h"

#include <algorithm>

namespace {

const Rgb kWhite{{1.0, 1.0, 1.0}};

// Scales the gains so the largest is 1: the brightest white that has their balance.
bool normalised(Rgb* gains)
{
    const double top = std::max({(*gains)[0], (*gains)[1], (*gains)[2]});
    if (!(top > 0.0) || !((*gains)[0] > 0.0 && (*gains)[1] > 0.0 && (*gains)[2] > 0.0))
        return false;
    for (double& g : *gains)
        g /= top;
    return true;
}

} // namespace

bool WhiteAlignment::run(const Steps& steps, std::string* error)
{
    const auto activity = [&steps](const std::string& text) {
        if (steps.activity)
            steps.activity(text);
    };
    steps.applyGains(SimulatedWorld::factoryGains());

    // The primaries at full drive, through the factory gains of 1: the
    // columns of the matrix from gains to the white they make.
    Xyz told{};
    if (!steps.measure("white", kWhite, &told, error))
        return false;
    std::array<Xyz, 3> primaries{};
    const char* const names[3] = {"red", "green", "blue"};
    for (size_t i = 0; i < 3; ++i) {
        Rgb level{};
        level[i] = 1.0;
        if (!steps.measure(names[i], level, &primaries[i], error))
            return false;
    }

    activity("computing the gains");
    const Xyz target = DisplayModel::fromChromaticity(DisplayModel::targetWhite(), 1.0);
    Rgb gains{};
    if (!DisplayModel::solve(primaries, target, &gains) || !normalised(&gains)) {
        *error = "the primaries it was told cannot make the target white";
        return false;
    }
    steps.applyGains(gains);
    if (!steps.measure("white", kWhite, &told, error))
        return false;

    // Nudge the gains by what the white still misses, at the luminance it has.
    for (int correction = 0; correction < kMaxWhiteCorrections && DisplayModel::whiteError(told) > kTolerance;
         ++correction) {
        const Xyz wanted = DisplayModel::fromChromaticity(DisplayModel::targetWhite(), told[1]);
        const Xyz missing{{wanted[0] - told[0], wanted[1] - told[1], wanted[2] - told[2]}};
        Rgb step{};
        if (!DisplayModel::solve(primaries, missing, &step)) {
            *error = "the primaries it was told cannot correct the white";
            return false;
        }
        for (size_t i = 0; i < 3; ++i)
            gains[i] += step[i];
        if (!normalised(&gains)) {
            *error = "the white it was told needs a channel switched off";
            return false;
        }
        if (steps.extraStep)
            steps.extraStep();
        steps.applyGains(gains);
        if (!steps.measure("white", kWhite, &told, error))
            return false;
    }

    for (int percent : {75, 50, 25}) {
        const double level = percent / 100.0;
        Xyz grey{};
        if (!steps.measure("grey " + std::to_string(percent) + "%", Rgb{{level, level, level}}, &grey, error))
            return false;
    }
    return true;
}
