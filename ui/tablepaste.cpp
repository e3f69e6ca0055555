#include "tablepaste.h"

#include "messenger.h"
#include "plainnumber.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTableWidget>
#include <QVector>

namespace {

// Commas separate values here: every number in this program is written with
// a decimal point, so a comma is never part of one.
QStringList splitFields(const QString& line)
{
    const QChar separator = line.contains(QLatin1Char('\t')) ? QLatin1Char('\t') : QLatin1Char(',');
    return line.split(separator);
}

} // namespace

TablePaste::TablePaste(QTableWidget* table_)
    : QObject(table_)
    , table(table_)
{
}

void TablePaste::install(QTableWidget* table)
{
    table->installEventFilter(new TablePaste(table));
}

bool TablePaste::paste(QTableWidget* table, const QString& text, QString* bad)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    // A copied block ends with a line break; that empty last line is no row.
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();

    QVector<QStringList> rows;
    for (const QString& line : lines) {
        QStringList fields = splitFields(line.trimmed());
        for (QString& field : fields) {
            field = field.trimmed();
            double value = 0.0;
            if (!parsePlainDouble(field, &value)) {
                if (bad)
                    *bad = field;
                return false;
            }
        }
        rows.append(fields);
    }

    const int top = qMax(table->currentRow(), 0);
    const int left = qMax(table->currentColumn(), 0);
    for (int r = 0; r < rows.size() && top + r < table->rowCount(); ++r) {
        const QStringList& fields = rows.at(r);
        for (int c = 0; c < fields.size() && left + c < table->columnCount(); ++c) {
            QTableWidgetItem* item = table->item(top + r, left + c);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(top + r, left + c, item);
            }
            item->setText(fields.at(c));
        }
    }
    return true;
}

bool TablePaste::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != table)
        return QObject::eventFilter(watched, event);
    const bool isKey = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (!isKey || !static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste))
        return QObject::eventFilter(watched, event);
    // Taking the shortcut override keeps a window-wide Ctrl+V from stealing it.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    QString bad;
    if (!paste(table, QApplication::clipboard()->text(), &bad)) {
        Messenger::warning(table, tr("Paste"),
                           tr("Only numbers can be pasted here; \"%1\" is not a number.").arg(bad));
    }
    return true;
}
