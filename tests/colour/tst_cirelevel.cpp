#include "cirelevel.h"

#include <QtTest>

class TestCIRELevel : public QObject
{
    Q_OBJECT

private slots:
    void levelsWithAndWithoutSetup();
    void graySeries_data();
    void graySeries();
    void grayProportion();
};

void TestCIRELevel::levelsWithAndWithoutSetup()
{
    const CIRELevel plain(42.0, false, true);
    QCOMPARE(plain.GetRed(), 42.0);
    QCOMPARE(plain.GetGreen(), 42.0);
    QCOMPARE(plain.GetBlue(), 42.0);
    QVERIFY(plain.GetFlag());

    // On the setup scale 7.5 is black and 100 is white; below black clips to 0.
    const CIRELevel setup(100.0, 7.5, 3.0, true, false);
    QVERIFY(qAbs(setup.GetRed() - 100.0) < 1e-12);
    QCOMPARE(setup.GetGreen(), 0.0);
    QCOMPARE(setup.GetBlue(), 0.0);
    QVERIFY(!setup.GetFlag());

    const CIRELevel mid(53.75, true, false);
    QVERIFY(qAbs(mid.GetRed() - 50.0) < 1e-12);
    QCOMPARE(mid.GetGreen(), mid.GetRed());
    QCOMPARE(mid.GetBlue(), mid.GetRed());

    const CIRELevel mixed(10.0, 20.0, 30.0, false, false);
    QCOMPARE(mixed.GetRed(), 10.0);
    QCOMPARE(mixed.GetGreen(), 20.0);
    QCOMPARE(mixed.GetBlue(), 30.0);
}

void TestCIRELevel::graySeries_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("setup");
    QTest::addColumn<double>("level");
    QTest::newRow("setup black") << 0 << 21 << true << 7.5;
    QTest::newRow("setup first step") << 1 << 21 << true << 10.0;
    QTest::newRow("setup middle of 20") << 10 << 20 << true << 55.0;
    QTest::newRow("setup white") << 20 << 21 << true << 100.0;
    // Short setup series are spaced like plain ones after the black entry.
    QTest::newRow("short setup black") << 0 << 11 << true << 7.5;
    QTest::newRow("short setup step") << 3 << 11 << true << 30.0;
    QTest::newRow("plain black") << 0 << 11 << false << 0.0;
    QTest::newRow("plain half") << 5 << 11 << false << 50.0;
    QTest::newRow("plain white") << 10 << 11 << false << 100.0;
    QTest::newRow("plain fine") << 1 << 101 << false << 1.0;
}

void TestCIRELevel::graySeries()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(bool, setup);
    QFETCH(double, level);
    QVERIFY(qAbs(ArrayIndexToGrayLevel(index, count, setup) - level) < 1e-12);
}

void TestCIRELevel::grayProportion()
{
    QCOMPARE(GrayLevelToGrayProp(7.5, true), 0.0);
    QCOMPARE(GrayLevelToGrayProp(2.0, true), 0.0);
    QVERIFY(qAbs(GrayLevelToGrayProp(100.0, true) - 1.0) < 1e-15);
    QVERIFY(qAbs(GrayLevelToGrayProp(53.75, true) - 0.5) < 1e-15);
    QCOMPARE(GrayLevelToGrayProp(0.0, false), 0.0);
    QCOMPARE(GrayLevelToGrayProp(25.0, false), 0.25);
    QCOMPARE(GrayLevelToGrayProp(100.0, false), 1.0);
    // Each step of a setup series lands on its share of the range above black.
    QVERIFY(qAbs(GrayLevelToGrayProp(ArrayIndexToGrayLevel(20, 21, true), true) - 1.0) < 1e-15);
}

QTEST_APPLESS_MAIN(TestCIRELevel)
#include "tst_cirelevel.moc"
