#ifndef MATCHINGTABLE_H
#define MATCHINGTABLE_H

#include "certificate.h"
#include "matchingsample.h"
#include "patchset.h"
#include "simulatedworld.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// What sensor matching makes of each simulated sensor on each display
// technology: the patch set shown on the screen at factory gains, each patch
// read a few times by the sensor (with its noise) and by the reference
// spectroradiometer, and the certificate of every standard method worked out
// from the means. Everything runs in the process, straight against the
// world's instruments, so the whole table takes a moment.
class MatchingTable
{
public:
    static constexpr int kDefaultRepeats = 3;

    struct Row {
        DisplayTechnology::Kind display = DisplayTechnology::Kind::WhiteLedLcd;
        SimulatedWorld::Instrument sensor = SimulatedWorld::Instrument::CA410;
        // The patches in the set's order, each the means of its readings.
        std::vector<MatchingSample> samples;
        Certificate certificate;
    };

    // One matching run on the world: each patch shown on its screen patch and
    // read `repeats` times by both instruments, a reading the run would take
    // again (failed, below the luminance floor, an outlier) taken again by
    // both. The screen patch is left as it was.
    static std::vector<MatchingSample> measure(SimulatedWorld& world, SimulatedWorld::Instrument sensor,
                                               const PatchSet& patches, int repeats = kDefaultRepeats);
    // The run and its certificate with the standard methods.
    static Row run(SimulatedWorld& world, SimulatedWorld::Instrument sensor, const PatchSet& patches,
                   int repeats = kDefaultRepeats);

    // Every technology and every sensor on the default patch set: displays in
    // the order of DisplayTechnology::kinds(), then sensors in the order of
    // SimulatedWorld::Instrument. One world per technology, seeded, so the
    // table is the same on every run.
    static std::vector<Row> compute(std::uint32_t seed = 20261206u, int repeats = kDefaultRepeats);

    // The table for a person: a line per technology and sensor with each
    // method's largest validation du'v' and dxy, the method recommended and
    // the verdict.
    static QString text(const std::vector<Row>& rows);
    // The fixed shape outside checks read: a list, one object per
    // technology, sensor and method, of {"display", "sensor", "method",
    // "max_delta_uv", "max_delta_xy", "mean_delta_uv" (null for a method that
    // was refused), "recommended"}.
    static QByteArray json(const std::vector<Row>& rows);
    // What is not as a run on the simulated world must come out: a patch of
    // which no reading counted, a method refused or a figure that is no
    // number; empty when all is well.
    static QStringList whatIsWrong(const std::vector<Row>& rows);
};

#endif // MATCHINGTABLE_H
