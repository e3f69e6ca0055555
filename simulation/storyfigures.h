#ifndef STORYFIGURES_H
#define STORYFIGURES_H

#include "matrix.h"

#include <QStringList>

#include <limits>
#include <optional>

// The figures of one play of the simulated station's story, and what they
// must be for it to have come out right: an uncorrected sensor leaves its own
// error on the display, a calibrated one puts the white on target, and the
// profile brings the same matrix back. Errors are the display's true white
// error, in u'v' from D65.
struct StoryFigures {
    static constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    // The alignment's tolerance: the calibrated sensor must meet it, the
    // uncorrected one must miss it. A sensor factory-calibrated on a light
    // like the display's misses by only about a thousandth, so the story asks
    // no more of it.
    static constexpr double kCorrectedBelow = 0.0005;
    static constexpr double kUncorrectedAtLeast = kCorrectedBelow;
    static constexpr double kMatrixTolerance = 1e-6;
    // What a matched sensor may leave on colours it was not corrected on: the
    // certificate's own tolerance in xy.
    static constexpr double kMatchedBelow = 0.002;

    double factoryWhiteError = kNone;   // the display as it leaves the factory
    double identityWhiteError = kNone;  // aligned with the sensor uncorrected
    double correctedWhiteError = kNone; // aligned with the calibrated sensor
    double reopenedWhiteError = kNone;  // aligned again after starting anew with the profile
    Matrix matrix = Matrix::IdentityMatrix(3);         // the calibrated matrix in use
    Matrix reopenedMatrix = Matrix::IdentityMatrix(3); // in use after reopening the profile
    QString profilePath;
    // The recommended matching method's largest validation error in xy; none
    // for a story without a matching step, NaN for one whose run came to nothing.
    std::optional<double> matchedValidationDeltaXy;

    // Alignments the story ran, and the sessions the records then held with
    // the verdict of each; an alignment must leave one session that passed
    // (the white the display was told is on target). No records: none kept.
    int alignmentRuns = 0;
    int keptSessions = -1;
    QStringList keptVerdicts;
    // The largest difference between an element of the reopened matrix and the saved one.
    double reopenedMatrixDrift() const;
    // One sentence for each figure that is not as it must be; empty when all are.
    QStringList whatIsWrong() const;
};

#endif // STORYFIGURES_H
