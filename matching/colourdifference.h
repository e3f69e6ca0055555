#ifndef COLOURDIFFERENCE_H
#define COLOURDIFFERENCE_H

#include "matchingsample.h"

// CIELAB and the colour differences the matching certificate reports.
class ColourDifference
{
public:
    struct Lab {
        double L = 0.0;
        double a = 0.0;
        double b = 0.0;
    };

    // CIE 1976 L*a*b* of xyz against the white's XYZ (same units).
    static Lab lab(const MatchingSample::Xyz& xyz, const MatchingSample::Xyz& white);
    // CIEDE2000 with kL = kC = kH = 1, as written out by G. Sharma, W. Wu and
    // E. N. Dalal, "The CIEDE2000 color-difference formula: implementation notes,
    // supplementary test data, and mathematical observations", Color Research &
    // Application 30(1), 2005, equations (1) to (22).
    static double ciede2000(const Lab& first, const Lab& second);
    // CIE 1976: Euclidean distance in L*a*b*.
    static double cie76(const Lab& first, const Lab& second);
};

#endif // COLOURDIFFERENCE_H
