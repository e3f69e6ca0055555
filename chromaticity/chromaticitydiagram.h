#ifndef CHROMATICITYDIAGRAM_H
#define CHROMATICITYDIAGRAM_H

#include <QColor>
#include <QCoreApplication>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <array>
#include <vector>

class QPainter;

// A chromaticity diagram, CIE 1931 x, y or CIE 1976 u', v': the spectral locus
// closed by the purple line, the Planckian locus with its temperatures, the
// daylight locus, the gamuts of the common colour standards, a target white
// with its tolerance, and whatever the caller puts on it: labelled points,
// error vectors and trails.
//
// Everything handed in is an x, y chromaticity whatever the space shown, so a
// caller never converts; the diagram maps it to the space it draws. Painting
// is the diagram's only job: a widget, a PDF page and an image file all draw
// it with a QPainter, so what is tested on an image is what the user sees.
class ChromaticityDiagram
{
    Q_DECLARE_TR_FUNCTIONS(ChromaticityDiagram)

public:
    using Xy = std::array<double, 2>;

    enum class Space { Xy, Uv };

    enum Gamut { NoGamut = 0, Bt709 = 1, DciP3 = 2, Bt2020 = 4 };

    // A tolerance about the target: a circle of radius Δu'v', or a box of half
    // side Δxy; drawn as it is in either space (a circle in u'v' is an oval in xy).
    struct Tolerance {
        enum class Shape { None, CircleUv, BoxXy };
        Shape shape = Shape::None;
        double size = 0.0;
    };

    struct Point {
        Xy xy{};
        QString label;
        QColor colour = QColor(0xc0, 0x28, 0x1c);
    };

    // From where something should be to where it is; drawn as an arrow, its
    // length magnified by vectorScale() when errors are too small to see.
    struct Vector {
        Xy from{};
        Xy to{};
        QString label;
    };

    // A run of readings in the order they came, the oldest drawn faintest;
    // the newest is marked.
    struct Trail {
        std::vector<Xy> points;
        QColor colour = QColor(0x1f, 0x4e, 0x99);
        QString label;
    };

    ChromaticityDiagram();

    Space space() const { return m_space; }
    void setSpace(Space space);

    int gamuts() const { return m_gamuts; }
    void setGamuts(int gamuts) { m_gamuts = gamuts; }
    bool showsPlanckian() const { return m_planckian; }
    void setShowsPlanckian(bool on) { m_planckian = on; }
    bool showsDaylight() const { return m_daylight; }
    void setShowsDaylight(bool on) { m_daylight = on; }

    // What the lines and marks mean, in the frame's upper right corner.
    bool showsLegend() const { return m_legend; }
    void setShowsLegend(bool on) { m_legend = on; }

    bool hasTarget() const { return m_hasTarget; }
    Xy target() const { return m_target; }
    Tolerance tolerance() const { return m_tolerance; }
    void setTarget(const Xy& white, const Tolerance& tolerance);
    void clearTarget() { m_hasTarget = false; }

    // Items whose chromaticity is not finite are left out.
    void setPoints(const std::vector<Point>& points);
    const std::vector<Point>& points() const { return m_points; }
    void setVectors(const std::vector<Vector>& vectors);
    const std::vector<Vector>& vectors() const { return m_vectors; }
    void setTrails(const std::vector<Trail>& trails);
    const std::vector<Trail>& trails() const { return m_trails; }
    double vectorScale() const { return m_vectorScale; }
    void setVectorScale(double scale);

    // The part of the diagram shown, in the coordinates of the current space:
    // its centre and the span that fills the shorter side of the frame (both
    // axes keep one scale, so circles stay round).
    QPointF centre() const { return m_centre; }
    double span() const { return m_span; }
    void setView(const QPointF& centre, double span);
    // Shows what was put on the diagram with a margin, or the whole locus
    // when nothing was.
    void fitView();
    void fitWholeLocus();
    // Centres the view on the target, wide enough for a circle of Δu'v'
    // reach about it (an oval in x, y): where the whites being aligned are
    // judged, without the far colours a run also reads.
    void fitAboutTarget(double reach);
    // Zooms by factor (> 1 closer) keeping the diagram's point under pixel
    // where it is, within frame; the span stays within sensible bounds.
    void zoom(double factor, const QPointF& pixel, const QRectF& frame);
    // Moves the view by a drag of delta pixels.
    void pan(const QPointF& delta, const QRectF& frame);

    // The plotting rectangle within area, leaving room for the axes' labels
    // in letters of fontSize.
    static QRectF frame(const QRectF& area, double fontSize);
    // Where the chromaticity xy lands in frame, and back.
    QPointF map(const Xy& xy, const QRectF& frame) const;
    Xy unmap(const QPointF& pixel, const QRectF& frame) const;
    // The distance between grid lines, 1, 2 or 5 times a power of ten, so
    // that lines stand at least five letters of fontSize apart.
    double tickStep(const QRectF& frame, double fontSize) const;

    // The whole diagram in frame(area, fontSize), sizes in the painter's units.
    void paint(QPainter& painter, const QRectF& area, double fontSize) const;
    // An error vector as the diagram draws it, from a ring at from to an
    // arrowhead at to; the ring alone when they coincide. For a legend drawn
    // beside the diagram to show the same mark.
    static void paintVector(QPainter& painter, const QPointF& from, const QPointF& to, double fontSize);

    // The chromaticity conversions the diagram draws with.
    static Xy toUv(const Xy& xy);
    static Xy fromUv(const Xy& uv);
    // The distance of two chromaticities in u', v'.
    static double distanceUv(const Xy& a, const Xy& b);
    // The chromaticity of a monochromatic light of the library's 1 nm CIE 1931
    // 2° observer, 380 to 780 nm.
    static Xy spectral(int nanometres);
    // A black body at kelvin (1000 to 25000), the observer integrated over
    // Planck's law at 1 nm.
    static Xy planckian(double kelvin);
    // The CIE daylight locus, 4000 to 25000 K.
    static Xy daylight(double kelvin);
    // The red, green and blue primaries of a gamut.
    static std::array<Xy, 3> primaries(Gamut gamut);
    static Xy d65() { return {0.3127, 0.3290}; }
    // The largest of 1, 2 or 5 times a power of ten not above value (> 0).
    static double roundDown(double value);
    // How many times longer error vectors are drawn for the largest to be
    // about a twentieth of span: a round factor, never below 1, and at most
    // 1000, so that a correction exact to rounding is not blown up into noise.
    static double vectorMagnification(double largestError, double span);

private:
    Xy toSpace(const Xy& xy) const;
    double scale(const QRectF& frame) const;
    void paintLegend(QPainter& painter, const QRectF& frame, double fontSize) const;
    void paintTrail(QPainter& painter, const Trail& trail, const QRectF& frame, double fontSize,
                    std::vector<QRectF>& taken) const;

    Space m_space = Space::Xy;
    int m_gamuts = Bt709;
    bool m_planckian = true;
    bool m_daylight = true;
    bool m_legend = true;
    bool m_hasTarget = false;
    Xy m_target = d65();
    Tolerance m_tolerance;
    std::vector<Point> m_points;
    std::vector<Vector> m_vectors;
    std::vector<Trail> m_trails;
    double m_vectorScale = 1.0;
    QPointF m_centre;
    double m_span = 1.0;
};

#endif // CHROMATICITYDIAGRAM_H
