#include "cspectrum.h"

#include "ccolor.h"

#include <cmath>
#include <limits>

namespace {
constexpr int kGridStart = 380;
constexpr int kGridLastInterval = 779;
} // namespace

CSpectrum::CSpectrum() = default;

CSpectrum::CSpectrum(int start, int end, int count)
    : m_start(start), m_end(end), m_count(count), m_samples(count > 0 ? count : 0, 0.0f)
{
}

CSpectrum::CSpectrum(int n, int start, int end, int count)
    : Matrix(0.0, n, 1), m_start(start), m_end(end), m_count(count)
{
}

CSpectrum::CSpectrum(int n, int start, int end, int count, const double* values)
    : Matrix(values, n, 1), m_start(start), m_end(end), m_count(count)
{
}

bool CSpectrum::SetData(int offset, int count, const float* values)
{
    if (offset < 0 || qint64(offset) + count > m_samples.size())
        return false;
    if (count <= 0)
        return true;
    if (!values)
        return false;
    float* samples = m_samples.data();
    for (int i = 0; i < count; ++i)
        samples[offset + i] = values[i];
    return true;
}

float CSpectrum::GetData(float wavelength) const
{
    const int n = m_samples.size();
    if (n == 0 || std::isnan(wavelength))
        return std::numeric_limits<float>::quiet_NaN();
    if (n == 1)
        return m_samples[0];

    // Clamp before converting so that huge or infinite wavelengths stay defined.
    const float floored = std::floor(wavelength);
    int i = floored < kGridStart ? kGridStart
          : floored > kGridLastInterval ? kGridLastInterval
          : static_cast<int>(floored);
    if (i - kGridStart + 1 >= n)
        i = kGridStart + n - 2;
    const float f = wavelength - static_cast<float>(i);
    const float s0 = m_samples[i - kGridStart];
    const float s1 = m_samples[i - kGridStart + 1];
    return s0 + f * (s1 - s0);
}

double& CSpectrum::operator[](int i)
{
    return (*this)(i, 0);
}

double CSpectrum::operator[](int i) const
{
    return (*this)(i, 0);
}

CColor CSpectrum::GetXYZValue() const
{
    return noDataColor;
}
