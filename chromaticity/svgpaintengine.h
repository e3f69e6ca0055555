#ifndef SVGPAINTENGINE_H
#define SVGPAINTENGINE_H

#include <QBrush>
#include <QByteArray>
#include <QPaintEngine>
#include <QPen>
#include <QSizeF>
#include <QTransform>

class QPainterPath;

// Writes what a QPainter draws as SVG 1.1 elements, in painting order.
//
// What is kept: pens (colour and alpha, width, cosmetic pens a fixed width on
// the page whatever the transform, caps, joins, dashes), solid brushes with
// their alpha, the painter's opacity, the transform, clipping (a rectangle,
// region or path, and clipping switched off), text as <text> with its font's
// family, size, weight and slant, images as embedded PNG.
// What is not: a brush that is not a plain colour (gradient, pattern, texture)
// fills with one colour, a gradient's first stop's; composition modes, the
// background of opaque-background mode and the render hints are ignored.
//
// Numbers are written with a decimal point whatever the locale, and an element
// with a coordinate that is not finite is left out.
class SvgPaintEngine : public QPaintEngine
{
public:
    // pageSize is the document's width and height in CSS pixels; viewBox is the
    // device's size in its own pixels, the coordinates painted in.
    SvgPaintEngine(const QSizeF& viewBox, const QSizeF& pageSize);

    bool begin(QPaintDevice* device) override;
    bool end() override;
    Type type() const override;

    void updateState(const QPaintEngineState& state) override;

    void drawPath(const QPainterPath& path) override;
    void drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode) override;
    void drawLines(const QLineF* lines, int lineCount) override;
    void drawRects(const QRectF* rects, int rectCount) override;
    void drawEllipse(const QRectF& rect) override;
    void drawPoints(const QPointF* points, int pointCount) override;
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override;
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override;
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr,
                   Qt::ImageConversionFlags flags = Qt::AutoColor) override;

    // The complete document: what has been drawn so far, closed.
    QByteArray document() const;

    // Keep the overloads of the base class that take integer geometry, which
    // fall back on these.
    using QPaintEngine::drawEllipse;
    using QPaintEngine::drawLines;
    using QPaintEngine::drawPoints;
    using QPaintEngine::drawPolygon;
    using QPaintEngine::drawRects;

private:
    // Whether the shape is given in page coordinates, already transformed: a
    // cosmetic pen's width and dashes are the page's, so its shapes cannot
    // carry the transform along for the viewer to apply.
    bool mapsInCode() const;
    // The transform geometry is mapped through before it is written:
    // identity when the element carries the transform itself.
    QTransform geometryMap() const;
    int geometryDecimals() const;
    // The pen, the brush (none when fill is false: shapes that are never
    // filled) and the transform unless the geometry is mapped; finite is
    // cleared when a number among them is not finite.
    QByteArray shapeAttributes(bool fill, Qt::FillRule rule, bool* finite) const;
    // The transform attribute, finite as above; empty for the identity.
    QByteArray matrixAttribute(bool* finite) const;
    // Ends a shape's element (geometry, whether its numbers were finite) with
    // shapeAttributes and adds it, unless a number was not finite.
    void appendShape(QByteArray geometry, bool finite, bool fill, Qt::FillRule rule);
    void appendElement(const QByteArray& element);
    void writeClip();
    void writeImage(const QRectF& r, const QImage& image);

    QSizeF m_viewBox;
    QSizeF m_pageSize;
    QByteArray m_body;

    QPen m_pen;
    QBrush m_brush;
    QTransform m_transform;
    double m_opacity = 1.0;
    // Decimals of logical coordinates for a thousandth of a page pixel under
    // the transform.
    int m_decimals = 3;

    bool m_clipDirty = false;
    bool m_inClipGroup = false;
    int m_clipCount = 0;
};

#endif // SVGPAINTENGINE_H
