#ifndef STALLPROBE_H
#define STALLPROBE_H

#include <QElapsedTimer>
#include <QTimer>

// A timer on the main thread every 10 ms; the longest gap between two of its
// ticks is how long the window stood still.
class StallProbe
{
public:
    StallProbe()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] { maxGap = qMax(maxGap, clock.restart()); });
        clock.start();
        timer.start();
    }
    qint64 longestGap() { return qMax(maxGap, clock.elapsed()); }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 maxGap = 0;
};

#endif // STALLPROBE_H
