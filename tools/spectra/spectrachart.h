#ifndef SPECTRACHART_H
#define SPECTRACHART_H

#include "spectrum.h"

#include <QColor>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

// One panel of the picture: spectra over 380-780 nm, each normalised to the
// panel's highest value, with a title and a wavelength axis.
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
    void paint(QPainter& painter, const QRectF& area) const;

private:
    QString m_title;
    std::vector<Curve> m_curves;
};

#endif // SPECTRACHART_H
