#ifndef PRINTABLETEXT_H
#define PRINTABLETEXT_H

#include <QString>

// Text that comes from outside the program (a profile, an instrument, the
// system's port list) made safe to print: control characters, and characters
// that reorder or break lines, are shown escaped, so such text can neither move
// the cursor, recolour a terminal nor fake a line of its own on a screen or in
// a log. A backslash is doubled, so that an escape shown is never ambiguous.
class PrintableText
{
public:
    // "\n", "\r", "\t" and "\\" for those four; "\xHH" for any other character
    // below U+0100 that is a control; "\uHHHH" for format and separator
    // characters above it (bidirectional overrides, line separators). The rest
    // is kept as it is.
    static QString from(const QString& text);
};

#endif // PRINTABLETEXT_H
