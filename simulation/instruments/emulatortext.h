#ifndef EMULATORTEXT_H
#define EMULATORTEXT_H

#include <string>

// Numbers in the emulated instruments' replies and commands, always with a
// decimal point: the emulators run inside test processes that may set a
// locale whose decimal separator is a comma, and an emulator that followed it
// would hide the very fault those tests look for.
namespace EmulatorText {

// As printf's "%.*f" in the C locale.
std::string fixed(double value, int decimals);

// As printf's "%.*e" in the C locale ("9.504e+01").
std::string scientific(double value, int decimals);

// The whole text as one decimal number (optional sign, digits, fraction,
// exponent); false for anything else, a decimal comma included.
bool toDouble(const std::string& text, double* value);

} // namespace EmulatorText

#endif // EMULATORTEXT_H
