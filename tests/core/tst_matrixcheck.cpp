#include "matrixcheck.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

// sRGB primaries and D65 white, as two instruments that agree would read them.
const double kPatches[4][3] = {
    {41.24, 21.26, 1.93},
    {35.76, 71.52, 11.92},
    {18.05, 7.22, 95.05},
    {95.05, 100.0, 108.9},
};

double length(const double (&xyz)[3])
{
    return std::sqrt(xyz[0] * xyz[0] + xyz[1] * xyz[1] + xyz[2] * xyz[2]);
}

void patches(CColor (&colours)[MatrixCheck::ColourCount])
{
    for (int p = 0; p < MatrixCheck::ColourCount; ++p)
        colours[p] = CColor(kPatches[p][0], kPatches[p][1], kPatches[p][2]);
}

} // namespace

class TestMatrixCheck : public QObject
{
    Q_OBJECT

private slots:
    void usability_data();
    void usability();
    void fit_data();
    void fit();
};

void TestMatrixCheck::usability_data()
{
    QTest::addColumn<int>("entry");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("finite");
    QTest::addColumn<bool>("usable");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("ordinary") << 4 << 1.02 << true << true;
    QTest::newRow("the bound") << 0 << 1e6 << true << true;
    QTest::newRow("minus the bound") << 8 << -1e6 << true << true;
    QTest::newRow("beyond the bound") << 3 << 1.000001e6 << true << false;
    QTest::newRow("1e17") << 5 << -1e17 << true << false;
    QTest::newRow("largest double") << 1 << std::numeric_limits<double>::max() << true << false;
    QTest::newRow("NaN") << 2 << std::numeric_limits<double>::quiet_NaN() << false << false;
    QTest::newRow("infinity") << 6 << inf << false << false;
    QTest::newRow("minus infinity") << 7 << -inf << false << false;
}

void TestMatrixCheck::usability()
{
    QFETCH(int, entry);
    QFETCH(double, value);
    QFETCH(bool, finite);
    QFETCH(bool, usable);
    Matrix m = Matrix::IdentityMatrix(3);
    m(entry / 3, entry % 3) = value;
    QCOMPARE(MatrixCheck::isFinite(m), finite);
    QCOMPARE(MatrixCheck::isUsable(m), usable);
}

void TestMatrixCheck::fit_data()
{
    QTest::addColumn<int>("colour");
    QTest::addColumn<double>("miss");
    QTest::addColumn<int>("missed");
    // The identity against readings of one colour made longer or shorter by a
    // share of the white's length: a tenth is the limit.
    QTest::newRow("all exact") << 0 << 0.0 << -1;
    QTest::newRow("green short by 9%") << 1 << -0.09 << -1;
    QTest::newRow("green short by 11%") << 1 << -0.11 << 1;
    QTest::newRow("blue long by 9%") << 2 << 0.09 << -1;
    QTest::newRow("blue long by 11%") << 2 << 0.11 << 2;
    QTest::newRow("white long by 11%") << 3 << 0.11 << 3;
    QTest::newRow("red NaN") << 0 << std::numeric_limits<double>::quiet_NaN() << 0;
    QTest::newRow("white infinite") << 3 << std::numeric_limits<double>::infinity() << 3;
}

void TestMatrixCheck::fit()
{
    QFETCH(int, colour);
    QFETCH(double, miss);
    QFETCH(int, missed);
    CColor measured[MatrixCheck::ColourCount];
    CColor reference[MatrixCheck::ColourCount];
    patches(measured);
    patches(reference);
    const double scale = 1.0 + miss * length(kPatches[3]) / length(kPatches[colour]);
    for (int i = 0; i < 3; ++i)
        measured[colour][i] *= scale;
    QCOMPARE(MatrixCheck::poorFit(Matrix::IdentityMatrix(3), measured, reference), missed);
}

QTEST_GUILESS_MAIN(TestMatrixCheck)
#include "tst_matrixcheck.moc"
