#include "simulatedworld.h"

namespace {

using Mismatch = std::array<std::array<double, 3>, 3>;

// Each sensor's error against this display type, row by row: a few percent on
// the diagonal and across, as a colorimeter's filters give. Fixed so that every
// run of the station tells the same story: a display aligned through one of
// them with no correction ends 0.004 to 0.009 u'v' off its target.
const Mismatch kMismatch[SimulatedWorld::kInstrumentCount] = {
    // CA410
    {{{1.016, 0.008, -0.004}, {0.003, 0.990, 0.006}, {-0.002, 0.011, 1.032}}},
    // CR-100
    {{{0.985, -0.012, 0.006}, {0.007, 1.009, -0.005}, {0.004, -0.008, 0.978}}},
    // CR-250
    {{{1.018, 0.014, 0.003}, {-0.006, 0.991, 0.009}, {0.005, -0.004, 0.972}}},
    // i1Display Pro
    {{{0.979, 0.016, -0.007}, {0.011, 1.006, 0.004}, {-0.009, 0.013, 1.024}}},
    // K-10
    {{{0.988, -0.017, 0.010}, {-0.004, 1.015, -0.008}, {0.008, 0.006, 1.026}}},
};

size_t indexOf(SimulatedWorld::Instrument instrument)
{
    const int i = int(instrument);
    return i >= 0 && i < SimulatedWorld::kInstrumentCount ? size_t(i) : 0;
}

} // namespace

SimulatedWorld::SimulatedWorld(const DisplayModel& display, std::uint32_t seed)
    : m_display(display),
      m_random(seed)
{
}

void SimulatedWorld::setDisplayPatch(const Rgb& level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_patch = level;
}

Rgb SimulatedWorld::displayPatch() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_patch;
}

void SimulatedWorld::setDisplayGains(const Rgb& gains)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_gains = gains;
}

Rgb SimulatedWorld::displayGains() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_gains;
}

Rgb SimulatedWorld::factoryGains()
{
    return {{1.0, 1.0, 1.0}};
}

void SimulatedWorld::setScreenPatch(const std::optional<std::array<int, 3>>& rgb8)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_screenPatch = rgb8;
}

std::optional<std::array<int, 3>> SimulatedWorld::screenPatch() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_screenPatch;
}

Xyz SimulatedWorld::trueReadingLocked() const
{
    if (m_screenPatch) {
        const std::array<int, 3>& rgb = *m_screenPatch;
        const Rgb level{{rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0}};
        return m_display.emitted(level, factoryGains());
    }
    return m_display.emitted(m_patch, m_gains);
}

Xyz SimulatedWorld::trueReading() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return trueReadingLocked();
}

Xyz SimulatedWorld::sensorReading(Instrument instrument)
{
    const Mismatch& k = kMismatch[indexOf(instrument)];
    std::lock_guard<std::mutex> lock(m_mutex);
    const Xyz truth = trueReadingLocked();
    Xyz reading{};
    for (size_t row = 0; row < 3; ++row) {
        for (size_t col = 0; col < 3; ++col)
            reading[row] += k[row][col] * truth[col];
    }
    if (m_noise > 0.0) {
        std::normal_distribution<double> gauss(0.0, m_noise);
        for (double& v : reading)
            v *= 1.0 + gauss(m_random);
    }
    return reading;
}

std::array<std::array<double, 3>, 3> SimulatedWorld::mismatch(Instrument instrument) const
{
    return kMismatch[indexOf(instrument)];
}

void SimulatedWorld::setNoise(double relative)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_noise = relative > 0.0 ? relative : 0.0;
}

double SimulatedWorld::noise() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_noise;
}

Xyz SimulatedWorld::trueWhite() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_display.emitted(Rgb{{1.0, 1.0, 1.0}}, m_gains);
}

double SimulatedWorld::trueWhiteError() const
{
    return DisplayModel::whiteError(trueWhite());
}

std::string SimulatedWorld::instrumentName(Instrument instrument)
{
    switch (instrument) {
    case Instrument::CA410: return "CA410";
    case Instrument::CR100: return "CR-100";
    case Instrument::CR250: return "CR-250";
    case Instrument::I1DisplayPro: return "i1Display Pro";
    case Instrument::K10: return "K-10";
    }
    return std::string();
}
