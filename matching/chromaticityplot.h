#ifndef CHROMATICITYPLOT_H
#define CHROMATICITYPLOT_H

#include <QCoreApplication>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <vector>

class QPainter;

// A CIE 1931 x, y diagram of where the reference put each patch and where the
// corrected sensor did, zoomed to the patches. Errors worth certifying are a
// few thousandths in xy, far too small to see on a diagram spanning a display's
// gamut, so the offset of each corrected point from its reference is drawn
// enlarged by a round factor, stated beside a scale bar in true Δxy.
class ChromaticityPlot
{
    Q_DECLARE_TR_FUNCTIONS(ChromaticityPlot)

public:
    using Xy = std::array<double, 2>;

    struct Pair {
        Xy reference{};
        Xy corrected{};
    };

    // Pairs with a coordinate that is not finite are left out.
    explicit ChromaticityPlot(const std::vector<Pair>& pairs);

    // The outline of the monochromatic colours, 380 to 700 nm in 5 nm steps,
    // from the CIE 1931 2° observer of the CA-410 library.
    static const std::vector<Xy>& spectrumLocus();
    static constexpr int kLocusFirst = 380;
    static constexpr int kLocusStep = 5;

    const std::vector<Pair>& pairs() const { return m_pairs; }
    // The square of x, y shown (left = smallest x, top = smallest y, y drawn
    // upwards); most of the diagram when there are no pairs.
    QRectF range() const { return m_range; }
    double tickStep() const { return m_tickStep; }
    // How many times farther from its reference each corrected point is drawn
    // than it lies: 1, 2 or 5 times a power of ten, 1 when there is no error.
    double magnification() const { return m_magnification; }
    // The true Δxy the scale bar stands for.
    double scaleBarLength() const { return m_scaleBar; }
    // The corrected point of a pair where it is drawn, in x, y.
    Xy drawnCorrected(const Pair& pair) const;

    // The square frame of the diagram within area, leaving room for the axes'
    // labels in letters of fontSize.
    static QRectF frame(const QRectF& area, double fontSize);
    // Where a point of the diagram lands in frame, which the range fills.
    QPointF map(const Xy& xy, const QRectF& frame) const;

    // "Corrected points drawn 50 times farther from the reference", or that
    // they are drawn where they lie.
    QString magnificationNote() const;

    // The diagram in frame(area, fontSize): grid, ticks and labels of both
    // axes, the locus, and the pairs (reference a circle, corrected a cross,
    // a line between). Sizes in the painter's units.
    void paint(QPainter& painter, const QRectF& area, double fontSize) const;
    // What the marks mean and the scale bar, in legend, for a diagram drawn in
    // frame; returns the height used.
    double paintLegend(QPainter& painter, const QRectF& legend, const QRectF& frame, double fontSize) const;

private:
    std::vector<Pair> m_pairs;
    QRectF m_range;
    double m_tickStep = 0.1;
    double m_magnification = 1.0;
    double m_scaleBar = 0.001;
};

#endif // CHROMATICITYPLOT_H
