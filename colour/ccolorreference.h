#ifndef CCOLORREFERENCE_H
#define CCOLORREFERENCE_H

#include "ccolor.h"
#include "matrix.h"

#include <QString>

// Colour standards; the values are what callers pass around as an int. Any
// other value is a valid argument and gives the "Unknown" standard with the
// Rec. 709 primaries.
enum ColorStandard : int {
    StandardPAL = 0,
    StandardSMPTEC = 1,
    StandardRec709 = 2,
    StandardSRGB = 3,
    StandardNTSC = 4,
    StandardDCIP3 = 5
};

// White points a reference can be built for. WhiteFromStandard keeps the
// standard's own white (D65 for every standard); values outside 1 ... 7 are
// stored but leave the white alone.
enum WhiteTarget : int {
    WhiteFromStandard = -1,
    WhiteD65 = 0,
    WhiteD55 = 1,
    WhiteD50 = 2,
    WhiteD75 = 3,
    WhiteA = 4,
    WhiteB = 5,
    WhiteC = 6,
    WhiteE = 7
};

// Standard illuminants at luminance 1 (X = x/y, Y = 1, Z = (1 - x - y)/y).
extern const CColor illuminantA;
extern const CColor illuminantB;
extern const CColor illuminantC;
extern const CColor illuminantE;
extern const CColor illuminantD50;
extern const CColor illuminantD55;
extern const CColor illuminantD65;
extern const CColor illuminantD75;

// Chromaticities of the primaries: x and y of red, green and blue in that order.
extern const double primariesPAL[6];
extern const double primariesSMPTEC[6];
extern const double primariesRec709[6];
extern const double primariesNTSC[6];
extern const double primariesDCIP3[6];

// One colour standard: primaries, white point, the secondaries between them and
// the matrices between linear RGB and XYZ. Built whole by the constructor and
// read-only afterwards, so one instance can be shared by every thread.
class CColorReference
{
public:
    CColorReference(ColorStandard standard, WhiteTarget white, double gamma);

    ColorStandard GetStandard() const { return m_standard; }
    WhiteTarget GetWhiteTarget() const { return m_whiteTarget; }
    const CColor& GetWhite() const { return m_white; }
    double GetWhiteU() const { return m_whiteU; }
    double GetWhiteV() const { return m_whiteV; }
    const QString& GetStandardName() const { return m_standardName; }
    const QString& GetWhiteName() const { return m_whiteName; }

    // Primaries with Y set to their share of the white's luminance.
    const CColor& GetRed() const { return m_red; }
    const CColor& GetGreen() const { return m_green; }
    const CColor& GetBlue() const { return m_blue; }

    // Secondaries: where a gamut edge meets the line from the opposite primary
    // through the white, with the luminance of the edge's two primaries.
    const CColor& GetRedGreenSecondary() const { return m_redGreen; }
    const CColor& GetGreenBlueSecondary() const { return m_greenBlue; }
    const CColor& GetBlueRedSecondary() const { return m_blueRed; }

    double GetGamma() const { return m_gamma; }
    const Matrix& GetRGBtoXYZMatrix() const { return m_rgbToXyz; }
    const Matrix& GetXYZtoRGBMatrix() const { return m_xyzToRgb; }

private:
    void UpdateSecondary(CColor& secondary, const CColor& p1, const CColor& p2,
                         const CColor& p3) const;

    ColorStandard m_standard;
    WhiteTarget m_whiteTarget;
    CColor m_white;
    double m_whiteU = 0.0;
    double m_whiteV = 0.0;
    QString m_standardName;
    QString m_whiteName;
    CColor m_red;
    CColor m_green;
    CColor m_blue;
    CColor m_redGreen;
    CColor m_greenBlue;
    CColor m_blueRed;
    double m_gamma;
    Matrix m_rgbToXyz;
    Matrix m_xyzToRgb;
};

// The reference of the run: the one the application object registered, or,
// where there is none (tools, tests), a Rec. 709 / D65 reference built on first
// use. Never changes while conversions may be reading it.
const CColorReference& GetColorReference();

// Called by the owner of the run's reference (the application object) once it is
// built, before any other thread starts, and with nullptr before it is destroyed.
void RegisterColorReference(const CColorReference* reference);

CColorReference GetStandardColorReference(ColorStandard standard);

// Deliberately changes nothing: the run's reference is read by the alignment
// thread without a lock, so replacing it while the program runs would race.
void SetColorReference(ColorStandard standard, WhiteTarget white, double gamma);

// Matrix taking a linear RGB column to XYZ. The primaries' X, Y, Z are the
// columns of primaries; R = G = B = 1 gives white scaled to luminance 1.
Matrix ComputeRGBtoXYZMatrix(const Matrix& primaries, const CColor& white);

// 3 x 3 correction C taking measured values to reference values: red, green and
// blue are the columns of measured and reference. C keeps each reference
// primary's direction and maps measuredWhite onto referenceWhite. Without a
// usable white (no-data, or singular reference primaries) C = reference *
// measured^-1.
Matrix ComputeConversionMatrix(const Matrix& measured, const Matrix& reference,
                               const CColor& measuredWhite, const CColor& referenceWhite);

#endif // CCOLORREFERENCE_H
