#ifndef MATRIXTEXT_H
#define MATRIXTEXT_H

#include "matrix.h"

#include <QString>
#include <QStringList>

// A 3 x 3 matrix as typed on the command line, "a,b,c;d,e,f;g,h,i" row by row,
// and as printed. Decimal point whatever the locale.
class MatrixText
{
public:
    static bool parse(const QString& text, Matrix* matrix, QString* error);
    // Three lines, one per row.
    static QStringList format(const Matrix& matrix, int decimals = 6);
};

#endif // MATRIXTEXT_H
