#include "spectrachart.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

SpectraChart::SpectraChart(const QString& title)
    : m_title(title)
{}

void SpectraChart::add(const Spectrum& spectrum, const QColor& colour, bool dashed)
{
    m_curves.push_back({spectrum, colour, dashed});
}

void SpectraChart::paint(QPainter& painter, const QRectF& area) const
{
    const QFontMetricsF metrics(painter.font());
    const QRectF plot = area.adjusted(12.0, metrics.height() + 10.0, -12.0, -(metrics.height() + 12.0));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top() + 4.0, area.width(), metrics.height()), Qt::AlignHCenter, m_title);
    painter.setPen(QColor(220, 220, 220));
    const auto xOf = [&](double nm) {
        return plot.left() + (nm - Spectrum::FirstNm) / (Spectrum::LastNm - Spectrum::FirstNm) * plot.width();
    };
    for (int nm = 400; nm <= 750; nm += 50)
        painter.drawLine(QPointF(xOf(nm), plot.top()), QPointF(xOf(nm), plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    for (int nm = 400; nm <= 700; nm += 100)
        painter.drawText(QRectF(xOf(nm) - 30.0, plot.bottom() + 2.0, 60.0, metrics.height()), Qt::AlignHCenter,
                         QString::number(nm));

    double top = 0.0;
    for (const Curve& c : m_curves)
        top = std::max(top, c.spectrum.peakValue());
    if (top <= 0.0) {
        painter.restore();
        return;
    }
    for (const Curve& c : m_curves) {
        QPainterPath path;
        for (int i = 0; i < Spectrum::Count; ++i) {
            const QPointF p(xOf(Spectrum::wavelengthAt(i)), plot.bottom() - c.spectrum.at(i) / top * plot.height());
            if (i == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        painter.setPen(QPen(c.colour, 1.6, c.dashed ? Qt::DashLine : Qt::SolidLine));
        painter.drawPath(path);
    }
    painter.restore();
}
