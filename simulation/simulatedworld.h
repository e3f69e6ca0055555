#ifndef SIMULATEDWORLD_H
#define SIMULATEDWORLD_H

#include "colorimetermodel.h"
#include "displaymodel.h"
#include "spectroradiometer.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

// What every simulated instrument looks at, shared by the threads that serve
// them: the display under alignment (the patch its firmware shows, through its
// gains) or, while the calibrate dialog is on the screen, the patch that dialog
// paints, as the spectrum the display's technology emits. Each sensor is a
// colorimeter whose filters miss the CIE observer in their own way, so its
// error depends on the technology, plus a little noise; the reference
// instrument is a spectroradiometer and has neither. All members are safe
// from any thread.
class SimulatedWorld
{
public:
    enum class Instrument { CA410, CR100, CR250, I1DisplayPro, K10 };
    static constexpr int kInstrumentCount = 5;

    explicit SimulatedWorld(DisplayTechnology::Kind technology = DisplayTechnology::Kind::WhiteLedLcd,
                            std::uint32_t seed = 20261206u);

    // The display under alignment, as it is now.
    DisplayModel display() const;
    // Another panel on the stand: same gamma, patch and gains, another
    // technology's spectra.
    void setDisplayTechnology(DisplayTechnology::Kind technology);
    DisplayTechnology::Kind displayTechnology() const;

    // The display under alignment: the drive levels of the patch its firmware
    // shows, and its gains.
    void setDisplayPatch(const Rgb& level);
    Rgb displayPatch() const;
    void setDisplayGains(const Rgb& gains);
    Rgb displayGains() const;
    // The firmware's gains when it leaves the factory (1, 1, 1).
    static Rgb factoryGains();

    // The patch another window paints for the instruments, as 8-bit RGB; none
    // while no such window is shown. It is shown by the same display type at
    // factory gains.
    void setScreenPatch(const std::optional<std::array<int, 3>>& rgb8);
    std::optional<std::array<int, 3>> screenPatch() const;

    // The spectrum of what the instruments look at now, and its true XYZ.
    Spectrum trueSpectrum() const;
    Xyz trueReading() const;
    // The reference instrument's reading: the spectroradiometer's XYZ of the
    // spectrum, without noise.
    Xyz referenceReading() const;
    // A sensor's reading: its colorimeter's reading of the spectrum, plus noise.
    Xyz sensorReading(Instrument instrument);
    // The colorimeter a sensor is.
    static const ColorimeterModel& sensorModel(Instrument instrument);
    // The sensor's error on the current technology's primaries, row by row:
    // for a display without a white sub-pixel, reading = mismatch x true for
    // every colour it shows.
    std::array<std::array<double, 3>, 3> mismatch(Instrument instrument) const;
    // Noise of each reading: a relative standard deviation along the XYZ
    // vector, and an absolute one (cd/m2) on each channel that tells at low
    // light. 0 and 0 switch it off.
    void setNoise(double relative, double floor = 0.0);
    double noise() const;
    double noiseFloor() const;

    // The white the display under alignment shows at full drive with its
    // current gains, and its distance from the target white in u'v'.
    Xyz trueWhite() const;
    double trueWhiteError() const;

    static std::string instrumentName(Instrument instrument);

private:
    Spectrum trueSpectrumLocked() const;

    mutable std::mutex m_mutex;
    DisplayModel m_display;
    Spectroradiometer m_reference;
    Rgb m_patch{{1.0, 1.0, 1.0}};
    Rgb m_gains{{1.0, 1.0, 1.0}};
    std::optional<std::array<int, 3>> m_screenPatch;
    double m_noise = 0.0002;
    double m_noiseFloor = 0.001;
    std::mt19937_64 m_random;
};

#endif // SIMULATEDWORLD_H
