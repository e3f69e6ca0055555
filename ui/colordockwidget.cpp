#include "colordockwidget.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int kRows = 11;

QString fixed(double value, int decimals)
{
    return QStringLiteral("%1").arg(value, 5, 'f', decimals, QLatin1Char(' '));
}
} // namespace

ColorDockWidget::ColorDockWidget(QWidget* parent)
    : QDockWidget(parent)
{
    const QStringList labels = {
        QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z"),
        QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("u"),
        QStringLiteral("v"), QStringLiteral("R"), QStringLiteral("G"),
        QStringLiteral("B"), QStringLiteral("CCT"),
    };
    table = new QTableWidget(labels.size(), 1, this);
    table->setVerticalHeaderLabels(labels);
    table->horizontalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < labels.size(); ++row)
        table->setItem(row, 0, new QTableWidgetItem(QString()));

    auto* container = new QWidget(this);
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(table);
    setWidget(container);

    setMaximumWidth(130);
    // Room for a four-digit luminance (a bright display's white) with its
    // decimals beside the labels, so that the window at its smallest does not
    // cut the numbers off.
    const int valueWidth = table->fontMetrics().horizontalAdvance(QStringLiteral("0000.000  "));
    table->setMinimumWidth(qMin(maximumWidth(), table->verticalHeader()->sizeHint().width() + valueWidth
                                                    + 2 * table->frameWidth()));
    setWindowTitle(tr("Value window"));
}

QString ColorDockWidget::valueText(int row) const
{
    const QTableWidgetItem* item = table->item(row, 0);
    return item ? item->text() : QString();
}

void ColorDockWidget::doColorChanged(CColor color)
{
    // A failed reading would show as nonsense; the last good one stays.
    if (color.IsNoData())
        return;
    const CColor xyY = color.GetxyYValue();
    const CColor uvY = color.GetuvYValue();
    const CColor rgb = color.GetRGBValue();
    const QString texts[kRows] = {
        fixed(color[0], 3), fixed(color[1], 3), fixed(color[2], 3),
        fixed(xyY[0], 5),   fixed(xyY[1], 5),
        fixed(uvY[0], 5),   fixed(uvY[1], 5),
        fixed(rgb[0], 2),   fixed(rgb[1], 2),   fixed(rgb[2], 2),
        QStringLiteral("%1").arg(color.GetColorTemp(), 0, 10),
    };
    for (int row = 0; row < kRows; ++row) {
        if (QTableWidgetItem* item = table->item(row, 0))
            item->setText(texts[row]);
    }
}
