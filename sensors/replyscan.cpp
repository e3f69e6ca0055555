#include "replyscan.h"

#include <cstring>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int skipBlanks(const QByteArray& text, int pos)
{
    while (pos < text.size() && isBlank(text.at(pos)))
        ++pos;
    return pos;
}

int skipDigits(const QByteArray& text, int pos)
{
    while (pos < text.size() && isDigit(text.at(pos)))
        ++pos;
    return pos;
}

} // namespace

namespace ReplyScan {

bool readInt(const QByteArray& text, int* pos, int* value)
{
    const int start = skipBlanks(text, *pos);
    int end = start;
    if (end < text.size() && (text.at(end) == '+' || text.at(end) == '-'))
        ++end;
    const int digits = end;
    end = skipDigits(text, end);
    if (end == digits)
        return false;
    bool ok = false;
    const int number = text.mid(start, end - start).toInt(&ok, 10);
    if (!ok)
        return false;
    *value = number;
    *pos = end;
    return true;
}

bool readFloat(const QByteArray& text, int* pos, float* value)
{
    const int start = skipBlanks(text, *pos);
    int end = start;
    if (end < text.size() && (text.at(end) == '+' || text.at(end) == '-'))
        ++end;
    const int intStart = end;
    end = skipDigits(text, end);
    int mantissaDigits = end - intStart;
    if (end < text.size() && text.at(end) == '.') {
        const int fraction = end + 1;
        const int fractionEnd = skipDigits(text, fraction);
        mantissaDigits += fractionEnd - fraction;
        if (mantissaDigits > 0)
            end = fractionEnd;
    }
    if (mantissaDigits == 0)
        return false;
    // An exponent counts only when digits follow it: "1.5e+" reads as 1.5.
    if (end < text.size() && (text.at(end) == 'e' || text.at(end) == 'E')) {
        int exponent = end + 1;
        if (exponent < text.size() && (text.at(exponent) == '+' || text.at(exponent) == '-'))
            ++exponent;
        const int exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent)
            end = exponentEnd;
    }
    bool ok = false;
    const float number = text.mid(start, end - start).toFloat(&ok);
    if (!ok)
        return false;
    *value = number;
    *pos = end;
    return true;
}

bool expect(const QByteArray& text, int* pos, const char* literal)
{
    const int length = int(std::strlen(literal));
    if (text.mid(*pos, length) != QByteArray(literal, length))
        return false;
    *pos += length;
    return true;
}

float leadingFloat(const QByteArray& text)
{
    int pos = 0;
    float value = 0.0f;
    return readFloat(text, &pos, &value) ? value : 0.0f;
}

} // namespace ReplyScan
