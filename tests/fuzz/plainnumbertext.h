#ifndef PLAINNUMBERTEXT_H
#define PLAINNUMBERTEXT_H

// Whether a text a reader took as a number looks like one: an optional sign,
// digits with at most one decimal point, an optional exponent, blanks around
// (any that QString::trimmed() takes away, as the readers do).
// A reader that took anything more (a NUL and what follows it, a group
// separator, a word) read something other than what the file says.

#include <QRegularExpression>
#include <QString>

inline bool looksLikePlainNumber(const QString& text)
{
    static const QRegularExpression plain(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    return plain.match(text.trimmed()).hasMatch();
}

#endif // PLAINNUMBERTEXT_H
