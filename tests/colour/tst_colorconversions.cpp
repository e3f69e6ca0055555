#include "ccolor.h"
#include "ccolorreference.h"
#include "cspectrum.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {

bool near(const CColor& c, double a, double b, double d, double tol)
{
    return std::fabs(c[0] - a) <= tol && std::fabs(c[1] - b) <= tol && std::fabs(c[2] - d) <= tol;
}

// sRGB red, green and blue at full drive (IEC 61966-2-1, D65).
const CColor kRed(0.412391, 0.212639, 0.019331);
const CColor kGreen(0.357584, 0.715169, 0.119195);
const CColor kBlue(0.180481, 0.072192, 0.950532);

} // namespace

class TestColorConversions : public QObject
{
    Q_OBJECT

private slots:
    void lab();
    void deltaE();
    void colourTemperature();
    void colourTemperatureOutsideTable();
    void rgbAndNoData();
};

void TestColorConversions::lab()
{
    const CColor& white = GetColorReference().GetWhite();
    QVERIFY(near(white.GetLabValue(1.0), 100.0, 0.0, 0.0, 1e-12));
    QVERIFY(near(white.GetLCHValue(1.0), 100.0, 0.0, 0.0, 1e-12));
    QVERIFY(near(CColor(white * 80.0).GetLabValue(80.0), 100.0, 0.0, 0.0, 1e-12));
    // Published CIELAB and LCh(ab) of the sRGB primaries.
    QVERIFY(near(kRed.GetLabValue(1.0), 53.24, 80.09, 67.20, 0.02));
    QVERIFY(near(kBlue.GetLCHValue(1.0), 32.30, 133.81, 306.29, 0.02));
    // L* alone: the CIE formula, linear (903.3 t) near black; white luminance <= 0 reads as white.
    QVERIFY(std::fabs(CColor(0.0, 0.005, 0.0).GetLValue(1.0) - 4.5165) < 0.001);
    QCOMPARE(kBlue.GetLValue(0.0), 100.0);

    // SetLabValue inverts GetLabValue against the unscaled white, dark colours included.
    for (const CColor& c : {kRed, kBlue, CColor(0.004, 0.003, 0.006)}) {
        CColor back;
        back.SetLabValue(c.GetLabValue(1.0));
        QVERIFY(near(back, c[0], c[1], c[2], 1e-12));
    }
    // Hues stay in [0, 360) even a rounding step below the a* axis.
    double z = white[2] * 0.5;
    for (int step = 0; step < 64; ++step, z = std::nextafter(z, 10.0)) {
        const double h = CColor(white[0] * 0.95, 0.5, z).GetLCHValue(1.0)[2];
        QVERIFY2(h >= 0.0 && h < 360.0, qPrintable(QString::number(h, 'g', 17)));
    }
}

void TestColorConversions::deltaE()
{
    const CColor& white = GetColorReference().GetWhite();
    QCOMPARE(white.GetDeltaE(1.0), 0.0);
    // sRGB red is L*u*v* (53.24, 175.01, 37.76) against D65.
    QVERIFY(std::fabs(kRed.GetDeltaE(1.0) - 185.06) < 0.05);
    // Each colour against its own white: a colour and ten times it agree.
    QVERIFY(kRed.GetDeltaE(1.0, CColor(kRed * 10.0), 10.0) < 1e-12);
    // No data has lightness 0 and no chroma.
    QVERIFY(std::fabs(noDataColor.GetDeltaE(1.0) - 100.0) < 1e-12);
    // Non-positive whites put both at L* 100: only 13 * 100 times the u'v' distance is left.
    const CColor grey(0.2, 0.3, 0.4);
    QVERIFY(std::fabs(grey.GetDeltaE(0.0, white, -1.0) - grey.GetDeltaE(white)) < 1e-9);

    // D65 (0.1978, 0.4683) to A (0.2560, 0.5243) in u'v', and in xy.
    QVERIFY(std::fabs(illuminantD65.GetDeltaE(illuminantA) - 1300.0 * 0.08077) < 0.3);
    QVERIFY(std::fabs(illuminantD65.GetDeltaxy(illuminantA) - std::hypot(0.134881, 0.078531)) < 1e-12);
}

void TestColorConversions::colourTemperature()
{
    const struct {
        const CColor& c;
        int kelvin;
    } cases[] = {{illuminantA, 2856}, {illuminantD50, 5003}, {illuminantD65, 6504}, {illuminantD75, 7504}};
    for (const auto& k : cases) {
        const double xyz[3] = {k.c[0] * 50.0, k.c[1] * 50.0, k.c[2] * 50.0};
        double t = 0.0;
        QCOMPARE(XYZtoCorColorTemp(xyz, &t), 0);
        QVERIFY2(std::fabs(t - k.kelvin) < 2.0, qPrintable(QString::number(t)));
        QVERIFY(std::abs(k.c.GetColorTemp() - k.kelvin) <= 2);
    }
}

void TestColorConversions::colourTemperatureOutsideTable()
{
    double t = -5.0;
    const double black[3] = {0.0, 0.0, 0.0};
    const double faint[3] = {1e-21, 5e-21, 1e-22};
    QCOMPARE(XYZtoCorColorTemp(black, &t), -1);
    QCOMPARE(XYZtoCorColorTemp(faint, &t), -1);
    QCOMPARE(XYZtoCorColorTemp(nullptr, &t), -1);
    QCOMPARE(t, -5.0);

    // No sign change: reddish colours read 1499, the rest 12001.
    QCOMPARE(kRed.GetColorTemp(), 1499);
    QCOMPARE(CColor(0.5857, 0.3931).GetColorTemp(), 1499); // Planckian 1500 K
    QCOMPARE(kBlue.GetColorTemp(), 12001);
    QCOMPARE(noDataColor.GetColorTemp(), 12001);

    // A hair on the warm side of the infinite-temperature line is hotter than an
    // int holds: it saturates instead of overflowing.
    const double u = 0.18006;
    const double v = 0.26352 + 1e-10;
    const double d = 2.0 * u - 8.0 * v + 4.0;
    const CColor hot(3.0 * u / d, 2.0 * v / d);
    const double xyz[3] = {hot[0], hot[1], hot[2]};
    QCOMPARE(XYZtoCorColorTemp(xyz, &t), 0);
    QVERIFY(t > 1e10);
    QCOMPARE(hot.GetColorTemp(), std::numeric_limits<int>::max());
}

void TestColorConversions::rgbAndNoData()
{
    QVERIFY(near(GetColorReference().GetWhite().GetRGBValue(), 1.0, 1.0, 1.0, 1e-12));
    QVERIFY(near(kGreen.GetRGBValue(), 0.0, 1.0, 0.0, 2e-4));
    // Linear: nothing is clipped.
    const CColor rgb = CColor(0.8, 0.2, 0.1).GetRGBValue();
    QVERIFY(rgb[0] > 1.0 && rgb[1] < 0.0);

    CColor c(0.0, 0.0, 0.0);
    c.SetSpectrum(CSpectrum(380, 780, 401));
    c.SetRGBValue(CColor(1.0, 0.0, 0.0));
    QVERIFY(near(c, 0.4124, 0.2126, 0.0193, 1e-4));
    c.SetLabValue(CColor(50.0, 10.0, -10.0));
    QVERIFY(c.HasSpectrum());

    QVERIFY(noDataColor.GetLabValue(1.0).IsNoData());
    QVERIFY(noDataColor.GetLCHValue(1.0).IsNoData());
    QVERIFY(noDataColor.GetRGBValue().IsNoData());
    QCOMPARE(noDataColor.GetLValue(1.0), 0.0);
    c.SetLabValue(noDataColor);
    QVERIFY(c.IsNoData());
    CColor d(0.3, 0.4, 0.5);
    d.SetRGBValue(noDataColor);
    QVERIFY(d.IsNoData());
}

QTEST_APPLESS_MAIN(TestColorConversions)
#include "tst_colorconversions.moc"
