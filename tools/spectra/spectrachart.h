#ifndef SPECTRACHART_H
#define SPECTRACHART_H

#include "spectrum.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

// One panel of the picture: spectra over 380-780 nm, each normalised to the
// panel's highest value, with a title, a wavelength axis and, in its top right
// corner, a legend of what the line styles mean.
class SpectraChart
{
public:
    struct Curve {
        Spectrum spectrum;
        QColor colour;
        bool dashed = false;
    };

    explicit SpectraChart(const QString& title);
    void add(const Spectrum& spectrum, const QColor& colour, bool dashed = false);
    void addLegend(const QString& label, const QColor& colour, bool dashed = false);
    void paint(QPainter& painter, const QRectF& area) const;

private:
    struct LegendEntry {
        QString label;
        QColor colour;
        bool dashed = false;
    };

    void paintLegend(QPainter& painter, const QRectF& plot) const;

    QString m_title;
    std::vector<Curve> m_curves;
    std::vector<LegendEntry> m_legend;
};

#endif // SPECTRACHART_H
