#ifndef COLORDOCKWIDGET_H
#define COLORDOCKWIDGET_H

#include "ccolor.h"

#include <QDockWidget>

class QTableWidget;

// The value window: the latest reading as X, Y, Z, x, y, u', v', R, G, B and
// correlated colour temperature.
class ColorDockWidget : public QDockWidget
{
    Q_OBJECT

public:
    explicit ColorDockWidget(QWidget* parent = nullptr);

    // The text shown in a row, for inspection.
    QString valueText(int row) const;

public slots:
    // Shows a reading; a failed one (no data) leaves the last reading shown.
    void doColorChanged(CColor color);

private:
    QTableWidget* table = nullptr;
};

#endif // COLORDOCKWIDGET_H
