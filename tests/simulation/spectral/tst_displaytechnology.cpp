// Display technologies: where their primaries lie, and how a colour drives
// their sub-pixels.
#include "chromaticity.h"
#include "displaytechnology.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

using Triangle = std::array<Chromaticity, 3>;

// Published primaries in x, y.
const Triangle Srgb{{{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}}};
const Triangle DciP3{{{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}}};
const Triangle Bt2020{{{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}}};

double area(const Triangle& t)
{
    return std::fabs((t[1][0] - t[0][0]) * (t[2][1] - t[0][1]) - (t[2][0] - t[0][0]) * (t[1][1] - t[0][1])) / 2.0;
}

double distanceToSegment(const Chromaticity& p, const Chromaticity& a, const Chromaticity& b)
{
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0.0 ? std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(p[0] - a[0] - t * dx, p[1] - a[1] - t * dy);
}

DisplayTechnology technology(const QString& name)
{
    for (const DisplayTechnology& t : DisplayTechnology::all())
        if (t.name() == name)
            return t;
    qFatal("no technology %s", qPrintable(name));
}

} // namespace

class TestDisplayTechnology : public QObject
{
    Q_OBJECT

private slots:
    void primariesLieWherePublishedGamutsDo_data();
    void primariesLieWherePublishedGamutsDo();
    void colourDrivesSubpixels_data();
    void colourDrivesSubpixels();
    void keysNameEveryTechnologyOnce();
};

void TestDisplayTechnology::primariesLieWherePublishedGamutsDo_data()
{
    QTest::addColumn<QString>("name");
    // The gamut area the technology is known for, as a share of sRGB's.
    QTest::addColumn<double>("minArea");
    QTest::addColumn<double>("maxArea");
    // Each primary lies near the line from its primary in the inner standard
    // to the one in the outer: the range such panels are published in.
    QTest::addColumn<int>("inner");
    QTest::addColumn<int>("outer");
    QTest::addColumn<double>("maxDistance");
    // Office LCDs: about sRGB.
    QTest::newRow("white LED LCD") << "LCD, white LED" << 0.85 << 1.15 << 0 << 0 << 0.03;
    // Quantum-dot / KSF panels: DCI-P3 (1.36 sRGB) and beyond, short of BT.2020.
    QTest::newRow("wide gamut LCD") << "LCD, wide gamut" << 1.36 << area(Bt2020) / area(Srgb) << 1 << 2 << 0.045;
    // Phone and monitor OLEDs: DCI-P3 or a little more.
    QTest::newRow("RGB OLED") << "OLED, RGB" << 1.25 << 1.65 << 1 << 2 << 0.03;
    // White OLED televisions: between sRGB and DCI-P3.
    QTest::newRow("white OLED") << "OLED, white with colour filters" << 1.0 << 1.4 << 0 << 1 << 0.03;
}

void TestDisplayTechnology::primariesLieWherePublishedGamutsDo()
{
    QFETCH(QString, name);
    QFETCH(double, minArea);
    QFETCH(double, maxArea);
    QFETCH(int, inner);
    QFETCH(int, outer);
    QFETCH(double, maxDistance);
    const Triangle* standards[] = {&Srgb, &DciP3, &Bt2020};
    const DisplayTechnology t = technology(name);
    const Triangle gamut{xyChromaticity(t.primaryXyz(DisplayTechnology::Red)),
                         xyChromaticity(t.primaryXyz(DisplayTechnology::Green)),
                         xyChromaticity(t.primaryXyz(DisplayTechnology::Blue))};
    const double share = area(gamut) / area(Srgb);
    QVERIFY2(share >= minArea && share <= maxArea, qPrintable(QString::number(share)));
    for (int i = 0; i < 3; ++i) {
        const double d = distanceToSegment(gamut[i], (*standards[inner])[i], (*standards[outer])[i]);
        QVERIFY2(d <= maxDistance,
                 qPrintable(QStringLiteral("primary %1 at %2, %3").arg(i).arg(gamut[i][0]).arg(gamut[i][1])));
    }
    // Red, green and blue give a native white bluer than D65, as panels leave
    // the cell line, within the few hundredths the firmware's gains can mend.
    Vec3 sum{};
    for (auto p : {DisplayTechnology::Red, DisplayTechnology::Green, DisplayTechnology::Blue})
        for (int c = 0; c < 3; ++c)
            sum[c] += t.primaryXyz(p)[c];
    const Chromaticity white = xyChromaticity(sum);
    QVERIFY2(white[0] < 0.3127 && white[1] < 0.3290 && std::hypot(white[0] - 0.3127, white[1] - 0.3290) < 0.04,
             qPrintable(QStringLiteral("%1, %2").arg(white[0]).arg(white[1])));
}

void TestDisplayTechnology::colourDrivesSubpixels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("r");
    QTest::addColumn<double>("g");
    QTest::addColumn<double>("b");
    QTest::addColumn<double>("white");
    for (const DisplayTechnology& t : DisplayTechnology::all()) {
        const double w = t.hasWhiteSubpixel() ? 1.0 : 0.0;
        const QByteArray n = t.name().toUtf8();
        QTest::newRow(n + ": white") << t.name() << 1.0 << 1.0 << 1.0 << w;
        QTest::newRow(n + ": red") << t.name() << 1.0 << 0.0 << 0.0 << 0.0;
        QTest::newRow(n + ": pale cyan") << t.name() << 0.3 << 0.8 << 0.6 << 0.3 * w;
        QTest::newRow(n + ": dim blue-grey") << t.name() << 0.2 << 0.25 << 0.4 << 0.2 * w;
    }
}

void TestDisplayTechnology::colourDrivesSubpixels()
{
    QFETCH(QString, name);
    QFETCH(double, r);
    QFETCH(double, g);
    QFETCH(double, b);
    QFETCH(double, white);
    const DisplayTechnology t = technology(name);
    const Spectrum spd = t.spd(r, g, b);
    for (int nm = Spectrum::FirstNm; nm <= Spectrum::LastNm; nm += 7) {
        const double expected = r * t.primary(DisplayTechnology::Red).valueAt(nm)
            + g * t.primary(DisplayTechnology::Green).valueAt(nm) + b * t.primary(DisplayTechnology::Blue).valueAt(nm)
            + white * t.primary(DisplayTechnology::White).valueAt(nm);
        QVERIFY2(std::fabs(spd.valueAt(nm) - expected) <= 1e-12 * (1.0 + std::fabs(expected)),
                 qPrintable(QString::number(nm)));
    }
    // The white sub-pixel adds light, not only replaces it.
    if (t.hasWhiteSubpixel())
        QVERIFY(t.primary(DisplayTechnology::White).peakValue() > 0.0);
    else
        QCOMPARE(t.primary(DisplayTechnology::White).peakValue(), 0.0);
}

void TestDisplayTechnology::keysNameEveryTechnologyOnce()
{
    QStringList names, keys;
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
        const QString key = DisplayTechnology::key(kind);
        DisplayTechnology::Kind back = DisplayTechnology::Kind::WhiteOled;
        QVERIFY(DisplayTechnology::fromKey(QStringLiteral(" ") + key.toUpper() + QStringLiteral(" "), &back));
        QCOMPARE(back, kind);
        keys << key;
        names << DisplayTechnology::make(kind).name();
    }
    QCOMPARE(keys.size(), DisplayTechnology::KindCount);
    QCOMPARE(keys.removeDuplicates(), 0);
    QCOMPARE(names.removeDuplicates(), 0);
    DisplayTechnology::Kind untouched = DisplayTechnology::Kind::RgbOled;
    for (const QString& wrong : {QString(), QStringLiteral("lcd"), QStringLiteral("wled-lcd-x")})
        QVERIFY(!DisplayTechnology::fromKey(wrong, &untouched));
    QCOMPARE(untouched, DisplayTechnology::Kind::RgbOled);
}

QTEST_APPLESS_MAIN(TestDisplayTechnology)
#include "tst_displaytechnology.moc"
