#include "ccolor.h"

#include "cspectrum.h"

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
