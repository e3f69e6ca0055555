#include "ccolorreference.h"
#include "cirelevel.h"
#include "correctionmatrix.h"
#include "matrixchecks.h"

#include <QtTest>

#include <cmath>

using namespace MatrixChecks;

namespace {

CColor column(const Matrix& m, int c)
{
    return CColor(m(0, c), m(1, c), m(2, c));
}

bool sameChromaticity(const CColor& a, const CColor& b, double tol)
{
    const CColor pa = a.GetxyYValue();
    const CColor pb = b.GetxyYValue();
    return std::fabs(pa[0] - pb[0]) <= tol && std::fabs(pa[1] - pb[1]) <= tol;
}

const Matrix kUnitRGB(1.0, 3, 1);

// A 3 x 3 with these XYZ as its columns, scaled.
Matrix columns(const std::array<double, 3>& red, const std::array<double, 3>& green,
               const std::array<double, 3>& blue, double scale)
{
    return m3({red, green, blue}).GetTransposed() * scale;
}

} // namespace

class TestCColorReference : public QObject
{
    Q_OBJECT

private slots:
    void standards_data();
    void standards();
    void whiteTargets();
    void matchesPublishedValues();
    void conversionMatrixCorrectsOffsetColorimeter();
    void conversionMatrixWithoutUsableWhite();
    void referenceOfTheRun();
    void greyAndIRELevels();
    void singularIsJudgedAgainstTheScale_data();
    void singularIsJudgedAgainstTheScale();
    void computeRecoversAKnownCorrection();
};

void TestCColorReference::standards_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<double>>("xy");
    const QVector<double> rec709{0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    QTest::newRow("PAL") << 0 << "PAL/SECAM/EBU" << QVector<double>{0.64, 0.33, 0.29, 0.60, 0.15, 0.06};
    QTest::newRow("SMPTE-C") << 1 << "SMPTE-C" << QVector<double>{0.63, 0.34, 0.31, 0.595, 0.155, 0.07};
    QTest::newRow("Rec709") << 2 << "HDTV Rec709" << rec709;
    QTest::newRow("sRGB") << 3 << "sRGB" << rec709;
    QTest::newRow("NTSC") << 4 << "NTSC" << QVector<double>{0.67, 0.33, 0.21, 0.71, 0.14, 0.08};
    QTest::newRow("DCI P3") << 5 << "DCI P3" << QVector<double>{0.68, 0.32, 0.265, 0.69, 0.15, 0.06};
    QTest::newRow("unknown") << 9 << "Unknown" << rec709;
}

void TestCColorReference::standards()
{
    QFETCH(int, standard);
    QFETCH(QString, name);
    QFETCH(QVector<double>, xy);

    const CColorReference ref = GetStandardColorReference(static_cast<ColorStandard>(standard));
    QCOMPARE(ref.GetStandardName(), name);
    QCOMPARE(ref.GetWhiteName(), QStringLiteral("D65"));
    QCOMPARE(ref.GetGamma(), -1.0);
    QCOMPARE(ref.GetWhite(), CColor(0.312712, 0.329008));

    const Matrix& m = ref.GetRGBtoXYZMatrix();
    const CColor* primaries[3] = {&ref.GetRed(), &ref.GetGreen(), &ref.GetBlue()};
    // Where an edge meets the line from the opposite primary through the white,
    // with the edge's luminance: for additive primaries simply their sum.
    const CColor* secondaries[3] = {&ref.GetRedGreenSecondary(), &ref.GetGreenBlueSecondary(),
                                    &ref.GetBlueRedSecondary()};
    for (int k = 0; k < 3; ++k) {
        QVERIFY(sameChromaticity(*primaries[k], CColor(xy[2 * k], xy[2 * k + 1]), 1e-12));
        // Each primary carries its share of the white: its column of the matrix.
        QVERIFY(maxAbsDiff(*primaries[k], column(m, k)) < 1e-12);
        QVERIFY(maxAbsDiff(*secondaries[k], CColor(*primaries[k] + *primaries[(k + 1) % 3])) < 1e-12);
    }
    QVERIFY(maxAbsDiff(m * kUnitRGB, ref.GetWhite()) < 1e-12);
    QVERIFY(maxAbsDiff(ref.GetXYZtoRGBMatrix() * m, Matrix::IdentityMatrix(3)) < 1e-12);
}

void TestCColorReference::whiteTargets()
{
    const struct {
        int standard, target, stored;
        const CColor& white;
        const char* name;
    } cases[] = {{2, -1, 0, illuminantD65, "D65"}, {2, 1, 1, illuminantD55, "D55"},
                 {1, 2, 2, illuminantD50, "D50"}, {2, 4, 4, illuminantA, "A"},
                 {4, 7, 7, illuminantE, "E"},     {1, 7, 7, illuminantD65, "D65"}, // SMPTE-C keeps D65
                 {2, 42, 42, illuminantD65, "D65"}};
    for (const auto& c : cases) {
        const CColorReference ref(static_cast<ColorStandard>(c.standard), static_cast<WhiteTarget>(c.target), 2.2);
        QCOMPARE(static_cast<int>(ref.GetWhiteTarget()), c.stored);
        QCOMPARE(ref.GetWhiteName(), QString::fromLatin1(c.name));
        QCOMPARE(ref.GetWhite(), c.white);
        // Balanced to the chosen white, not to D65.
        QVERIFY(maxAbsDiff(ref.GetRGBtoXYZMatrix() * kUnitRGB, c.white) < 1e-12);
    }
}

void TestCColorReference::matchesPublishedValues()
{
    // ITU-R BT.709 / IEC 61966-2-1 for D65, and the CIE 1976 u'v' of D65.
    const CColorReference rec709(StandardRec709, WhiteFromStandard, -1.0);
    const Matrix bt709 = m3({0.412391, 0.357584, 0.180481, 0.212639, 0.715169, 0.072192,
                             0.019331, 0.119195, 0.950532});
    QVERIFY(maxAbsDiff(rec709.GetRGBtoXYZMatrix(), bt709) < 1e-4);
    QVERIFY(std::fabs(rec709.GetWhiteU() - 0.1978) < 1e-4);
    QVERIFY(std::fabs(rec709.GetWhiteV() - 0.4683) < 1e-4);
    // Primaries measured at any luminance, white at 120 cd/m2: still normalised to Y = 1.
    const Matrix measured = bt709 * m3({21.0, 0, 0, 0, 70.0, 0, 0, 0, 7.0});
    const Matrix m = ComputeRGBtoXYZMatrix(measured, CColor(illuminantD65 * 120.0));
    QVERIFY(maxAbsDiff(m * kUnitRGB, illuminantD65) < 1e-12);
    QVERIFY(maxAbsDiff(m, bt709) < 1e-4);
}

void TestCColorReference::conversionMatrixCorrectsOffsetColorimeter()
{
    // A display with Rec. 709 primaries and a 150 cd/m2 white as a reference
    // instrument reads it, and as a colorimeter with channel errors of a few
    // percent reads it; its white is not quite the sum of its primaries either.
    const Matrix reference = GetStandardColorReference(StandardRec709).GetRGBtoXYZMatrix() * 150.0;
    const CColor referenceWhite = reference * kUnitRGB;
    const double gain[3][3] = {{1.03, 0.98, 1.05}, {0.97, 1.02, 1.04}, {1.01, 0.96, 0.93}};
    Matrix measured(reference);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i)
            measured(i, k) *= gain[k][i];
    const CColor measuredWhite(referenceWhite[0] * 1.012, referenceWhite[1] * 0.991, referenceWhite[2] * 1.027);

    const Matrix c = ComputeConversionMatrix(measured, reference, measuredWhite, referenceWhite);
    QVERIFY(maxAbsDiff(c * measuredWhite, referenceWhite) < 1e-9);
    for (int k = 0; k < 3; ++k)
        QVERIFY(sameChromaticity(c * column(measured, k), column(reference, k), 1e-9));

    // An instrument that already agrees needs no correction.
    QVERIFY(maxAbsDiff(ComputeConversionMatrix(reference, reference, referenceWhite, referenceWhite),
                       Matrix::IdentityMatrix(3)) < 1e-12);
}

void TestCColorReference::conversionMatrixWithoutUsableWhite()
{
    const Matrix reference = m3({41.2, 35.8, 18.0, 21.3, 71.5, 7.2, 1.9, 11.9, 95.1});
    const Matrix measured = m3({43.0, 34.1, 19.2, 20.6, 73.9, 6.8, 2.2, 11.0, 97.4});
    const CColor white(95.0, 100.0, 108.9);
    // Without a white the primaries alone are matched.
    QVERIFY(maxAbsDiff(ComputeConversionMatrix(measured, reference, noDataColor, white) * measured, reference) < 1e-9);
    // Singular reference primaries cannot be white-balanced.
    const Matrix flat(0.0, 3, 3);
    QVERIFY(maxAbsDiff(ComputeConversionMatrix(measured, flat, white, white), flat) < 1e-12);
}

void TestCColorReference::referenceOfTheRun()
{
    // Without an application object: Rec. 709 with D65, the same object each time.
    const CColorReference& ref = GetColorReference();
    QCOMPARE(ref.GetStandardName(), QStringLiteral("HDTV Rec709"));

    // Other threads read it unlocked, so a request for another standard is ignored.
    SetColorReference(StandardNTSC, WhiteA, 2.4);
    QCOMPARE(&GetColorReference(), &ref);
    QCOMPARE(ref.GetStandardName(), QStringLiteral("HDTV Rec709"));

    const CColorReference other(StandardDCIP3, WhiteD50, 2.6);
    RegisterColorReference(&other);
    QCOMPARE(&GetColorReference(), &other);
    RegisterColorReference(nullptr);
    QCOMPARE(&GetColorReference(), &ref);
}

void TestCColorReference::greyAndIRELevels()
{
    // On the setup scale black is 7.5 and white 100; below black clips to 0.
    const CIRELevel setup(100.0, 53.75, 3.0, true, true);
    QVERIFY(std::fabs(setup.GetRed() - 100.0) < 1e-12 && std::fabs(setup.GetGreen() - 50.0) < 1e-12);
    QCOMPARE(setup.GetBlue(), 0.0);
    QVERIFY(setup.GetFlag());
    const CIRELevel plain(42.0, false, false);
    QVERIFY(plain.GetRed() == 42.0 && plain.GetGreen() == 42.0 && plain.GetBlue() == 42.0);

    QCOMPARE(ArrayIndexToGrayLevel(0, 21, true), 7.5);
    QCOMPARE(ArrayIndexToGrayLevel(1, 21, true), 10.0);
    QCOMPARE(ArrayIndexToGrayLevel(20, 21, true), 100.0);
    QCOMPARE(ArrayIndexToGrayLevel(3, 11, true), 30.0); // short setup series: plain spacing
    QCOMPARE(ArrayIndexToGrayLevel(5, 11, false), 50.0);
    QCOMPARE(GrayLevelToGrayProp(7.5, true), 0.0);
    QCOMPARE(GrayLevelToGrayProp(100.0, true), 1.0);
    QCOMPARE(GrayLevelToGrayProp(53.75, true), 0.5);
    QCOMPARE(GrayLevelToGrayProp(25.0, false), 0.25);
}

// The one rule for a singular set of primaries, which the calibrate dialog and
// the command line share, and the matrix computed from four patches.
void TestCColorReference::singularIsJudgedAgainstTheScale_data()
{
    QTest::addColumn<Matrix>("primaries");
    QTest::addColumn<bool>("singular");

    const std::array<double, 3> red{{41.24, 21.26, 1.93}};
    const std::array<double, 3> green{{35.76, 71.52, 11.92}};
    const std::array<double, 3> blue{{18.05, 7.22, 95.05}};
    const std::array<double, 3> zero{};
    // Blue read as a mix of red and green, off by far less than any reading.
    std::array<double, 3> mix{};
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

void TestCColorReference::singularIsJudgedAgainstTheScale()
{
    QFETCH(Matrix, primaries);
    QFETCH(bool, singular);
    QCOMPARE(CorrectionMatrix::isSingular(primaries), singular);
}

void TestCColorReference::computeRecoversAKnownCorrection()
{
    // Readings off by a known matrix: the computed one undoes exactly that.
    const Matrix off = m3({1.05, -0.02, 0.01, 0.03, 0.97, -0.01, -0.02, 0.04, 1.10});
    const CColor reference[CorrectionMatrix::kPatchCount] = {
        CColor(41.24, 21.26, 1.93), CColor(35.76, 71.52, 11.92), CColor(18.05, 7.22, 95.05),
        CColor(95.05, 100.0, 108.9)};
    const Matrix undo = off.GetInverse();
    CColor measured[CorrectionMatrix::kPatchCount];
    for (int patch = 0; patch < CorrectionMatrix::kPatchCount; ++patch)
        measured[patch] = undo * reference[patch];

    const Matrix computed = CorrectionMatrix::compute(measured, reference);
    QVERIFY2(maxAbsDiff(computed, off) < 1e-9, qPrintable(QString::number(maxAbsDiff(computed, off))));
    QCOMPARE(CorrectionMatrix::patchName(CorrectionMatrix::Blue), QStringLiteral("blue"));
}

QTEST_APPLESS_MAIN(TestCColorReference)
#include "tst_ccolorreference.moc"
