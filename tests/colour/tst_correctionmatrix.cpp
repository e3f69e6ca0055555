#include "correctionmatrix.h"

#include <QtTest>

#include <cmath>

// The one rule for a singular set of primaries, which the calibrate dialog and
// the command line share, and the matrix computed from four patches.
class TestCorrectionMatrix : public QObject
{
    Q_OBJECT

private slots:
    void singularIsJudgedAgainstTheScale_data();
    void singularIsJudgedAgainstTheScale();
    void computeRecoversAKnownCorrection();
};

namespace {

Matrix columns(const double (&red)[3], const double (&green)[3], const double (&blue)[3], double scale)
{
    Matrix m(0.0, 3, 3);
    for (int i = 0; i < 3; ++i) {
        m(i, 0) = red[i] * scale;
        m(i, 1) = green[i] * scale;
        m(i, 2) = blue[i] * scale;
    }
    return m;
}

} // namespace

void TestCorrectionMatrix::singularIsJudgedAgainstTheScale_data()
{
    QTest::addColumn<Matrix>("primaries");
    QTest::addColumn<bool>("singular");

    const double red[3] = {41.24, 21.26, 1.93};
    const double green[3] = {35.76, 71.52, 11.92};
    const double blue[3] = {18.05, 7.22, 95.05};
    const double zero[3] = {0, 0, 0};
    // Blue read as a mix of red and green, off by far less than any reading.
    double mix[3];
    for (int i = 0; i < 3; ++i)
        mix[i] = 0.5 * red[i] + 0.5 * green[i];
    mix[2] += 1e-9;

    QTest::newRow("independent") << columns(red, green, blue, 1.0) << false;
    QTest::newRow("independent, dim") << columns(red, green, blue, 1e-4) << false;
    QTest::newRow("independent, bright") << columns(red, green, blue, 1e4) << false;
    QTest::newRow("failed reading as blue") << columns(red, green, zero, 1.0) << true;
    QTest::newRow("one patch read twice") << columns(red, red, blue, 1.0) << true;
    QTest::newRow("nearly dependent") << columns(red, green, mix, 1.0) << true;
    QTest::newRow("nearly dependent, bright") << columns(red, green, mix, 1e4) << true;
    QTest::newRow("nearly dependent, dim") << columns(red, green, mix, 1e-4) << true;
}

void TestCorrectionMatrix::singularIsJudgedAgainstTheScale()
{
    QFETCH(Matrix, primaries);
    QFETCH(bool, singular);
    QCOMPARE(CorrectionMatrix::isSingular(primaries), singular);
}

void TestCorrectionMatrix::computeRecoversAKnownCorrection()
{
    // Readings off by a known matrix: the computed one undoes exactly that.
    const double c[9] = {1.05, -0.02, 0.01, 0.03, 0.97, -0.01, -0.02, 0.04, 1.10};
    const Matrix off(c, 3, 3);
    const CColor reference[CorrectionMatrix::kPatchCount] = {
        CColor(41.24, 21.26, 1.93), CColor(35.76, 71.52, 11.92), CColor(18.05, 7.22, 95.05),
        CColor(95.05, 100.0, 108.9)};
    const Matrix undo = off.GetInverse();
    CColor measured[CorrectionMatrix::kPatchCount];
    for (int patch = 0; patch < CorrectionMatrix::kPatchCount; ++patch)
        measured[patch] = undo * reference[patch];

    const Matrix computed = CorrectionMatrix::compute(measured, reference);
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col)
            QVERIFY2(std::fabs(computed(r, col) - off(r, col)) < 1e-9,
                     qPrintable(QStringLiteral("(%1,%2): %3").arg(r).arg(col).arg(computed(r, col))));
    }
    QCOMPARE(CorrectionMatrix::patchName(CorrectionMatrix::Blue), QStringLiteral("blue"));
}

QTEST_GUILESS_MAIN(TestCorrectionMatrix)
#include "tst_correctionmatrix.moc"
