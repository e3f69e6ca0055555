#ifndef CHROMATICITYPLOT_H
#define CHROMATICITYPLOT_H

#include "certificate.h"
#include "chromaticitydiagram.h"

#include <QCoreApplication>
#include <QRectF>
#include <QString>

#include <vector>

class QPainter;

// Where the reference put each patch and where the corrected sensor did, on
// the chromaticity diagram: an arrow from each reference to its corrected
// point. Errors worth certifying are a few thousandths in xy, far too small to
// see on a diagram spanning a display's gamut, so the arrows are drawn
// lengthened by a round factor, stated beside a scale bar in true Δxy.
class ChromaticityPlot
{
    Q_DECLARE_TR_FUNCTIONS(ChromaticityPlot)

public:
    using Xy = ChromaticityDiagram::Xy;

    struct Pair {
        Xy reference{};
        Xy corrected{};
        QString name;
    };

    // Pairs with a coordinate that is not finite are left out.
    explicit ChromaticityPlot(const std::vector<Pair>& pairs);
    // Every patch of a method, reference and corrected; none for no method.
    static ChromaticityPlot ofMethod(const Certificate::MethodResult* method);

    const std::vector<Pair>& pairs() const { return m_pairs; }
    // How many times farther from its reference each corrected point is drawn
    // than it lies: 1, 2 or 5 times a power of ten, 1 when there is no error.
    double magnification() const { return m_magnification; }
    // The corrected point of a pair where it is drawn, in x, y.
    Xy drawnCorrected(const Pair& pair) const;

    // Puts the pairs on a diagram as its vectors, lengthened by magnification(),
    // leaving how the diagram is drawn and viewed to its owner.
    void apply(ChromaticityDiagram& diagram) const;
    // The diagram as the certificate prints it: x, y, the locus alone beside
    // the pairs, the view fitted to them, no legend within.
    const ChromaticityDiagram& diagram() const { return m_diagram; }

    // The square frame the diagram is drawn in within area, leaving room for
    // the axes' labels in letters of fontSize.
    static QRectF frame(const QRectF& area, double fontSize);
    // The area that gives a frame of side within area's top left corner.
    static QRectF areaFor(const QPointF& topLeft, double side, double fontSize);

    // "Corrected points drawn 50 times farther from the reference", or that
    // they are drawn where they lie.
    QString magnificationNote() const;

    // The diagram in frame(area, fontSize), sizes in the painter's units.
    void paint(QPainter& painter, const QRectF& area, double fontSize) const;
    // What the marks mean and the scale bar, in legend, for a diagram drawn in
    // frame; returns the height used.
    double paintLegend(QPainter& painter, const QRectF& legend, const QRectF& frame, double fontSize) const;

private:
    std::vector<Pair> m_pairs;
    double m_magnification = 1.0;
    double m_scaleBar = 0.001;
    ChromaticityDiagram m_diagram;
};

#endif // CHROMATICITYPLOT_H
