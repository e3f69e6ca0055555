// The correction matrix as typed on the command line, "a,b,c;d,e,f;g,h,i".
//
// Beyond crashes: a text refused says why and leaves the matrix as it was; a
// text taken gives a 3 x 3 matrix of finite numbers, each cell written as a
// plain number, and the matrix written back reads the same.
#include "matrixtext.h"

#include "plainnumbertext.h"

#include <QByteArray>
#include <QStringList>

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const double sentinel[] = {0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5, 8.5};
    const Matrix before(sentinel, 3, 3);
    Matrix matrix = before;
    QString error;
    if (!MatrixText::parse(text, &matrix, &error)) {
        if (error.isEmpty() || matrix != before)
            std::abort();
        return 0;
    }
    if (matrix.GetRows() != 3 || matrix.GetColumns() != 3 || text.contains(QChar(0)))
        std::abort();
    for (const QString& row : text.split(QLatin1Char(';'))) {
        for (const QString& cell : row.split(QLatin1Char(','))) {
            if (!looksLikePlainNumber(cell))
                std::abort();
        }
    }
    QStringList rows;
    for (int r = 0; r < 3; ++r) {
        QStringList cells;
        for (int c = 0; c < 3; ++c) {
            if (!std::isfinite(matrix(r, c)))
                std::abort();
            cells << QString::number(matrix(r, c), 'g', 17);
        }
        rows << cells.join(QLatin1Char(','));
    }
    // Compared by value: the text written back for -0 may read as 0.
    Matrix again;
    if (!MatrixText::parse(rows.join(QLatin1Char(';')), &again, &error) || again != matrix)
        std::abort();
    return 0;
}
