#ifndef MATRIXTABLE_H
#define MATRIXTABLE_H

#include "simulatedworld.h"

#include <QString>

#include <optional>
#include <vector>

// How well a sensor's correction carries from one display technology to
// another: for every sensor and technology, the white error the display's own
// alignment leaves uncorrected, with the 4-colour matrix made on the same
// technology, and with the matrix made on each other one. Everything runs in
// the process, straight against the world's instruments, so the whole table
// takes a moment rather than the instruments' measuring times.
class MatrixTable
{
public:
    struct Row {
        SimulatedWorld::Instrument sensor = SimulatedWorld::Instrument::CA410;
        DisplayTechnology::Kind display = DisplayTechnology::Kind::WhiteLedLcd;
        // None: uncorrected.
        std::optional<DisplayTechnology::Kind> matrixFrom;
        // The aligned display's true white, in u'v' from D65.
        double whiteDeltaUv = 0.0;
    };

    using Matrix3x3 = std::array<std::array<double, 3>, 3>;

    // The correction matrix the program computes from the sensor's and the
    // reference instrument's readings of red, green, blue and white painted
    // on a display of that technology at factory gains.
    static Matrix3x3 correctionMatrix(SimulatedWorld& world, SimulatedWorld::Instrument sensor);
    // The display's true white error after its firmware aligned it on the
    // sensor's readings corrected by the matrix; NaN when the alignment failed.
    static double alignedWhiteError(SimulatedWorld& world, SimulatedWorld::Instrument sensor,
                                    const Matrix3x3& matrix, std::string* error = nullptr);

    // Every sensor, every technology, every matrix: sensors in the order of
    // SimulatedWorld::Instrument, then displays, then uncorrected and each
    // technology's matrix.
    static std::vector<Row> compute(std::uint32_t seed = 20261206u);
    static QString sensorName(SimulatedWorld::Instrument sensor);
    // The table for a person: one block per sensor.
    static QString text(const std::vector<Row>& rows);
    // The fixed shape outside checks read: a list of
    // {"sensor", "display", "matrix_from" (null when uncorrected), "white_delta_uv"}.
    static QByteArray json(const std::vector<Row>& rows);
};

#endif // MATRIXTABLE_H
