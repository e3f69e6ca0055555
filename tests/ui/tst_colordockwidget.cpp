#include "application.h"
#include "ccolor.h"
#include "ccolorreference.h"
#include "colordockwidget.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>

// The value window's table: the number formats of its eleven rows and that a
// failed reading does not overwrite the last good one.
class TestColorDockWidget : public QObject
{
    Q_OBJECT

private slots:
    void blackShowsZeroChromaticityAndTheFallbackTemperature();
    void whiteAtUnitLuminance();
    void tristimulusWidthAndPrecision_data();
    void tristimulusWidthAndPrecision();
    void noDataLeavesTheTableUnchanged();
    void uPrimeAndVPrimeOfAColour_data();
    void uPrimeAndVPrimeOfAColour();
    void labelsTitleAndWidth();
};

namespace {
enum Row { X, Y, Z, SmallX, SmallY, U, V, R, G, B, Cct };
}

void TestColorDockWidget::blackShowsZeroChromaticityAndTheFallbackTemperature()
{
    ColorDockWidget dock;
    for (int row = 0; row < 11; ++row)
        QVERIFY(dock.valueText(row).isEmpty());
    dock.doColorChanged(CColor(0.0, 0.0, 0.0));
    QCOMPARE(dock.valueText(X), QStringLiteral("0.000"));
    for (int row : {SmallX, SmallY, U, V})
        QCOMPARE(dock.valueText(row), QStringLiteral("0.00000"));
    for (int row : {R, G, B})
        QCOMPARE(dock.valueText(row), QStringLiteral(" 0.00"));
    QCOMPARE(dock.valueText(Cct), QStringLiteral("12001"));
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
    // D65 is close to 6500 K.
    const int cct = dock.valueText(Cct).toInt();
    QVERIFY2(cct > 6450 && cct < 6560, qPrintable(dock.valueText(Cct)));
}

void TestColorDockWidget::tristimulusWidthAndPrecision_data()
{
    QTest::addColumn<double>("y");
    QTest::addColumn<QString>("shown");
    QTest::newRow("rounded to three decimals") << 123.4567 << QStringLiteral("123.457");
    QTest::newRow("already five wide") << 0.5 << QStringLiteral("0.500");
}

void TestColorDockWidget::tristimulusWidthAndPrecision()
{
    QFETCH(double, y);
    QFETCH(QString, shown);
    ColorDockWidget dock;
    dock.doColorChanged(CColor(10.0, y, 20.0));
    QCOMPARE(dock.valueText(Y), shown);
}

void TestColorDockWidget::noDataLeavesTheTableUnchanged()
{
    ColorDockWidget dock;
    dock.doColorChanged(CColor(41.24, 21.26, 1.93));
    QStringList before;
    for (int row = 0; row < 11; ++row)
        before << dock.valueText(row);
    QCOMPARE(before.at(X), QStringLiteral("41.240"));
    dock.doColorChanged(noDataColor);
    for (int row = 0; row < 11; ++row)
        QCOMPARE(dock.valueText(row), before.at(row));
}

void TestColorDockWidget::uPrimeAndVPrimeOfAColour_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::addColumn<QString>("u");
    QTest::addColumn<QString>("v");
    // u' = 4X / (X + 15Y + 3Z), v' = 9Y / (X + 15Y + 3Z), worked out by hand.
    QTest::newRow("Rec. 709 red") << 41.24 << 21.26 << 1.93 << QStringLiteral("0.45080")
                                  << QStringLiteral("0.52289");
    QTest::newRow("Rec. 709 blue") << 18.05 << 7.22 << 95.05 << QStringLiteral("0.17546")
                                   << QStringLiteral("0.15791");
}

void TestColorDockWidget::uPrimeAndVPrimeOfAColour()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, z);
    QFETCH(QString, u);
    QFETCH(QString, v);
    ColorDockWidget dock;
    dock.doColorChanged(CColor(x, y, z));
    QCOMPARE(dock.valueText(U), u);
    QCOMPARE(dock.valueText(V), v);
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

int main(int argc, char* argv[])
{
    // The conversions use the colour reference the application object makes.
    Application app(argc, argv);
    TestColorDockWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_colordockwidget.moc"
