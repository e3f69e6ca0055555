#ifndef REPLYSCAN_H
#define REPLYSCAN_H

#include <QByteArray>

// Reading numbers out of instrument replies the way a scanf format would, but
// independent of the process locale (a Qt program runs with the user's locale,
// in which the decimal separator may be a comma). Each function starts at *pos,
// and on success stores the value and moves *pos past what it consumed.
namespace ReplyScan {

// Like "%d": optional blanks, optional sign, decimal digits. False when there
// are no digits or the number does not fit an int.
bool readInt(const QByteArray& text, int* pos, int* value);

// Like "%f": optional blanks, optional sign, digits with an optional fraction
// and exponent. False when there is no number or it does not fit a float.
bool readFloat(const QByteArray& text, int* pos, float* value);

// Consumes the literal bytes when they stand at *pos.
bool expect(const QByteArray& text, int* pos, const char* literal);

// The leading number of text, 0 when it has none (as atof would give it).
float leadingFloat(const QByteArray& text);

} // namespace ReplyScan

#endif // REPLYSCAN_H
