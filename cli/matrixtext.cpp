#include "matrixtext.h"

#include <QLocale>

#include <cmath>

bool MatrixText::parse(const QString& text, Matrix* matrix, QString* error)
{
    const QStringList rows = text.split(QLatin1Char(';'));
    if (rows.size() != 3) {
        *error = QStringLiteral("expected 3 rows separated by ';', found %1").arg(rows.size());
        return false;
    }
    Matrix result(0.0, 3, 3);
    for (int r = 0; r < 3; ++r) {
        const QStringList cells = rows.at(r).split(QLatin1Char(','));
        if (cells.size() != 3) {
            *error = QStringLiteral("row %1: expected 3 values separated by ',', found %2")
                         .arg(r + 1)
                         .arg(cells.size());
            return false;
        }
        for (int c = 0; c < 3; ++c) {
            bool ok = false;
            const double value = QLocale::c().toDouble(cells.at(c).trimmed(), &ok);
            if (!ok || !std::isfinite(value)) {
                *error = QStringLiteral("row %1, column %2: '%3' is not a number")
                             .arg(r + 1)
                             .arg(c + 1)
                             .arg(cells.at(c).trimmed());
                return false;
            }
            result(r, c) = value;
        }
    }
    *matrix = result;
    return true;
}

QStringList MatrixText::format(const Matrix& matrix, int decimals)
{
    QStringList lines;
    for (int r = 0; r < matrix.GetRows(); ++r) {
        QStringList cells;
        for (int c = 0; c < matrix.GetColumns(); ++c)
            cells << QString::number(matrix(r, c), 'f', decimals).rightJustified(decimals + 6);
        lines << cells.join(QLatin1Char(' '));
    }
    return lines;
}
