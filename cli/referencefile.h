#ifndef REFERENCEFILE_H
#define REFERENCEFILE_H

#include "ccolor.h"

#include <QString>

// What a reference instrument read for the four patches, as a CSV file:
//
//     colour,X,Y,Z
//     red,41.24,21.26,1.93
//     green,35.76,71.52,11.92
//     blue,18.05,7.22,95.05
//     white,95.05,100.00,108.90
//
// One line per colour, in any order, each exactly once; the header line, blank
// lines and lines starting with '#' are skipped. Numbers use a decimal point.
class ReferenceFile
{
public:
    enum Patch { Red, Green, Blue, White, PatchCount };

    static QString patchName(int patch);

    // Reads the file, a regular one of reference size (see PlainFile); on
    // failure *error says why, or where (line and column, from 1).
    bool read(const QString& fileName, QString* error);
    // Parses the file's text; the same rules as read().
    bool parse(const QByteArray& text, QString* error);

    CColor value(int patch) const { return m_values[patch]; }

private:
    CColor m_values[PatchCount];
};

#endif // REFERENCEFILE_H
