#ifndef REPEATSTATISTICS_H
#define REPEATSTATISTICS_H

#include <QString>

#include <array>
#include <vector>

// What the repeated readings of one patch by one instrument (XYZ, cd/m²) come
// to: which must be taken again, and the mean and standard deviation per
// channel of the others. A reading to be taken again never counts.
//
// A reading is taken again when it failed (a component is not finite, or it is
// the colour library's no-data marker), when its luminance Y is below the
// floor, or when it is an outlier: more than OutlierSigmas standard deviations
// from the mean of the other usable readings in any channel. Each reading is
// judged against the others alone, so an outlier cannot widen the spread it is
// judged by; at least two others are needed to judge one at all.
class RepeatStatistics
{
public:
    using Xyz = std::array<double, 3>;

    enum class Rejection { None, Failed, BelowFloor, Outlier };

    // Below this a colorimeter mostly reads its own noise and dark offset, so
    // a reading there says little about the patch: a working display shows
    // even its darkest test patch (grey 10 %) well above it, and a reading this
    // low means the probe is off the screen or covered.
    static constexpr double DefaultLuminanceFloor = 0.05;
    static constexpr double OutlierSigmas = 5.0;
    // The least spread an outlier is judged against. Instruments report a
    // fixed number of digits, so repeats of a steady patch often agree to the
    // last one and their spread is 0: a reading one digit off would then be
    // "infinitely" far out. The floor is a few last digits: 0.001 cd/m² near
    // black, and a ten-thousandth of the value on bright patches, where an
    // instrument's last digit is worth more.
    static constexpr double SigmaFloorAbsolute = 0.001;
    static constexpr double SigmaFloorRelative = 1e-4;

    explicit RepeatStatistics(std::vector<Xyz> readings = {}, double luminanceFloor = DefaultLuminanceFloor);

    void setReadings(std::vector<Xyz> readings);
    const std::vector<Xyz>& readings() const { return m_readings; }
    void setLuminanceFloor(double floor);
    double luminanceFloor() const { return m_floor; }

    Rejection rejection(int index) const { return m_rejections.at(static_cast<size_t>(index)); }
    const std::vector<Rejection>& rejections() const { return m_rejections; }
    // The indices of the readings to take again, in order.
    std::vector<int> retakes() const;
    int acceptedCount() const { return m_accepted; }

    // Of the accepted readings; NaN when none is, and a deviation of 0 for one.
    Xyz mean() const { return m_mean; }
    // The sample standard deviation (n - 1).
    Xyz standardDeviation() const { return m_deviation; }

    // "failed", "below floor", "outlier"; empty for None. The session file keeps these.
    static QString rejectionName(Rejection rejection);
    // The inverse; false for a text that names none (None has no name).
    static bool rejectionFromName(const QString& name, Rejection* rejection);

    // Whether the reading failed outright, as the instrument layer marks it.
    static bool isFailed(const Xyz& reading);

private:
    void evaluate();

    std::vector<Xyz> m_readings;
    double m_floor;
    std::vector<Rejection> m_rejections;
    int m_accepted = 0;
    Xyz m_mean{};
    Xyz m_deviation{};
};

#endif // REPEATSTATISTICS_H
