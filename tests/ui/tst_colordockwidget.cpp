#include "ccolor.h"
#include "ccolorreference.h"
#include "colordockwidget.h"
#include "uitest.h"

#include <QHeaderView>
#include <QTableWidget>

namespace {
enum Row { X, Y, Z, SmallX, SmallY, U, V, R, G, B, Cct, RowCount };
}

// The value window's table: the number formats of its eleven rows and that a
// failed reading does not overwrite the last good one.
class TestColorDockWidget : public QObject
{
    Q_OBJECT

private slots:
    void valuesAsShown_data();
    void valuesAsShown();
    void whiteAtUnitLuminance();
    void noDataLeavesTheTableUnchanged();
    void labelsTitleAndWidth();
};

void TestColorDockWidget::valuesAsShown_data()
{
    QTest::addColumn<CColor>("colour");
    QTest::addColumn<QVector<QString>>("shown"); // by row; "*" where it does not matter here
    QVector<QString> black(RowCount, QStringLiteral("0.00000"));
    black[X] = QStringLiteral("0.000");
    black[Y] = black[Z] = QStringLiteral("*");
    black[R] = black[G] = black[B] = QStringLiteral(" 0.00");
    black[Cct] = QStringLiteral("12001");
    QTest::newRow("black: zero chromaticity, the fallback temperature") << CColor(0.0, 0.0, 0.0) << black;

    const auto only = [](Row row, const QString& text, Row row2 = RowCount, const QString& text2 = QString()) {
        QVector<QString> shown(RowCount, QStringLiteral("*"));
        shown[row] = text;
        if (row2 != RowCount)
            shown[row2] = text2;
        return shown;
    };
    QTest::newRow("Y rounded to three decimals") << CColor(10.0, 123.4567, 20.0) << only(Y, "123.457");
    // u' = 4X / (X + 15Y + 3Z), v' = 9Y / (X + 15Y + 3Z), worked out by hand.
    QTest::newRow("Rec. 709 red u' v'") << CColor(41.24, 21.26, 1.93) << only(U, "0.45080", V, "0.52289");
}

void TestColorDockWidget::valuesAsShown()
{
    QFETCH(CColor, colour);
    QFETCH(QVector<QString>, shown);
    ColorDockWidget dock;
    for (int row = 0; row < RowCount; ++row)
        QVERIFY(dock.valueText(row).isEmpty());
    dock.doColorChanged(colour);
    for (int row = 0; row < RowCount; ++row) {
        if (shown.at(row) != QLatin1String("*"))
            QCOMPARE(dock.valueText(row), shown.at(row));
    }
}

void TestColorDockWidget::whiteAtUnitLuminance()
{
    ColorDockWidget dock;
    const CColor& white = GetColorReference().GetWhite();
    dock.doColorChanged(CColor(white[0] / white[1], 1.0, white[2] / white[1]));
    QCOMPARE(dock.valueText(SmallX), QStringLiteral("0.31271"));
    QCOMPARE(dock.valueText(SmallY), QStringLiteral("0.32901"));
    QCOMPARE(dock.valueText(Y), QStringLiteral("1.000"));
    for (int row : {R, G, B})
        QCOMPARE(dock.valueText(row), QStringLiteral(" 1.00"));
}

void TestColorDockWidget::noDataLeavesTheTableUnchanged()
{
    ColorDockWidget dock;
    dock.doColorChanged(CColor(41.24, 21.26, 1.93));
    QStringList before;
    for (int row = 0; row < RowCount; ++row)
        before << dock.valueText(row);
    QCOMPARE(before.at(X), QStringLiteral("41.240"));
    dock.doColorChanged(noDataColor);
    for (int row = 0; row < RowCount; ++row)
        QCOMPARE(dock.valueText(row), before.at(row));
}

void TestColorDockWidget::labelsTitleAndWidth()
{
    ColorDockWidget dock;
    QCOMPARE(dock.windowTitle(), QStringLiteral("Value window"));
    QCOMPARE(dock.maximumWidth(), 130);
    auto* table = dock.findChild<QTableWidget*>();
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 1);
    QVERIFY(table->horizontalHeader()->isHidden());
    const QStringList labels = {"X", "Y", "Z", "x", "y", "u", "v", "R", "G", "B", "CCT"};
    QCOMPARE(table->rowCount(), labels.size());
    for (int row = 0; row < labels.size(); ++row) {
        QTableWidgetItem* header = table->verticalHeaderItem(row);
        QVERIFY(header);
        QCOMPARE(header->text(), labels.at(row));
    }
}

LUMASERVE_UI_TEST_MAIN(TestColorDockWidget)

#include "tst_colordockwidget.moc"
