#ifndef PLAINNUMBER_H
#define PLAINNUMBER_H

#include <QString>

// Numbers typed into the dialogs' tables and fields go to instruments and
// matrices, so they are read with a decimal point and without grouping
// whatever the user's locale. Surrounding blanks are ignored; an empty text
// is not a number.
bool parsePlainDouble(const QString& text, double* value);
bool parsePlainInt(const QString& text, int* value);

#endif // PLAINNUMBER_H
