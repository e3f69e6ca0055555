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

    // CIE 1976 forms relative to the current reference's white scaled to YWhite.
    CColor GetLabValue(double YWhite) const;
    // L* against YWhite alone; 0 for no data, 100 for a white luminance <= 0.
    double GetLValue(double YWhite) const;
    // (L*, C*, h) with the hue in degrees, 0 <= h < 360.
    CColor GetLCHValue(double YWhite) const;
    // From (L*, a*, b*) against the unscaled reference white; keeps the spectrum.
    void SetLabValue(const CColor& lab);

    // CIE 1976 L*u*v* difference, each colour against its own white luminance.
    double GetDeltaE(double YWhite, const CColor& other, double YWhiteOther) const;
    // The same difference from the reference white.
    double GetDeltaE(double YWhite) const;
    // 1300 times the distance of the two colours in the u'v' diagram.
    double GetDeltaE(const CColor& other) const;
    double GetDeltaxy(const CColor& other) const;

    // Correlated colour temperature in kelvin. Colours the isotemperature table
    // does not cover read 1499 when reddish and 12001 otherwise.
    int GetColorTemp() const;

    // Linear RGB in the current reference; SetRGBValue keeps the spectrum.
    CColor GetRGBValue() const;
    void SetRGBValue(const CColor& rgb);

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

// Correlated colour temperature of xyz[0..2] by Robertson's method. Returns 0 with
// the temperature in kelvin in *temp, or -1 for a colour too close to black or
// outside the table (below 1667 K or beyond the infinite-temperature line).
int XYZtoCorColorTemp(const double* xyz, double* temp);

Q_DECLARE_METATYPE(CColor)

#endif // CCOLOR_H
