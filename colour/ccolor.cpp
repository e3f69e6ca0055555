#include "ccolor.h"

#include "ccolorreference.h"
#include "cspectrum.h"

#include <cmath>
#include <limits>

const CColor noDataColor(-99999.99, -99999.99, -99999.99);

CColor::CColor()
    : Matrix(1.0, 3, 1)
{
}

CColor::CColor(double c0, double c1, double c2)
    : Matrix(0.0, 3, 1)
{
    (*this)[0] = c0;
    (*this)[1] = c1;
    (*this)[2] = c2;
}

CColor::CColor(double x, double y)
    : Matrix(0.0, 3, 1)
{
    SetxyYValue(CColor(x, y, 1.0));
}

CColor::CColor(const Matrix& m)
    : Matrix(m.GetRows() == 3 && m.GetColumns() == 1 ? m : Matrix(-99999.99, 3, 1))
{
}

CColor::CColor(const CColor& other)
    : Matrix(other),
      m_spectrum(other.m_spectrum ? std::make_unique<CSpectrum>(*other.m_spectrum) : nullptr)
{
}

CColor::CColor(CColor&& other) noexcept
    : Matrix(static_cast<const Matrix&>(other)), m_spectrum(std::move(other.m_spectrum))
{
    // The moved-from colour stays a valid 3 x 1 value.
}

CColor& CColor::operator=(const CColor& other)
{
    if (this == &other)
        return *this;
    Matrix::operator=(other);
    m_spectrum = other.m_spectrum ? std::make_unique<CSpectrum>(*other.m_spectrum) : nullptr;
    return *this;
}

CColor& CColor::operator=(CColor&& other) noexcept
{
    if (this == &other)
        return *this;
    Matrix::operator=(static_cast<const Matrix&>(other));
    m_spectrum = std::move(other.m_spectrum);
    return *this;
}

CColor::~CColor() = default;

double& CColor::operator[](int i)
{
    return (*this)(i, 0);
}

double CColor::operator[](int i) const
{
    return (*this)(i, 0);
}

bool CColor::IsNoData() const
{
    return *this == noDataColor;
}

CColor CColor::GetXYZValue() const
{
    return CColor((*this)[0], (*this)[1], (*this)[2]);
}

void CColor::SetXYZValue(const CColor& c)
{
    (*this)[0] = c[0];
    (*this)[1] = c[1];
    (*this)[2] = c[2];
}

double CColor::GetLuminance() const
{
    return (*this)[1];
}

CColor CColor::GetxyYValue() const
{
    if (IsNoData())
        return noDataColor;
    const double X = (*this)[0];
    const double Y = (*this)[1];
    const double Z = (*this)[2];
    const double s = X + Y + Z;
    if (s == 0.0)
        return CColor(0.0, 0.0, Y);
    return CColor(X / s, Y / s, Y);
}

void CColor::SetxyYValue(const CColor& xyY)
{
    if (xyY.IsNoData()) {
        *this = xyY;
        return;
    }
    const double x = xyY[0];
    const double y = xyY[1];
    const double Yv = xyY[2];
    if (y != 0.0) {
        (*this)[0] = (x / y) * Yv;
        (*this)[1] = Yv;
        (*this)[2] = ((1.0 - x - y) * Yv) / y;
    } else {
        (*this)[0] = (*this)[1] = (*this)[2] = 0.0;
    }
}

CColor CColor::GetuvYValue() const
{
    if (IsNoData())
        return noDataColor;
    const double X = (*this)[0];
    const double Y = (*this)[1];
    const double Z = (*this)[2];
    const double d = X + 15.0 * Y + 3.0 * Z;
    if (d == 0.0)
        return CColor(0.0, 0.0, Y);
    return CColor(4.0 * X / d, 9.0 * Y / d, Y);
}

CColor CColor::GetSensorValue() const
{
    if (IsNoData())
        return noDataColor;
    return CColor(1.0, 1.0, 1.0);
}

bool CColor::HasSpectrum() const
{
    return m_spectrum != nullptr;
}

void CColor::SetSpectrum(const CSpectrum& s)
{
    m_spectrum = std::make_unique<CSpectrum>(s);
}

void CColor::ResetSpectrum()
{
    m_spectrum.reset();
}

CSpectrum CColor::GetSpectrum() const
{
    if (m_spectrum)
        return *m_spectrum;
    return CSpectrum(0, 0, 0, 0);
}

namespace {

constexpr double kPi = 3.141592653589793;

// CIE 1976 lightness function of a ratio to the white.
double labF(double t)
{
    if (t > 0.008856)
        return std::pow(t, 0.3333333333333333);
    return 7.787 * t + 0.13793103448275862;
}

double labFInverse(double f)
{
    const double cube = f * f * f;
    if (cube > 0.008856)
        return cube;
    return (f - 0.13793103448275862) / 7.787;
}

// Robertson's isotemperature lines: reciprocal temperature in 1/K, then u, v of
// the line's point on the Planckian locus and the line's slope.
struct IsotemperatureLine {
    double r;
    double u;
    double v;
    double t;
};

constexpr IsotemperatureLine kRobertson[31] = {
    {2.2250738585072014e-308, 0.18006, 0.26352, -0.24341},
    {10e-6, 0.18066, 0.26589, -0.25479},
    {20e-6, 0.18133, 0.26846, -0.26876},
    {30e-6, 0.18208, 0.27119, -0.28539},
    {40e-6, 0.18293, 0.27407, -0.30470},
    {50e-6, 0.18388, 0.27709, -0.32675},
    {60e-6, 0.18494, 0.28021, -0.35156},
    {70e-6, 0.18611, 0.28342, -0.37915},
    {80e-6, 0.18740, 0.28668, -0.40955},
    {90e-6, 0.18880, 0.28997, -0.44278},
    {100e-6, 0.19032, 0.29326, -0.47888},
    {125e-6, 0.19462, 0.30141, -0.58204},
    {150e-6, 0.19962, 0.30921, -0.70471},
    {175e-6, 0.20525, 0.31647, -0.84901},
    {200e-6, 0.21142, 0.32312, -1.0182},
    {225e-6, 0.21807, 0.32909, -1.2168},
    {250e-6, 0.22511, 0.33439, -1.4512},
    {275e-6, 0.23247, 0.33904, -1.7298},
    {300e-6, 0.24010, 0.34308, -2.0637},
    {325e-6, 0.24702, 0.34655, -2.4681},
    {350e-6, 0.25591, 0.34951, -2.9641},
    {375e-6, 0.26400, 0.35200, -3.5814},
    {400e-6, 0.27218, 0.35407, -4.3633},
    {425e-6, 0.28039, 0.35577, -5.3762},
    {450e-6, 0.28863, 0.35714, -6.7262},
    {475e-6, 0.29685, 0.35823, -8.5955},
    {500e-6, 0.30505, 0.35907, -11.324},
    {525e-6, 0.31320, 0.35968, -15.628},
    {550e-6, 0.32129, 0.36011, -23.325},
    {575e-6, 0.32931, 0.36038, -40.770},
    {600e-6, 0.33724, 0.36051, -116.45},
};

} // namespace

CColor CColor::GetLabValue(double YWhite) const
{
    if (IsNoData())
        return noDataColor;
    const CColor& w = GetColorReference().GetWhite();
    const double s = YWhite / w[1];
    const double fx = labF((*this)[0] / (w[0] * s));
    const double fy = labF((*this)[1] / (w[1] * s));
    const double fz = labF((*this)[2] / (w[2] * s));
    return CColor(116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz));
}

double CColor::GetLValue(double YWhite) const
{
    if (IsNoData())
        return 0.0;
    if (YWhite <= 0.0)
        return 100.0;
    return 116.0 * labF((*this)[1] / YWhite) - 16.0;
}

CColor CColor::GetLCHValue(double YWhite) const
{
    if (IsNoData())
        return noDataColor;
    const CColor lab = GetLabValue(YWhite);
    double h = std::atan2(lab[2], lab[1]) * 180.0 / kPi;
    if (h < 0.0) {
        h += 360.0;
        // A hue a hair below zero rounds up to 360, which is the same hue as 0.
        if (h >= 360.0)
            h = 0.0;
    }
    return CColor(lab[0], std::sqrt(lab[1] * lab[1] + lab[2] * lab[2]), h);
}

void CColor::SetLabValue(const CColor& lab)
{
    if (lab.IsNoData()) {
        *this = lab;
        return;
    }
    const CColor& w = GetColorReference().GetWhite();
    const double fy = (lab[0] + 16.0) / 116.0;
    const double fx = lab[1] / 500.0 + fy;
    const double fz = fy - lab[2] / 200.0;
    (*this)[0] = labFInverse(fx) * w[0];
    (*this)[1] = labFInverse(fy) * w[1];
    (*this)[2] = labFInverse(fz) * w[2];
}

double CColor::GetDeltaE(double YWhite, const CColor& other, double YWhiteOther) const
{
    const CColorReference& ref = GetColorReference();
    const double un = ref.GetWhiteU();
    const double vn = ref.GetWhiteV();
    const CColor uv1 = GetuvYValue();
    const CColor uv2 = other.GetuvYValue();
    const double l1 = GetLValue(YWhite);
    const double l2 = other.GetLValue(YWhiteOther);
    const double du = 13.0 * l1 * (uv1[0] - un) - 13.0 * l2 * (uv2[0] - un);
    const double dv = 13.0 * l1 * (uv1[1] - vn) - 13.0 * l2 * (uv2[1] - vn);
    const double dl = l1 - l2;
    return std::sqrt(dl * dl + du * du + dv * dv);
}

double CColor::GetDeltaE(double YWhite) const
{
    const CColor white = GetColorReference().GetWhite();
    return GetDeltaE(YWhite, white, 1.0);
}

double CColor::GetDeltaE(const CColor& other) const
{
    const auto uv = [](const CColor& c, double& u, double& v) {
        const CColor xyY = c.GetxyYValue();
        const double d = 12.0 * xyY[1] - 2.0 * xyY[0] + 3.0;
        u = 4.0 * xyY[0] / d;
        v = 9.0 * xyY[1] / d;
    };
    double u1, v1, u2, v2;
    uv(*this, u1, v1);
    uv(other, u2, v2);
    return 1300.0 * std::sqrt((u1 - u2) * (u1 - u2) + (v1 - v2) * (v1 - v2));
}

double CColor::GetDeltaxy(const CColor& other) const
{
    const CColor a = GetxyYValue();
    const CColor b = other.GetxyYValue();
    return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]));
}

int CColor::GetColorTemp() const
{
    const double xyz[3] = {(*this)[0], (*this)[1], (*this)[2]};
    double temp = 0.0;
    if (XYZtoCorColorTemp(xyz, &temp) == 0) {
        // Just beside the infinite-temperature line the temperature exceeds what
        // an int holds; converting it unchecked would be undefined.
        if (temp >= static_cast<double>(std::numeric_limits<int>::max()))
            return std::numeric_limits<int>::max();
        return static_cast<int>(temp);
    }
    const CColor rgb = GetRGBValue();
    return rgb[0] > rgb[2] ? 1499 : 12001;
}

CColor CColor::GetRGBValue() const
{
    if (IsNoData())
        return noDataColor;
    return CColor(GetColorReference().GetXYZtoRGBMatrix() * static_cast<const Matrix&>(*this));
}

void CColor::SetRGBValue(const CColor& rgb)
{
    if (rgb.IsNoData()) {
        *this = rgb;
        return;
    }
    SetXYZValue(CColor(GetColorReference().GetRGBtoXYZMatrix() * static_cast<const Matrix&>(rgb)));
}

int XYZtoCorColorTemp(const double* xyz, double* temp)
{
    if (!xyz || !temp)
        return -1;
    const double X = xyz[0];
    const double Y = xyz[1];
    const double Z = xyz[2];
    if (X < 1e-20 && Y < 1e-20 && Z < 1e-20)
        return -1;
    const double d = X + 15.0 * Y + 3.0 * Z;
    const double us = 4.0 * X / d;
    const double vs = 6.0 * Y / d;

    // Walk the isotemperature lines from hot to cold until the colour changes
    // side; it then lies between lines i - 1 and i.
    double di = 0.0;
    double dm = 0.0;
    int i = 0;
    for (; i < 31; ++i) {
        dm = di;
        di = (vs - kRobertson[i].v) - kRobertson[i].t * (us - kRobertson[i].u);
        if (i > 0 && ((dm >= 0.0 && di < 0.0) || (dm < 0.0 && di >= 0.0)))
            break;
    }
    if (i == 31)
        return -1;

    di /= std::sqrt(1.0 + kRobertson[i].t * kRobertson[i].t);
    dm /= std::sqrt(1.0 + kRobertson[i - 1].t * kRobertson[i - 1].t);
    const double p = dm / (dm - di);
    *temp = 1.0 / ((kRobertson[i].r - kRobertson[i - 1].r) * p + kRobertson[i - 1].r);
    return 0;
}
