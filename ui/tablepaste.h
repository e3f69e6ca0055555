#ifndef TABLEPASTE_H
#define TABLEPASTE_H

#include <QObject>
#include <QString>

class QTableWidget;

// Lets a table take a paste of numbers from the clipboard (Ctrl+V), as copied
// from a spreadsheet or another program: rows on separate lines, values
// separated by tabs or commas, filled in from the current cell to the right
// and downwards. Values that would fall outside the table are dropped. A paste
// holding anything that is not a plain number changes nothing.
class TablePaste : public QObject
{
    Q_OBJECT

public:
    // Watches the table's key presses; the table owns the object.
    static void install(QTableWidget* table);

    // Fills the table from the text at the current cell (the first cell when
    // none is current). Returns false, with the offending field in *bad, when a
    // field is not a number.
    static bool paste(QTableWidget* table, const QString& text, QString* bad = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit TablePaste(QTableWidget* table);

    QTableWidget* table;
};

#endif // TABLEPASTE_H
