#ifndef CNUMBER_H
#define CNUMBER_H

// Decimal numbers as the instrument writes and reads them: always with a
// decimal point. The host program may run under a locale whose decimal
// separator is a comma (a Qt program adopts the user's), so nothing here goes
// through strtod or printf, which follow the process locale.

#include <cstddef>

// Reads text as one decimal number: leading blanks and a '+' are allowed,
// trailing blanks too, anything else makes the text no number. Infinities and
// NaN are refused, as the instrument never sends them. True on success.
bool c_parse_double(const char *text, double *value);

// Writes value as printf's "%*.*f" would in the C locale: fixed notation with
// precision digits after the point, right-aligned in width characters.
// Returns the length written, or -1 when it does not fit size (including the
// terminating zero) or the value is not finite.
int c_format_fixed(char *buffer, size_t size, double value, int width, int precision);

#endif // CNUMBER_H
