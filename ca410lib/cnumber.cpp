#include "cnumber.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

bool c_parse_double(const char *text, double *value)
{
    if (!text || !value)
        return false;
    const char *first = text;
    while (*first == ' ')
        ++first;
    // from_chars takes no plus sign; the instrument's fixed-width fields may.
    if (*first == '+' && first[1] != '-')
        ++first;
    const char *last = first + strlen(first);
    while (last > first && last[-1] == ' ')
        --last;
    if (first == last)
        return false;
    double parsed = 0;
    const std::from_chars_result r = std::from_chars(first, last, parsed, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(parsed))
        return false;
    *value = parsed;
    return true;
}

int c_format_fixed(char *buffer, size_t size, double value, int width, int precision)
{
    if (!buffer || size == 0 || !std::isfinite(value) || precision < 0 || width < 0)
        return -1;
    char digits[400];
    const std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    if (r.ec != std::errc())
        return -1;
    const auto length = static_cast<size_t>(r.ptr - digits);
    const size_t pad = static_cast<size_t>(width) > length ? static_cast<size_t>(width) - length : 0;
    if (pad + length + 1 > size)
        return -1;
    memset(buffer, ' ', pad);
    memcpy(buffer + pad, digits, length);
    buffer[pad + length] = '\0';
    return static_cast<int>(pad + length);
}
