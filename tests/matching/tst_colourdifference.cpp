#include "colourdifference.h"

#include <QtTest>

#include <cmath>

using Lab = ColourDifference::Lab;
Q_DECLARE_METATYPE(Lab)

class TestColourDifference : public QObject
{
    Q_OBJECT

private slots:
    void publishedPairs_data();
    void publishedPairs();
    void properties_data();
    void properties();
    void smallLightnessStepIsCie76OverSL_data();
    void smallLightnessStepIsCie76OverSL();
    void labAgainstTheWhite();
};

void TestColourDifference::publishedPairs_data()
{
    // The test pairs published with the formula's implementation notes (Sharma,
    // Wu & Dalal 2005, table 1), four decimals as printed there. They exercise
    // the hue mean and hue difference across 0/360 degrees, the a' rescaling
    // near neutral and the rotation term around blue.
    QTest::addColumn<Lab>("first");
    QTest::addColumn<Lab>("second");
    QTest::addColumn<double>("expected");
    struct Row { double l1, a1, b1, l2, a2, b2, de; };
    const Row rows[] = {
        {50.0000, 2.6772, -79.7751, 50.0000, 0.0000, -82.7485, 2.0425},
        {50.0000, 3.1571, -77.2803, 50.0000, 0.0000, -82.7485, 2.8615},
        {50.0000, 2.8361, -74.0200, 50.0000, 0.0000, -82.7485, 3.4412},
        {50.0000, -1.3802, -84.2814, 50.0000, 0.0000, -82.7485, 1.0000},
        {50.0000, -1.1848, -84.8006, 50.0000, 0.0000, -82.7485, 1.0000},
        {50.0000, -0.9009, -85.5211, 50.0000, 0.0000, -82.7485, 1.0000},
        {50.0000, 0.0000, 0.0000, 50.0000, -1.0000, 2.0000, 2.3669},
        {50.0000, -1.0000, 2.0000, 50.0000, 0.0000, 0.0000, 2.3669},
        {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0009, 7.1792},
        {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0010, 7.1792},
        {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0011, 7.2195},
        {50.0000, 2.4900, -0.0010, 50.0000, -2.4900, 0.0012, 7.2195},
        {50.0000, -0.0010, 2.4900, 50.0000, 0.0009, -2.4900, 4.8045},
        {50.0000, -0.0010, 2.4900, 50.0000, 0.0010, -2.4900, 4.8045},
        {50.0000, -0.0010, 2.4900, 50.0000, 0.0011, -2.4900, 4.7461},
        {50.0000, 2.5000, 0.0000, 50.0000, 0.0000, -2.5000, 4.3065},
        {50.0000, 2.5000, 0.0000, 73.0000, 25.0000, -18.0000, 27.1492},
        {50.0000, 2.5000, 0.0000, 61.0000, -5.0000, 29.0000, 22.8977},
        {50.0000, 2.5000, 0.0000, 56.0000, -27.0000, -3.0000, 31.9030},
        {50.0000, 2.5000, 0.0000, 58.0000, 24.0000, 15.0000, 19.4535},
        {50.0000, 2.5000, 0.0000, 50.0000, 3.1736, 0.5854, 1.0000},
        {50.0000, 2.5000, 0.0000, 50.0000, 3.2972, 0.0000, 1.0000},
        {50.0000, 2.5000, 0.0000, 50.0000, 1.8634, 0.5757, 1.0000},
        {50.0000, 2.5000, 0.0000, 50.0000, 3.2592, 0.3350, 1.0000},
        {60.2574, -34.0099, 36.2677, 60.4626, -34.1751, 39.4387, 1.2644},
        {63.0109, -31.0961, -5.8663, 62.8187, -29.7946, -4.0864, 1.2630},
        {61.2901, 3.7196, -5.3901, 61.4292, 2.2480, -4.9620, 1.8731},
        {35.0831, -44.1164, 3.7933, 35.0232, -40.0716, 1.5901, 1.8645},
        {22.7233, 20.0904, -46.6940, 23.0331, 14.9730, -42.5619, 2.0373},
        {36.4612, 47.8580, 18.3852, 36.2715, 50.5065, 21.2231, 1.4146},
        {90.8027, -2.0831, 1.4410, 91.1528, -1.6435, 0.0447, 1.4441},
        {90.9257, -0.5406, -0.9208, 88.6381, -0.8985, -0.7239, 1.5381},
        {6.7747, -0.2908, -2.4247, 5.8714, -0.0985, -2.2286, 0.6377},
        {2.0776, 0.0795, -1.1350, 0.9033, -0.0636, -0.5514, 0.9082},
    };
    int n = 0;
    for (const Row& r : rows)
        QTest::newRow(qPrintable(QStringLiteral("pair %1").arg(++n)))
            << Lab{r.l1, r.a1, r.b1} << Lab{r.l2, r.a2, r.b2} << r.de;
}

void TestColourDifference::publishedPairs()
{
    QFETCH(Lab, first);
    QFETCH(Lab, second);
    QFETCH(double, expected);
    const double forward = ColourDifference::ciede2000(first, second);
    QVERIFY2(std::fabs(forward - expected) < 0.5e-4 + 1e-9, qPrintable(QString::number(forward, 'f', 6)));
    // The formula is symmetric in its two colours.
    QVERIFY2(std::fabs(ColourDifference::ciede2000(second, first) - forward) < 1e-12,
             qPrintable(QString::number(ColourDifference::ciede2000(second, first), 'f', 6)));
}

void TestColourDifference::properties_data()
{
    QTest::addColumn<Lab>("colour");
    QTest::newRow("neutral") << Lab{50.0, 0.0, 0.0};
    QTest::newRow("saturated red") << Lab{53.2, 80.1, 67.2};
    QTest::newRow("blue") << Lab{32.3, 79.2, -107.9};
    QTest::newRow("just below hue 360") << Lab{60.0, 30.0, -0.01};
    QTest::newRow("dark") << Lab{2.0, 0.5, -1.0};
}

void TestColourDifference::properties()
{
    QFETCH(Lab, colour);
    QCOMPARE(ColourDifference::ciede2000(colour, colour), 0.0);
    QCOMPARE(ColourDifference::cie76(colour, colour), 0.0);
    // A tiny step is a tiny difference, across hue 0/360 as well.
    const Lab across{colour.L, colour.a, colour.b + 0.02};
    const double d = ColourDifference::ciede2000(colour, across);
    QVERIFY(d > 0.0);
    QVERIFY2(d < 0.05, qPrintable(QString::number(d)));
}

void TestColourDifference::smallLightnessStepIsCie76OverSL_data()
{
    QTest::addColumn<double>("lightness");
    QTest::newRow("L 50") << 50.0;
    QTest::newRow("L 20") << 20.0;
    QTest::newRow("L 90") << 90.0;
}

void TestColourDifference::smallLightnessStepIsCie76OverSL()
{
    // For a lightness-only step the chroma and hue terms vanish and CIEDE2000
    // is the CIE76 difference divided by S_L = 1 + 0.015 (L - 50)^2 / sqrt(20 + (L - 50)^2),
    // L the mean lightness.
    QFETCH(double, lightness);
    const double step = 1e-3;
    const Lab a{lightness, 10.0, -5.0};
    const Lab b{lightness + step, 10.0, -5.0};
    const double mean = lightness + step / 2.0;
    const double sL = 1.0 + 0.015 * (mean - 50.0) * (mean - 50.0) / std::sqrt(20.0 + (mean - 50.0) * (mean - 50.0));
    const double expected = ColourDifference::cie76(a, b) / sL;
    QVERIFY(std::fabs(ColourDifference::cie76(a, b) - step) < 1e-12);
    QVERIFY2(std::fabs(ColourDifference::ciede2000(a, b) - expected) < 1e-9 * expected,
             qPrintable(QString::number(ColourDifference::ciede2000(a, b), 'g', 12)));
}

void TestColourDifference::labAgainstTheWhite()
{
    const MatchingSample::Xyz white{95.05, 100.0, 108.9};
    const Lab w = ColourDifference::lab(white, white);
    QVERIFY(std::fabs(w.L - 100.0) < 1e-12);
    QVERIFY(std::fabs(w.a) < 1e-12 && std::fabs(w.b) < 1e-12);
    // A grey of L* = 50 has Y / Yn = ((50 + 16) / 116)^3, and no chroma.
    const double t = std::pow(66.0 / 116.0, 3.0);
    const Lab grey = ColourDifference::lab({white[0] * t, white[1] * t, white[2] * t}, white);
    QVERIFY(std::fabs(grey.L - 50.0) < 1e-9);
    QVERIFY(std::fabs(grey.a) < 1e-9 && std::fabs(grey.b) < 1e-9);
    // Below (6/29)^3 the scale is linear: L* = (29/3)^3 Y / Yn.
    const Lab dark = ColourDifference::lab({white[0] * 0.001, white[1] * 0.001, white[2] * 0.001}, white);
    QVERIFY(std::fabs(dark.L - std::pow(29.0 / 3.0, 3.0) * 0.001) < 1e-9);
    // Against another white the same reading has another colour: more X than the
    // white's share is red (a* > 0), more Z is blue (b* < 0).
    const Lab reddish = ColourDifference::lab({white[0] * 0.6, white[1] * 0.5, white[2] * 0.5}, white);
    QVERIFY(reddish.a > 0.0);
    QVERIFY(std::fabs(reddish.b) < 1e-12);
    const Lab bluish = ColourDifference::lab({white[0] * 0.5, white[1] * 0.5, white[2] * 0.6}, white);
    QVERIFY(bluish.b < 0.0);
    QVERIFY(std::fabs(bluish.a) < 1e-12);
}

QTEST_APPLESS_MAIN(TestColourDifference)
#include "tst_colourdifference.moc"
