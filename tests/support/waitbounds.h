#ifndef WAITBOUNDS_H
#define WAITBOUNDS_H

#include "stallprobe.h"

#include <QElapsedTimer>
#include <QtTest>

// The longest the window may stand still while an instrument is silent, and
// the longest a cancel may take to end a serial wait.
constexpr qint64 kMaxStallMs = 50;
constexpr qint64 kMaxCancelMs = 100;

// Fails the test when the probe's thread has stood still longer than the bound.
#define VERIFY_NO_STALL(probe)                                                                       \
    do {                                                                                             \
        const double stoodStillMs = (probe).longestGapSoFarMs();                                     \
        QVERIFY2(stoodStillMs <= kMaxStallMs,                                                        \
                 qPrintable(QStringLiteral("the main thread stood still %1 ms").arg(stoodStillMs))); \
    } while (false)

// Fails the test when more time than a cancel may take has passed on clock.
#define VERIFY_CANCEL_IN_TIME(clock)                                                                 \
    do {                                                                                             \
        const qint64 tookMs = (clock).elapsed();                                                     \
        QVERIFY2(tookMs <= kMaxCancelMs, qPrintable(QStringLiteral("the cancel took %1 ms").arg(tookMs))); \
    } while (false)

#endif // WAITBOUNDS_H
