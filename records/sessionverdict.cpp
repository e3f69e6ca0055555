#include "sessionverdict.h"

#include <cmath>

namespace {

bool usable(const std::optional<SessionRecord::Xyz>& xyz)
{
    return xyz && std::isfinite(xyz->x) && std::isfinite(xyz->y) && std::isfinite(xyz->z) && xyz->y > 0.0
        && xyz->x + xyz->y + xyz->z > 0.0;
}

} // namespace

SessionVerdict::SessionVerdict(double targetX, double targetY, double tolerance)
    : m_targetX(targetX), m_targetY(targetY), m_tolerance(tolerance)
{
}

int SessionVerdict::finalWhiteIndex(const QVector<SessionRecord::Reading>& readings)
{
    double brightest = 0.0;
    for (const SessionRecord::Reading& reading : readings) {
        if (usable(reading.corrected))
            brightest = std::max(brightest, reading.corrected->y);
    }
    if (brightest <= 0.0)
        return -1;
    for (int i = readings.size() - 1; i >= 0; --i) {
        const auto& corrected = readings[i].corrected;
        if (usable(corrected) && corrected->y >= FinalWhiteShare * brightest)
            return i;
    }
    return -1;
}

std::optional<SessionRecord::White> SessionVerdict::whiteOf(const SessionRecord::Xyz& xyz)
{
    const double sum = xyz.x + xyz.y + xyz.z;
    if (!std::isfinite(sum) || sum <= 0.0)
        return std::nullopt;
    return SessionRecord::White{xyz.x / sum, xyz.y / sum, xyz.y};
}

bool SessionVerdict::isOnTarget(const SessionRecord::White& white) const
{
    return std::abs(white.x - m_targetX) <= m_tolerance && std::abs(white.y - m_targetY) <= m_tolerance;
}

QString SessionVerdict::judge(const std::optional<SessionRecord::White>& white, bool ended) const
{
    if (!ended)
        return SessionRecord::incomplete();
    return white && isOnTarget(*white) ? SessionRecord::pass() : SessionRecord::fail();
}
