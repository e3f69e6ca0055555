#include "svgpaintdevice.h"

#include <QtTest>

#include <QBuffer>
#include <QFont>
#include <QImage>
#include <QLocale>
#include <QPaintEngine>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>
#include <vector>

namespace {

QPolygonF polygon(std::initializer_list<QPointF> points)
{
    return QPolygonF(QVector<QPointF>(points));
}

// One element of the document, with the clip path of the group around it.
struct Node {
    QString name;
    QMap<QString, QString> attributes;
    QString text;
    QString clip;
};

struct Document {
    bool wellFormed = false;
    QString error;
    QMap<QString, QString> root;
    QString rootNamespace;
    std::vector<Node> nodes;
    // Clip path id -> d of its path.
    QMap<QString, QString> clipPaths;
};

Document parse(const QByteArray& svg)
{
    Document doc;
    QXmlStreamReader xml(svg);
    QStringList clipStack;
    QString inClipPath;
    int textNode = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            QMap<QString, QString> attributes;
            for (const QXmlStreamAttribute& a : xml.attributes())
                attributes.insert(a.qualifiedName().toString(), a.value().toString());
            const QString name = xml.name().toString();
            if (name == QLatin1String("svg")) {
                doc.root = attributes;
                doc.rootNamespace = xml.namespaceUri().toString();
            } else if (name == QLatin1String("g")) {
                clipStack.append(attributes.value(QStringLiteral("clip-path")));
            } else if (name == QLatin1String("clipPath")) {
                inClipPath = attributes.value(QStringLiteral("id"));
            } else if (!inClipPath.isEmpty()) {
                doc.clipPaths.insert(inClipPath, attributes.value(QStringLiteral("d")));
            } else {
                QString clip;
                for (const QString& c : clipStack) {
                    if (!c.isEmpty())
                        clip = c;
                }
                doc.nodes.push_back(Node{name, attributes, QString(), clip});
                if (name == QLatin1String("text"))
                    textNode = int(doc.nodes.size()) - 1;
            }
        } else if (xml.isEndElement()) {
            const QString name = xml.name().toString();
            if (name == QLatin1String("g") && !clipStack.isEmpty())
                clipStack.removeLast();
            else if (name == QLatin1String("clipPath"))
                inClipPath.clear();
            else if (name == QLatin1String("text"))
                textNode = -1;
        } else if (xml.isCharacters() && textNode >= 0) {
            doc.nodes[size_t(textNode)].text += xml.text().toString();
        }
    }
    doc.wellFormed = !xml.hasError();
    doc.error = xml.errorString();
    return doc;
}

// A number as the document writes it: a decimal point, nothing else.
double number(const QString& text, bool* ok = nullptr)
{
    bool valid = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &valid);
    if (ok)
        *ok = valid;
    return valid ? value : std::numeric_limits<double>::quiet_NaN();
}

std::vector<double> numbers(const QString& text)
{
    std::vector<double> out;
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[\\s,]+")),
                                         Qt::SkipEmptyParts);
    for (const QString& part : parts)
        out.push_back(number(part));
    return out;
}

QTransform matrixOf(const Node& node)
{
    const QString t = node.attributes.value(QStringLiteral("transform"));
    if (t.isEmpty())
        return {};
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^matrix\\(([^)]*)\\)$")).match(t);
    if (!m.hasMatch())
        return QTransform(0, 0, 0, 0, 0, 0);
    const std::vector<double> v = numbers(m.captured(1));
    if (v.size() != 6)
        return QTransform(0, 0, 0, 0, 0, 0);
    return QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
}

// The points of path data with absolute M, L, C and Z.
QPolygonF pathPoints(const QString& d)
{
    QPolygonF points;
    const QStringList parts = d.split(QRegularExpression(QStringLiteral("[\\s,]+|(?=[MLCZ])|(?<=[MLCZ])")),
                                      Qt::SkipEmptyParts);
    std::vector<double> pending;
    for (const QString& part : parts) {
        if (part.size() == 1 && part.at(0).isLetter())
            continue;
        pending.push_back(number(part));
        if (pending.size() == 2) {
            points << QPointF(pending[0], pending[1]);
            pending.clear();
        }
    }
    return points;
}

double attr(const Node& node, const char* name)
{
    return number(node.attributes.value(QLatin1String(name)));
}

// The points of a shape in its own coordinates.
QPolygonF shapePoints(const Node& node)
{
    QPolygonF points;
    if (node.name == QLatin1String("line")) {
        points << QPointF(attr(node, "x1"), attr(node, "y1"))
               << QPointF(attr(node, "x2"), attr(node, "y2"));
    } else if (node.name == QLatin1String("rect") || node.name == QLatin1String("image")) {
        const QRectF r(attr(node, "x"), attr(node, "y"), attr(node, "width"), attr(node, "height"));
        points << r.topLeft() << r.topRight() << r.bottomRight() << r.bottomLeft();
    } else if (node.name == QLatin1String("ellipse")) {
        const QPointF c(attr(node, "cx"), attr(node, "cy"));
        const QPointF r(attr(node, "rx"), attr(node, "ry"));
        points << c - r << c + r;
    } else if (node.name == QLatin1String("polygon") || node.name == QLatin1String("polyline")) {
        const std::vector<double> v = numbers(node.attributes.value(QStringLiteral("points")));
        for (size_t i = 0; i + 1 < v.size(); i += 2)
            points << QPointF(v[i], v[i + 1]);
    } else if (node.name == QLatin1String("path")) {
        points = pathPoints(node.attributes.value(QStringLiteral("d")));
    }
    return points;
}

// Where a shape lands on the page.
QPolygonF placed(const Node& node)
{
    return matrixOf(node).map(shapePoints(node));
}

// How much the element's transform enlarges lengths (uniform scales only).
double scaleOf(const Node& node)
{
    return std::sqrt(std::abs(matrixOf(node).determinant()));
}

bool fuzzyEqual(const QPointF& a, const QPointF& b, double tolerance = 0.01)
{
    return std::abs(a.x() - b.x()) <= tolerance && std::abs(a.y() - b.y()) <= tolerance;
}

bool fuzzyEqual(const QRectF& a, const QRectF& b, double tolerance = 0.01)
{
    return fuzzyEqual(a.topLeft(), b.topLeft(), tolerance)
        && fuzzyEqual(a.bottomRight(), b.bottomRight(), tolerance);
}

QString describe(const QRectF& r)
{
    return QStringLiteral("(%1, %2, %3 x %4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The elements that draw, without the clip paths' definitions.
std::vector<Node> drawn(const Document& doc, const QString& name = QString())
{
    std::vector<Node> out;
    for (const Node& n : doc.nodes) {
        if (name.isEmpty() || n.name == name)
            out.push_back(n);
    }
    return out;
}

QRectF clipRectOf(const Document& doc, const Node& node)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^url\\(#([^)]+)\\)$")).match(node.clip);
    if (!m.hasMatch() || !doc.clipPaths.contains(m.captured(1)))
        return {};
    return pathPoints(doc.clipPaths.value(m.captured(1))).boundingRect();
}

enum class Clip { IntegerRect, RectUnderTranslate, EllipsePath, SaveRestore, Region };

} // namespace

Q_DECLARE_METATYPE(Clip)
Q_DECLARE_METATYPE(QPainter::RenderHint)

class TestSvgPaintDevice : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void documentAndMetrics_data();
    void documentAndMetrics();
    void emptyWhilePainting();
    void paintingOrder();
    void strokes_data();
    void strokes();
    void fills_data();
    void fills();
    void transforms_data();
    void transforms();
    void clipping_data();
    void clipping();
    void text_data();
    void text();
    void image();
    void nonFiniteLeftOut_data();
    void nonFiniteLeftOut();
    void numbersIgnoreLocale_data();
    void numbersIgnoreLocale();
};

void TestSvgPaintDevice::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TestSvgPaintDevice::documentAndMetrics_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("cssWidth");
    QTest::addColumn<double>("cssHeight");
    QTest::addColumn<int>("widthMM");
    // CSS pixels are 96 to the inch: a page laid out at 192 dpi is half as
    // many of them as it has pixels.
    QTest::newRow("96 dpi") << QSize(400, 300) << 96.0 << 400.0 << 300.0 << 106;
    QTest::newRow("192 dpi") << QSize(400, 300) << 192.0 << 200.0 << 150.0 << 53;
    QTest::newRow("72 dpi") << QSize(720, 360) << 72.0 << 960.0 << 480.0 << 254;
}

void TestSvgPaintDevice::documentAndMetrics()
{
    QFETCH(QSize, size);
    QFETCH(double, dpi);
    QFETCH(double, cssWidth);
    QFETCH(double, cssHeight);
    QFETCH(int, widthMM);

    SvgPaintDevice device(size, dpi);
    QCOMPARE(device.width(), size.width());
    QCOMPARE(device.height(), size.height());
    QCOMPARE(device.logicalDpiX(), qRound(dpi));
    QCOMPARE(device.logicalDpiY(), qRound(dpi));
    QCOMPARE(device.physicalDpiY(), qRound(dpi));
    QCOMPARE(device.widthMM(), widthMM);
    QCOMPARE(device.depth(), 32);
    QCOMPARE(device.devicePixelRatioF(), 1.0);

    {
        QPainter painter(&device);
        QVERIFY(painter.isActive());
        painter.drawLine(0, 0, 10, 10);
    }
    const QByteArray svg = device.svg();
    QVERIFY(svg.startsWith("<?xml "));
    const Document doc = parse(svg);
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.rootNamespace, QStringLiteral("http://www.w3.org/2000/svg"));
    QCOMPARE(number(doc.root.value(QStringLiteral("width"))), cssWidth);
    QCOMPARE(number(doc.root.value(QStringLiteral("height"))), cssHeight);
    const std::vector<double> viewBox = numbers(doc.root.value(QStringLiteral("viewBox")));
    QCOMPARE(viewBox, (std::vector<double>{0, 0, double(size.width()), double(size.height())}));
}

void TestSvgPaintDevice::emptyWhilePainting()
{
    SvgPaintDevice device(QSize(50, 50));
    // Never painted: a blank picture.
    const Document blank = parse(device.svg());
    QVERIFY2(blank.wellFormed, qPrintable(blank.error));
    QVERIFY(blank.nodes.empty());

    QPainter painter(&device);
    painter.drawRect(QRectF(1, 1, 5, 5));
    QVERIFY(device.svg().isEmpty());
    painter.end();
    QCOMPARE(drawn(parse(device.svg())).size(), size_t(1));
}

void TestSvgPaintDevice::paintingOrder()
{
    SvgPaintDevice device(QSize(200, 200));
    {
        QPainter painter(&device);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawEllipse(QRectF(10, 10, 40, 20));
        painter.drawRect(QRectF(60, 10, 30, 30));
        painter.drawLine(QLineF(0, 100, 100, 100));
        QPen dot(Qt::blue, 4);
        dot.setCapStyle(Qt::RoundCap);
        painter.setPen(dot);
        painter.drawPoint(QPointF(150, 150));
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QStringList names;
    for (const Node& n : doc.nodes)
        names << n.name;
    QCOMPARE(names, (QStringList{"ellipse", "rect", "line", "circle"}));
    QCOMPARE(placed(doc.nodes[0]).boundingRect(), QRectF(10, 10, 40, 20));
    // A point is a dot of the pen's width in its colour.
    const Node& point = doc.nodes[3];
    QCOMPARE(point.attributes.value("fill"), QStringLiteral("#0000ff"));
    QCOMPARE(attr(point, "r") * 2.0, 4.0);
    QCOMPARE(QPointF(attr(point, "cx"), attr(point, "cy")), QPointF(150, 150));
}

void TestSvgPaintDevice::strokes_data()
{
    QTest::addColumn<QPen>("pen");
    QTest::addColumn<QTransform>("world");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<double>("alpha");
    QTest::addColumn<double>("pageWidth");
    QTest::addColumn<QString>("cap");
    QTest::addColumn<QString>("join");
    // Dash and gap lengths on the page; empty for a solid line.
    QTest::addColumn<QVector<double>>("pageDashes");

    const QTransform none;
    QPen solid(QColor(200, 10, 20), 2.5);
    solid.setCapStyle(Qt::FlatCap);
    solid.setJoinStyle(Qt::RoundJoin);
    QTest::newRow("solid") << solid << none << 1.0 << "#c80a14" << 1.0 << 2.5 << "butt" << "round"
                           << QVector<double>{};
    QPen translucent(QColor(0, 128, 255, 51), 1);
    translucent.setCapStyle(Qt::RoundCap);
    translucent.setJoinStyle(Qt::MiterJoin);
    QTest::newRow("pen alpha") << translucent << none << 1.0 << "#0080ff" << 0.2 << 1.0 << "round"
                               << "miter" << QVector<double>{};
    QTest::newRow("painter opacity") << translucent << none << 0.5 << "#0080ff" << 0.1 << 1.0
                                     << "round" << "miter" << QVector<double>{};
    // The stock dash line is 4 dashes of the pen's width, 2 of space.
    QPen dashed(Qt::black, 2, Qt::DashLine, Qt::FlatCap, Qt::BevelJoin);
    QTest::newRow("dash line") << dashed << none << 1.0 << "#000000" << 1.0 << 2.0 << "butt" << "bevel"
                               << QVector<double>{8, 4};
    QPen custom(Qt::darkGreen, 3, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    custom.setDashPattern({3, 1, 1, 1});
    QTest::newRow("own dashes") << custom << none << 1.0 << "#008000" << 1.0 << 3.0 << "square"
                                << "bevel" << QVector<double>{9, 3, 3, 3};
    QPen scaled(Qt::black, 2, Qt::DashLine, Qt::FlatCap, Qt::BevelJoin);
    QTest::newRow("width under scale") << scaled << QTransform::fromScale(3, 3) << 1.0 << "#000000"
                                       << 1.0 << 6.0 << "butt" << "bevel" << QVector<double>{24, 12};
    QPen cosmetic(Qt::black, 1.5, Qt::DashLine, Qt::FlatCap, Qt::BevelJoin);
    cosmetic.setCosmetic(true);
    QTest::newRow("cosmetic under scale") << cosmetic << QTransform::fromScale(4, 4) << 1.0 << "#000000"
                                          << 1.0 << 1.5 << "butt" << "bevel"
                                          << QVector<double>{6, 3};
    QPen hairline(Qt::red, 0, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin);
    QTest::newRow("zero width under rotation")
        << hairline << QTransform().rotate(30).scale(5, 5) << 1.0 << "#ff0000" << 1.0 << 1.0 << "butt"
        << "bevel" << QVector<double>{};
}

void TestSvgPaintDevice::strokes()
{
    QFETCH(QPen, pen);
    QFETCH(QTransform, world);
    QFETCH(double, opacity);
    QFETCH(QString, colour);
    QFETCH(double, alpha);
    QFETCH(double, pageWidth);
    QFETCH(QString, cap);
    QFETCH(QString, join);
    QFETCH(QVector<double>, pageDashes);

    const QLineF line(10, 20, 40, 25);
    SvgPaintDevice device(QSize(300, 300));
    {
        QPainter painter(&device);
        painter.setTransform(world);
        painter.setOpacity(opacity);
        painter.setPen(pen);
        painter.drawLine(line);
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(1));
    const Node& n = doc.nodes.front();
    QCOMPARE(n.attributes.value("stroke"), colour);
    QCOMPARE(n.attributes.value("fill"), QStringLiteral("none"));
    const QString strokeOpacity = n.attributes.value("stroke-opacity");
    QVERIFY(qAbs((strokeOpacity.isEmpty() ? 1.0 : number(strokeOpacity)) - alpha) < 0.002);
    QVERIFY(qAbs(attr(n, "stroke-width") * scaleOf(n) - pageWidth) < 1e-6);
    QCOMPARE(n.attributes.value("stroke-linecap"), cap);
    QCOMPARE(n.attributes.value("stroke-linejoin"), join);

    const QPolygonF ends = placed(n);
    QCOMPARE(ends.size(), 2);
    QVERIFY(fuzzyEqual(ends[0], world.map(line.p1())));
    QVERIFY(fuzzyEqual(ends[1], world.map(line.p2())));

    QVector<double> dashes;
    for (double d : numbers(n.attributes.value("stroke-dasharray")))
        dashes << d * scaleOf(n);
    QCOMPARE(dashes, pageDashes);
}

void TestSvgPaintDevice::fills_data()
{
    QTest::addColumn<QBrush>("brush");
    QTest::addColumn<double>("opacity");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("fill");
    QTest::addColumn<double>("alpha");
    QTest::addColumn<QString>("rule");

    const QBrush translucent(QColor(10, 200, 30, 102));
    QTest::newRow("odd-even") << translucent << 1.0 << int(QPaintEngine::OddEvenMode) << "polygon"
                              << "#0ac81e" << 0.4 << "evenodd";
    QTest::newRow("winding") << translucent << 1.0 << int(QPaintEngine::WindingMode) << "polygon"
                             << "#0ac81e" << 0.4 << "nonzero";
    QTest::newRow("convex") << QBrush(Qt::yellow) << 1.0 << int(QPaintEngine::ConvexMode) << "polygon"
                            << "#ffff00" << 1.0 << "nonzero";
    QTest::newRow("with painter opacity") << translucent << 0.5 << int(QPaintEngine::OddEvenMode)
                                          << "polygon" << "#0ac81e" << 0.2 << "evenodd";
    QTest::newRow("no brush") << QBrush() << 1.0 << int(QPaintEngine::OddEvenMode) << "polygon"
                              << "none" << 1.0 << QString();
    QTest::newRow("polyline never filled") << QBrush(Qt::red) << 1.0 << int(QPaintEngine::PolylineMode)
                                           << "polyline" << "none" << 1.0 << QString();
    QLinearGradient gradient(0, 0, 1, 1);
    gradient.setColorAt(0, QColor(1, 2, 3));
    gradient.setColorAt(1, QColor(200, 200, 200));
    QTest::newRow("gradient as its first colour") << QBrush(gradient) << 1.0
                                                  << int(QPaintEngine::OddEvenMode) << "polygon"
                                                  << "#010203" << 1.0 << "evenodd";
}

void TestSvgPaintDevice::fills()
{
    QFETCH(QBrush, brush);
    QFETCH(double, opacity);
    QFETCH(int, mode);
    QFETCH(QString, element);
    QFETCH(QString, fill);
    QFETCH(double, alpha);
    QFETCH(QString, rule);

    const QPolygonF star = polygon({{50, 0}, {80, 90}, {5, 35}, {95, 35}, {20, 90}});
    SvgPaintDevice device(QSize(100, 100));
    {
        QPainter painter(&device);
        painter.setOpacity(opacity);
        painter.setPen(Qt::NoPen);
        painter.setBrush(brush);
        switch (QPaintEngine::PolygonDrawMode(mode)) {
        case QPaintEngine::OddEvenMode: painter.drawPolygon(star, Qt::OddEvenFill); break;
        case QPaintEngine::WindingMode: painter.drawPolygon(star, Qt::WindingFill); break;
        case QPaintEngine::ConvexMode: painter.drawConvexPolygon(star); break;
        case QPaintEngine::PolylineMode: painter.setPen(Qt::black); painter.drawPolyline(star); break;
        }
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(1));
    const Node& n = doc.nodes.front();
    QCOMPARE(n.name, element);
    QCOMPARE(n.attributes.value("fill"), fill);
    const QString fillOpacity = n.attributes.value("fill-opacity");
    QVERIFY(qAbs((fillOpacity.isEmpty() ? 1.0 : number(fillOpacity)) - alpha) < 0.002);
    QCOMPARE(n.attributes.value("fill-rule"), rule);
    QCOMPARE(placed(n), star);
    // No pen, no stroke.
    if (element == QLatin1String("polygon"))
        QVERIFY(!n.attributes.contains("stroke"));
}

void TestSvgPaintDevice::transforms_data()
{
    QTest::addColumn<QTransform>("world");
    QTest::addColumn<QRect>("viewport");
    QTest::addColumn<QRect>("window");
    QTest::addColumn<bool>("cosmetic");
    QTest::addColumn<QRectF>("expected");

    const QRectF none;
    const QRect whole(0, 0, 400, 400);
    // The rectangle drawn is (10, 10, 20 x 10).
    QTest::newRow("none") << QTransform() << whole << whole << false << QRectF(10, 10, 20, 10);
    QTest::newRow("translate") << QTransform::fromTranslate(30, 40) << whole << whole << false
                               << QRectF(40, 50, 20, 10);
    QTest::newRow("scale") << QTransform::fromScale(2, 3) << whole << whole << false
                           << QRectF(20, 30, 40, 30);
    QTest::newRow("translate then scale") << QTransform().translate(100, 5).scale(2, 2) << whole
                                          << whole << false << QRectF(120, 25, 40, 20);
    QTest::newRow("rotate a quarter") << QTransform().rotate(90) << whole << whole << false
                                      << QRectF(-20, 10, 10, 20);
    QTest::newRow("window to viewport") << QTransform() << QRect(0, 0, 200, 100)
                                        << QRect(0, 0, 100, 50) << false << QRectF(20, 20, 40, 20);
    QTest::newRow("cosmetic pen, scale") << QTransform::fromScale(2, 3) << whole << whole << true
                                         << QRectF(20, 30, 40, 30);
    QTest::newRow("cosmetic pen, rotate") << QTransform().rotate(90) << whole << whole << true
                                          << QRectF(-20, 10, 10, 20);
}

void TestSvgPaintDevice::transforms()
{
    QFETCH(QTransform, world);
    QFETCH(QRect, viewport);
    QFETCH(QRect, window);
    QFETCH(bool, cosmetic);
    QFETCH(QRectF, expected);

    SvgPaintDevice device(QSize(400, 400));
    {
        QPainter painter(&device);
        painter.setViewport(viewport);
        painter.setWindow(window);
        painter.setWorldTransform(world);
        QPen pen(Qt::black, 1);
        pen.setCosmetic(cosmetic);
        painter.setPen(pen);
        painter.drawRect(QRectF(10, 10, 20, 10));
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(1));
    const QRectF got = placed(doc.nodes.front()).boundingRect();
    QVERIFY2(fuzzyEqual(got, expected), qPrintable(describe(got)));
    // A cosmetic pen is one pixel wide on the page whatever the scale.
    if (cosmetic)
        QCOMPARE(attr(doc.nodes.front(), "stroke-width") * scaleOf(doc.nodes.front()), 1.0);
}

void TestSvgPaintDevice::clipping_data()
{
    QTest::addColumn<Clip>("clip");
    QTest::addColumn<QRectF>("clipOnPage");

    QTest::newRow("integer rectangle") << Clip::IntegerRect << QRectF(10, 10, 50, 40);
    QTest::newRow("rectangle under translate") << Clip::RectUnderTranslate << QRectF(25, 15, 50, 40);
    QTest::newRow("ellipse path") << Clip::EllipsePath << QRectF(10, 10, 50, 40);
    QTest::newRow("region") << Clip::Region << QRectF(10, 10, 50, 40);
    QTest::newRow("ended by restore") << Clip::SaveRestore << QRectF(10, 10, 50, 40);
}

void TestSvgPaintDevice::clipping()
{
    QFETCH(Clip, clip);
    QFETCH(QRectF, clipOnPage);

    SvgPaintDevice device(QSize(200, 200));
    {
        QPainter painter(&device);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::red);
        painter.save();
        switch (clip) {
        case Clip::IntegerRect:
            painter.setClipRect(QRect(10, 10, 50, 40));
            break;
        case Clip::RectUnderTranslate:
            painter.translate(15, 5);
            painter.setClipRect(QRectF(10, 10, 50, 40));
            break;
        case Clip::EllipsePath: {
            QPainterPath ellipse;
            ellipse.addEllipse(QRectF(10, 10, 50, 40));
            painter.setClipPath(ellipse);
            break;
        }
        case Clip::Region:
            painter.setClipRegion(QRegion(10, 10, 50, 40));
            break;
        case Clip::SaveRestore:
            painter.setClipRect(QRectF(10, 10, 50, 40));
            break;
        }
        painter.drawRect(QRectF(0, 0, 100, 100));
        if (clip == Clip::SaveRestore)
            painter.restore();
        else
            painter.setClipping(false);
        painter.drawRect(QRectF(0, 0, 150, 150));
        if (clip != Clip::SaveRestore)
            painter.restore();
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(2));
    QVERIFY(!doc.nodes[0].clip.isEmpty());
    const QRectF got = clipRectOf(doc, doc.nodes[0]);
    QVERIFY2(fuzzyEqual(got, clipOnPage, 0.05), qPrintable(describe(got)));
    QVERIFY2(doc.nodes[1].clip.isEmpty(), qPrintable(doc.nodes[1].clip));
}

void TestSvgPaintDevice::text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QFont>("font");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QTransform>("world");
    QTest::addColumn<double>("pageSize");
    QTest::addColumn<QString>("weight");
    QTest::addColumn<QString>("style");

    QFont points(QStringLiteral("DejaVu Sans"));
    points.setPointSizeF(12);
    QFont pixels(QStringLiteral("DejaVu Sans"));
    pixels.setPixelSize(20);
    QFont bold(points);
    bold.setBold(true);
    QFont italic(points);
    italic.setItalic(true);

    // 12 points are 16 pixels at 96 dpi, 50 at 300.
    QTest::newRow("latin") << "Chromaticity" << points << 96.0 << QTransform() << 16.0 << "" << "";
    QTest::newRow("markup characters") << "x < y & \"z\" > 'w'" << points << 96.0 << QTransform()
                                       << 16.0 << "" << "";
    QTest::newRow("chinese") << QStringLiteral("色度图 (CIE 1931)") << points << 96.0 << QTransform()
                             << 16.0 << "" << "";
    QTest::newRow("300 dpi") << "x" << points << 300.0 << QTransform() << 50.0 << "" << "";
    QTest::newRow("pixel size") << "y" << pixels << 300.0 << QTransform() << 20.0 << "" << "";
    QTest::newRow("bold") << "bold" << bold << 96.0 << QTransform() << 16.0 << "700" << "";
    QTest::newRow("italic") << "italic" << italic << 96.0 << QTransform() << 16.0 << "" << "italic";
    QTest::newRow("translated and scaled") << "moved" << points << 96.0
                                           << QTransform().translate(10, 5).scale(2, 2) << 32.0
                                           << "" << "";
}

void TestSvgPaintDevice::text()
{
    QFETCH(QString, text);
    QFETCH(QFont, font);
    QFETCH(double, dpi);
    QFETCH(QTransform, world);
    QFETCH(double, pageSize);
    QFETCH(QString, weight);
    QFETCH(QString, style);

    const QPointF baseline(30, 50);
    SvgPaintDevice device(QSize(400, 400), dpi);
    {
        QPainter painter(&device);
        painter.setTransform(world);
        painter.setPen(QColor(20, 40, 60));
        painter.setFont(font);
        painter.drawText(baseline, text);
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    const std::vector<Node> texts = drawn(doc, QStringLiteral("text"));
    QVERIFY(!texts.empty());
    QCOMPARE(texts.size(), doc.nodes.size());
    // The text may come in runs of one font each; together they are the text.
    QString all;
    for (const Node& n : texts) {
        all += n.text;
        QVERIFY(n.attributes.value("font-family").contains(font.family()));
        QCOMPARE(n.attributes.value("fill"), QStringLiteral("#14283c"));
        QVERIFY(qAbs(attr(n, "font-size") * scaleOf(n) - pageSize) < 1e-3);
        QCOMPARE(n.attributes.value("font-weight"), weight);
        QCOMPARE(n.attributes.value("font-style"), style);
    }
    QCOMPARE(all, text);
    const Node& first = texts.front();
    const QPointF at = matrixOf(first).map(QPointF(attr(first, "x"), attr(first, "y")));
    QVERIFY2(fuzzyEqual(at, world.map(baseline)),
             qPrintable(QStringLiteral("%1, %2").arg(at.x()).arg(at.y())));
}

void TestSvgPaintDevice::image()
{
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(QColor(10, 20, 30));
    picture.setPixelColor(2, 1, QColor(250, 0, 0));

    SvgPaintDevice device(QSize(100, 100));
    {
        QPainter painter(&device);
        painter.translate(5, 0);
        painter.drawImage(QRectF(10, 10, 30, 20), picture);
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(1));
    const Node& n = doc.nodes.front();
    QCOMPARE(n.name, QStringLiteral("image"));
    QCOMPARE(placed(n).boundingRect(), QRectF(15, 10, 30, 20));
    const QString href = n.attributes.value("xlink:href");
    const QString prefix = QStringLiteral("data:image/png;base64,");
    QVERIFY(href.startsWith(prefix));
    const QImage decoded = QImage::fromData(QByteArray::fromBase64(href.mid(prefix.size()).toLatin1()), "PNG");
    QCOMPARE(decoded.size(), picture.size());
    QCOMPARE(decoded.pixelColor(0, 0), QColor(10, 20, 30));
    QCOMPARE(decoded.pixelColor(2, 1), QColor(250, 0, 0));
}

void TestSvgPaintDevice::nonFiniteLeftOut_data()
{
    QTest::addColumn<int>("primitive");
    QTest::addColumn<double>("bad");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const char* names[] = {"line", "polyline", "path", "rect", "ellipse", "text"};
    for (int i = 0; i < 6; ++i) {
        QTest::newRow(qPrintable(QStringLiteral("%1, nan").arg(QLatin1String(names[i])))) << i << nan;
        QTest::newRow(qPrintable(QStringLiteral("%1, inf").arg(QLatin1String(names[i])))) << i << inf;
    }
}

void TestSvgPaintDevice::nonFiniteLeftOut()
{
    QFETCH(int, primitive);
    QFETCH(double, bad);

    SvgPaintDevice device(QSize(100, 100));
    {
        QPainter painter(&device);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::gray);
        switch (primitive) {
        case 0: painter.drawLine(QLineF(0, 0, bad, 10)); break;
        case 1: painter.drawPolyline(polygon({{0, 0}, {10, bad}, {20, 0}})); break;
        case 2: {
            // QPainterPath refuses such points as they are added.
            QPainterPath path(QPointF(0, 0));
            path.lineTo(10, 10);
            path.cubicTo(20, 20, 30, 30, 40, 40);
            path.setElementPositionAt(2, bad, 20);
            painter.drawPath(path);
            break;
        }
        case 3: painter.drawRect(QRectF(0, 0, bad, 10)); break;
        case 4: painter.drawEllipse(QRectF(bad, 0, 10, 10)); break;
        case 5:
            // QPainter lays text out in fixed point, so the position is
            // always finite; the transform is not.
            painter.save();
            painter.translate(bad, 0);
            painter.drawText(QPointF(2, 20), QStringLiteral("label"));
            painter.restore();
            break;
        }
        painter.drawLine(QLineF(1, 2, 3, 4));
    }
    const QByteArray svg = device.svg();
    QVERIFY2(!svg.toLower().contains("nan"), svg.constData());
    QVERIFY2(!svg.toLower().contains("inf"), svg.constData());
    const Document doc = parse(svg);
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    // Only the finite line is left.
    QCOMPARE(doc.nodes.size(), size_t(1));
    QCOMPARE(placed(doc.nodes.front()), polygon({{1, 2}, {3, 4}}));
}

void TestSvgPaintDevice::numbersIgnoreLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France);
}

void TestSvgPaintDevice::numbersIgnoreLocale()
{
    QFETCH(QLocale, locale);
    QLocale::setDefault(locale);

    SvgPaintDevice device(QSize(100, 100));
    {
        QPainter painter(&device);
        QPen pen(QColor(0, 0, 0, 128), 2.5);
        painter.setPen(pen);
        painter.setBrush(QColor(0, 0, 255, 64));
        painter.drawLine(QLineF(10.25, 20.5, 30.125, 40.75));
        painter.drawPolygon(polygon({{1.5, 2.5}, {11.5, 2.5}, {6.25, 9.75}}));
        painter.translate(0.5, 1.5);
        painter.scale(1.5, 1.5);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(10.5);
        painter.setFont(font);
        painter.drawText(QPointF(2.5, 30.5), QStringLiteral("1,5"));
    }
    const Document doc = parse(device.svg());
    QVERIFY2(doc.wellFormed, qPrintable(doc.error));
    QCOMPARE(doc.nodes.size(), size_t(3));
    const Node& line = doc.nodes[0];
    QCOMPARE(line.attributes.value("x1"), QStringLiteral("10.25"));
    QCOMPARE(line.attributes.value("y2"), QStringLiteral("40.75"));
    QCOMPARE(line.attributes.value("stroke-width"), QStringLiteral("2.5"));
    QVERIFY(qAbs(attr(line, "stroke-opacity") - 128.0 / 255.0) < 0.002);
    QCOMPARE(placed(doc.nodes[1]), polygon({{1.5, 2.5}, {11.5, 2.5}, {6.25, 9.75}}));
    const Node& text = doc.nodes[2];
    QCOMPARE(text.text, QStringLiteral("1,5"));
    QCOMPARE(attr(text, "font-size"), 14.0);
    QCOMPARE(matrixOf(text), QTransform(1.5, 0, 0, 1.5, 0.5, 1.5));
    QCOMPARE(QPointF(attr(text, "x"), attr(text, "y")), QPointF(2.5, 30.5));
}

QTEST_MAIN(TestSvgPaintDevice)
#include "tst_svgpaintdevice.moc"
