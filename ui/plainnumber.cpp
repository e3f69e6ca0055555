#include "plainnumber.h"

#include <QLocale>

#include <cmath>

namespace {
QLocale plainLocale()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator | QLocale::OmitGroupSeparator);
    return c;
}
} // namespace

bool parsePlainDouble(const QString& text, double* value)
{
    bool ok = false;
    const double parsed = plainLocale().toDouble(text.trimmed(), &ok);
    // "inf" and "nan" read as doubles but would poison every later reading.
    ok = ok && std::isfinite(parsed);
    if (ok)
        *value = parsed;
    return ok;
}

bool parsePlainInt(const QString& text, int* value)
{
    bool ok = false;
    const int parsed = plainLocale().toInt(text.trimmed(), &ok);
    if (ok)
        *value = parsed;
    return ok;
}
