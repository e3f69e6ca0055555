#include "simulatedworld.h"

#include "readingnoise.h"

namespace {

size_t indexOf(SimulatedWorld::Instrument instrument)
{
    const int i = int(instrument);
    return i >= 0 && i < SimulatedWorld::kInstrumentCount ? size_t(i) : 0;
}

} // namespace

SimulatedWorld::SimulatedWorld(DisplayTechnology::Kind technology, std::uint32_t seed)
    : m_display(technology),
      m_random(seed)
{
}

DisplayModel SimulatedWorld::display() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_display;
}

void SimulatedWorld::setDisplayTechnology(DisplayTechnology::Kind technology)
{
    double gamma = 0.0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_display.kind() == technology)
            return;
        gamma = m_display.gamma();
    }
    // Built outside the lock: the spectra take a moment.
    DisplayModel display(technology, gamma);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_display = std::move(display);
}

DisplayTechnology::Kind SimulatedWorld::displayTechnology() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_display.kind();
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

Spectrum SimulatedWorld::trueSpectrumLocked() const
{
    if (m_screenPatch) {
        const std::array<int, 3>& rgb = *m_screenPatch;
        const Rgb level{{rgb[0] / 255.0, rgb[1] / 255.0, rgb[2] / 255.0}};
        return m_display.spectrum(level, factoryGains());
    }
    return m_display.spectrum(m_patch, m_gains);
}

Spectrum SimulatedWorld::trueSpectrum() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return trueSpectrumLocked();
}

Xyz SimulatedWorld::trueReading() const
{
    return Observer::cie1931().xyz(trueSpectrum());
}

Xyz SimulatedWorld::referenceReading() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reference.xyz(trueSpectrumLocked());
}

const ColorimeterModel& SimulatedWorld::sensorModel(Instrument instrument)
{
    // In the order of Instrument.
    static const std::vector<ColorimeterModel> models{ColorimeterModel::ca410(), ColorimeterModel::cr100(),
                                                      ColorimeterModel::cr250(), ColorimeterModel::i1DisplayPro(),
                                                      ColorimeterModel::k10()};
    return models[indexOf(instrument)];
}

Xyz SimulatedWorld::sensorReading(Instrument instrument)
{
    const ColorimeterModel& model = sensorModel(instrument);
    std::lock_guard<std::mutex> lock(m_mutex);
    const Xyz reading = model.reading(trueSpectrumLocked());
    if (m_noise <= 0.0 && m_noiseFloor <= 0.0)
        return reading;
    return noisyReading(reading, m_random, m_noise, m_noiseFloor);
}

std::array<std::array<double, 3>, 3> SimulatedWorld::mismatch(Instrument instrument) const
{
    const ColorimeterModel& model = sensorModel(instrument);
    const DisplayModel display = this->display();
    Vec3 read[3], truth[3];
    for (int c = 0; c < 3; ++c) {
        const Spectrum& primary = display.technology().primary(DisplayTechnology::Primary(c));
        read[c] = model.reading(primary);
        truth[c] = Observer::cie1931().xyz(primary);
    }
    // Readings = E x truths for the three primaries, so E = readings x truths^-1.
    const Matrix3 e = Matrix3::fromColumns(read[0], read[1], read[2])
                      * Matrix3::fromColumns(truth[0], truth[1], truth[2]).inverted();
    std::array<std::array<double, 3>, 3> rows{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            rows[size_t(r)][size_t(c)] = e(r, c);
    }
    return rows;
}

void SimulatedWorld::setNoise(double relative, double floor)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_noise = relative > 0.0 ? relative : 0.0;
    m_noiseFloor = floor > 0.0 ? floor : 0.0;
}

double SimulatedWorld::noise() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_noise;
}

double SimulatedWorld::noiseFloor() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_noiseFloor;
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
