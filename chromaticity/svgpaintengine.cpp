#include "svgpaintengine.h"

#include <QBuffer>
#include <QFont>
#include <QGradient>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QTextItem>

#include <algorithm>
#include <cmath>

namespace {

// Builds one element, remembering whether every number in it was finite:
// a viewer given "nan" drops the document, not just the element.
class Element
{
public:
    // Attributes alone when tag is null.
    explicit Element(const char* tag = nullptr)
    {
        if (tag) {
            m_text += '<';
            m_text += tag;
        }
    }

    void number(double value, int decimals)
    {
        if (!std::isfinite(value)) {
            m_finite = false;
            return;
        }
        // QByteArray::number knows no locale: always a decimal point.
        QByteArray text = QByteArray::number(value, 'f', decimals);
        if (text.contains('.')) {
            while (text.endsWith('0'))
                text.chop(1);
            if (text.endsWith('.'))
                text.chop(1);
        }
        if (text == "-0")
            text = "0";
        m_text += text;
    }

    void attribute(const char* name, double value, int decimals)
    {
        open(name);
        number(value, decimals);
        m_text += '"';
    }

    void attribute(const char* name, const QByteArray& value)
    {
        open(name);
        m_text += value;
        m_text += '"';
    }

    void open(const char* name)
    {
        m_text += ' ';
        m_text += name;
        m_text += "=\"";
    }

    QByteArray& text() { return m_text; }
    bool finite() const { return m_finite; }

private:
    QByteArray m_text;
    bool m_finite = true;
};

// Text and attribute values for XML: the markup characters escaped, and the
// control characters XML 1.0 does not allow dropped.
QByteArray escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&apos;"); break;
        default:
            if (c.unicode() >= 0x20 || c == QLatin1Char('\t') || c == QLatin1Char('\n')
                || c == QLatin1Char('\r'))
                out += c;
        }
    }
    return out.toUtf8();
}

// The one colour a brush fills with here.
QColor plainColour(const QBrush& brush)
{
    if (const QGradient* gradient = brush.gradient()) {
        if (!gradient->stops().isEmpty())
            return gradient->stops().constFirst().second;
    }
    const QColor colour = brush.color();
    return colour.isValid() ? colour : QColor(Qt::black);
}

void appendColour(Element& e, const char* colourName, const char* opacityName,
                  const QColor& colour, double opacity)
{
    e.attribute(colourName, colour.toRgb().name(QColor::HexRgb).toLatin1());
    const double alpha = colour.alphaF() * opacity;
    if (alpha < 1.0)
        e.attribute(opacityName, alpha, 3);
}

void appendPoints(Element& e, const QPointF* points, int count, const QTransform& map,
                  int decimals)
{
    e.open("points");
    for (int i = 0; i < count; ++i) {
        const QPointF p = map.map(points[i]);
        if (i > 0)
            e.text() += ' ';
        e.number(p.x(), decimals);
        e.text() += ',';
        e.number(p.y(), decimals);
    }
    e.text() += '"';
}

void appendPathData(Element& e, const QPainterPath& path, const QTransform& map, int decimals)
{
    e.open("d");
    QPointF start, current;
    int drawn = 0;
    const auto point = [&](const QPointF& p) {
        e.number(p.x(), decimals);
        e.text() += ' ';
        e.number(p.y(), decimals);
    };
    // A subpath that comes back to where it began is closed, joined there
    // rather than capped at both ends, as QPainter strokes it.
    const auto closeIfBack = [&]() {
        if (drawn > 1 && current == start)
            e.text() += 'Z';
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element el = path.elementAt(i);
        const QPointF p = map.map(QPointF(el.x, el.y));
        if (!e.text().endsWith('"'))
            e.text() += ' ';
        switch (el.type) {
        case QPainterPath::MoveToElement:
            closeIfBack();
            if (e.text().endsWith('Z'))
                e.text() += ' ';
            e.text() += "M ";
            point(p);
            start = current = QPointF(el.x, el.y);
            drawn = 0;
            break;
        case QPainterPath::LineToElement:
            e.text() += "L ";
            point(p);
            current = QPointF(el.x, el.y);
            ++drawn;
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < path.elementCount()) {
                const QPainterPath::Element c2 = path.elementAt(i + 1);
                const QPainterPath::Element end = path.elementAt(i + 2);
                e.text() += "C ";
                point(p);
                e.text() += ' ';
                point(map.map(QPointF(c2.x, c2.y)));
                e.text() += ' ';
                point(map.map(QPointF(end.x, end.y)));
                current = QPointF(end.x, end.y);
                ++drawn;
                i += 2;
            }
            break;
        case QPainterPath::CurveToDataElement:
            // Consumed with the curve it belongs to.
            break;
        }
    }
    closeIfBack();
    if (e.text().endsWith(' '))
        e.text().chop(1);
    e.text() += '"';
}

const char* fillRule(Qt::FillRule rule)
{
    return rule == Qt::OddEvenFill ? "evenodd" : "nonzero";
}

bool isCosmetic(const QPen& pen)
{
    return pen.isCosmetic() || pen.widthF() == 0.0;
}

// The width a pen draws with, in its own units.
double penWidth(const QPen& pen)
{
    return pen.widthF() > 0.0 ? pen.widthF() : 1.0;
}

// The 0-99 weights of QFont on the 100-900 scale of CSS.
int cssWeight(int weight)
{
    const struct {
        int qt;
        int css;
    } steps[] = {{QFont::Black, 900}, {QFont::ExtraBold, 800}, {QFont::Bold, 700},
                 {QFont::DemiBold, 600}, {QFont::Medium, 500}, {QFont::Normal, 400},
                 {QFont::Light, 300}, {QFont::ExtraLight, 200}};
    for (const auto& step : steps) {
        if (weight >= step.qt)
            return step.css;
    }
    return 100;
}

} // namespace

SvgPaintEngine::SvgPaintEngine(const QSizeF& viewBox, const QSizeF& pageSize)
    : QPaintEngine(AllFeatures)
    , m_viewBox(viewBox)
    , m_pageSize(pageSize)
{
}

bool SvgPaintEngine::begin(QPaintDevice*)
{
    m_pen = QPen();
    m_brush = QBrush();
    m_transform = QTransform();
    m_opacity = 1.0;
    m_decimals = 3;
    m_clipDirty = false;
    return true;
}

bool SvgPaintEngine::end()
{
    if (m_inClipGroup) {
        m_body += "</g>\n";
        m_inClipGroup = false;
    }
    m_clipDirty = false;
    return true;
}

QPaintEngine::Type SvgPaintEngine::type() const
{
    return User;
}

void SvgPaintEngine::updateState(const QPaintEngineState& newState)
{
    const DirtyFlags flags = newState.state();
    if (flags & DirtyPen)
        m_pen = newState.pen();
    if (flags & DirtyBrush)
        m_brush = newState.brush();
    if (flags & DirtyOpacity)
        m_opacity = std::clamp(newState.opacity(), 0.0, 1.0);
    if (flags & DirtyTransform) {
        m_transform = newState.transform();
        const double scale = std::max(std::hypot(m_transform.m11(), m_transform.m12()),
                                      std::hypot(m_transform.m21(), m_transform.m22()));
        m_decimals = 3;
        if (std::isfinite(scale) && scale > 1.0)
            m_decimals = std::min(9, 3 + int(std::ceil(std::log10(scale))));
    }
    if (flags & (DirtyClipPath | DirtyClipRegion | DirtyClipEnabled))
        m_clipDirty = true;
}

bool SvgPaintEngine::mapsInCode() const
{
    return m_pen.style() != Qt::NoPen && isCosmetic(m_pen);
}

QTransform SvgPaintEngine::geometryMap() const
{
    return mapsInCode() ? m_transform : QTransform();
}

int SvgPaintEngine::geometryDecimals() const
{
    return mapsInCode() ? 3 : m_decimals;
}

QByteArray SvgPaintEngine::matrixAttribute(bool* finite) const
{
    if (m_transform.type() == QTransform::TxNone)
        return {};
    // A perspective transform has no SVG form; its affine part is written.
    const QTransform& t = m_transform;
    Element e;
    e.open("transform");
    e.text() += "matrix(";
    const double values[] = {t.m11(), t.m12(), t.m21(), t.m22()};
    for (double v : values) {
        e.number(v, 9);
        e.text() += ' ';
    }
    e.number(t.dx(), 3);
    e.text() += ' ';
    e.number(t.dy(), 3);
    e.text() += ")\"";
    if (!e.finite())
        *finite = false;
    return e.text();
}

QByteArray SvgPaintEngine::shapeAttributes(bool fill, Qt::FillRule rule, bool* finite) const
{
    Element e;
    if (fill && m_brush.style() != Qt::NoBrush) {
        appendColour(e, "fill", "fill-opacity", plainColour(m_brush), m_opacity);
        e.attribute("fill-rule", fillRule(rule));
    } else {
        e.attribute("fill", "none");
    }
    if (m_pen.style() != Qt::NoPen) {
        const int decimals = geometryDecimals();
        const double width = penWidth(m_pen);
        appendColour(e, "stroke", "stroke-opacity", plainColour(m_pen.brush()), m_opacity);
        e.attribute("stroke-width", width, decimals);
        switch (m_pen.capStyle()) {
        case Qt::FlatCap: e.attribute("stroke-linecap", "butt"); break;
        case Qt::RoundCap: e.attribute("stroke-linecap", "round"); break;
        default: e.attribute("stroke-linecap", "square"); break;
        }
        switch (m_pen.joinStyle()) {
        case Qt::RoundJoin: e.attribute("stroke-linejoin", "round"); break;
        case Qt::BevelJoin: e.attribute("stroke-linejoin", "bevel"); break;
        default:
            e.attribute("stroke-linejoin", "miter");
            // QPen measures the miter from the corner, SVG across the whole
            // join: twice as long.
            e.attribute("stroke-miterlimit", std::max(1.0, 2.0 * m_pen.miterLimit()), 3);
            break;
        }
        if (m_pen.style() != Qt::SolidLine) {
            // Dashes are in units of the pen's width.
            const QVector<qreal> pattern = m_pen.dashPattern();
            if (!pattern.isEmpty()) {
                e.open("stroke-dasharray");
                for (int i = 0; i < pattern.size(); ++i) {
                    if (i > 0)
                        e.text() += ',';
                    e.number(pattern.at(i) * width, decimals);
                }
                e.text() += '"';
                if (m_pen.dashOffset() != 0.0)
                    e.attribute("stroke-dashoffset", m_pen.dashOffset() * width, decimals);
            }
        }
    }
    if (!e.finite())
        *finite = false;
    if (!mapsInCode())
        e.text() += matrixAttribute(finite);
    return e.text();
}

void SvgPaintEngine::appendElement(const QByteArray& element)
{
    if (m_clipDirty)
        writeClip();
    m_body += element;
    m_body += '\n';
}

void SvgPaintEngine::writeClip()
{
    m_clipDirty = false;
    if (m_inClipGroup) {
        m_body += "</g>\n";
        m_inClipGroup = false;
    }
    const QPainter* p = painter();
    if (!p || !p->hasClipping())
        return;
    const QPainterPath clip = p->clipPath();
    const QString id = QStringLiteral("clip%1").arg(++m_clipCount);
    Element path("path");
    appendPathData(path, clip, p->combinedTransform(), 3);
    if (!path.finite()) {
        // Nothing sensible to clip to: show nothing rather than everything.
        path = Element("path");
        path.attribute("d", QByteArray());
    }
    path.attribute("clip-rule", fillRule(clip.fillRule()));
    path.text() += "/>";
    m_body += "<clipPath id=\"" + id.toLatin1() + "\">" + path.text() + "</clipPath>\n";
    m_body += "<g clip-path=\"url(#" + id.toLatin1() + ")\">\n";
    m_inClipGroup = true;
}

void SvgPaintEngine::appendShape(QByteArray geometry, bool finite, bool fill, Qt::FillRule rule)
{
    geometry += shapeAttributes(fill, rule, &finite);
    geometry += "/>";
    if (finite)
        appendElement(geometry);
}

void SvgPaintEngine::drawPath(const QPainterPath& path)
{
    if (path.isEmpty())
        return;
    Element e("path");
    appendPathData(e, path, geometryMap(), geometryDecimals());
    appendShape(e.text(), e.finite(), true, path.fillRule());
}

void SvgPaintEngine::drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode)
{
    if (pointCount < 1)
        return;
    const bool polyline = mode == PolylineMode;
    Element e(polyline ? "polyline" : "polygon");
    appendPoints(e, points, pointCount, geometryMap(), geometryDecimals());
    appendShape(e.text(), e.finite(), !polyline,
                mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
}

void SvgPaintEngine::drawLines(const QLineF* lines, int lineCount)
{
    const QTransform map = geometryMap();
    const int decimals = geometryDecimals();
    for (int i = 0; i < lineCount; ++i) {
        const QLineF line = map.map(lines[i]);
        Element e("line");
        e.attribute("x1", line.x1(), decimals);
        e.attribute("y1", line.y1(), decimals);
        e.attribute("x2", line.x2(), decimals);
        e.attribute("y2", line.y2(), decimals);
        appendShape(e.text(), e.finite(), false, Qt::OddEvenFill);
    }
}

void SvgPaintEngine::drawRects(const QRectF* rects, int rectCount)
{
    // Mapped through a rotation a rectangle is no longer one.
    const bool asRect = !mapsInCode() || m_transform.type() <= QTransform::TxScale;
    const QTransform map = geometryMap();
    const int decimals = geometryDecimals();
    for (int i = 0; i < rectCount; ++i) {
        if (!asRect) {
            QPainterPath path;
            path.addRect(rects[i]);
            drawPath(path);
            continue;
        }
        const QRectF r = map.mapRect(rects[i].normalized());
        Element e("rect");
        e.attribute("x", r.x(), decimals);
        e.attribute("y", r.y(), decimals);
        e.attribute("width", r.width(), decimals);
        e.attribute("height", r.height(), decimals);
        appendShape(e.text(), e.finite(), true, Qt::OddEvenFill);
    }
}

void SvgPaintEngine::drawEllipse(const QRectF& rect)
{
    if (mapsInCode() && m_transform.type() > QTransform::TxScale) {
        QPainterPath path;
        path.addEllipse(rect);
        drawPath(path);
        return;
    }
    const QRectF r = geometryMap().mapRect(rect.normalized());
    const int decimals = geometryDecimals();
    Element e("ellipse");
    e.attribute("cx", r.center().x(), decimals);
    e.attribute("cy", r.center().y(), decimals);
    e.attribute("rx", r.width() / 2.0, decimals);
    e.attribute("ry", r.height() / 2.0, decimals);
    appendShape(e.text(), e.finite(), true, Qt::OddEvenFill);
}

void SvgPaintEngine::drawPoints(const QPointF* points, int pointCount)
{
    if (m_pen.style() == Qt::NoPen)
        return;
    // A point is a dot of the pen's width in the pen's colour: a square, or
    // a disc for a round cap.
    const QTransform map = geometryMap();
    const int decimals = geometryDecimals();
    const double width = penWidth(m_pen);
    const bool round = m_pen.capStyle() == Qt::RoundCap;
    for (int i = 0; i < pointCount; ++i) {
        const QPointF p = map.map(points[i]);
        Element e(round ? "circle" : "rect");
        if (round) {
            e.attribute("cx", p.x(), decimals);
            e.attribute("cy", p.y(), decimals);
            e.attribute("r", width / 2.0, decimals);
        } else {
            e.attribute("x", p.x() - width / 2.0, decimals);
            e.attribute("y", p.y() - width / 2.0, decimals);
            e.attribute("width", width, decimals);
            e.attribute("height", width, decimals);
        }
        appendColour(e, "fill", "fill-opacity", plainColour(m_pen.brush()), m_opacity);
        bool finite = e.finite();
        if (!mapsInCode())
            e.text() += matrixAttribute(&finite);
        e.text() += "/>";
        if (finite)
            appendElement(e.text());
    }
}

void SvgPaintEngine::drawTextItem(const QPointF& p, const QTextItem& textItem)
{
    // Text is drawn with the pen's colour; no pen, no text.
    const QString text = textItem.text();
    if (m_pen.style() == Qt::NoPen || text.isEmpty())
        return;
    const QFont font = textItem.font();
    double size = font.pixelSize();
    if (size <= 0.0) {
        // Points as QPainter laid them out: at the device's logical resolution.
        const int dpi = paintDevice() ? paintDevice()->logicalDpiY() : 96;
        size = font.pointSizeF() * dpi / 72.0;
    }
    Element e("text");
    e.attribute("x", p.x(), m_decimals);
    e.attribute("y", p.y(), m_decimals);
    QString family = font.family();
    family.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    family.replace(QLatin1Char('\''), QLatin1String("\\'"));
    e.attribute("font-family", escaped(QLatin1Char('\'') + family + QLatin1Char('\'')));
    e.attribute("font-size", size, m_decimals);
    const int weight = cssWeight(font.weight());
    if (weight != 400)
        e.attribute("font-weight", QByteArray::number(weight));
    if (font.style() == QFont::StyleItalic)
        e.attribute("font-style", "italic");
    else if (font.style() == QFont::StyleOblique)
        e.attribute("font-style", "oblique");
    QByteArray decoration;
    if (font.underline())
        decoration += " underline";
    if (font.overline())
        decoration += " overline";
    if (font.strikeOut())
        decoration += " line-through";
    if (!decoration.isEmpty())
        e.attribute("text-decoration", decoration.mid(1));
    appendColour(e, "fill", "fill-opacity", plainColour(m_pen.brush()), m_opacity);
    bool finite = e.finite();
    e.text() += matrixAttribute(&finite);
    // Spaces are part of what was drawn.
    e.text() += " xml:space=\"preserve\">";
    e.text() += escaped(text);
    e.text() += "</text>";
    if (finite)
        appendElement(e.text());
}

void SvgPaintEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr)
{
    const QImage image = pm.toImage();
    const QRect source = sr.toAlignedRect();
    writeImage(r, source == image.rect() ? image : image.copy(source));
}

void SvgPaintEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                               Qt::ImageConversionFlags)
{
    const QRect source = sr.toAlignedRect();
    writeImage(r, source == image.rect() ? image : image.copy(source));
}

void SvgPaintEngine::writeImage(const QRectF& r, const QImage& image)
{
    if (image.isNull())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;
    Element e("image");
    e.attribute("x", r.x(), m_decimals);
    e.attribute("y", r.y(), m_decimals);
    e.attribute("width", r.width(), m_decimals);
    e.attribute("height", r.height(), m_decimals);
    e.attribute("preserveAspectRatio", "none");
    if (m_opacity < 1.0)
        e.attribute("opacity", m_opacity, 3);
    bool finite = e.finite();
    e.text() += matrixAttribute(&finite);
    e.attribute("xlink:href", "data:image/png;base64," + png.toBase64());
    e.text() += "/>";
    if (finite)
        appendElement(e.text());
}

QByteArray SvgPaintEngine::document() const
{
    Element svg("svg");
    svg.attribute("xmlns", "http://www.w3.org/2000/svg");
    svg.attribute("xmlns:xlink", "http://www.w3.org/1999/xlink");
    svg.attribute("version", "1.1");
    svg.attribute("width", m_pageSize.width(), 3);
    svg.attribute("height", m_pageSize.height(), 3);
    svg.open("viewBox");
    svg.text() += "0 0 ";
    svg.number(m_viewBox.width(), 3);
    svg.text() += ' ';
    svg.number(m_viewBox.height(), 3);
    svg.text() += "\">\n";

    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n";
    out += svg.text();
    out += m_body;
    if (m_inClipGroup)
        out += "</g>\n";
    out += "</svg>\n";
    return out;
}
