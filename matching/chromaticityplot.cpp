#include "chromaticityplot.h"

#include "pagefont.h"
#include "xspect.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

// The largest of 1, 2, 5 times a power of ten not above value (> 0).
double roundDown(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {5.0, 2.0, 1.0}) {
        if (step * power <= value * (1.0 + 1e-9))
            return step * power;
    }
    return power;
}

// Decimals enough to tell ticks step apart.
int decimalsFor(double step)
{
    return std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
}

QString fixed(double value, int decimals)
{
    // QString::number ignores the locale: a certificate reads the same everywhere.
    return QString::number(value, 'f', decimals);
}

bool isFinite(const ChromaticityPlot::Xy& xy)
{
    return std::isfinite(xy[0]) && std::isfinite(xy[1]);
}

// The square around the points, a margin on every side.
QRectF squareAround(const std::vector<ChromaticityPlot::Xy>& points)
{
    double left = points.front()[0], right = left, bottom = points.front()[1], top = bottom;
    for (const auto& p : points) {
        left = std::min(left, p[0]);
        right = std::max(right, p[0]);
        bottom = std::min(bottom, p[1]);
        top = std::max(top, p[1]);
    }
    // One patch alone, or patches all of one colour, still get a readable span.
    const double span = std::max({right - left, top - bottom, 0.02});
    const double side = span * 1.24;
    const double cx = (left + right) / 2.0, cy = (bottom + top) / 2.0;
    return QRectF(cx - side / 2.0, cy - side / 2.0, side, side);
}

const QColor kReferenceColour(0x1f, 0x4e, 0x99);
const QColor kCorrectedColour(0xc0, 0x28, 0x1c);

void drawCircle(QPainter& painter, const QPointF& at, double radius)
{
    painter.setPen(QPen(kReferenceColour, radius * 0.45));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at, radius, radius);
}

void drawCross(QPainter& painter, const QPointF& at, double half)
{
    painter.setPen(QPen(kCorrectedColour, half * 0.45));
    painter.drawLine(at + QPointF(-half, -half), at + QPointF(half, half));
    painter.drawLine(at + QPointF(-half, half), at + QPointF(half, -half));
}

} // namespace

ChromaticityPlot::ChromaticityPlot(const std::vector<Pair>& pairs)
{
    for (const Pair& p : pairs)
        if (isFinite(p.reference) && isFinite(p.corrected))
            m_pairs.push_back(p);
    if (m_pairs.empty()) {
        m_range = QRectF(-0.02, -0.02, 0.9, 0.9);
        m_tickStep = 0.1;
        m_scaleBar = roundDown(0.12 * m_range.width());
        return;
    }

    std::vector<Xy> points;
    double largest = 0.0;
    for (const Pair& p : m_pairs) {
        points.push_back(p.reference);
        points.push_back(p.corrected);
        largest = std::max(largest, std::hypot(p.corrected[0] - p.reference[0], p.corrected[1] - p.reference[1]));
    }
    const double side = squareAround(points).width();
    // The largest error drawn about a twentieth of the diagram across; never
    // shrunk, and bounded so that a correction exact to rounding is not blown
    // up into noise.
    if (largest > 0.0)
        m_magnification = std::clamp(roundDown(0.05 * side / largest), 1.0, 1000.0);
    for (const Pair& p : m_pairs)
        points.push_back(drawnCorrected(p));
    m_range = squareAround(points);
    m_tickStep = roundDown(m_range.width() / 4.0);
    m_scaleBar = roundDown(0.12 * m_range.width() / m_magnification);
}

const std::vector<ChromaticityPlot::Xy>& ChromaticityPlot::spectrumLocus()
{
    static const std::vector<Xy> locus = [] {
        std::vector<Xy> out;
        for (int nm = kLocusFirst; nm <= 700; nm += kLocusStep) {
            double xyz[3] = {0.0, 0.0, 0.0};
            for (int c = 0; c < 3; ++c)
                getval_xspec(&ob_CIE_1931_2[c], &xyz[c], nm);
            const double sum = xyz[0] + xyz[1] + xyz[2];
            out.push_back({xyz[0] / sum, xyz[1] / sum});
        }
        return out;
    }();
    return locus;
}

ChromaticityPlot::Xy ChromaticityPlot::drawnCorrected(const Pair& pair) const
{
    return {pair.reference[0] + m_magnification * (pair.corrected[0] - pair.reference[0]),
            pair.reference[1] + m_magnification * (pair.corrected[1] - pair.reference[1])};
}

QRectF ChromaticityPlot::frame(const QRectF& area, double fontSize)
{
    const double left = fontSize * 4.2, bottom = fontSize * 3.0, top = fontSize * 0.8, right = fontSize * 1.2;
    const double side = std::max(0.0, std::min(area.width() - left - right, area.height() - top - bottom));
    return QRectF(area.left() + left, area.top() + top, side, side);
}

QPointF ChromaticityPlot::map(const Xy& xy, const QRectF& frame) const
{
    const double scale = frame.width() / m_range.width();
    return {frame.left() + (xy[0] - m_range.left()) * scale, frame.bottom() - (xy[1] - m_range.top()) * scale};
}

QString ChromaticityPlot::magnificationNote() const
{
    if (m_magnification <= 1.0)
        return tr("Corrected points drawn where they lie.");
    return tr("Corrected points drawn %1 times farther from their reference than they lie.")
        .arg(QString::number(m_magnification, 'f', 0));
}

void ChromaticityPlot::paint(QPainter& painter, const QRectF& area, double fontSize) const
{
    const QRectF box = frame(area, fontSize);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double hairline = fontSize * 0.06;
    const QFont font = pageFont(fontSize, painter.device());
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());

    painter.fillRect(box, Qt::white);
    // Grid and tick labels, at whole multiples of the step.
    const int decimals = decimalsFor(m_tickStep);
    const auto ticks = [this](double from, double to) {
        std::vector<double> out;
        for (double v = std::ceil(from / m_tickStep - 1e-9) * m_tickStep; v <= to + 1e-12; v += m_tickStep)
            out.push_back(std::abs(v) < m_tickStep * 1e-6 ? 0.0 : v);
        return out;
    };
    const QPen gridPen(QColor(0xdd, 0xdd, 0xdd), hairline);
    const QPen tickPen(Qt::black, hairline * 1.5);
    const double tick = fontSize * 0.35;
    for (double x : ticks(m_range.left(), m_range.right())) {
        const double px = map({x, m_range.top()}, box).x();
        painter.setPen(gridPen);
        painter.drawLine(QPointF(px, box.top()), QPointF(px, box.bottom()));
        painter.setPen(tickPen);
        painter.drawLine(QPointF(px, box.bottom()), QPointF(px, box.bottom() + tick));
        const QString label = fixed(x, decimals);
        painter.drawText(QRectF(px - 3.0 * fontSize, box.bottom() + tick, 6.0 * fontSize, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, label);
    }
    for (double y : ticks(m_range.top(), m_range.bottom())) {
        const double py = map({m_range.left(), y}, box).y();
        painter.setPen(gridPen);
        painter.drawLine(QPointF(box.left(), py), QPointF(box.right(), py));
        painter.setPen(tickPen);
        painter.drawLine(QPointF(box.left() - tick, py), QPointF(box.left(), py));
        painter.drawText(QRectF(box.left() - tick - 4.0 * fontSize - fontSize * 0.2, py - metrics.height() / 2.0,
                                4.0 * fontSize, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, fixed(y, decimals));
    }
    QFont italic = font;
    italic.setItalic(true);
    painter.setFont(italic);
    painter.drawText(QRectF(box.left(), box.bottom() + tick + metrics.height(), box.width(), metrics.height() * 1.3),
                     Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("x"));
    painter.drawText(QRectF(area.left(), box.top(), fontSize * 1.0, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("y"));
    painter.setFont(font);

    painter.setClipRect(box);
    // The locus, closed by the line of purples.
    QPainterPath locus;
    const auto& outline = spectrumLocus();
    locus.moveTo(map(outline.front(), box));
    for (std::size_t i = 1; i < outline.size(); ++i)
        locus.lineTo(map(outline[i], box));
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), hairline * 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(locus);
    QPen purple(QColor(0x99, 0x99, 0x99), hairline * 2.0, Qt::DashLine);
    painter.setPen(purple);
    painter.drawLine(map(outline.back(), box), map(outline.front(), box));
    // Some wavelengths, set off outwards from the middle of the diagram.
    const QFont small = pageFont(fontSize * 0.8, painter.device());
    painter.setFont(small);
    painter.setPen(QColor(0x66, 0x66, 0x66));
    const QFontMetricsF smallMetrics(small, painter.device());
    for (int nm = 460; nm <= 620; nm += 20) {
        const Xy& p = outline[std::size_t((nm - kLocusFirst) / kLocusStep)];
        const QPointF at = map(p, box);
        QPointF out(p[0] - 1.0 / 3.0, -(p[1] - 1.0 / 3.0));
        out /= std::hypot(out.x(), out.y());
        const QString label = QString::number(nm);
        const QPointF centre = at + out * (fontSize * 1.4);
        const double w = smallMetrics.horizontalAdvance(label);
        const QRectF place(centre.x() - w / 2.0, centre.y() - smallMetrics.height() / 2.0, w, smallMetrics.height());
        // Half a label is worse than none.
        if (!box.contains(place))
            continue;
        painter.drawText(place, Qt::AlignCenter, label);
        painter.drawLine(at, at + out * (fontSize * 0.4));
    }
    painter.setFont(font);

    const double mark = fontSize * 0.32;
    painter.setPen(QPen(QColor(0x88, 0x88, 0x88), hairline * 1.5));
    for (const Pair& p : m_pairs)
        painter.drawLine(map(p.reference, box), map(drawnCorrected(p), box));
    for (const Pair& p : m_pairs)
        drawCircle(painter, map(p.reference, box), mark);
    for (const Pair& p : m_pairs)
        drawCross(painter, map(drawnCorrected(p), box), mark);

    painter.setClipping(false);
    painter.setPen(QPen(Qt::black, hairline * 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.restore();
}

double ChromaticityPlot::paintLegend(QPainter& painter, const QRectF& legend, const QRectF& frame,
                                     double fontSize) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont font = pageFont(fontSize, painter.device());
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double line = metrics.height() * 1.35;
    const double mark = fontSize * 0.32;
    const double textLeft = legend.left() + fontSize * 1.6;
    double y = legend.top();

    const auto textAt = [&](double top, const QString& text) {
        const QRectF bounds(textLeft, top, legend.right() - textLeft, legend.bottom() - top);
        const QRectF used = painter.boundingRect(bounds, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        painter.setPen(Qt::black);
        painter.drawText(bounds, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        return used.height();
    };
    const QPointF markAt(legend.left() + fontSize * 0.6, 0.0);
    drawCircle(painter, markAt + QPointF(0.0, y + metrics.height() / 2.0), mark);
    y += std::max(line, textAt(y, tr("Reference")) + line - metrics.height());
    drawCross(painter, markAt + QPointF(0.0, y + metrics.height() / 2.0), mark);
    y += std::max(line, textAt(y, tr("Corrected sensor")) + line - metrics.height());
    y += line * 0.3;
    y += textAt(y, magnificationNote()) + line - metrics.height();
    y += line * 0.3;

    // The scale bar: its true Δxy, drawn at the magnification of the offsets.
    const double length = m_scaleBar * m_magnification * frame.width() / m_range.width();
    const double barY = y + metrics.height() / 2.0;
    painter.setPen(QPen(Qt::black, fontSize * 0.12));
    painter.drawLine(QPointF(legend.left(), barY), QPointF(legend.left() + length, barY));
    for (double end : {legend.left(), legend.left() + length})
        painter.drawLine(QPointF(end, barY - fontSize * 0.3), QPointF(end, barY + fontSize * 0.3));
    y += line;
    y += textAt(y, tr("Offset of \u0394xy %1 as drawn").arg(fixed(m_scaleBar, decimalsFor(m_scaleBar))));
    painter.restore();
    return y - legend.top();
}
