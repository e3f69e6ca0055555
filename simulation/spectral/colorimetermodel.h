#ifndef COLORIMETERMODEL_H
#define COLORIMETERMODEL_H

#include "matrix3.h"
#include "observer.h"
#include "spectrum.h"

#include <QString>

#include <array>
#include <vector>

// How a channel's filter set falls short of its colour-matching function: the
// whole curve shifted, widened or narrowed about its peak, and a small side
// lobe (a filter's leak or the silicon's response past the glass' edge).
struct ChannelDeformation {
    double shiftNm = 0.0;
    double widthScale = 1.0;
    double lobeNm = 0.0;
    double lobeFwhmNm = 0.0;
    // Relative to the channel's peak.
    double lobeHeight = 0.0;
};

// What a maker calibrates an instrument on: a few spectra whose true XYZ the
// instrument is made to read.
struct CalibrationSource {
    QString name;
    std::vector<Spectrum> spectra;

    // A light through red, green and blue glass: three spectra far enough
    // apart to fix all nine coefficients.
    static CalibrationSource throughGlass(const QString& name, const Spectrum& light);
    // Illuminant A through the glass, the photometric lab's classic.
    static CalibrationSource filteredIlluminantA();
    // A phosphor white LED through the glass.
    static CalibrationSource filteredWhiteLed();
};

// A tristimulus colorimeter: three channels whose sensitivities approximate
// x̄, ȳ, z̄, and the 3 x 3 matrix its maker stores so that it reads its
// calibration source right. A reading is that matrix times the channels'
// responses.
class ColorimeterModel
{
public:
    ColorimeterModel(const QString& name, const std::array<ChannelDeformation, 3>& deformations,
                     const CalibrationSource& source, const Observer& observer = Observer::cie1931());

    // Sensitivities equal to the observer's functions.
    static ColorimeterModel ideal(const Observer& observer = Observer::cie1931());
    static ColorimeterModel ca410(const Observer& observer = Observer::cie1931());
    static ColorimeterModel i1DisplayPro(const Observer& observer = Observer::cie1931());
    static ColorimeterModel k10(const Observer& observer = Observer::cie1931());
    static ColorimeterModel cr100(const Observer& observer = Observer::cie1931());
    static ColorimeterModel cr250(const Observer& observer = Observer::cie1931());
    static std::vector<ColorimeterModel> all(const Observer& observer = Observer::cie1931());

    const QString& name() const { return m_name; }
    const Spectrum& sensitivity(int channel) const { return m_sensitivities[static_cast<std::size_t>(channel)]; }
    const CalibrationSource& calibrationSource() const { return m_source; }
    const Matrix3& factoryMatrix() const { return m_factory; }

    // The channels' responses before the factory matrix.
    Vec3 raw(const Spectrum& spd) const;
    Vec3 reading(const Spectrum& spd) const;

    // The channel's spectral mismatch f1′ against the observer's function,
    // as a fraction: the sensitivity normalised so that it reads Illuminant A
    // as the function does, then ∫|s* − t| dλ / ∫t dλ. Illuminant A
    // normalises every channel, not only ȳ, so the three are comparable.
    double f1Prime(int channel, const Observer& observer = Observer::cie1931()) const;
    static double f1Prime(const Spectrum& sensitivity, const Spectrum& target);

private:
    QString m_name;
    std::array<Spectrum, 3> m_sensitivities;
    CalibrationSource m_source;
    Matrix3 m_factory;
};

#endif // COLORIMETERMODEL_H
