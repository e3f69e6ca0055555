// Spectra, their shapes and their XYZ through the observer.
#include "displaytechnology.h"
#include "observer.h"
#include "spectrum.h"
#include "xspect.h"

#include <QtTest>

#include <cmath>
#include <memory>

Q_DECLARE_METATYPE(Spectrum)

namespace {

// The wavelengths either side of the peak where the spectrum falls to half
// its maximum, found by bisection on the interpolated samples.
std::pair<double, double> halfPoints(const Spectrum& s, double peakNm)
{
    const double half = s.valueAt(peakNm) / 2.0;
    const auto cross = [&](double inside, double outside) {
        for (int i = 0; i < 60; ++i) {
            const double mid = (inside + outside) / 2.0;
            (s.valueAt(mid) > half ? inside : outside) = mid;
        }
        return (inside + outside) / 2.0;
    };
    return {cross(peakNm, Spectrum::FirstNm), cross(peakNm, Spectrum::LastNm)};
}

} // namespace

class TestSpectrum : public QObject
{
    Q_OBJECT

private slots:
    void observerMatchesLibraryConverter_data();
    void observerMatchesLibraryConverter();
    void illuminantAChromaticity();
    void bandShapes_data();
    void bandShapes();
    void arithmetic();
};

void TestSpectrum::observerMatchesLibraryConverter_data()
{
    QTest::addColumn<Spectrum>("spd");
    QTest::newRow("Illuminant A") << Spectrum::illuminantA();
    QTest::newRow("blue band") << Spectrum::gaussian(450.0, 20.0);
    QTest::newRow("skewed red band") << Spectrum::skewedGaussian(615.0, 35.0, 1.5);
    QTest::newRow("equal energy") << Spectrum::constant(1.0);
    QTest::newRow("deep red edge") << Spectrum::bandPass(700.0, 780.0, 5.0, 1.0, 0.0);
    QTest::newRow("white OLED white") << DisplayTechnology::whiteOled().whiteSpd();
}

void TestSpectrum::observerMatchesLibraryConverter()
{
    QFETCH(Spectrum, spd);
    const std::unique_ptr<xsp2cie, void (*)(xsp2cie*)> conv(new_xsp2cie(XSPECT_OBS_CIE_1931_2, nullptr, XSPECT_CIE_XYZ),
                                                            xsp2cie_del);
    QVERIFY(conv);
    // The spectrum is zero outside 380-780 nm; the library would hold its end
    // samples beyond them, so it integrates over the spectrum's own range.
    conv->wl_start = Spectrum::FirstNm;
    conv->wl_end = Spectrum::LastNm + 0.5;
    auto sp = std::make_unique<xspect>();
    spd.toXspect(*sp);
    double expected[3] = {};
    QCOMPARE(xsp2cie_convert(conv.get(), expected, sp.get()), 0);
    const Vec3 xyz = Observer::cie1931().xyz(spd);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(std::fabs(xyz[i] - expected[i]) <= 1e-12 * std::fabs(expected[1]),
                 qPrintable(QStringLiteral("channel %1: %2, library %3").arg(i).arg(xyz[i]).arg(expected[i])));
}

void TestSpectrum::illuminantAChromaticity()
{
    // CIE 15: Illuminant A at x 0.44757, y 0.40745.
    const Vec3 xyz = Observer::cie1931().xyz(Spectrum::illuminantA());
    const double sum = xyz[0] + xyz[1] + xyz[2];
    QVERIFY2(std::fabs(xyz[0] / sum - 0.44757) < 1e-4, qPrintable(QString::number(xyz[0] / sum, 'f', 6)));
    QVERIFY2(std::fabs(xyz[1] / sum - 0.40745) < 1e-4, qPrintable(QString::number(xyz[1] / sum, 'f', 6)));
}

void TestSpectrum::bandShapes_data()
{
    QTest::addColumn<double>("peak");
    QTest::addColumn<double>("fwhm");
    QTest::addColumn<double>("skew");
    QTest::newRow("narrow symmetric") << 450.0 << 20.0 << 1.0;
    QTest::newRow("broad symmetric") << 555.0 << 115.0 << 1.0;
    QTest::newRow("long tail") << 525.0 << 35.0 << 1.4;
    QTest::newRow("short tail") << 620.0 << 30.0 << 0.7;
}

void TestSpectrum::bandShapes()
{
    QFETCH(double, peak);
    QFETCH(double, fwhm);
    QFETCH(double, skew);
    const Spectrum s = Spectrum::skewedGaussian(peak, fwhm, skew);
    QCOMPARE(s.valueAt(peak), 1.0);
    QVERIFY(s.valueAt(peak - 1.0) < 1.0 && s.valueAt(peak + 1.0) < 1.0);
    const auto [low, high] = halfPoints(s, peak);
    // Linear interpolation between 1 nm samples: a few hundredths of a nm.
    QVERIFY2(std::fabs((high - low) - fwhm) < 0.05, qPrintable(QString::number(high - low)));
    QVERIFY2(std::fabs((high - peak) / (peak - low) - skew) < 0.01 * skew,
             qPrintable(QString::number((high - peak) / (peak - low))));
}

void TestSpectrum::arithmetic()
{
    const Spectrum a = Spectrum::gaussian(500.0, 40.0);
    const Spectrum b = Spectrum::bandPass(520.0, 600.0, 5.0, 0.8, 0.1);
    const Spectrum sum = 2.0 * a + b;
    const Spectrum product = a * b;
    for (int nm : {380, 450, 500, 520, 560, 600, 780}) {
        QCOMPARE(sum.valueAt(nm), 2.0 * a.valueAt(nm) + b.valueAt(nm));
        QCOMPARE(product.valueAt(nm), a.valueAt(nm) * b.valueAt(nm));
    }
    // A band-pass filter is half way between leak and peak at its edges.
    QVERIFY(std::fabs(b.valueAt(520.0) - 0.45) < 1e-3);
    QVERIFY(std::fabs(b.valueAt(600.0) - 0.45) < 1e-3);
    // ∫ of a normal band is its height times σ·sqrt(2π).
    const double sigma = 40.0 / 2.3548200450309493;
    QVERIFY(std::fabs(a.integrate(Spectrum::constant(1.0)) - sigma * std::sqrt(2.0 * M_PI)) < 1e-6);
}

QTEST_APPLESS_MAIN(TestSpectrum)
#include "tst_spectrum.moc"
