#include "stallprobe.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kIntervalMs = 10;
}

StallProbe::StallProbe(QObject* parent)
    : QObject(parent)
{
    // A coarse timer may fire up to 5 % late by design, which would read as stalls.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &StallProbe::tick);
}

void StallProbe::start()
{
    m_gapsMs.clear();
    m_ticks = 0;
    m_clock.start();
    m_lastNs = 0;
    m_timer.start();
}

void StallProbe::stop()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    recordGap();
}

void StallProbe::tick()
{
    ++m_ticks;
    recordGap();
}

void StallProbe::recordGap()
{
    const qint64 now = m_clock.nsecsElapsed();
    m_gapsMs.push_back(double(now - m_lastNs) / 1e6);
    m_lastNs = now;
}

double StallProbe::longestGapMs() const
{
    return m_gapsMs.empty() ? 0.0 : *std::max_element(m_gapsMs.begin(), m_gapsMs.end());
}

double StallProbe::longestGapSoFarMs() const
{
    const double open = m_timer.isActive() ? double(m_clock.nsecsElapsed() - m_lastNs) / 1e6 : 0.0;
    return std::max(longestGapMs(), open);
}

double StallProbe::percentileGapMs(double p) const
{
    if (m_gapsMs.empty())
        return 0.0;
    std::vector<double> sorted = m_gapsMs;
    std::sort(sorted.begin(), sorted.end());
    const double clamped = std::clamp(p, 0.0, 100.0);
    const auto rank = std::size_t(std::ceil(clamped / 100.0 * double(sorted.size())));
    return sorted[rank == 0 ? 0 : rank - 1];
}
