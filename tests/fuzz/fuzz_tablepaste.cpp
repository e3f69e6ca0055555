// A paste into the calibrate dialog's tables, from whatever the clipboard
// holds.
//
// Input: rows and columns of the table (1-6 each), the current row and column
// (one past the last: none), a byte saying which cells hold text already; the
// rest is the pasted text.
//
// Beyond crashes: a paste refused leaves every cell as it was and names a
// field that is not a number; a paste taken changes no cell above or left of
// the current one, and every cell it changes holds a finite plain number.
#include "plainnumber.h"
#include "tablepaste.h"

#include "plainnumbertext.h"
#include "qtquiet.h"

#include <QApplication>
#include <QTableWidget>
#include <QVector>

#include <cmath>
#include <cstdlib>

namespace {

QVector<QString> cellsOf(const QTableWidget& table)
{
    QVector<QString> cells;
    for (int r = 0; r < table.rowCount(); ++r) {
        for (int c = 0; c < table.columnCount(); ++c) {
            const QTableWidgetItem* item = table.item(r, c);
            cells << (item ? item->text() : QString());
        }
    }
    return cells;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    quietQtLog();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    static QTableWidget table;
    const int rows = 1 + data[0] % 6;
    const int columns = 1 + data[1] % 6;
    const int currentRow = data[2] % (rows + 1);
    const int currentColumn = data[3] % (columns + 1);
    const uint8_t filled = data[4];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 5), static_cast<int>(size - 5));

    table.clear();
    table.setRowCount(rows);
    table.setColumnCount(columns);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            if (filled & (1u << ((r * columns + c) % 8)))
                table.setItem(r, c, new QTableWidgetItem(QStringLiteral("k%1.%2").arg(r).arg(c)));
        }
    }
    if (currentRow < rows && currentColumn < columns)
        table.setCurrentCell(currentRow, currentColumn);
    else
        table.setCurrentCell(-1, -1);
    const int top = qMax(table.currentRow(), 0);
    const int left = qMax(table.currentColumn(), 0);
    const QVector<QString> before = cellsOf(table);

    QString bad;
    const bool taken = TablePaste::paste(&table, text, &bad);
    const QVector<QString> after = cellsOf(table);
    if (!taken) {
        double value = 0.0;
        if (after != before || parsePlainDouble(bad, &value))
            std::abort();
        return 0;
    }
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int i = r * columns + c;
            if (after.at(i) == before.at(i))
                continue;
            double value = 0.0;
            if (r < top || c < left || !parsePlainDouble(after.at(i), &value) || !std::isfinite(value)
                || !looksLikePlainNumber(after.at(i)))
                std::abort();
        }
    }
    return 0;
}
