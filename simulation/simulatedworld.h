#ifndef SIMULATEDWORLD_H
#define SIMULATEDWORLD_H

#include "displaymodel.h"

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
// paints. Each sensor has its own fixed error against this display type (a 3x3
// mismatch near identity) and a little noise; the reference instrument has
// neither. All members are safe from any thread.
class SimulatedWorld
{
public:
    enum class Instrument { CA410, CR100, CR250, I1DisplayPro, K10 };
    static constexpr int kInstrumentCount = 5;

    explicit SimulatedWorld(const DisplayModel& display = DisplayModel(), std::uint32_t seed = 20261206u);

    const DisplayModel& display() const { return m_display; }

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

    // True XYZ of what the instruments look at now.
    Xyz trueReading() const;
    // The reference instrument's reading: the true value.
    Xyz referenceReading() const { return trueReading(); }
    // A sensor's reading: its mismatch applied to the true value, plus noise.
    Xyz sensorReading(Instrument instrument);
    // The sensor's fixed mismatch, row by row (reading = mismatch x true).
    std::array<std::array<double, 3>, 3> mismatch(Instrument instrument) const;
    // Relative noise (one standard deviation) of each reading; 0 switches it off.
    void setNoise(double relative);
    double noise() const;

    // The white the display under alignment shows at full drive with its
    // current gains, and its distance from the target white in u'v'.
    Xyz trueWhite() const;
    double trueWhiteError() const;

    static std::string instrumentName(Instrument instrument);

private:
    Xyz trueReadingLocked() const;

    mutable std::mutex m_mutex;
    const DisplayModel m_display;
    Rgb m_patch{{1.0, 1.0, 1.0}};
    Rgb m_gains{{1.0, 1.0, 1.0}};
    std::optional<std::array<int, 3>> m_screenPatch;
    double m_noise = 0.0002;
    std::mt19937 m_random;
};

#endif // SIMULATEDWORLD_H
