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
    // The readings brighter than every later one, latest first.
    QVector<int> chain;
    double laterBrightest = 0.0;
    for (int i = readings.size() - 1; i >= 0; --i) {
        const auto& corrected = readings[i].corrected;
        if (!usable(corrected) || corrected->y <= laterBrightest)
            continue;
        chain.append(i);
        laterBrightest = corrected->y;
    }
    if (chain.isEmpty())
        return -1;
    int k = chain.size() - 1;
    while (k > 0 && readings[chain[k - 1]].corrected->y >= FinalWhiteShare * readings[chain[k]].corrected->y)
        --k;
    return chain[k];
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
    // A white read exactly at the edge passes, whatever the last bit of the
    // subtraction says.
    const double edge = m_tolerance * (1.0 + 1e-9);
    return std::abs(white.x - m_targetX) <= edge && std::abs(white.y - m_targetY) <= edge;
}

QString SessionVerdict::judge(const std::optional<SessionRecord::White>& white, bool ended) const
{
    if (!ended)
        return SessionRecord::incomplete();
    return white && isOnTarget(*white) ? SessionRecord::pass() : SessionRecord::fail();
}
