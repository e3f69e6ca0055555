#ifndef CCOLOR_H
#define CCOLOR_H

#include "matrix.h"

#include <QMetaType>

#include <memory>

class CSpectrum;

// A colour value: a 3 x 1 matrix of X, Y, Z (or another triple such as x, y, Y)
// that owns an optional spectrum. Copies deep-copy the spectrum.
class CColor : public Matrix
{
public:
    CColor();
    CColor(double c0, double c1, double c2);
    // Chromaticity (x, y) at luminance 1.
    CColor(double x, double y);
    // Takes the components of a 3 x 1 matrix; a matrix of any other size (for
    // example the empty result of a failed product) gives the no-data colour.
    CColor(const Matrix& m);
    CColor(const CColor& other);
    CColor(CColor&& other) noexcept;
    CColor& operator=(const CColor& other);
    CColor& operator=(CColor&& other) noexcept;
    ~CColor();

    double& operator[](int i);
    double operator[](int i) const;

    bool IsNoData() const;

    CColor GetXYZValue() const;
    void SetXYZValue(const CColor& c);
    double GetLuminance() const;
    CColor GetxyYValue() const;
    void SetxyYValue(const CColor& xyY);
    CColor GetuvYValue() const;
    CColor GetSensorValue() const;

    bool HasSpectrum() const;
    void SetSpectrum(const CSpectrum& s);
    void ResetSpectrum();
    CSpectrum GetSpectrum() const;

private:
    std::unique_ptr<CSpectrum> m_spectrum;
};

// Marks a reading that failed: all three components -99999.99, no spectrum.
// Conversions pass it through unchanged.
extern const CColor noDataColor;

Q_DECLARE_METATYPE(CColor)

#endif // CCOLOR_H
