#include "repeatstatistics.h"

#include "ccolor.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

using Xyz = RepeatStatistics::Xyz;

// Mean and sample deviation per channel of the readings marked in use, leaving
// out `skip` (-1 for none).
void spread(const std::vector<Xyz>& readings, const std::vector<bool>& use, int skip, Xyz* mean, Xyz* deviation,
            int* count)
{
    int n = 0;
    Xyz sum{};
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!use[i] || static_cast<int>(i) == skip)
            continue;
        ++n;
        for (int c = 0; c < 3; ++c)
            sum[c] += readings[i][c];
    }
    *count = n;
    for (int c = 0; c < 3; ++c)
        (*mean)[c] = n > 0 ? sum[c] / n : std::numeric_limits<double>::quiet_NaN();
    // Squares about the mean, not the sum-of-squares shortcut, which loses the
    // spread of bright readings to cancellation.
    Xyz squares{};
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!use[i] || static_cast<int>(i) == skip)
            continue;
        for (int c = 0; c < 3; ++c) {
            const double d = readings[i][c] - (*mean)[c];
            squares[c] += d * d;
        }
    }
    for (int c = 0; c < 3; ++c)
        (*deviation)[c] = n > 1 ? std::sqrt(squares[c] / (n - 1)) : 0.0;
}

} // namespace

RepeatStatistics::RepeatStatistics(std::vector<Xyz> readings, double luminanceFloor)
    : m_readings(std::move(readings))
    , m_floor(luminanceFloor)
{
    evaluate();
}

void RepeatStatistics::setReadings(std::vector<Xyz> readings)
{
    m_readings = std::move(readings);
    evaluate();
}

void RepeatStatistics::setLuminanceFloor(double floor)
{
    m_floor = floor;
    evaluate();
}

std::vector<int> RepeatStatistics::retakes() const
{
    std::vector<int> indices;
    for (size_t i = 0; i < m_rejections.size(); ++i) {
        if (m_rejections[i] != Rejection::None)
            indices.push_back(static_cast<int>(i));
    }
    return indices;
}

bool RepeatStatistics::isFailed(const Xyz& reading)
{
    for (const double v : reading) {
        if (!std::isfinite(v))
            return true;
    }
    return CColor(reading[0], reading[1], reading[2]).IsNoData();
}

void RepeatStatistics::evaluate()
{
    const size_t n = m_readings.size();
    m_rejections.assign(n, Rejection::None);
    std::vector<bool> usable(n, false);
    for (size_t i = 0; i < n; ++i) {
        if (isFailed(m_readings[i]))
            m_rejections[i] = Rejection::Failed;
        // Written so that a NaN floor rejects nothing rather than everything.
        else if (m_readings[i][1] < m_floor)
            m_rejections[i] = Rejection::BelowFloor;
        else
            usable[i] = true;
    }

    // Every usable reading against the others as they were, not one by one:
    // the verdicts do not depend on the order of the readings.
    for (size_t i = 0; i < n; ++i) {
        if (!usable[i])
            continue;
        Xyz mean;
        Xyz deviation;
        int others = 0;
        spread(m_readings, usable, static_cast<int>(i), &mean, &deviation, &others);
        if (others < 2)
            continue;
        for (int c = 0; c < 3; ++c) {
            const double sigma = std::max({deviation[c], SigmaFloorAbsolute, SigmaFloorRelative * std::fabs(mean[c])});
            if (std::fabs(m_readings[i][c] - mean[c]) > OutlierSigmas * sigma)
                m_rejections[i] = Rejection::Outlier;
        }
    }

    std::vector<bool> accepted(n, false);
    for (size_t i = 0; i < n; ++i)
        accepted[i] = m_rejections[i] == Rejection::None;
    spread(m_readings, accepted, -1, &m_mean, &m_deviation, &m_accepted);
}

QString RepeatStatistics::rejectionName(Rejection rejection)
{
    switch (rejection) {
    case Rejection::None:
        break;
    case Rejection::Failed:
        return QStringLiteral("failed");
    case Rejection::BelowFloor:
        return QStringLiteral("below floor");
    case Rejection::Outlier:
        return QStringLiteral("outlier");
    }
    return QString();
}

bool RepeatStatistics::rejectionFromName(const QString& name, Rejection* rejection)
{
    for (const Rejection r : {Rejection::Failed, Rejection::BelowFloor, Rejection::Outlier}) {
        if (name == rejectionName(r)) {
            *rejection = r;
            return true;
        }
    }
    return false;
}
