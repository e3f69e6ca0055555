// The diagram is checked where the user looks: on the pixels it paints.
// Where a chromaticity must land is worked out here from the published
// conversions and the frame's geometry, not asked of the diagram.

#include "chromaticitydiagram.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <functional>

namespace {

using Xy = ChromaticityDiagram::Xy;
using Space = ChromaticityDiagram::Space;

constexpr double kFont = 12.0;
const QRectF kArea(0, 0, 640, 600);
const QColor kMarked(0xff, 0x00, 0xff);

// CIE 1976 u', v' of x, y, as the CIE publishes it.
Xy uv(const Xy& xy)
{
    const double d = -2.0 * xy[0] + 12.0 * xy[1] + 3.0;
    return {4.0 * xy[0] / d, 9.0 * xy[1] / d};
}

// A diagram with nothing drawn on it but the locus.
ChromaticityDiagram bare(Space space)
{
    ChromaticityDiagram d;
    d.setSpace(space);
    d.setGamuts(ChromaticityDiagram::NoGamut);
    d.setShowsPlanckian(false);
    d.setShowsDaylight(false);
    d.setShowsLegend(false);
    return d;
}

QImage render(const ChromaticityDiagram& diagram)
{
    QImage image(kArea.size().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    diagram.paint(painter, kArea, kFont);
    return image;
}

// Where a chromaticity of the space shown must land, the view being centred
// on centre and span filling the frame's shorter side.
QPointF expectedPixel(const Xy& inSpace, const QPointF& centre, double span)
{
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    const double scale = std::min(frame.width(), frame.height()) / span;
    return {frame.center().x() + (inSpace[0] - centre.x()) * scale,
            frame.center().y() - (inSpace[1] - centre.y()) * scale};
}

// The centre of the pixels of one colour (pixel centres at +0.5).
QPointF centroidOf(const QImage& image, const QColor& colour, int* count)
{
    double sx = 0.0, sy = 0.0;
    *count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == colour.rgb()) {
                sx += x + 0.5;
                sy += y + 0.5;
                ++*count;
            }
        }
    }
    return *count ? QPointF(sx / *count, sy / *count) : QPointF(-1, -1);
}

bool anyPixelNear(const QImage& image, const QPointF& at, double radius, const std::function<bool(QRgb)>& wanted)
{
    for (int y = int(std::floor(at.y() - radius)); y <= int(std::ceil(at.y() + radius)); ++y) {
        for (int x = int(std::floor(at.x() - radius)); x <= int(std::ceil(at.x() + radius)); ++x) {
            if (!image.valid(x, y) || std::hypot(x + 0.5 - at.x(), y + 0.5 - at.y()) > radius)
                continue;
            if (wanted(image.pixel(x, y)))
                return true;
        }
    }
    return false;
}

bool dark(QRgb pixel)
{
    return qGray(pixel) < 0x90;
}

bool green(QRgb pixel)
{
    return qGreen(pixel) > qRed(pixel) + 40 && qGreen(pixel) > qBlue(pixel) + 40;
}

// Distance from start along direction to the first pixel that is wanted.
double firstAlong(const QImage& image, const QPointF& start, const QPointF& direction, double limit,
                  const std::function<bool(QRgb)>& wanted)
{
    for (double t = 0.0; t < limit; t += 0.25) {
        const QPointF p = start + direction * t;
        if (image.valid(int(p.x()), int(p.y())) && wanted(image.pixel(int(p.x()), int(p.y()))))
            return t;
    }
    return -1.0;
}

} // namespace

class TestChromaticityDiagram : public QObject
{
    Q_OBJECT

private slots:
    void pointLandsOnItsPixel_data();
    void pointLandsOnItsPixel();
    void locusPassesThePublishedWavelengths_data();
    void locusPassesThePublishedWavelengths();
    void targetAndToleranceStandWhereTheyShould_data();
    void targetAndToleranceStandWhereTheyShould();
    void lociAgreeWithPublishedWhites();
    void viewFollowsTheUser();
    void fittingShowsEverythingPutOnIt();
    void fittingAboutTheTargetShowsItsNeighbourhood();
    void unreadableInputIsLeftOut();
    void gridStaysReadableAtEveryZoom();
    void readingsAreNamedBeforeTheLoci();
    void vectorRunsFromItsRingToItsLengthenedHead_data();
    void vectorRunsFromItsRingToItsLengthenedHead();
    void vectorDrawnAloneMatchesTheDiagrams();
};

void TestChromaticityDiagram::pointLandsOnItsPixel_data()
{
    QTest::addColumn<int>("space");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    for (Space space : {Space::Xy, Space::Uv}) {
        const char* name = space == Space::Xy ? "xy" : "uv";
        QTest::addRow("%s D65", name) << int(space) << 0.3127 << 0.3290;
        QTest::addRow("%s red", name) << int(space) << 0.64 << 0.33;
        QTest::addRow("%s green", name) << int(space) << 0.30 << 0.60;
        QTest::addRow("%s blue", name) << int(space) << 0.15 << 0.06;
        QTest::addRow("%s warm white", name) << int(space) << 0.4476 << 0.4074;
    }
}

void TestChromaticityDiagram::pointLandsOnItsPixel()
{
    QFETCH(int, space);
    QFETCH(double, x);
    QFETCH(double, y);
    const Space shown = Space(space);
    ChromaticityDiagram diagram = bare(shown);
    const QPointF centre = shown == Space::Xy ? QPointF(0.38, 0.41) : QPointF(0.28, 0.33);
    const double span = shown == Space::Xy ? 0.82 : 0.58;
    diagram.setView(centre, span);
    diagram.setPoints({{{x, y}, QString(), kMarked}});

    int count = 0;
    const QPointF found = centroidOf(render(diagram), kMarked, &count);
    QVERIFY2(count > 10, "the point's marker is not drawn");
    const QPointF wanted = expectedPixel(shown == Space::Xy ? Xy{x, y} : uv({x, y}), centre, span);
    QVERIFY2(std::hypot(found.x() - wanted.x(), found.y() - wanted.y()) <= 1.0,
             qPrintable(QStringLiteral("drawn at %1, %2; belongs at %3, %4")
                            .arg(found.x()).arg(found.y()).arg(wanted.x()).arg(wanted.y())));
    // And the diagram reads its own pixel back to the same chromaticity.
    const Xy back = diagram.unmap(diagram.map({x, y}, ChromaticityDiagram::frame(kArea, kFont)),
                                  ChromaticityDiagram::frame(kArea, kFont));
    QVERIFY(std::abs(back[0] - x) < 1e-9 && std::abs(back[1] - y) < 1e-9);
}

void TestChromaticityDiagram::locusPassesThePublishedWavelengths_data()
{
    QTest::addColumn<int>("space");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    // The CIE 1931 2° observer's chromaticities of monochromatic light.
    for (Space space : {Space::Xy, Space::Uv}) {
        const char* name = space == Space::Xy ? "xy" : "uv";
        QTest::addRow("%s 450 nm", name) << int(space) << 0.15664 << 0.01771;
        QTest::addRow("%s 520 nm", name) << int(space) << 0.07430 << 0.83380;
        QTest::addRow("%s 600 nm", name) << int(space) << 0.62704 << 0.37249;
    }
}

void TestChromaticityDiagram::locusPassesThePublishedWavelengths()
{
    QFETCH(int, space);
    QFETCH(double, x);
    QFETCH(double, y);
    // The wavelength's own chromaticity, which places the wavelength labels.
    const int nm = QString::fromLatin1(QTest::currentDataTag()).section(QLatin1Char(' '), 1, 1).toInt();
    const Xy light = ChromaticityDiagram::spectral(nm);
    QVERIFY2(std::abs(light[0] - x) < 2e-4 && std::abs(light[1] - y) < 2e-4,
             qPrintable(QStringLiteral("%1 nm at %2, %3").arg(nm).arg(light[0]).arg(light[1])));
    const Space shown = Space(space);
    ChromaticityDiagram diagram = bare(shown);
    const QPointF centre = shown == Space::Xy ? QPointF(0.37, 0.42) : QPointF(0.31, 0.30);
    const double span = shown == Space::Xy ? 0.9 : 0.66;
    diagram.setView(centre, span);
    const QImage image = render(diagram);
    const Xy at = shown == Space::Xy ? Xy{x, y} : uv({x, y});
    const QPointF wanted = expectedPixel(at, centre, span);
    QVERIFY2(anyPixelNear(image, wanted, 1.5, dark), "the locus does not pass the published chromaticity");
    // Inside the locus, a little towards the white, nothing is drawn: the line
    // found above is the locus, not something lying across the whole diagram.
    const Xy white = shown == Space::Xy ? Xy{0.3127, 0.3290} : uv({0.3127, 0.3290});
    const Xy inside{at[0] + 0.12 * (white[0] - at[0]), at[1] + 0.12 * (white[1] - at[1])};
    QVERIFY(!anyPixelNear(image, expectedPixel(inside, centre, span), 1.5, dark));
}

void TestChromaticityDiagram::targetAndToleranceStandWhereTheyShould_data()
{
    QTest::addColumn<int>("space");
    QTest::addColumn<int>("shape");
    QTest::addColumn<double>("size");
    using Shape = ChromaticityDiagram::Tolerance::Shape;
    QTest::newRow("u'v' circle in u'v'") << int(Space::Uv) << int(Shape::CircleUv) << 0.005;
    QTest::newRow("xy box in xy") << int(Space::Xy) << int(Shape::BoxXy) << 0.004;
    QTest::newRow("u'v' circle in xy") << int(Space::Xy) << int(Shape::CircleUv) << 0.005;
    QTest::newRow("xy box in u'v'") << int(Space::Uv) << int(Shape::BoxXy) << 0.004;
}

void TestChromaticityDiagram::targetAndToleranceStandWhereTheyShould()
{
    QFETCH(int, space);
    QFETCH(int, shape);
    QFETCH(double, size);
    using Shape = ChromaticityDiagram::Tolerance::Shape;
    const Space shown = Space(space);
    const Xy d65{0.3127, 0.3290};
    const Xy centreInSpace = shown == Space::Xy ? d65 : uv(d65);
    const double span = 0.04;
    ChromaticityDiagram diagram = bare(shown);
    diagram.setTarget(d65, {Shape(shape), size});
    diagram.setView(QPointF(centreInSpace[0], centreInSpace[1]), span);
    const QImage image = render(diagram);

    const QPointF marker = expectedPixel(centreInSpace, QPointF(centreInSpace[0], centreInSpace[1]), span);
    // The cross's arms meet on D65: dark left, right, above and below it.
    for (const QPointF& arm : {QPointF(4, 0), QPointF(-4, 0), QPointF(0, 4), QPointF(0, -4)})
        QVERIFY2(anyPixelNear(image, marker + arm, 1.0, dark), "the D65 marker is not on D65");
    QVERIFY(!anyPixelNear(image, marker + QPointF(4, 4), 1.0, dark));

    // Where the tolerance's outline crosses the lines through the target, as
    // the tolerance's own space has it.
    const double scale = std::min(ChromaticityDiagram::frame(kArea, kFont).width(),
                                  ChromaticityDiagram::frame(kArea, kFont).height()) / span;
    const auto fromUv = [](const Xy& p) {
        const double d = 6.0 * p[0] - 16.0 * p[1] + 12.0;
        return Xy{9.0 * p[0] / d, 4.0 * p[1] / d};
    };
    for (const QPointF& direction : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)}) {
        double expected = 0.0;
        if (Shape(shape) == Shape::CircleUv && shown == Space::Uv) {
            expected = size * scale;
        } else {
            // Walk out in small steps of the shown space until the outline is crossed.
            for (double t = 0.0; t < span; t += 1e-6) {
                const Xy p{centreInSpace[0] + direction.x() * t, centreInSpace[1] - direction.y() * t};
                const Xy xy = shown == Space::Xy ? p : fromUv(p);
                const bool outside = Shape(shape) == Shape::BoxXy
                                         ? std::max(std::abs(xy[0] - d65[0]), std::abs(xy[1] - d65[1])) > size
                                         : std::hypot(uv(xy)[0] - uv(d65)[0], uv(xy)[1] - uv(d65)[1]) > size;
                if (outside) {
                    expected = t * scale;
                    break;
                }
            }
        }
        const double found = firstAlong(image, marker, direction, 200.0, green);
        QVERIFY2(std::abs(found - expected) <= 1.5,
                 qPrintable(QStringLiteral("outline %1 px out, belongs %2 px out").arg(found).arg(expected)));
    }
}

void TestChromaticityDiagram::lociAgreeWithPublishedWhites()
{
    // Illuminant A is a black body at 2856 K; D65 lies on the daylight locus
    // at 6504 K.
    const Xy a = ChromaticityDiagram::planckian(2856.0);
    QVERIFY2(std::abs(a[0] - 0.44757) < 2e-4 && std::abs(a[1] - 0.40745) < 2e-4,
             qPrintable(QStringLiteral("%1, %2").arg(a[0]).arg(a[1])));
    const Xy d = ChromaticityDiagram::daylight(6504.0);
    QVERIFY2(std::abs(d[0] - 0.3127) < 2e-4 && std::abs(d[1] - 0.3290) < 2e-4,
             qPrintable(QStringLiteral("%1, %2").arg(d[0]).arg(d[1])));
    const Xy d50 = ChromaticityDiagram::daylight(5003.0);
    QVERIFY(std::abs(d50[0] - 0.3457) < 2e-4 && std::abs(d50[1] - 0.3585) < 2e-4);
    // Hotter is bluer.
    QVERIFY(ChromaticityDiagram::planckian(10000.0)[0] < ChromaticityDiagram::planckian(3000.0)[0]);
}

void TestChromaticityDiagram::viewFollowsTheUser()
{
    ChromaticityDiagram diagram;
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    const QPointF cursor(frame.left() + 100.0, frame.top() + 70.0);
    const Xy under = diagram.unmap(cursor, frame);
    const double span = diagram.span();
    diagram.zoom(4.0, cursor, frame);
    QCOMPARE(diagram.span(), span / 4.0);
    const Xy still = diagram.unmap(cursor, frame);
    QVERIFY2(std::abs(still[0] - under[0]) < 1e-9 && std::abs(still[1] - under[1]) < 1e-9,
             "zooming moved what lay under the cursor");

    // A drag carries the diagram with the mouse.
    const QPointF from(frame.center()), to(frame.center() + QPointF(30.0, -20.0));
    const Xy grabbed = diagram.unmap(from, frame);
    diagram.pan(to - from, frame);
    const Xy moved = diagram.unmap(to, frame);
    QVERIFY(std::abs(moved[0] - grabbed[0]) < 1e-9 && std::abs(moved[1] - grabbed[1]) < 1e-9);

    // Switching the space keeps the same colour in the middle.
    const Xy middle = diagram.unmap(frame.center(), frame);
    diagram.setSpace(Space::Uv);
    const Xy again = diagram.unmap(frame.center(), frame);
    QVERIFY(std::abs(again[0] - middle[0]) < 1e-9 && std::abs(again[1] - middle[1]) < 1e-9);

    // Endless zooming stops at a sensible depth either way.
    for (int i = 0; i < 100; ++i)
        diagram.zoom(10.0, cursor, frame);
    QVERIFY(diagram.span() >= 1e-5 && std::isfinite(diagram.centre().x()));
    for (int i = 0; i < 200; ++i)
        diagram.zoom(0.1, cursor, frame);
    QVERIFY(diagram.span() <= 2.0);
    diagram.zoom(std::nan(""), cursor, frame);
    QVERIFY(std::isfinite(diagram.span()));
}

void TestChromaticityDiagram::fittingShowsEverythingPutOnIt()
{
    for (Space space : {Space::Xy, Space::Uv}) {
        ChromaticityDiagram diagram;
        diagram.setSpace(space);
        const std::vector<Xy> spread{{0.30, 0.31}, {0.33, 0.35}, {0.31, 0.34}};
        diagram.setTrails({{spread, Qt::blue, QString()}});
        diagram.setPoints({{{0.36, 0.30}, QStringLiteral("P"), kMarked}});
        diagram.setVectors({{{0.28, 0.30}, {0.285, 0.30}, QString()}});
        diagram.setVectorScale(4.0);
        diagram.fitView();
        const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
        for (const Xy& p : std::vector<Xy>{{0.30, 0.31}, {0.33, 0.35}, {0.36, 0.30}, {0.28, 0.30}, {0.30, 0.30}})
            QVERIFY2(frame.contains(diagram.map(p, frame)), "a fitted view leaves something out");
        // Not the whole locus: the readings fill the view.
        QVERIFY(diagram.span() < 0.3);

        // Nothing on it: the whole locus shows.
        diagram.setTrails({});
        diagram.setPoints({});
        diagram.setVectors({});
        diagram.fitView();
        for (int nm : {400, 520, 700})
            QVERIFY(frame.contains(diagram.map(ChromaticityDiagram::spectral(nm), frame)));
    }
}

void TestChromaticityDiagram::fittingAboutTheTargetShowsItsNeighbourhood()
{
    const Xy warm{0.35, 0.36};
    const auto fromUv = [](const Xy& p) {
        const double d = 6.0 * p[0] - 16.0 * p[1] + 12.0;
        return Xy{9.0 * p[0] / d, 4.0 * p[1] / d};
    };
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    for (Space space : {Space::Xy, Space::Uv}) {
        ChromaticityDiagram diagram = bare(space);
        diagram.setTarget(warm, {});
        diagram.fitAboutTarget(0.01);
        const Xy centre = uv(warm);
        // Just within the reach, every way round, in u'v' whatever is shown...
        for (const QPointF& way : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)}) {
            const Xy near = fromUv({centre[0] + 0.0099 * way.x(), centre[1] + 0.0099 * way.y()});
            QVERIFY2(frame.contains(diagram.map(near, frame)), "the reach is cut off");
        }
        // ...and not much more.
        QVERIFY(!frame.contains(diagram.map(fromUv({centre[0], centre[1] + 0.02}), frame)));
        QVERIFY(std::abs(ChromaticityDiagram::distanceUv(warm, fromUv({centre[0] + 0.003, centre[1] + 0.004})) - 0.005)
                < 1e-12);
    }
}

void TestChromaticityDiagram::unreadableInputIsLeftOut()
{
    const double nan = std::nan("");
    ChromaticityDiagram diagram;
    diagram.setPoints({{{nan, 0.3}, QString(), kMarked}, {{0.3, 0.3}, QString(), kMarked}});
    QCOMPARE(diagram.points().size(), std::size_t(1));
    diagram.setTrails({{{{0.3, 0.3}, {0.3, INFINITY}, {0.31, 0.31}}, Qt::blue, QString()}});
    QCOMPARE(diagram.trails().front().points.size(), std::size_t(2));
    diagram.setVectors({{{0.3, 0.3}, {nan, nan}, QString()}});
    QVERIFY(diagram.vectors().empty());
    diagram.setTarget({nan, 0.3}, {});
    QVERIFY(!diagram.hasTarget());
    diagram.setView(QPointF(nan, 0.3), 0.1);
    QVERIFY(std::isfinite(diagram.centre().x()));
    // A reading of black has no chromaticity; painting must survive whatever got through.
    diagram.setTrails({{{{0.0, 0.0}}, Qt::blue, QStringLiteral("black")}});
    diagram.fitView();
    QVERIFY(!render(diagram).isNull());
}

void TestChromaticityDiagram::gridStaysReadableAtEveryZoom()
{
    ChromaticityDiagram diagram;
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    for (int i = 0; i < 12; ++i) {
        const double step = diagram.tickStep(frame, kFont);
        const double pixels = step * std::min(frame.width(), frame.height()) / diagram.span();
        QVERIFY2(pixels >= 5.0 * kFont && pixels <= 5.0 * kFont * 2.5 + 1e-9,
                 qPrintable(QStringLiteral("grid lines %1 px apart at span %2").arg(pixels).arg(diagram.span())));
        const double mantissa = step / std::pow(10.0, std::floor(std::log10(step)));
        QVERIFY(std::abs(mantissa - 1.0) < 1e-9 || std::abs(mantissa - 2.0) < 1e-9 || std::abs(mantissa - 5.0) < 1e-9);
        diagram.zoom(2.0, frame.center(), frame);
    }
}

void TestChromaticityDiagram::readingsAreNamedBeforeTheLoci()
{
    // A point whose name falls where the Planckian locus would write "3000 K":
    // the reading keeps its name, the temperature gives way.
    ChromaticityDiagram diagram = bare(Space::Xy);
    diagram.setShowsPlanckian(true);
    const Xy warm = ChromaticityDiagram::planckian(3000.0);
    diagram.setView(QPointF(warm[0], warm[1]), 0.08);
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    const QPointF onLocus = diagram.map(warm, frame);
    const Xy below = diagram.unmap(onLocus + QPointF(0.0, 1.7 * kFont), frame);
    diagram.setPoints({{below, QStringLiteral("MMMMMM"), kMarked}});
    const QImage image = render(diagram);
    // The name starts right of the point, half a letter above it.
    const QPointF at = diagram.map(below, frame);
    const QRectF name(at.x() + 0.7 * kFont, at.y() - 1.1 * kFont, 3.0 * kFont, kFont);
    int black = 0, brown = 0;
    for (int y = int(name.top()); y <= int(name.bottom()); ++y) {
        for (int x = int(name.left()); x <= int(name.right()); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) < 70 && qGreen(p) < 70 && qBlue(p) < 70)
                ++black;
            else if (qRed(p) > qBlue(p) + 40 && qGreen(p) > qBlue(p) + 10 && qRed(p) < 0xd0)
                ++brown;
        }
    }
    QVERIFY2(black > 20, qPrintable(QStringLiteral("the reading's name is missing (%1 dark pixels)").arg(black)));
    QVERIFY2(brown < black / 4, "a temperature is written over the reading's name");
}

void TestChromaticityDiagram::vectorRunsFromItsRingToItsLengthenedHead_data()
{
    QTest::addColumn<int>("space");
    QTest::addColumn<double>("scale");

    QTest::newRow("x, y as it lies") << int(Space::Xy) << 1.0;
    QTest::newRow("x, y lengthened") << int(Space::Xy) << 20.0;
    QTest::newRow("u'v' lengthened") << int(Space::Uv) << 20.0;
}

// An error of a few thousandths, drawn from a ring on the reference to an
// arrowhead where the error, lengthened by the scale, ends.
void TestChromaticityDiagram::vectorRunsFromItsRingToItsLengthenedHead()
{
    QFETCH(int, space);
    QFETCH(double, scale);
    const Space shown = Space(space);
    ChromaticityDiagram diagram = bare(shown);
    const Xy from{0.3127, 0.3290};
    const Xy to{0.3127 + 0.005, 0.3290 - 0.0025};
    const Xy tipXy{from[0] + scale * (to[0] - from[0]), from[1] + scale * (to[1] - from[1])};
    const Xy centreXy{0.3127 + 0.04, 0.3290 - 0.02};
    const Xy centre = shown == Space::Xy ? centreXy : uv(centreXy);
    const double span = shown == Space::Xy ? 0.2 : 0.14;
    diagram.setView(QPointF(centre[0], centre[1]), span);
    diagram.setVectors({{from, to, QString()}});
    diagram.setVectorScale(scale);
    const QImage image = render(diagram);

    const auto inSpace = [shown](const Xy& xy) { return shown == Space::Xy ? xy : uv(xy); };
    const QPointF ring = expectedPixel(inSpace(from), QPointF(centre[0], centre[1]), span);
    const QPointF tip = expectedPixel(inSpace(tipXy), QPointF(centre[0], centre[1]), span);
    const auto blue = [](QRgb c) { return qBlue(c) > qRed(c) + 60; };
    const auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 100 && qBlue(c) < 100; };
    QVERIFY2(anyPixelNear(image, ring, 0.22 * kFont + 2.0, blue), "no ring on the reference");
    const double length = QLineF(ring, tip).length();
    // Even as it lies the error stands out of its ring.
    QVERIFY(length > kFont);
    const QPointF back = (ring - tip) / length;
    // The head fills just behind the tip and ends at it.
    QVERIFY2(anyPixelNear(image, tip + back * (0.15 * kFont), 0.1 * kFont, red), "no arrowhead at the tip");
    QVERIFY2(!anyPixelNear(image, tip - back * (0.25 * kFont), 0.1 * kFont, red), "the arrow runs past its tip");
}

// A legend beside the diagram draws its sample with the same call the
// diagram draws its vectors with: the two must come out alike.
void TestChromaticityDiagram::vectorDrawnAloneMatchesTheDiagrams()
{
    ChromaticityDiagram diagram = bare(Space::Xy);
    diagram.setView(QPointF(0.33, 0.33), 0.1);
    const QRectF frame = ChromaticityDiagram::frame(kArea, kFont);
    const Xy from{0.32, 0.33}, to{0.3225, 0.334};
    diagram.setVectorScale(10.0);
    QImage alone = render(diagram);
    {
        QPainter painter(&alone);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setClipRect(frame);
        ChromaticityDiagram::paintVector(painter, diagram.map(from, frame),
                                         diagram.map({from[0] + 10.0 * (to[0] - from[0]), from[1] + 10.0 * (to[1] - from[1])},
                                                     frame),
                                         kFont);
    }
    diagram.setVectors({{from, to, QString()}});
    const QImage drawn = render(diagram);
    int differing = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            differing += drawn.pixel(x, y) != alone.pixel(x, y);
    QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

QTEST_MAIN(TestChromaticityDiagram)
#include "tst_chromaticitydiagram.moc"
