#include "application.h"
#include "ccolor.h"
#include "ccolorreference.h"
#include "colordockwidget.h"

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

int main(int argc, char* argv[])
{
    // The conversions use the colour reference the application object makes.
    Application app(argc, argv);
    TestColorDockWidget test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_colordockwidget.moc"
