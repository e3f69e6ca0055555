#ifndef STALLPROBE_H
#define STALLPROBE_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <vector>

// Measures how long the event loop of the thread it lives in goes without
// running: a precise 10 ms timer ticks while the loop runs, and each gap
// between ticks is kept. A call that blocks the loop shows as one long gap.
class StallProbe : public QObject
{
    Q_OBJECT

public:
    explicit StallProbe(QObject* parent = nullptr);

    // Forgets the gaps of an earlier run and starts ticking.
    void start();
    // Stops ticking; the time since the last tick counts as a gap, so a
    // stall at the very end is not lost.
    void stop();

    int tickCount() const { return m_ticks; }
    double longestGapMs() const;
    // While it ticks: the longest gap so far, the one still open included.
    double longestGapSoFarMs() const;
    // The gap that p percent of the gaps do not exceed (nearest rank), for
    // example 99 for the 99th percentile; 0 with no gaps.
    double percentileGapMs(double p) const;

private:
    void tick();
    void recordGap();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastNs = 0;
    int m_ticks = 0;
    std::vector<double> m_gapsMs;
};

#endif // STALLPROBE_H
