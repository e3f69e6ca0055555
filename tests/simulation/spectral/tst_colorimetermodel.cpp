// Colorimeters as spectral sensitivities: exact when their filters match the
// observer, exact on what their maker calibrated them on, and off on other
// display technologies however well a matrix fits them on one.
#include "chromaticity.h"
#include "colorimetermodel.h"
#include "displaytechnology.h"
#include "readingnoise.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

bool nearRelative(const Vec3& a, const Vec3& b, double relative)
{
    for (int i = 0; i < 3; ++i)
        if (std::fabs(a[i] - b[i]) > relative * std::fabs(b[1]))
            return false;
    return true;
}

QString text(const Vec3& v)
{
    return QStringLiteral("%1 %2 %3").arg(v[0], 0, 'g', 12).arg(v[1], 0, 'g', 12).arg(v[2], 0, 'g', 12);
}

ColorimeterModel instrument(const QString& name)
{
    for (const ColorimeterModel& c : ColorimeterModel::all())
        if (c.name() == name)
            return c;
    qFatal("no instrument %s", qPrintable(name));
}

DisplayTechnology technology(const QString& name)
{
    for (const DisplayTechnology& t : DisplayTechnology::all())
        if (t.name() == name)
            return t;
    qFatal("no technology %s", qPrintable(name));
}

// A technology's red, green, blue and white as the test drives them.
std::vector<Spectrum> fittingColours(const DisplayTechnology& t)
{
    return {t.spd(1, 0, 0), t.spd(0, 1, 0), t.spd(0, 0, 1), t.whiteSpd()};
}

} // namespace

class TestColorimeterModel : public QObject
{
    Q_OBJECT

private slots:
    void matchedFiltersReadExactly_data();
    void matchedFiltersReadExactly();
    void filterDeformations_data();
    void filterDeformations();
    void factoryCalibrationIsExactOnItsSource_data();
    void factoryCalibrationIsExactOnItsSource();
    void mismatchPerChannel_data();
    void mismatchPerChannel();
    void mismatchDiffersBetweenInstruments();
    void matrixFromOneTechnologyMissesAnother_data();
    void matrixFromOneTechnologyMissesAnother();
    void noise_data();
    void noise();
};

void TestColorimeterModel::matchedFiltersReadExactly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("r");
    QTest::addColumn<double>("g");
    QTest::addColumn<double>("b");
    for (const DisplayTechnology& t : DisplayTechnology::all()) {
        const QByteArray n = t.name().toUtf8();
        QTest::newRow(n + ": white") << t.name() << 1.0 << 1.0 << 1.0;
        QTest::newRow(n + ": red") << t.name() << 1.0 << 0.0 << 0.0;
        QTest::newRow(n + ": green") << t.name() << 0.0 << 1.0 << 0.0;
        QTest::newRow(n + ": blue") << t.name() << 0.0 << 0.0 << 1.0;
        QTest::newRow(n + ": dark orange") << t.name() << 0.05 << 0.02 << 0.003;
        QTest::newRow(n + ": grey with green cast") << t.name() << 0.5 << 0.55 << 0.5;
    }
}

void TestColorimeterModel::matchedFiltersReadExactly()
{
    QFETCH(QString, name);
    QFETCH(double, r);
    QFETCH(double, g);
    QFETCH(double, b);
    const Spectrum spd = technology(name).spd(r, g, b);
    const Vec3 truth = Observer::cie1931().xyz(spd);
    const Vec3 read = ColorimeterModel::ideal().reading(spd);
    QVERIFY2(nearRelative(read, truth, 1e-9), qPrintable(text(read) + " against " + text(truth)));
}

void TestColorimeterModel::filterDeformations_data()
{
    QTest::addColumn<double>("shift");
    QTest::addColumn<double>("widthScale");
    QTest::addColumn<double>("lobeHeight");
    QTest::newRow("to the red") << 3.0 << 1.0 << 0.0;
    QTest::newRow("to the blue") << -2.0 << 1.0 << 0.0;
    QTest::newRow("wider") << 0.0 << 1.06 << 0.0;
    QTest::newRow("narrower") << 0.0 << 0.95 << 0.0;
    QTest::newRow("side lobe") << 0.0 << 1.0 << 0.03;
}

void TestColorimeterModel::filterDeformations()
{
    QFETCH(double, shift);
    QFETCH(double, widthScale);
    QFETCH(double, lobeHeight);
    // On ȳ, whose single peak (555 nm) and half points are easy to find.
    ChannelDeformation d;
    d.shiftNm = shift;
    d.widthScale = widthScale;
    d.lobeNm = 420.0;
    d.lobeFwhmNm = 20.0;
    d.lobeHeight = lobeHeight;
    const ColorimeterModel c(QStringLiteral("deformed"), {{{}, d, {}}}, CalibrationSource::filteredIlluminantA());
    const Spectrum& target = Observer::cie1931().function(1);
    const Spectrum& s = c.sensitivity(1);
    const auto halfPoints = [](const Spectrum& curve) {
        std::vector<double> crossings;
        const double half = curve.peakValue() / 2.0;
        for (int i = 0; i + 1 < Spectrum::Count; ++i)
            if ((curve.at(i) - half) * (curve.at(i + 1) - half) < 0.0)
                crossings.push_back(Spectrum::wavelengthAt(i) + (half - curve.at(i)) / (curve.at(i + 1) - curve.at(i)));
        return crossings;
    };
    const std::vector<double> before = halfPoints(target), after = halfPoints(s);
    QCOMPARE(before.size(), std::size_t(2));
    QCOMPARE(after.size(), std::size_t(2));
    // About 555 nm: each half point moves by the shift plus the scaled distance.
    for (int i = 0; i < 2; ++i) {
        const double expected = 555.0 + shift + (before[i] - 555.0) * widthScale;
        QVERIFY2(std::fabs(after[i] - expected) < 0.3,
                 qPrintable(QString::number(after[i]) + " not " + QString::number(expected)));
    }
    // The lobe adds its own area, height times σ·sqrt(2π), and nothing else.
    const double added = s.integrate(Spectrum::constant(1.0)) - widthScale * target.integrate(Spectrum::constant(1.0));
    const double lobeArea = lobeHeight * target.peakValue() * 20.0 / 2.3548200450309493 * std::sqrt(2.0 * M_PI);
    QVERIFY2(std::fabs(added - lobeArea) < 1e-3 * target.integrate(Spectrum::constant(1.0)),
             qPrintable(QString::number(added)));
    if (lobeHeight > 0.0)
        QVERIFY(s.valueAt(420.0) - target.valueAt(420.0) > 0.9 * lobeHeight * target.peakValue());
}

void TestColorimeterModel::factoryCalibrationIsExactOnItsSource_data()
{
    QTest::addColumn<QString>("name");
    for (const ColorimeterModel& c : ColorimeterModel::all())
        QTest::newRow(c.name().toUtf8()) << c.name();
}

void TestColorimeterModel::factoryCalibrationIsExactOnItsSource()
{
    QFETCH(QString, name);
    const ColorimeterModel c = instrument(name);
    QCOMPARE(c.calibrationSource().spectra.size(), std::size_t(3));
    Spectrum mix;
    for (const Spectrum& s : c.calibrationSource().spectra) {
        const Vec3 truth = Observer::cie1931().xyz(s);
        QVERIFY2(nearRelative(c.reading(s), truth, 1e-9), qPrintable(text(c.reading(s)) + " against " + text(truth)));
        // Not by accident: without the matrix the filters read it wrong.
        QVERIFY(!nearRelative(c.raw(s), truth, 1e-3));
        mix += 0.4 * s;
    }
    QVERIFY(nearRelative(c.reading(mix), Observer::cie1931().xyz(mix), 1e-9));
}

void TestColorimeterModel::mismatchPerChannel_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("channel");
    for (const ColorimeterModel& c : ColorimeterModel::all())
        for (int channel = 0; channel < 3; ++channel)
            QTest::newRow(QStringLiteral("%1 %2").arg(c.name(), QString("XYZ").at(channel)).toUtf8())
                << c.name() << channel;
}

void TestColorimeterModel::mismatchPerChannel()
{
    QFETCH(QString, name);
    QFETCH(int, channel);
    // Colorimeters of the class these are sold as: f1′ of a few percent.
    const ColorimeterModel c = instrument(name);
    const double f1 = c.f1Prime(channel);
    QVERIFY2(f1 >= 0.01 && f1 <= 0.10, qPrintable(QString::number(f1)));
    // The measure itself: nothing for a match, and a channel's gain does
    // not count, only its shape.
    QVERIFY(ColorimeterModel::ideal().f1Prime(channel) < 1e-12);
    const Spectrum& s = c.sensitivity(channel);
    const Spectrum& target = Observer::cie1931().function(channel);
    for (double gain : {0.4, 3.0, 250.0}) {
        QVERIFY(ColorimeterModel::f1Prime(gain * target, target) < 1e-12);
        QVERIFY2(std::fabs(ColorimeterModel::f1Prime(gain * s, target) - f1) < 1e-12,
                 qPrintable(QString::number(ColorimeterModel::f1Prime(gain * s, target) - f1)));
    }
}

void TestColorimeterModel::mismatchDiffersBetweenInstruments()
{
    const std::vector<ColorimeterModel> all = ColorimeterModel::all();
    // Each instrument's filters are its own: no two alike in every channel.
    for (std::size_t i = 0; i < all.size(); ++i)
        for (std::size_t j = i + 1; j < all.size(); ++j) {
            double largest = 0.0;
            for (int channel = 0; channel < 3; ++channel)
                largest = std::max(largest, std::fabs(all[i].f1Prime(channel) - all[j].f1Prime(channel)));
            QVERIFY2(largest > 0.005, qPrintable(all[i].name() + " and " + all[j].name()));
        }
}

void TestColorimeterModel::matrixFromOneTechnologyMissesAnother_data()
{
    QTest::addColumn<QString>("instrumentName");
    QTest::addColumn<QString>("technologyName");
    for (const ColorimeterModel& c : ColorimeterModel::all())
        for (const DisplayTechnology& t : DisplayTechnology::all())
            QTest::newRow((c.name() + " on " + t.name()).toUtf8()) << c.name() << t.name();
}

void TestColorimeterModel::matrixFromOneTechnologyMissesAnother()
{
    QFETCH(QString, instrumentName);
    QFETCH(QString, technologyName);
    const ColorimeterModel c = instrument(instrumentName);
    const Observer& observer = Observer::cie1931();
    std::vector<Vec3> readings, truths;
    for (const Spectrum& s : fittingColours(technology(technologyName))) {
        readings.push_back(c.reading(s));
        truths.push_back(observer.xyz(s));
    }
    bool ok = false;
    const Matrix3 m = Matrix3::fit(readings, truths, {}, &ok);
    QVERIFY(ok);

    double worstOther = 0.0;
    for (const DisplayTechnology& t : DisplayTechnology::all()) {
        const Spectrum white = t.whiteSpd();
        const double error = deltaUv(m * c.reading(white), observer.xyz(white));
        if (t.name() == technologyName)
            QVERIFY2(error < 0.0005, qPrintable(QStringLiteral("own white off by %1").arg(error)));
        else
            worstOther = std::max(worstOther, error);
    }
    QVERIFY2(worstOther > 0.0005, qPrintable(QStringLiteral("other whites off by at most %1").arg(worstOther)));
}

void TestColorimeterModel::noise_data()
{
    QTest::addColumn<double>("luminance");
    QTest::addColumn<double>("relative");
    QTest::addColumn<double>("floor");
    QTest::newRow("bright, flicker only") << 200.0 << 0.002 << 0.0;
    QTest::newRow("bright, both") << 200.0 << 0.002 << 0.001;
    QTest::newRow("dark, floor only") << 0.01 << 0.0 << 0.001;
    QTest::newRow("dark, both") << 0.01 << 0.002 << 0.001;
}

void TestColorimeterModel::noise()
{
    QFETCH(double, luminance);
    QFETCH(double, relative);
    QFETCH(double, floor);
    const Vec3 truth{0.95 * luminance, luminance, 1.09 * luminance};
    std::mt19937_64 engine(7);
    const int n = 4000;
    Vec3 mean{};
    double varY = 0.0, worstChromaticity = 0.0;
    for (int k = 0; k < n; ++k) {
        const Vec3 r = noisyReading(truth, engine, relative, floor);
        for (int i = 0; i < 3; ++i)
            mean[i] += r[i] / n;
        varY += (r[1] - luminance) * (r[1] - luminance) / n;
        const Chromaticity a = xyChromaticity(r), b = xyChromaticity(truth);
        worstChromaticity = std::max(worstChromaticity, std::hypot(a[0] - b[0], a[1] - b[1]));
    }
    // Unbiased, and spread as the two sources add: σ² = (relative·Y)² + floor².
    const double sigma = std::hypot(relative * luminance, floor);
    QVERIFY2(std::fabs(mean[1] - luminance) < 5.0 * sigma / std::sqrt(double(n)), qPrintable(QString::number(mean[1])));
    QVERIFY2(std::fabs(std::sqrt(varY) / sigma - 1.0) < 0.1, qPrintable(QString::number(std::sqrt(varY) / sigma)));
    // Noise along the vector keeps the chromaticity; the floor does not.
    if (floor == 0.0)
        QVERIFY2(worstChromaticity < 1e-12, qPrintable(QString::number(worstChromaticity)));
    else if (luminance < 1.0)
        QVERIFY2(worstChromaticity > 0.01, qPrintable(QString::number(worstChromaticity)));
}

QTEST_APPLESS_MAIN(TestColorimeterModel)
#include "tst_colorimetermodel.moc"
