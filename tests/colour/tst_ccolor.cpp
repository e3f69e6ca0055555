#include "ccolor.h"
#include "ccolorreference.h"
#include "cspectrum.h"
#include "matrixchecks.h"

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

// 0, 1, 2 ... one sample per nanometre from 380 nm.
CSpectrum ramp(int count)
{
    CSpectrum s(380, 380 + count - 1, count);
    std::vector<float> values(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        values[static_cast<size_t>(i)] = float(i);
    s.SetData(0, count, values.data());
    return s;
}

} // namespace

class TestCColor : public QObject
{
    Q_OBJECT

private slots:
    void construction();
    void chromaticityForms();
    void noDataPassesThroughConversions();
    void zeroColours();
    void lab();
    void deltaE();
    void colourTemperature();
    void colourTemperatureOutsideTable();
    void rgb();
    void spectrumOwnership();
    void travelsThroughQueuedSignals();
    void spectrumConstruction();
    void spectrumSetDataBounds();
    void spectrumInterpolationStaysInside();
    void spectrumCopiesAreIndependent();
};

void TestCColor::construction()
{
    const CColor unit;
    QVERIFY(unit == CColor(1, 1, 1));
    QVERIFY(!unit.HasSpectrum());

    const CColor c(0.25, 0.5, 2.0);
    QVERIFY(c.GetRows() == 3 && c.GetColumns() == 1);
    QCOMPARE(c.GetLuminance(), 0.5);

    // From a 3x1 product, as the correction matrix gives it.
    const CColor corrected = Matrix::IdentityMatrix(3) * 2.0 * c;
    QCOMPARE(corrected[2], 4.0);
    // A product that failed must not be mistaken for a reading.
    MatrixChecks::expectReport("mismatched matrices in multiplication");
    QVERIFY(CColor(Matrix(1.0, 2, 2) * c).IsNoData());
    QVERIFY(noDataColor == CColor(-99999.99, -99999.99, -99999.99));
}

void TestCColor::chromaticityForms()
{
    const CColor d65(0.3127, 0.329);
    QCOMPARE(d65[1], 1.0);
    QVERIFY(qAbs(d65[0] - 0.3127 / 0.329) < 1e-15);
    QVERIFY(near(d65.GetxyYValue(), 0.3127, 0.329, 1.0, 1e-12));

    // Equal-energy white has u'v' (4/19, 9/19).
    QVERIFY(near(CColor(1.0, 1.0, 1.0).GetuvYValue(), 4.0 / 19.0, 9.0 / 19.0, 1.0, 1e-15));

    CColor back;
    back.SetxyYValue(CColor(0.64, 0.33, 21.26));
    QVERIFY(near(back.GetxyYValue(), 0.64, 0.33, 21.26, 1e-12));

    CColor target(7, 8, 9);
    target.SetXYZValue(CColor(1, 2, 3));
    QVERIFY(target == CColor(1, 2, 3));
    QVERIFY(target.GetXYZValue() == target);
    QVERIFY(target.GetSensorValue() == CColor(1, 1, 1));
}

void TestCColor::noDataPassesThroughConversions()
{
    for (const CColor& c : {noDataColor.GetxyYValue(), noDataColor.GetuvYValue(), noDataColor.GetSensorValue(),
                            noDataColor.GetLabValue(1.0), noDataColor.GetLCHValue(1.0), noDataColor.GetRGBValue()})
        QVERIFY(c.IsNoData());
    QCOMPARE(noDataColor.GetLValue(1.0), 0.0);
    QVERIFY(!CColor(-99999.99, -99999.99, 0).IsNoData());
    // Set from no data, a colour becomes no data whatever the form.
    CColor c(1, 2, 3);
    c.SetxyYValue(noDataColor);
    QVERIFY(c.IsNoData());
    CColor d(0.3, 0.4, 0.5);
    d.SetRGBValue(noDataColor);
    QVERIFY(d.IsNoData());
    CColor e(0.3, 0.4, 0.5);
    e.SetLabValue(noDataColor);
    QVERIFY(e.IsNoData());
}

void TestCColor::zeroColours()
{
    const CColor black(0, 0, 0);
    QVERIFY(black.GetxyYValue() == CColor(0, 0, 0));
    QVERIFY(black.GetuvYValue() == CColor(0, 0, 0));
    QVERIFY(CColor(0.3, 0.0) == CColor(0, 0, 0));
}

void TestCColor::lab()
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

void TestCColor::deltaE()
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

void TestCColor::colourTemperature()
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

void TestCColor::colourTemperatureOutsideTable()
{
    double t = -5.0;
    const double black[3] = {0.0, 0.0, 0.0};
    const double faint[3] = {1e-21, 5e-21, 1e-22};
    for (const double* xyz : {black, faint, static_cast<const double*>(nullptr)})
        QCOMPARE(XYZtoCorColorTemp(xyz, &t), -1);
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

void TestCColor::rgb()
{
    QVERIFY(near(GetColorReference().GetWhite().GetRGBValue(), 1.0, 1.0, 1.0, 1e-12));
    QVERIFY(near(kGreen.GetRGBValue(), 0.0, 1.0, 0.0, 2e-4));
    // Linear: nothing is clipped.
    const CColor rgb = CColor(0.8, 0.2, 0.1).GetRGBValue();
    QVERIFY(rgb[0] > 1.0 && rgb[1] < 0.0);

    // Setting a value keeps the spectrum that came with the reading.
    CColor c(0.0, 0.0, 0.0);
    c.SetSpectrum(CSpectrum(380, 780, 401));
    c.SetRGBValue(CColor(1.0, 0.0, 0.0));
    QVERIFY(near(c, 0.4124, 0.2126, 0.0193, 1e-4));
    c.SetLabValue(CColor(50.0, 10.0, -10.0));
    QVERIFY(c.HasSpectrum());
}

void TestCColor::spectrumOwnership()
{
    CColor a(1, 2, 3);
    a.SetSpectrum(ramp(401));
    QVERIFY(a.HasSpectrum());

    CColor copy(a);
    copy.ResetSpectrum();
    QVERIFY(a.HasSpectrum());
    QCOMPARE(a.GetSpectrum().GetData(500.0f), 120.0f);

    CColor assigned;
    assigned = a;
    a.ResetSpectrum();
    QVERIFY(assigned.HasSpectrum());
    QCOMPARE(assigned.GetSpectrum().GetCount(), 401);

    CColor& self = assigned;
    assigned = self;
    QVERIFY(assigned.HasSpectrum());
    QCOMPARE(assigned.GetSpectrum().GetData(380.5f), 0.5f);

    // Replacing a spectrum releases the old one (checked by the sanitizers).
    assigned.SetSpectrum(CSpectrum(400, 700, 301));
    QCOMPARE(assigned.GetSpectrum().GetStart(), 400);
    assigned = CColor(4, 5, 6);
    QVERIFY(!assigned.HasSpectrum());

    const CSpectrum none = CColor().GetSpectrum();
    QVERIFY(none.GetRows() == 0 && none.GetColumns() == 1);
    QCOMPARE(none.GetCount(), 0);
    QVERIFY(none.GetSamples().isEmpty());

    CColor moved(std::move(assigned));
    QCOMPARE(moved[1], 5.0);
}

// Carries a colour across threads the way the sensor's signal does.
class Emitter : public QObject
{
    Q_OBJECT
signals:
    void colorChanged(CColor c);
};

void TestCColor::travelsThroughQueuedSignals()
{
    qRegisterMetaType<CColor>("CColor");
    Emitter emitter;
    CColor received(0, 0, 0);
    QObject::connect(&emitter, &Emitter::colorChanged, this,
                     [&received](const CColor& c) { received = c; }, Qt::QueuedConnection);
    CColor sent(1.5, 2.5, 3.5);
    sent.SetSpectrum(CSpectrum(380, 780, 401));
    emit emitter.colorChanged(sent);
    sent = CColor(9, 9, 9);
    QTRY_VERIFY_WITH_TIMEOUT(received == CColor(1.5, 2.5, 3.5), 2000);
    QVERIFY(received.HasSpectrum());
}

void TestCColor::spectrumConstruction()
{
    const CSpectrum empty;
    QVERIFY(empty.GetRows() == 0 && empty.GetCount() == 0);

    const CSpectrum sampled(380, 780, 401);
    QCOMPARE(sampled.GetSamples().size(), 401);
    QCOMPARE(sampled.GetSamples().at(400), 0.0f);
    QCOMPARE(sampled.GetRows(), 0);

    const CSpectrum column(5, 380, 780, 401);
    QVERIFY(column.GetRows() == 5 && column.GetColumns() == 1);
    QVERIFY(column.GetSamples().isEmpty());

    const double v[] = {0.5, 1.5, 2.5};
    CSpectrum filled(3, 400, 402, 3, v);
    QCOMPARE(filled[2], 2.5);
    filled[0] = 7.0;
    QCOMPARE(filled(0, 0), 7.0);
    MatrixChecks::expectReport("out-of-bounds index");
    QVERIFY(std::isnan(static_cast<const CSpectrum&>(filled)[3]));

    // Samples are not enough for a tristimulus value.
    QVERIFY(ramp(401).GetXYZValue() == noDataColor);
    QVERIFY(CSpectrum().GetXYZValue() == noDataColor);
}

void TestCColor::spectrumSetDataBounds()
{
    CSpectrum s(380, 780, 401);
    std::vector<float> ones(402, 1.0f);
    QVERIFY(s.SetData(0, 401, ones.data()));
    QCOMPARE(s.GetSamples().at(400), 1.0f);

    CSpectrum t(380, 780, 401);
    QVERIFY(!t.SetData(1, 401, ones.data()));
    QVERIFY(!t.SetData(-1, 1, ones.data()));
    QCOMPARE(t.GetSamples().at(1), 0.0f);
    QVERIFY(t.SetData(400, 1, ones.data()));
    QCOMPARE(t.GetSamples().at(400), 1.0f);
    QVERIFY(t.SetData(10, 0, nullptr));
    QVERIFY(t.SetData(10, -5, ones.data()));
}

void TestCColor::spectrumInterpolationStaysInside()
{
    // Linear between samples, the end intervals extended outside. Run under the
    // sanitizers: none of these may read past the samples.
    const struct {
        int count;
        float at, expected;
    } cases[] = {{401, 380.5f, 0.5f}, {401, 550.0f, 170.0f}, {401, 780.0f, 400.0f}, {401, 790.0f, 410.0f},
                 {401, 370.0f, -10.0f}, {10, 382.5f, 2.5f}, {10, 600.0f, 220.0f}, {10, 300.0f, -80.0f},
                 {1, 500.0f, 0.0f}};
    for (const auto& c : cases)
        QCOMPARE(ramp(c.count).GetData(c.at), c.expected);
    // Far outside the grid, with no undefined float-to-int conversion on the way.
    const CSpectrum s = ramp(401);
    QVERIFY(s.GetData(1e30f) > 1e29f);
    QVERIFY(s.GetData(-1e30f) < -1e29f);
    QVERIFY(std::isnan(s.GetData(std::nanf(""))));
    QVERIFY(std::isnan(CSpectrum().GetData(500.0f)));
    QVERIFY(std::isnan(CSpectrum(5, 380, 780, 401).GetData(500.0f)));
}

void TestCColor::spectrumCopiesAreIndependent()
{
    CSpectrum original = ramp(401);
    const CSpectrum copy(original);
    CSpectrum assigned;
    assigned = original;
    const float nine = 9.0f;
    QVERIFY(original.SetData(0, 1, &nine));
    QCOMPARE(copy.GetSamples().at(0), 0.0f);
    QCOMPARE(assigned.GetData(380.0f), 0.0f);
    QCOMPARE(original.GetData(380.0f), 9.0f);
}

QTEST_GUILESS_MAIN(TestCColor)
#include "tst_ccolor.moc"
