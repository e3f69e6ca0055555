// The simulated station's world: colour maths from the CIE definitions, the
// display model, what each instrument reads and from which patch.
#include "displaymodel.h"
#include "simulatedworld.h"
#include "xspect.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

using Instrument = SimulatedWorld::Instrument;

namespace {

const Instrument kAll[] = {Instrument::CA410, Instrument::CR100, Instrument::CR250, Instrument::I1DisplayPro,
                           Instrument::K10};

// u' v' straight from x, y (CIE 1976 UCS), a different road from the code's XYZ one.
std::array<double, 2> upvpOf(double x, double y)
{
    const double d = -2.0 * x + 12.0 * y + 3.0;
    return {{4.0 * x / d, 9.0 * y / d}};
}

Xyz times(const std::array<std::array<double, 3>, 3>& m, const Xyz& v)
{
    Xyz r{};
    for (size_t i = 0; i < 3; ++i)
        r[i] = m[i][0] * v[0] + m[i][1] * v[1] + m[i][2] * v[2];
    return r;
}

bool near(const Xyz& a, const Xyz& b, double relative)
{
    for (size_t i = 0; i < 3; ++i) {
        if (std::abs(a[i] - b[i]) > relative * std::max(1.0, std::abs(b[i])))
            return false;
    }
    return true;
}

QByteArray text(const Xyz& v)
{
    return QByteArray::number(v[0], 'f', 6) + ", " + QByteArray::number(v[1], 'f', 6) + ", "
        + QByteArray::number(v[2], 'f', 6);
}

// The spectrum summed against the CA-410 library's CIE 1931 table, read sample
// by sample, at 683 lm/W: a road apart from the model's observer and the
// library's converter.
Xyz summedAgainstTable(const Spectrum& spd)
{
    Xyz xyz{};
    for (int i = 0; i < Spectrum::Count; ++i) {
        for (size_t k = 0; k < 3; ++k) {
            double bar = 0.0;
            QTest::qVerify(getval_xspec(&ob_CIE_1931_2[k], &bar, Spectrum::wavelengthAt(i)) == 1, "table", "",
                           __FILE__, __LINE__);
            xyz[k] += 0.683002 * spd.at(i) * bar;
        }
    }
    return xyz;
}

} // namespace

class TestSimulatedWorld : public QObject
{
    Q_OBJECT

private slots:
    void upvpFromTheCieDefinitions_data();
    void upvpFromTheCieDefinitions();
    void primariesAddUpToTheNativeWhite_data();
    void primariesAddUpToTheNativeWhite();
    void anotherPanelOnTheStand();
    void emittedFollowsGammaAndGains();
    void screenPatchOverridesTheDisplay();
    void sensorMismatchesDependOnTheTechnology();
    void readingIsMismatchTimesTruthPlusNoise();
    void noiseKeepsTheChromaticityAndHasAFloor();
};

void TestSimulatedWorld::upvpFromTheCieDefinitions_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("up");
    QTest::addColumn<double>("vp");
    // Published u' v' of the standard illuminants (to 4 places) and the exact
    // equal-energy point, 4/19 and 9/19.
    QTest::newRow("D65") << 0.3127 << 0.3290 << 0.1978 << 0.4683;
    QTest::newRow("illuminant A") << 0.44757 << 0.40745 << 0.2560 << 0.5243;
    QTest::newRow("equal energy") << 1.0 / 3.0 << 1.0 / 3.0 << 4.0 / 19.0 << 9.0 / 19.0;
    QTest::newRow("D50") << 0.3457 << 0.3585 << 0.2092 << 0.4881;
}

void TestSimulatedWorld::upvpFromTheCieDefinitions()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, up);
    QFETCH(double, vp);
    // Any luminance: chromaticity does not depend on it.
    for (double luminance : {1.0, 80.0, 250.0}) {
        const Xyz xyz = DisplayModel::fromChromaticity({x, y}, luminance);
        QVERIFY(std::abs(xyz[1] - luminance) < 1e-12);
        const DisplayModel::Chromaticity back = DisplayModel::chromaticity(xyz);
        QVERIFY(std::abs(back.x - x) < 1e-12 && std::abs(back.y - y) < 1e-12);
        const std::array<double, 2> uv = DisplayModel::upvp(xyz);
        QVERIFY2(std::abs(uv[0] - up) < 6e-5 && std::abs(uv[1] - vp) < 6e-5,
                 QByteArray::number(uv[0], 'f', 6) + " " + QByteArray::number(uv[1], 'f', 6));
        const std::array<double, 2> exact = upvpOf(x, y);
        QVERIFY(std::abs(uv[0] - exact[0]) < 1e-12 && std::abs(uv[1] - exact[1]) < 1e-12);
        const double fromD65 = std::hypot(exact[0] - 0.197830, exact[1] - 0.468320);
        QVERIFY(std::abs(DisplayModel::whiteError(xyz) - fromD65) < 1e-5);
    }
    const Xyz a = DisplayModel::fromChromaticity({x, y}, 10.0);
    const Xyz b = DisplayModel::fromChromaticity({0.3127, 0.3290}, 200.0);
    const std::array<double, 2> ua = upvpOf(x, y);
    const std::array<double, 2> ub = upvpOf(0.3127, 0.3290);
    QVERIFY(std::abs(DisplayModel::deltaUpVp(a, b) - std::hypot(ua[0] - ub[0], ua[1] - ub[1])) < 1e-12);
    QCOMPARE(DisplayModel::targetWhite().x, 0.3127);
    QCOMPARE(DisplayModel::targetWhite().y, 0.3290);
}

void TestSimulatedWorld::primariesAddUpToTheNativeWhite_data()
{
    QTest::addColumn<int>("technology");
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds())
        QTest::newRow(qPrintable(DisplayTechnology::key(kind))) << int(kind);
}

void TestSimulatedWorld::primariesAddUpToTheNativeWhite()
{
    QFETCH(int, technology);
    const auto kind = DisplayTechnology::Kind(technology);
    SimulatedWorld world(kind);
    QCOMPARE(world.displayTechnology(), kind);
    world.setNoise(0.0);
    const DisplayModel display = world.display();
    QCOMPARE(display.kind(), kind);

    // What the reference instrument reads of each primary and of the white is
    // the spectrum summed against the library's colour-matching table, sample
    // by sample here, at 683 lm/W.
    Xyz sum{};
    for (int i = 0; i < 3; ++i) {
        Rgb level{};
        level[size_t(i)] = 1.0;
        world.setDisplayPatch(level);
        const Xyz p = world.referenceReading();
        QVERIFY2(near(p, summedAgainstTable(world.trueSpectrum()), 1e-9), text(p));
        QVERIFY(near(p, display.primary(i), 1e-9));
        QVERIFY(p[1] > 0.0);
        for (size_t k = 0; k < 3; ++k)
            sum[k] += p[k];
    }
    QCOMPARE(display.primary(3), Xyz{});
    world.setDisplayPatch({{1.0, 1.0, 1.0}});
    const Xyz white = world.referenceReading();
    QVERIFY2(near(white, summedAgainstTable(world.trueSpectrum()), 1e-9), text(white));
    QVERIFY(near(world.trueWhite(), white, 1e-9));
    // A colorimeter whose filters are the observer's reads what the reference does.
    QVERIFY(near(ColorimeterModel::ideal().reading(world.trueSpectrum()), white, 1e-9));
    // Bluish or yellowish, far enough from D65 that the firmware has work to do.
    QVERIFY2(DisplayModel::whiteError(white) > 0.005, QByteArray::number(DisplayModel::whiteError(white)));
    if (display.technology().hasWhiteSubpixel()) {
        // The white sub-pixel adds its light on top of red, green and blue.
        QVERIFY(white[1] > sum[1] * 1.5);
    } else {
        QVERIFY2(near(white, sum, 1e-9), text(white) + " vs " + text(sum));
    }
    if (kind == DisplayTechnology::Kind::WhiteLedLcd) {
        // The panel the station showed before it had spectra: the same native
        // white at the same luminance.
        QVERIFY2(near(white, DisplayModel::fromChromaticity({0.2900, 0.3050}, 250.0), 1e-9), text(white));
    }
}

void TestSimulatedWorld::emittedFollowsGammaAndGains()
{
    const DisplayModel display;
    const Xyz red = display.primary(0);
    const Xyz green = display.primary(1);
    const Xyz blue = display.primary(2);
    const double half = std::pow(0.5, 2.2);
    QVERIFY(near(display.emitted({{0.5, 0.0, 0.0}}), Xyz{{red[0] * half, red[1] * half, red[2] * half}}, 1e-12));
    const Xyz grey = display.emitted({{0.5, 0.5, 0.5}});
    QVERIFY(std::abs(grey[1] - 250.0 * half) < 1e-9);

    // Gains scale each channel in linear light, after the gamma.
    const Rgb gains{{1.0, 0.5, 0.25}};
    const Xyz weighted = display.emitted({{1.0, 1.0, 1.0}}, gains);
    Xyz expected{};
    for (size_t k = 0; k < 3; ++k)
        expected[k] = red[k] + 0.5 * green[k] + 0.25 * blue[k];
    QVERIFY(near(weighted, expected, 1e-12));
    const Xyz dimGreen = display.emitted({{0.0, 0.25, 0.0}}, gains);
    QVERIFY(std::abs(dimGreen[1] - 0.5 * std::pow(0.25, 2.2) * green[1]) < 1e-12);

    // Drive levels outside 0..1 are clipped like a panel's.
    QVERIFY(near(display.emitted({{1.5, -0.2, 1.0}}), display.emitted({{1.0, 0.0, 1.0}}), 1e-12));
    QCOMPARE(display.emitted({{0.0, 0.0, 0.0}}), Xyz{});
}

void TestSimulatedWorld::screenPatchOverridesTheDisplay()
{
    SimulatedWorld world;
    world.setNoise(0.0);
    const DisplayModel& display = world.display();
    QCOMPARE(world.displayGains(), SimulatedWorld::factoryGains());
    QCOMPARE(SimulatedWorld::factoryGains(), (Rgb{{1.0, 1.0, 1.0}}));
    world.setDisplayPatch({{0.5, 1.0, 0.25}});
    world.setDisplayGains({{0.9, 0.8, 0.7}});
    const Xyz underAlignment = display.emitted({{0.5, 1.0, 0.25}}, {{0.9, 0.8, 0.7}});
    QVERIFY(near(world.trueReading(), underAlignment, 1e-12));
    const Xyz whiteWithGains = display.emitted({{1.0, 1.0, 1.0}}, {{0.9, 0.8, 0.7}});
    QVERIFY(near(world.trueWhite(), whiteWithGains, 1e-12));
    QVERIFY(std::abs(world.trueWhiteError() - DisplayModel::whiteError(whiteWithGains)) < 1e-15);

    // The dialog's patch, at factory gains, is what every instrument sees.
    QVERIFY(!world.screenPatch());
    world.setScreenPatch(std::array<int, 3>{{255, 128, 0}});
    QCOMPARE(world.screenPatch(), (std::optional<std::array<int, 3>>(std::array<int, 3>{{255, 128, 0}})));
    const Xyz painted = display.emitted({{1.0, 128.0 / 255.0, 0.0}}, SimulatedWorld::factoryGains());
    QVERIFY2(near(world.trueReading(), painted, 1e-12), text(world.trueReading()));
    QVERIFY(near(world.referenceReading(), painted, 1e-12));
    for (Instrument instrument : kAll)
        QVERIFY(near(world.sensorReading(instrument), times(world.mismatch(instrument), painted), 1e-12));
    // The display under alignment keeps its own white meanwhile.
    QVERIFY(near(world.trueWhite(), whiteWithGains, 1e-12));
}

void TestSimulatedWorld::anotherPanelOnTheStand()
{
    SimulatedWorld world;
    world.setNoise(0.0);
    world.setDisplayPatch({{0.5, 1.0, 0.25}});
    world.setDisplayGains({{0.9, 0.8, 0.7}});
    const Xyz lcd = world.trueReading();
    world.setDisplayTechnology(DisplayTechnology::Kind::RgbOled);
    QCOMPARE(world.displayTechnology(), DisplayTechnology::Kind::RgbOled);
    // Patch and gains stay; what is shown is the other panel's.
    QCOMPARE(world.displayPatch(), (Rgb{{0.5, 1.0, 0.25}}));
    QCOMPARE(world.displayGains(), (Rgb{{0.9, 0.8, 0.7}}));
    const Xyz oled = world.trueReading();
    QVERIFY(!near(oled, lcd, 1e-3));
    QVERIFY(near(oled, DisplayModel(DisplayTechnology::Kind::RgbOled).emitted({{0.5, 1.0, 0.25}}, {{0.9, 0.8, 0.7}}),
                 1e-12));
    world.setDisplayTechnology(DisplayTechnology::Kind::WhiteLedLcd);
    QVERIFY(near(world.trueReading(), lcd, 1e-12));
}

void TestSimulatedWorld::sensorMismatchesDependOnTheTechnology()
{
    // A colorimeter's error is its filters against the spectrum it looks at:
    // the same sensor errs differently on each technology, and on one
    // technology each sensor errs in its own way.
    std::vector<std::string> names;
    SimulatedWorld world;
    for (Instrument a : kAll) {
        std::vector<std::array<std::array<double, 3>, 3>> perTechnology;
        for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
            world.setDisplayTechnology(kind);
            perTechnology.push_back(world.mismatch(a));
            for (const auto& row : perTechnology.back()) {
                for (double v : row)
                    QVERIFY(std::abs(v) < 1.2);
            }
        }
        double spread = 0.0;
        for (size_t t = 1; t < perTechnology.size(); ++t) {
            for (size_t i = 0; i < 3; ++i)
                for (size_t j = 0; j < 3; ++j)
                    spread = std::max(spread, std::abs(perTechnology[t][i][j] - perTechnology[0][i][j]));
        }
        QVERIFY2(spread >= 0.002, qPrintable(QString::fromStdString(SimulatedWorld::instrumentName(a))));
        world.setDisplayTechnology(DisplayTechnology::Kind::WhiteLedLcd);
        for (Instrument b : kAll) {
            if (a == b)
                continue;
            double difference = 0.0;
            const auto m = world.mismatch(a), n = world.mismatch(b);
            for (size_t i = 0; i < 3; ++i)
                for (size_t j = 0; j < 3; ++j)
                    difference = std::max(difference, std::abs(m[i][j] - n[i][j]));
            QVERIFY(difference >= 0.001);
        }
        names.push_back(SimulatedWorld::instrumentName(a));
        QVERIFY(!names.back().empty());
    }
    std::sort(names.begin(), names.end());
    QVERIFY(std::unique(names.begin(), names.end()) == names.end());
    QCOMPARE(SimulatedWorld::instrumentName(Instrument::CR250), std::string("CR-250"));
}

void TestSimulatedWorld::readingIsMismatchTimesTruthPlusNoise()
{
    SimulatedWorld world;
    QCOMPARE(world.noise(), 0.0002);
    world.setDisplayPatch({{0.8, 0.6, 0.4}});
    const Xyz truth = world.trueReading();

    // Scattered around the mismatch applied to the truth (which the screen
    // patch test checks without noise) with the relative spread asked for.
    world.setNoise(0.0002, 0.0);
    const Xyz expected = times(world.mismatch(Instrument::CA410), truth);
    const int n = 4000;
    std::array<double, 3> sum{}, squares{};
    for (int i = 0; i < n; ++i) {
        const Xyz r = world.sensorReading(Instrument::CA410);
        for (size_t k = 0; k < 3; ++k) {
            const double relative = r[k] / expected[k] - 1.0;
            sum[k] += relative;
            squares[k] += relative * relative;
        }
    }
    for (size_t k = 0; k < 3; ++k) {
        const double mean = sum[k] / n;
        const double sigma = std::sqrt(squares[k] / n - mean * mean);
        QVERIFY2(std::abs(mean) < 2e-5, QByteArray::number(mean));
        QVERIFY2(sigma > 0.00017 && sigma < 0.00023, QByteArray::number(sigma));
    }
    // The reference instrument has none.
    QVERIFY(near(world.referenceReading(), truth, 0.0));

    // Seeded: the same seed tells the same story, another seed another.
    SimulatedWorld same;
    SimulatedWorld again;
    SimulatedWorld other(DisplayTechnology::Kind::WhiteLedLcd, 7u);
    const Xyz a = same.sensorReading(Instrument::CR250);
    QCOMPARE(again.sensorReading(Instrument::CR250), a);
    QVERIFY(other.sensorReading(Instrument::CR250) != a);
    QVERIFY(same.sensorReading(Instrument::CR250) != a);
}

void TestSimulatedWorld::noiseKeepsTheChromaticityAndHasAFloor()
{
    SimulatedWorld world;
    QCOMPARE(world.noiseFloor(), 0.001);
    world.setNoise(0.01, 0.0);
    world.setDisplayPatch({{0.8, 0.6, 0.4}});
    const Xyz clean = times(world.mismatch(Instrument::K10), world.trueReading());
    // Along the XYZ vector: brighter or dimmer, never another colour.
    for (int i = 0; i < 50; ++i) {
        const Xyz r = world.sensorReading(Instrument::K10);
        QVERIFY(std::abs(r[1] / clean[1] - 1.0) < 0.06);
        QVERIFY2(DisplayModel::deltaUpVp(r, clean) < 1e-9, text(r));
    }
    // In the dark only the floor is left: readings spread about zero by it.
    world.setNoise(0.0, 0.001);
    world.setDisplayPatch({{0.0, 0.0, 0.0}});
    const int n = 4000;
    double sum = 0.0, squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double y = world.sensorReading(Instrument::K10)[1];
        sum += y;
        squares += y * y;
    }
    const double mean = sum / n;
    const double sigma = std::sqrt(squares / n - mean * mean);
    QVERIFY2(std::abs(mean) < 1e-4, QByteArray::number(mean));
    QVERIFY2(sigma > 0.0009 && sigma < 0.0011, QByteArray::number(sigma));
    // Off is off.
    world.setNoise(0.0, 0.0);
    QCOMPARE(world.sensorReading(Instrument::K10), Xyz{});
}

QTEST_MAIN(TestSimulatedWorld)
#include "tst_simulatedworld.moc"
