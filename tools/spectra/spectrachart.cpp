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

void SpectraChart::addLegend(const QString& label, const QColor& colour, bool dashed)
{
    m_legend.push_back({label, colour, dashed});
}

void SpectraChart::paint(QPainter& painter, const QRectF& area) const
{
    const QFontMetricsF metrics(painter.font());
    const QRectF plot = area.adjusted(12.0, metrics.height() + 10.0, -12.0, -(metrics.height() + 12.0));
    // Room above the highest peak, so that no curve runs along the frame.
    constexpr double kHeadroom = 1.08;
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
    painter.drawText(QRectF(xOf(750) - 30.0, plot.bottom() + 2.0, 60.0, metrics.height()), Qt::AlignHCenter,
                     QStringLiteral("nm"));

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
            const QPointF p(xOf(Spectrum::wavelengthAt(i)),
                            plot.bottom() - c.spectrum.at(i) / (kHeadroom * top) * plot.height());
            if (i == 0)
                path.moveTo(p);
            else
                path.lineTo(p);
        }
        painter.setPen(QPen(c.colour, 1.6, c.dashed ? Qt::DashLine : Qt::SolidLine));
        painter.drawPath(path);
    }
    paintLegend(painter, plot);
    painter.restore();
}

void SpectraChart::paintLegend(QPainter& painter, const QRectF& plot) const
{
    if (m_legend.empty())
        return;
    const QFontMetricsF metrics(painter.font());
    constexpr double kSample = 26.0, kGap = 6.0, kPad = 5.0;
    double textWidth = 0.0;
    for (const LegendEntry& e : m_legend)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(e.label));
    const double lineHeight = metrics.height();
    const QSizeF size(2 * kPad + kSample + kGap + textWidth, 2 * kPad + lineHeight * double(m_legend.size()));
    const QRectF box(QPointF(plot.right() - size.width() - 4.0, plot.top() + 4.0), size);
    painter.setPen(QColor(190, 190, 190));
    painter.setBrush(QColor(255, 255, 255, 230));
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);
    for (std::size_t i = 0; i < m_legend.size(); ++i) {
        const LegendEntry& e = m_legend[i];
        const double y = box.top() + kPad + lineHeight * (double(i) + 0.5);
        painter.setPen(QPen(e.colour, 1.6, e.dashed ? Qt::DashLine : Qt::SolidLine));
        painter.drawLine(QPointF(box.left() + kPad, y), QPointF(box.left() + kPad + kSample, y));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(box.left() + kPad + kSample + kGap, y - lineHeight / 2, textWidth, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, e.label);
    }
}
