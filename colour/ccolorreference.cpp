#include "ccolorreference.h"

#include <atomic>
#include <cmath>

namespace {

struct Chromaticity {
    double x;
    double y;
};

constexpr Chromaticity kA{0.447593, 0.407539};
constexpr Chromaticity kB{0.348483, 0.351747};
constexpr Chromaticity kC{0.310115, 0.316311};
constexpr Chromaticity kE{0.333334, 0.333333};
constexpr Chromaticity kD50{0.345669, 0.358496};
constexpr Chromaticity kD55{0.332406, 0.347551};
constexpr Chromaticity kD65{0.312712, 0.329008};
constexpr Chromaticity kD75{0.299023, 0.314963};

// The same values CColor(x, y) gives, but computed without touching any other
// global, so the constants and the fallback reference do not depend on the
// order in which translation units are initialised.
CColor atUnitLuminance(const Chromaticity& c)
{
    return CColor(c.x / c.y, 1.0, (1.0 - c.x - c.y) / c.y);
}

std::atomic<const CColorReference*> registeredReference{nullptr};

} // namespace

const CColor illuminantA = atUnitLuminance(kA);
const CColor illuminantB = atUnitLuminance(kB);
const CColor illuminantC = atUnitLuminance(kC);
const CColor illuminantE = atUnitLuminance(kE);
const CColor illuminantD50 = atUnitLuminance(kD50);
const CColor illuminantD55 = atUnitLuminance(kD55);
const CColor illuminantD65 = atUnitLuminance(kD65);
const CColor illuminantD75 = atUnitLuminance(kD75);

const double primariesPAL[6] = {0.64, 0.33, 0.29, 0.60, 0.15, 0.06};
const double primariesSMPTEC[6] = {0.63, 0.34, 0.31, 0.595, 0.155, 0.07};
const double primariesRec709[6] = {0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
const double primariesNTSC[6] = {0.67, 0.33, 0.21, 0.71, 0.14, 0.08};
const double primariesDCIP3[6] = {0.68, 0.32, 0.265, 0.69, 0.15, 0.06};

CColorReference::CColorReference(ColorStandard standard, WhiteTarget white, double gamma)
    : m_standard(standard), m_whiteTarget(WhiteD65), m_white(atUnitLuminance(kD65)),
      m_whiteName(QStringLiteral("D65")), m_gamma(gamma)
{
    const double* primaries = primariesRec709;
    switch (standard) {
    case StandardPAL:
        m_standardName = QStringLiteral("PAL/SECAM/EBU");
        primaries = primariesPAL;
        break;
    case StandardSMPTEC:
        m_standardName = QStringLiteral("SMPTE-C");
        primaries = primariesSMPTEC;
        break;
    case StandardRec709:
        m_standardName = QStringLiteral("HDTV Rec709");
        break;
    case StandardSRGB:
        m_standardName = QStringLiteral("sRGB");
        break;
    case StandardNTSC:
        m_standardName = QStringLiteral("NTSC");
        primaries = primariesNTSC;
        break;
    case StandardDCIP3:
        m_standardName = QStringLiteral("DCI P3");
        primaries = primariesDCIP3;
        break;
    default:
        m_standardName = QStringLiteral("Unknown");
        break;
    }
    m_red.SetxyYValue(CColor(primaries[0], primaries[1], 1.0));
    m_green.SetxyYValue(CColor(primaries[2], primaries[3], 1.0));
    m_blue.SetxyYValue(CColor(primaries[4], primaries[5], 1.0));

    if (white != WhiteFromStandard) {
        m_whiteTarget = white;
        const auto useWhite = [this](const Chromaticity& c, const char* name) {
            m_white = atUnitLuminance(c);
            m_whiteName = QString::fromLatin1(name);
        };
        switch (white) {
        case WhiteD55: useWhite(kD55, "D55"); break;
        case WhiteD50: useWhite(kD50, "D50"); break;
        case WhiteD75: useWhite(kD75, "D75"); break;
        case WhiteA: useWhite(kA, "A"); break;
        case WhiteB: useWhite(kB, "B"); break;
        case WhiteC: useWhite(kC, "C"); break;
        case WhiteE:
            // SMPTE-C is defined for D65 only.
            if (standard != StandardSMPTEC)
                useWhite(kE, "E");
            break;
        default:
            break;
        }
    }

    const CColor uvY = m_white.GetuvYValue();
    m_whiteU = uvY[0];
    m_whiteV = uvY[1];

    Matrix p(0.0, 3, 3);
    const CColor* columns[3] = {&m_red, &m_green, &m_blue};
    for (int k = 0; k < 3; ++k)
        for (int r = 0; r < 3; ++r)
            p(r, k) = (*columns[k])[r];
    m_rgbToXyz = ComputeRGBtoXYZMatrix(p, m_white);
    m_xyzToRgb = m_rgbToXyz.GetInverse();

    CColor* primaryColours[3] = {&m_red, &m_green, &m_blue};
    for (int k = 0; k < 3; ++k) {
        CColor xyY = primaryColours[k]->GetxyYValue();
        xyY[2] = m_rgbToXyz(1, k);
        primaryColours[k]->SetxyYValue(xyY);
    }

    UpdateSecondary(m_redGreen, m_red, m_green, m_blue);
    UpdateSecondary(m_greenBlue, m_green, m_blue, m_red);
    UpdateSecondary(m_blueRed, m_blue, m_red, m_green);
}

void CColorReference::UpdateSecondary(CColor& secondary, const CColor& p1, const CColor& p2,
                                      const CColor& p3) const
{
    const CColor c1 = p1.GetxyYValue();
    const CColor c2 = p2.GetxyYValue();
    const CColor c3 = p3.GetxyYValue();
    const CColor w = m_white.GetxyYValue();
    const double x1 = c1[0], y1 = c1[1];
    const double x2 = c2[0], y2 = c2[1];
    const double x3 = c3[0], y3 = c3[1];
    const double xw = w[0], yw = w[1];

    // Intersection of the edge p1 + t (p2 - p1) with the line through p3 and the white.
    const double q = (y3 - yw) * (x2 - x1);
    const double t = ((y1 - yw) * ((x3 - xw) / q) + (xw - x1) / (x2 - x1))
                     / (1.0 - (y2 - y1) * (x3 - xw) / q);
    const double x = x1 + t * (x2 - x1);
    const double y = y1 + t * (y2 - y1);
    secondary.SetxyYValue(CColor(x, y, p1[1] + p2[1]));
}

const CColorReference& GetColorReference()
{
    if (const CColorReference* reference = registeredReference.load(std::memory_order_acquire))
        return *reference;
    static const CColorReference fallback(StandardRec709, WhiteFromStandard, -1.0);
    return fallback;
}

void RegisterColorReference(const CColorReference* reference)
{
    registeredReference.store(reference, std::memory_order_release);
}

CColorReference GetStandardColorReference(ColorStandard standard)
{
    return CColorReference(standard, WhiteFromStandard, -1.0);
}

void SetColorReference(ColorStandard, WhiteTarget, double)
{
}

Matrix ComputeRGBtoXYZMatrix(const Matrix& primaries, const CColor& white)
{
    const Matrix s = primaries.GetInverse() * white;
    Matrix d(0.0, 3, 3);
    for (int k = 0; k < 3; ++k)
        d(k, k) = s(k, 0) / white[1];
    return primaries * d;
}

Matrix ComputeConversionMatrix(const Matrix& measured, const Matrix& reference,
                               const CColor& measuredWhite, const CColor& referenceWhite)
{
    // A NaN determinant is deliberately treated as usable: only an exact zero
    // makes the white balance impossible.
    if (!measuredWhite.IsNoData() && !referenceWhite.IsNoData() && reference.Determinant() != 0.0) {
        const Matrix kr = reference.GetInverse() * referenceWhite;
        const Matrix km = measured.GetInverse() * measuredWhite;
        Matrix dr(0.0, 3, 3);
        Matrix dm(0.0, 3, 3);
        for (int k = 0; k < 3; ++k) {
            dr(k, k) = kr(k, 0);
            dm(k, k) = km(k, 0);
        }
        return (reference * dr) * (measured * dm).GetInverse();
    }
    return reference * measured.GetInverse();
}
