#ifndef MISMATCHCHECK_H
#define MISMATCHCHECK_H

#include "matrix.h"

#include <array>

// What a simulated sensor's fixed mismatch E (reading = E x truth) implies,
// worked out independently of the code under test.
namespace MismatchCheck {

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The true white error of a display aligned on the sensor's uncorrected
// readings: the white the sensor sees as D65 is E^-1 x D65.
double predictedUncorrectedError(const Matrix3& mismatch);

// How far matrix x E is from the identity: 0 when the matrix undoes the
// sensor's error exactly.
double residual(const Matrix& matrix, const Matrix3& mismatch);

} // namespace MismatchCheck

#endif // MISMATCHCHECK_H
