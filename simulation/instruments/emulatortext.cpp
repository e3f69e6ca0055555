#include "emulatortext.h"

#include <charconv>
#include <system_error>

namespace {

std::string format(double value, std::chars_format form, int decimals)
{
    char text[400];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value, form, decimals);
    return r.ec == std::errc() ? std::string(text, r.ptr) : std::string();
}

} // namespace

namespace EmulatorText {

std::string fixed(double value, int decimals)
{
    return format(value, std::chars_format::fixed, decimals);
}

std::string scientific(double value, int decimals)
{
    return format(value, std::chars_format::scientific, decimals);
}

bool toDouble(const std::string& text, double* value)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;
    double parsed = 0;
    const std::from_chars_result r = std::from_chars(first, last, parsed);
    if (first == last || r.ec != std::errc() || r.ptr != last)
        return false;
    *value = parsed;
    return true;
}

} // namespace EmulatorText
