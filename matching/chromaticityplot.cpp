#include "chromaticityplot.h"

#include "pagefont.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Decimals enough to tell steps apart.
int decimalsFor(double step)
{
    return std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
}

bool isFinite(const ChromaticityPlot::Xy& xy)
{
    return std::isfinite(xy[0]) && std::isfinite(xy[1]);
}

// The side of the square the diagram fits about the points: their extent
// with the diagram's margin, one patch alone or all of one colour still a
// readable neighbourhood.
double fittedSide(const std::vector<ChromaticityPlot::Xy>& points)
{
    double left = points.front()[0], right = left, bottom = points.front()[1], top = bottom;
    for (const auto& p : points) {
        left = std::min(left, p[0]);
        right = std::max(right, p[0]);
        bottom = std::min(bottom, p[1]);
        top = std::max(top, p[1]);
    }
    return std::max({right - left, top - bottom, 0.02}) * 1.3;
}

} // namespace

ChromaticityPlot::ChromaticityPlot(const std::vector<Pair>& pairs)
{
    for (const Pair& p : pairs)
        if (isFinite(p.reference) && isFinite(p.corrected))
            m_pairs.push_back(p);
    m_diagram.setGamuts(ChromaticityDiagram::NoGamut);
    m_diagram.setShowsPlanckian(false);
    m_diagram.setShowsDaylight(false);
    m_diagram.setShowsLegend(false);
    if (m_pairs.empty()) {
        m_diagram.fitWholeLocus();
        m_scaleBar = ChromaticityDiagram::roundDown(0.12 * m_diagram.span());
        return;
    }

    std::vector<Xy> points;
    double largest = 0.0;
    for (const Pair& p : m_pairs) {
        points.push_back(p.reference);
        points.push_back(p.corrected);
        largest = std::max(largest, std::hypot(p.corrected[0] - p.reference[0], p.corrected[1] - p.reference[1]));
    }
    m_magnification = ChromaticityDiagram::vectorMagnification(largest, fittedSide(points));
    apply(m_diagram);
    m_diagram.fitView();
    m_scaleBar = ChromaticityDiagram::roundDown(0.12 * m_diagram.span() / m_magnification);
}

ChromaticityPlot ChromaticityPlot::ofMethod(const Certificate::MethodResult* method)
{
    std::vector<Pair> pairs;
    if (method) {
        for (const Certificate::PatchFigures& f : method->patches)
            pairs.push_back({{f.referenceXyY[0], f.referenceXyY[1]}, {f.correctedXyY[0], f.correctedXyY[1]}, f.name});
    }
    return ChromaticityPlot(pairs);
}

ChromaticityPlot::Xy ChromaticityPlot::drawnCorrected(const Pair& pair) const
{
    return {pair.reference[0] + m_magnification * (pair.corrected[0] - pair.reference[0]),
            pair.reference[1] + m_magnification * (pair.corrected[1] - pair.reference[1])};
}

void ChromaticityPlot::apply(ChromaticityDiagram& diagram) const
{
    std::vector<ChromaticityDiagram::Vector> vectors;
    vectors.reserve(m_pairs.size());
    for (const Pair& p : m_pairs)
        vectors.push_back({p.reference, p.corrected, p.name});
    diagram.setVectors(vectors);
    diagram.setVectorScale(m_magnification);
}

QRectF ChromaticityPlot::frame(const QRectF& area, double fontSize)
{
    const QRectF within = ChromaticityDiagram::frame(area, fontSize);
    const double side = std::min(within.width(), within.height());
    return QRectF(within.topLeft(), QSizeF(side, side));
}

QRectF ChromaticityPlot::areaFor(const QPointF& topLeft, double side, double fontSize)
{
    // The diagram's margins: what its frame leaves out of a large area.
    const QRectF none = ChromaticityDiagram::frame(QRectF(0, 0, 1e6, 1e6), fontSize);
    return QRectF(topLeft, QSizeF(side + 1e6 - none.width(), side + 1e6 - none.height()));
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
    m_diagram.paint(painter, areaFor(area.topLeft(), frame(area, fontSize).width(), fontSize), fontSize);
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
    const double textLeft = legend.left() + fontSize * 2.4;
    double y = legend.top();

    const auto textAt = [&](double top, const QString& text) {
        const QRectF bounds(textLeft, top, legend.right() - textLeft, legend.bottom() - top);
        const QRectF used = painter.boundingRect(bounds, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        painter.setPen(Qt::black);
        painter.drawText(bounds, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        return used.height();
    };
    // The marks exactly as the diagram draws them: the reference's ring, and
    // the arrow to where the corrected sensor put the patch.
    const double markLeft = legend.left() + fontSize * 0.4;
    const double middle = metrics.height() / 2.0;
    ChromaticityDiagram::paintVector(painter, QPointF(markLeft, y + middle), QPointF(markLeft, y + middle), fontSize);
    y += std::max(line, textAt(y, tr("Reference")) + line - metrics.height());
    ChromaticityDiagram::paintVector(painter, QPointF(markLeft, y + middle),
                                     QPointF(markLeft + fontSize * 1.6, y + middle), fontSize);
    y += std::max(line, textAt(y, tr("Corrected sensor")) + line - metrics.height());
    y += line * 0.3;
    painter.setFont(font);
    y += textAt(y, magnificationNote()) + line - metrics.height();
    y += line * 0.3;

    // The scale bar: its true Δxy, drawn at the magnification of the offsets.
    const double length = m_scaleBar * m_magnification * std::min(frame.width(), frame.height()) / m_diagram.span();
    const double barY = y + metrics.height() / 2.0;
    painter.setPen(QPen(Qt::black, fontSize * 0.12));
    painter.drawLine(QPointF(legend.left(), barY), QPointF(legend.left() + length, barY));
    for (double end : {legend.left(), legend.left() + length})
        painter.drawLine(QPointF(end, barY - fontSize * 0.3), QPointF(end, barY + fontSize * 0.3));
    y += line;
    y += textAt(y, tr("Offset of \u0394xy %1 as drawn").arg(QString::number(m_scaleBar, 'f', decimalsFor(m_scaleBar))));
    painter.restore();
    return y - legend.top();
}
