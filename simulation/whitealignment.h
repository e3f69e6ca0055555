#ifndef WHITEALIGNMENT_H
#define WHITEALIGNMENT_H

#include "displaymodel.h"

#include <functional>
#include <string>

// The display firmware's way of putting its white on D65, apart from how it
// is told what it shows: it measures its white and its primaries at full
// drive, solves the gains that make the target white of the primaries it was
// told, corrects them until the white it is told it shows is there, and
// measures a grey ramp. The firmware runs it over its serial link; the matrix
// table runs it against the world's instruments directly.
class WhiteAlignment
{
public:
    struct Steps {
        // Shows the patch and returns what the display is told it shows;
        // false (and error set) when no answer comes.
        std::function<bool(const std::string& name, const Rgb& level, Xyz* told, std::string* error)> measure;
        std::function<void(const Rgb& gains)> applyGains;
        // Optional: what it does now, for a person, and one more white planned.
        std::function<void(const std::string& activity)> activity;
        std::function<void()> extraStep;
    };

    // Target accuracy of the white it is told (u'v'); it stops correcting below it.
    static constexpr double kTolerance = 0.0001;
    static constexpr int kMaxWhiteCorrections = 4;

    // False with the reason in error when it cannot finish.
    static bool run(const Steps& steps, std::string* error);
};

#endif // WHITEALIGNMENT_H
