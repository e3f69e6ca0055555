#include "ccolorreference.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

Matrix m3(std::initializer_list<double> v)
{
    return Matrix(std::data(v), 3, 3);
}

// NaN when any element differs by NaN, so a broken result never passes a bound.
double maxAbsDiff(const Matrix& a, const Matrix& b)
{
    if (a.GetRows() != b.GetRows() || a.GetColumns() != b.GetColumns())
        return std::numeric_limits<double>::quiet_NaN();
    double worst = 0.0;
    for (int r = 0; r < a.GetRows(); ++r) {
        for (int c = 0; c < a.GetColumns(); ++c) {
            const double d = std::fabs(a(r, c) - b(r, c));
            if (!(d <= worst))
                worst = d;
        }
    }
    return worst;
}

CColor column(const Matrix& m, int c)
{
    return CColor(m(0, c), m(1, c), m(2, c));
}

// Twice the signed area of the triangle abc in the xy diagram: zero when collinear.
double xyCross(const CColor& a, const CColor& b, const CColor& c)
{
    const CColor pa = a.GetxyYValue();
    const CColor pb = b.GetxyYValue();
    const CColor pc = c.GetxyYValue();
    return (pb[0] - pa[0]) * (pc[1] - pa[1]) - (pb[1] - pa[1]) * (pc[0] - pa[0]);
}

} // namespace

class TestCColorReference : public QObject
{
    Q_OBJECT

private slots:
    void illuminantsAtUnitLuminance_data();
    void illuminantsAtUnitLuminance();
    void standardsTable_data();
    void standardsTable();
    void whiteTargets_data();
    void whiteTargets();
    void rec709MatchesPublishedMatrices();
    void otherStandardsMatchPublishedMatrices();
    void primariesCarryTheirShareOfWhite();
    void secondariesMeetTheirDefiningLines();
    void rgbToXyzFromArbitraryWhiteLuminance();
    void conversionMatrixCorrectsOffsetColorimeter();
    void conversionMatrixFallsBackWithoutWhite();
    void runReferenceWithoutApplication();
};

void TestCColorReference::illuminantsAtUnitLuminance_data()
{
    QTest::addColumn<CColor>("illuminant");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("A") << illuminantA << 0.447593 << 0.407539;
    QTest::newRow("B") << illuminantB << 0.348483 << 0.351747;
    QTest::newRow("C") << illuminantC << 0.310115 << 0.316311;
    QTest::newRow("E") << illuminantE << 0.333334 << 0.333333;
    QTest::newRow("D50") << illuminantD50 << 0.345669 << 0.358496;
    QTest::newRow("D55") << illuminantD55 << 0.332406 << 0.347551;
    QTest::newRow("D65") << illuminantD65 << 0.312712 << 0.329008;
    QTest::newRow("D75") << illuminantD75 << 0.299023 << 0.314963;
}

void TestCColorReference::illuminantsAtUnitLuminance()
{
    QFETCH(CColor, illuminant);
    QFETCH(double, x);
    QFETCH(double, y);
    // Identical to what the chromaticity constructor builds.
    const CColor expected(x, y);
    QCOMPARE(illuminant[0], expected[0]);
    QCOMPARE(illuminant[1], 1.0);
    QCOMPARE(illuminant[2], expected[2]);
    const CColor xyY = illuminant.GetxyYValue();
    QVERIFY(std::fabs(xyY[0] - x) < 1e-12);
    QVERIFY(std::fabs(xyY[1] - y) < 1e-12);
}

void TestCColorReference::standardsTable_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVector<double>>("primaries");
    const auto v = [](const double* p) { return QVector<double>(p, p + 6); };
    const QVector<double> rec709{0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    QTest::newRow("PAL") << 0 << "PAL/SECAM/EBU" << QVector<double>{0.64, 0.33, 0.29, 0.60, 0.15, 0.06};
    QTest::newRow("SMPTE-C") << 1 << "SMPTE-C" << QVector<double>{0.63, 0.34, 0.31, 0.595, 0.155, 0.07};
    QTest::newRow("Rec709") << 2 << "HDTV Rec709" << rec709;
    QTest::newRow("sRGB") << 3 << "sRGB" << rec709;
    QTest::newRow("NTSC") << 4 << "NTSC" << QVector<double>{0.67, 0.33, 0.21, 0.71, 0.14, 0.08};
    QTest::newRow("DCI P3") << 5 << "DCI P3" << QVector<double>{0.68, 0.32, 0.265, 0.69, 0.15, 0.06};
    QTest::newRow("unknown 9") << 9 << "Unknown" << rec709;
    QTest::newRow("unknown -3") << -3 << "Unknown" << rec709;
    // The exported tables agree with the standards built from them.
    QTest::newRow("table PAL") << 0 << "PAL/SECAM/EBU" << v(primariesPAL);
    QTest::newRow("table SMPTE-C") << 1 << "SMPTE-C" << v(primariesSMPTEC);
    QTest::newRow("table Rec709") << 2 << "HDTV Rec709" << v(primariesRec709);
    QTest::newRow("table NTSC") << 4 << "NTSC" << v(primariesNTSC);
    QTest::newRow("table DCI P3") << 5 << "DCI P3" << v(primariesDCIP3);
}

void TestCColorReference::standardsTable()
{
    QFETCH(int, standard);
    QFETCH(QString, name);
    QFETCH(QVector<double>, primaries);

    const CColorReference ref = GetStandardColorReference(static_cast<ColorStandard>(standard));
    QCOMPARE(ref.GetStandard(), static_cast<ColorStandard>(standard));
    QCOMPARE(ref.GetStandardName(), name);
    QCOMPARE(ref.GetWhiteTarget(), WhiteD65);
    QCOMPARE(ref.GetWhiteName(), QStringLiteral("D65"));
    QCOMPARE(ref.GetGamma(), -1.0);
    QCOMPARE(ref.GetWhite()[0], illuminantD65[0]);
    QCOMPARE(ref.GetWhite()[2], illuminantD65[2]);

    const CColor* prims[3] = {&ref.GetRed(), &ref.GetGreen(), &ref.GetBlue()};
    for (int k = 0; k < 3; ++k) {
        const CColor xyY = prims[k]->GetxyYValue();
        QVERIFY2(std::fabs(xyY[0] - primaries[2 * k]) < 1e-12, qPrintable(QString::number(k)));
        QVERIFY2(std::fabs(xyY[1] - primaries[2 * k + 1]) < 1e-12, qPrintable(QString::number(k)));
    }
    // Whatever the primaries, R = G = B = 1 is the white and the two matrices
    // are inverses.
    const CColor white = ref.GetRGBtoXYZMatrix() * Matrix(1.0, 3, 1);
    QVERIFY(maxAbsDiff(white, ref.GetWhite()) < 1e-12);
    QVERIFY(maxAbsDiff(ref.GetXYZtoRGBMatrix() * ref.GetRGBtoXYZMatrix(), Matrix::IdentityMatrix(3)) < 1e-12);
}

void TestCColorReference::whiteTargets_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("storedTarget");
    QTest::addColumn<CColor>("white");
    QTest::addColumn<QString>("whiteName");
    QTest::newRow("keep") << 2 << -1 << 0 << illuminantD65 << "D65";
    QTest::newRow("0 is D65") << 2 << 0 << 0 << illuminantD65 << "D65";
    QTest::newRow("D55") << 2 << 1 << 1 << illuminantD55 << "D55";
    QTest::newRow("D50") << 2 << 2 << 2 << illuminantD50 << "D50";
    QTest::newRow("D75") << 2 << 3 << 3 << illuminantD75 << "D75";
    QTest::newRow("A") << 2 << 4 << 4 << illuminantA << "A";
    QTest::newRow("B") << 2 << 5 << 5 << illuminantB << "B";
    QTest::newRow("C") << 0 << 6 << 6 << illuminantC << "C";
    QTest::newRow("E") << 4 << 7 << 7 << illuminantE << "E";
    QTest::newRow("E refused by SMPTE-C") << 1 << 7 << 7 << illuminantD65 << "D65";
    QTest::newRow("D50 with SMPTE-C") << 1 << 2 << 2 << illuminantD50 << "D50";
    QTest::newRow("out of range stored") << 2 << 42 << 42 << illuminantD65 << "D65";
}

void TestCColorReference::whiteTargets()
{
    QFETCH(int, standard);
    QFETCH(int, target);
    QFETCH(int, storedTarget);
    QFETCH(CColor, white);
    QFETCH(QString, whiteName);

    const CColorReference ref(static_cast<ColorStandard>(standard), static_cast<WhiteTarget>(target), 2.2);
    QCOMPARE(static_cast<int>(ref.GetWhiteTarget()), storedTarget);
    QCOMPARE(ref.GetWhiteName(), whiteName);
    QCOMPARE(ref.GetGamma(), 2.2);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(ref.GetWhite()[i], white[i]);
    const CColor uvY = white.GetuvYValue();
    QCOMPARE(ref.GetWhiteU(), uvY[0]);
    QCOMPARE(ref.GetWhiteV(), uvY[1]);
    // The matrix is balanced to the chosen white, not to D65.
    const CColor rgbWhite = ref.GetRGBtoXYZMatrix() * Matrix(1.0, 3, 1);
    QVERIFY(maxAbsDiff(rgbWhite, white) < 1e-12);
}

void TestCColorReference::rec709MatchesPublishedMatrices()
{
    const CColorReference ref(StandardRec709, WhiteFromStandard, -1.0);
    // ITU-R BT.709 / IEC 61966-2-1 coefficients for D65.
    const Matrix published = m3({0.412391, 0.357584, 0.180481,
                                 0.212639, 0.715169, 0.072192,
                                 0.019331, 0.119195, 0.950532});
    QVERIFY2(maxAbsDiff(ref.GetRGBtoXYZMatrix(), published) < 1e-4,
             qPrintable(QString::number(maxAbsDiff(ref.GetRGBtoXYZMatrix(), published))));
    const Matrix publishedInverse = m3({3.2406, -1.5372, -0.4986,
                                        -0.9689, 1.8758, 0.0415,
                                        0.0557, -0.2040, 1.0570});
    QVERIFY(maxAbsDiff(ref.GetXYZtoRGBMatrix(), publishedInverse) < 5e-4);

    // Luminance weights sum to the white's Y.
    QVERIFY(std::fabs(ref.GetRGBtoXYZMatrix().SumRow(1) - 1.0) < 1e-12);

    // CIE 1976 u'v' of D65.
    QVERIFY(std::fabs(ref.GetWhiteU() - 0.1978) < 1e-4);
    QVERIFY(std::fabs(ref.GetWhiteV() - 0.4683) < 1e-4);
}

void TestCColorReference::otherStandardsMatchPublishedMatrices()
{
    // EBU Tech. 3213 primaries with D65.
    const Matrix ebu = m3({0.430619, 0.341545, 0.178336,
                           0.222004, 0.706655, 0.071341,
                           0.020182, 0.129553, 0.939322});
    QVERIFY(maxAbsDiff(CColorReference(StandardPAL, WhiteFromStandard, -1.0).GetRGBtoXYZMatrix(), ebu) < 1e-4);
    // P3 primaries with D65 (Display P3).
    const Matrix p3 = m3({0.486571, 0.265668, 0.198217,
                          0.228975, 0.691739, 0.079287,
                          0.000000, 0.045113, 1.043944});
    QVERIFY(maxAbsDiff(CColorReference(StandardDCIP3, WhiteFromStandard, -1.0).GetRGBtoXYZMatrix(), p3) < 1e-4);
}

void TestCColorReference::primariesCarryTheirShareOfWhite()
{
    const CColorReference ref(StandardNTSC, WhiteD50, -1.0);
    const Matrix& m = ref.GetRGBtoXYZMatrix();
    const CColor* prims[3] = {&ref.GetRed(), &ref.GetGreen(), &ref.GetBlue()};
    CColor sum(0.0, 0.0, 0.0);
    for (int k = 0; k < 3; ++k) {
        // Each primary is exactly its column of the matrix.
        QVERIFY(maxAbsDiff(*prims[k], column(m, k)) < 1e-12);
        QCOMPARE((*prims[k])[1], m(1, k));
        for (int i = 0; i < 3; ++i)
            sum[i] += (*prims[k])[i];
    }
    QVERIFY(maxAbsDiff(sum, ref.GetWhite()) < 1e-12);
}

void TestCColorReference::secondariesMeetTheirDefiningLines()
{
    for (int standard = 0; standard <= 5; ++standard) {
        const CColorReference ref(static_cast<ColorStandard>(standard), WhiteFromStandard, -1.0);
        const CColor& r = ref.GetRed();
        const CColor& g = ref.GetGreen();
        const CColor& b = ref.GetBlue();
        const CColor& w = ref.GetWhite();
        struct Case {
            const CColor& secondary;
            const CColor& p1;
            const CColor& p2;
            const CColor& opposite;
        } cases[] = {{ref.GetRedGreenSecondary(), r, g, b},
                     {ref.GetGreenBlueSecondary(), g, b, r},
                     {ref.GetBlueRedSecondary(), b, r, g}};
        for (const Case& c : cases) {
            QVERIFY(std::fabs(xyCross(c.p1, c.p2, c.secondary)) < 1e-12);
            QVERIFY(std::fabs(xyCross(c.opposite, w, c.secondary)) < 1e-12);
            QVERIFY(std::fabs(c.secondary[1] - (c.p1[1] + c.p2[1])) < 1e-12);
            // With additive primaries the secondary is simply their sum.
            for (int i = 0; i < 3; ++i)
                QVERIFY(std::fabs(c.secondary[i] - (c.p1[i] + c.p2[i])) < 1e-12);
        }
    }

    // Published chromaticities of the sRGB secondaries.
    const CColorReference rec709(StandardRec709, WhiteFromStandard, -1.0);
    const CColor yellow = rec709.GetRedGreenSecondary().GetxyYValue();
    QVERIFY(std::fabs(yellow[0] - 0.4193) < 1e-4);
    QVERIFY(std::fabs(yellow[1] - 0.5053) < 1e-4);
    QVERIFY(std::fabs(yellow[2] - 0.9278) < 1e-4);
    const CColor cyan = rec709.GetGreenBlueSecondary().GetxyYValue();
    QVERIFY(std::fabs(cyan[0] - 0.2247) < 1e-4);
    QVERIFY(std::fabs(cyan[1] - 0.3287) < 1e-4);
    const CColor magenta = rec709.GetBlueRedSecondary().GetxyYValue();
    QVERIFY(std::fabs(magenta[0] - 0.3209) < 1e-4);
    QVERIFY(std::fabs(magenta[1] - 0.1542) < 1e-4);
}

void TestCColorReference::rgbToXyzFromArbitraryWhiteLuminance()
{
    // Primaries as a display measures them, at arbitrary luminances.
    Matrix p(0.0, 3, 3);
    const CColor red = CColor(0.64, 0.33, 21.0);
    const CColor green = CColor(0.30, 0.60, 70.0);
    const CColor blue = CColor(0.15, 0.06, 7.0);
    const CColor* xyY[3] = {&red, &green, &blue};
    for (int k = 0; k < 3; ++k) {
        CColor c;
        c.SetxyYValue(*xyY[k]);
        for (int i = 0; i < 3; ++i)
            p(i, k) = c[i];
    }
    // A white at 120 cd/m2 still gives a matrix normalised to luminance 1.
    const CColor white120 = CColor(illuminantD65[0] * 120.0, 120.0, illuminantD65[2] * 120.0);
    const Matrix m = ComputeRGBtoXYZMatrix(p, white120);
    const CColor mapped = m * Matrix(1.0, 3, 1);
    QVERIFY(maxAbsDiff(mapped, illuminantD65) < 1e-12);
    // Columns keep the primaries' chromaticities.
    for (int k = 0; k < 3; ++k) {
        const CColor c = column(m, k).GetxyYValue();
        QVERIFY(std::fabs(c[0] - (*xyY[k])[0]) < 1e-12);
        QVERIFY(std::fabs(c[1] - (*xyY[k])[1]) < 1e-12);
    }
}

void TestCColorReference::conversionMatrixCorrectsOffsetColorimeter()
{
    // A display with Rec. 709 primaries and a 150 cd/m2 D65 white as a reference
    // instrument reads it ...
    const Matrix ref709 = CColorReference(StandardRec709, WhiteFromStandard, -1.0).GetRGBtoXYZMatrix();
    const Matrix reference = ref709 * 150.0;
    const CColor referenceWhite = CColor(illuminantD65[0] * 150.0, 150.0, illuminantD65[2] * 150.0);
    // ... and as a colorimeter with channel errors of a few percent reads it; its
    // white is not quite the sum of its primaries either.
    Matrix measured(reference);
    const double gain[3][3] = {{1.03, 0.98, 1.05}, {0.97, 1.02, 1.04}, {1.01, 0.96, 0.93}};
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 3; ++i)
            measured(i, k) = reference(i, k) * gain[k][i];
    const CColor measuredWhite(referenceWhite[0] * 1.012, referenceWhite[1] * 0.991,
                               referenceWhite[2] * 1.027);

    const Matrix c = ComputeConversionMatrix(measured, reference, measuredWhite, referenceWhite);
    QCOMPARE(c.GetRows(), 3);
    QCOMPARE(c.GetColumns(), 3);

    const CColor correctedWhite = c * measuredWhite;
    QVERIFY2(maxAbsDiff(correctedWhite, referenceWhite) < 1e-9,
             qPrintable(QString::number(maxAbsDiff(correctedWhite, referenceWhite))));
    for (int k = 0; k < 3; ++k) {
        const CColor corrected = CColor(c * column(measured, k)).GetxyYValue();
        const CColor wanted = column(reference, k).GetxyYValue();
        QVERIFY(std::fabs(corrected[0] - wanted[0]) < 1e-9);
        QVERIFY(std::fabs(corrected[1] - wanted[1]) < 1e-9);
    }

    // An instrument that already agrees needs no correction.
    const Matrix none = ComputeConversionMatrix(reference, reference, referenceWhite, referenceWhite);
    QVERIFY(maxAbsDiff(none, Matrix::IdentityMatrix(3)) < 1e-12);
}

void TestCColorReference::conversionMatrixFallsBackWithoutWhite()
{
    const Matrix reference = m3({41.2, 35.8, 18.0, 21.3, 71.5, 7.2, 1.9, 11.9, 95.1});
    const Matrix measured = m3({43.0, 34.1, 19.2, 20.6, 73.9, 6.8, 2.2, 11.0, 97.4});
    const CColor white(95.0, 100.0, 108.9);

    // Without a white the primaries alone are matched: C * measured = reference.
    for (int which = 0; which < 2; ++which) {
        const CColor mw = which == 0 ? noDataColor : white;
        const CColor rw = which == 0 ? white : noDataColor;
        const Matrix c = ComputeConversionMatrix(measured, reference, mw, rw);
        QVERIFY(maxAbsDiff(c * measured, reference) < 1e-9);
    }

    // Singular reference primaries: the white balance cannot be solved.
    const Matrix flat(0.0, 3, 3);
    const Matrix c = ComputeConversionMatrix(measured, flat, white, white);
    QVERIFY(maxAbsDiff(c, flat) < 1e-12);
}

void TestCColorReference::runReferenceWithoutApplication()
{
    // Tools and tests without the application object still get the run's
    // reference: Rec. 709 with D65, the same object every time.
    const CColorReference& ref = GetColorReference();
    QCOMPARE(&GetColorReference(), &ref);
    QCOMPARE(ref.GetStandardName(), QStringLiteral("HDTV Rec709"));
    QCOMPARE(ref.GetWhiteName(), QStringLiteral("D65"));
    QCOMPARE(ref.GetGamma(), -1.0);
    QCOMPARE(ref.GetWhiteTarget(), WhiteD65);

    // Asking for another standard leaves the reference of the run alone.
    const Matrix before = ref.GetRGBtoXYZMatrix();
    SetColorReference(StandardNTSC, WhiteA, 2.4);
    QCOMPARE(&GetColorReference(), &ref);
    QCOMPARE(GetColorReference().GetStandardName(), QStringLiteral("HDTV Rec709"));
    QCOMPARE(GetColorReference().GetRGBtoXYZMatrix(), before);

    // A registered reference takes over, and the built-in one returns after.
    const CColorReference other(StandardDCIP3, WhiteD50, 2.6);
    RegisterColorReference(&other);
    QCOMPARE(&GetColorReference(), &other);
    RegisterColorReference(nullptr);
    QCOMPARE(&GetColorReference(), &ref);
}

QTEST_APPLESS_MAIN(TestCColorReference)
#include "tst_ccolorreference.moc"
