#include "chromaticitydiagram.h"

#include "pagefont.h"
#include "xspect.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr int kLocusFirst = 380;
constexpr int kLocusLast = 780;
// Closer than this the view would show nothing but rounding; wider, nothing
// but white.
constexpr double kNarrowestSpan = 1e-4;
constexpr double kWidestSpan = 2.0;

const QColor kLocusColour(0x40, 0x40, 0x40);
const QColor kInsideColour(0xf6, 0xf6, 0xf6);
const QColor kGridColour(0xe2, 0xe2, 0xe2);
const QColor kPlanckianColour(0x80, 0x50, 0x20);
const QColor kDaylightColour(0x20, 0x70, 0x90);
const QColor kTargetColour(Qt::black);
const QColor kToleranceColour(0x10, 0x90, 0x30);
const QColor kVectorColour(0xc0, 0x28, 0x1c);

bool isFinite(const ChromaticityDiagram::Xy& xy)
{
    return std::isfinite(xy[0]) && std::isfinite(xy[1]);
}

// The smallest of 1, 2, 5 times a power of ten not below value (> 0).
double roundUp(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= value * (1.0 - 1e-9))
            return step * power;
    }
    return 10.0 * power;
}

// Decimals enough to tell ticks step apart.
int decimalsFor(double step)
{
    return std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
}

// The library's observer at nm, summed to a chromaticity.
ChromaticityDiagram::Xy observed(const double xyz[3])
{
    const double sum = xyz[0] + xyz[1] + xyz[2];
    if (!(sum > 0.0))
        return {std::nan(""), std::nan("")};
    return {xyz[0] / sum, xyz[1] / sum};
}

// Temperatures along a locus, even in reciprocal temperature, where the
// locus's curvature is spread evenly.
std::vector<double> temperatures(double from, double to, int count)
{
    std::vector<double> out;
    for (int i = 0; i < count; ++i)
        out.push_back(1.0 / (1.0 / from + (1.0 / to - 1.0 / from) * i / (count - 1)));
    return out;
}

template <typename Argument, typename Chromaticity>
std::vector<ChromaticityDiagram::Xy> sampled(const std::vector<Argument>& arguments, Chromaticity chromaticity)
{
    std::vector<ChromaticityDiagram::Xy> out;
    out.reserve(arguments.size());
    for (Argument a : arguments)
        out.push_back(chromaticity(a));
    return out;
}

// The loci are worked out once: each point of the Planckian one integrates
// the observer over Planck's law, too much to repeat at every paint.
const std::vector<ChromaticityDiagram::Xy>& spectralLocus()
{
    static const std::vector<ChromaticityDiagram::Xy> locus = [] {
        std::vector<int> nanometres;
        for (int nm = kLocusFirst; nm <= kLocusLast; ++nm)
            nanometres.push_back(nm);
        return sampled(nanometres, ChromaticityDiagram::spectral);
    }();
    return locus;
}

const std::vector<ChromaticityDiagram::Xy>& planckianLocus()
{
    static const auto locus = sampled(temperatures(1000.0, 25000.0, 200), ChromaticityDiagram::planckian);
    return locus;
}

const std::vector<ChromaticityDiagram::Xy>& daylightLocus()
{
    static const auto locus = sampled(temperatures(4000.0, 25000.0, 100), ChromaticityDiagram::daylight);
    return locus;
}

// The Planckian locus's ticks: every 500 K to 7000 K, every 1000 K above;
// each with the locus a little either side, for the tick's direction.
struct PlanckianTick {
    int kelvin = 0;
    ChromaticityDiagram::Xy at{}, cooler{}, hotter{};
};

const std::vector<PlanckianTick>& planckianTicks()
{
    static const std::vector<PlanckianTick> ticks = [] {
        std::vector<PlanckianTick> out;
        for (int kelvin = 2000; kelvin <= 10000; kelvin += kelvin < 7000 ? 500 : 1000)
            out.push_back({kelvin, ChromaticityDiagram::planckian(kelvin), ChromaticityDiagram::planckian(kelvin * 0.995),
                           ChromaticityDiagram::planckian(kelvin * 1.005)});
        return out;
    }();
    return ticks;
}

QString gamutName(ChromaticityDiagram::Gamut gamut)
{
    switch (gamut) {
    case ChromaticityDiagram::Bt709:
        return QStringLiteral("BT.709");
    case ChromaticityDiagram::DciP3:
        return QStringLiteral("DCI-P3");
    case ChromaticityDiagram::Bt2020:
        return QStringLiteral("BT.2020");
    case ChromaticityDiagram::NoGamut:
        break;
    }
    return QString();
}

QPen gamutPen(ChromaticityDiagram::Gamut gamut, double width)
{
    switch (gamut) {
    case ChromaticityDiagram::DciP3:
        return QPen(QColor(0xd0, 0x70, 0x00), width, Qt::DashLine);
    case ChromaticityDiagram::Bt2020:
        return QPen(QColor(0x70, 0x30, 0xa0), width, Qt::DashDotLine);
    default:
        return QPen(QColor(0x30, 0x30, 0x30), width, Qt::SolidLine);
    }
}

// Where a label of text centred on at would stand.
QRectF labelRect(const QPainter& painter, const QPointF& at, const QString& text)
{
    const QFontMetricsF metrics(painter.font(), painter.device());
    const double w = metrics.horizontalAdvance(text);
    return QRectF(at.x() - w / 2.0, at.y() - metrics.height() / 2.0, w, metrics.height());
}

// Whether a label may stand at place: whole within bounds, on none taken.
bool isFree(const QRectF& place, const QRectF& bounds, const std::vector<QRectF>& taken)
{
    return bounds.contains(place)
           && std::none_of(taken.begin(), taken.end(), [&](const QRectF& other) { return other.intersects(place); });
}

// A label of text centred on at, unless it would stand out of bounds or on
// one already drawn.
bool placeLabel(QPainter& painter, const QPointF& at, const QString& text, const QRectF& bounds,
                std::vector<QRectF>& taken)
{
    const QRectF place = labelRect(painter, at, text);
    if (!isFree(place, bounds, taken))
        return false;
    taken.push_back(place);
    painter.drawText(place, Qt::AlignCenter, text);
    return true;
}

} // namespace

ChromaticityDiagram::ChromaticityDiagram()
{
    fitWholeLocus();
}

void ChromaticityDiagram::setSpace(Space space)
{
    if (space == m_space)
        return;
    // The same chromaticity stays in the middle, and the view about as wide:
    // u'v' is about two thirds as wide as xy for the same colours.
    const Xy middle = m_space == Space::Xy ? Xy{m_centre.x(), m_centre.y()}
                                           : fromUv({m_centre.x(), m_centre.y()});
    const double widen = space == Space::Uv ? 2.0 / 3.0 : 3.0 / 2.0;
    m_space = space;
    const Xy there = toSpace(middle);
    if (isFinite(there))
        setView(QPointF(there[0], there[1]), m_span * widen);
    else
        fitWholeLocus();
}

void ChromaticityDiagram::setTarget(const Xy& white, const Tolerance& tolerance)
{
    if (!isFinite(white))
        return;
    m_hasTarget = true;
    m_target = white;
    m_tolerance = tolerance;
    if (!std::isfinite(m_tolerance.size) || m_tolerance.size <= 0.0)
        m_tolerance.shape = Tolerance::Shape::None;
}

void ChromaticityDiagram::setPoints(const std::vector<Point>& points)
{
    m_points.clear();
    for (const Point& p : points)
        if (isFinite(p.xy))
            m_points.push_back(p);
}

void ChromaticityDiagram::setVectors(const std::vector<Vector>& vectors)
{
    m_vectors.clear();
    for (const Vector& v : vectors)
        if (isFinite(v.from) && isFinite(v.to))
            m_vectors.push_back(v);
}

void ChromaticityDiagram::setTrails(const std::vector<Trail>& trails)
{
    m_trails.clear();
    for (const Trail& t : trails) {
        Trail kept = t;
        kept.points.clear();
        for (const Xy& p : t.points)
            if (isFinite(p))
                kept.points.push_back(p);
        m_trails.push_back(std::move(kept));
    }
}

void ChromaticityDiagram::setVectorScale(double scale)
{
    m_vectorScale = std::isfinite(scale) && scale > 0.0 ? scale : 1.0;
}

void ChromaticityDiagram::setView(const QPointF& centre, double span)
{
    if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()) || !std::isfinite(span))
        return;
    m_centre = centre;
    m_span = std::clamp(span, kNarrowestSpan, kWidestSpan);
}

void ChromaticityDiagram::fitWholeLocus()
{
    double left = 1.0, right = 0.0, bottom = 1.0, top = 0.0;
    for (const Xy& xy : spectralLocus()) {
        const Xy p = toSpace(xy);
        left = std::min(left, p[0]);
        right = std::max(right, p[0]);
        bottom = std::min(bottom, p[1]);
        top = std::max(top, p[1]);
    }
    setView(QPointF((left + right) / 2.0, (bottom + top) / 2.0), std::max(right - left, top - bottom) * 1.08);
}

void ChromaticityDiagram::fitAboutTarget(double reach)
{
    if (!std::isfinite(reach) || reach <= 0.0) {
        fitView();
        return;
    }
    const Xy centre = toUv(m_target);
    double left = 0.0, right = 0.0, bottom = 0.0, top = 0.0;
    for (int i = 0; i < 16; ++i) {
        const double angle = i * M_PI / 8.0;
        const Xy uv{centre[0] + reach * std::cos(angle), centre[1] + reach * std::sin(angle)};
        const Xy p = m_space == Space::Uv ? uv : fromUv(uv);
        left = i == 0 ? p[0] : std::min(left, p[0]);
        right = i == 0 ? p[0] : std::max(right, p[0]);
        bottom = i == 0 ? p[1] : std::min(bottom, p[1]);
        top = i == 0 ? p[1] : std::max(top, p[1]);
    }
    setView(QPointF((left + right) / 2.0, (bottom + top) / 2.0), std::max(right - left, top - bottom) * 1.15);
}

void ChromaticityDiagram::fitView()
{
    std::vector<Xy> shown;
    const auto add = [&](const Xy& xy) {
        const Xy p = toSpace(xy);
        if (isFinite(p))
            shown.push_back(p);
    };
    for (const Point& p : m_points)
        add(p.xy);
    for (const Vector& v : m_vectors) {
        add(v.from);
        add({v.from[0] + m_vectorScale * (v.to[0] - v.from[0]), v.from[1] + m_vectorScale * (v.to[1] - v.from[1])});
    }
    for (const Trail& t : m_trails)
        for (const Xy& p : t.points)
            add(p);
    if (m_hasTarget) {
        add(m_target);
        // The tolerance whole: its extent along both axes of either space.
        const double size = m_tolerance.shape == Tolerance::Shape::None ? 0.0 : m_tolerance.size;
        if (m_tolerance.shape == Tolerance::Shape::CircleUv) {
            const Xy uv = toUv(m_target);
            for (int i = 0; i < 4; ++i)
                add(fromUv({uv[0] + size * std::cos(i * M_PI / 2.0), uv[1] + size * std::sin(i * M_PI / 2.0)}));
        } else if (size > 0.0) {
            for (double dx : {-size, size})
                for (double dy : {-size, size})
                    add({m_target[0] + dx, m_target[1] + dy});
        }
    }
    if (shown.empty()) {
        fitWholeLocus();
        return;
    }
    double left = shown.front()[0], right = left, bottom = shown.front()[1], top = bottom;
    for (const Xy& p : shown) {
        left = std::min(left, p[0]);
        right = std::max(right, p[0]);
        bottom = std::min(bottom, p[1]);
        top = std::max(top, p[1]);
    }
    // One reading alone still gets a readable neighbourhood.
    const double span = std::max(std::max(right - left, top - bottom) * 1.3, 0.01);
    setView(QPointF((left + right) / 2.0, (bottom + top) / 2.0), span);
}

void ChromaticityDiagram::zoom(double factor, const QPointF& pixel, const QRectF& frame)
{
    if (!std::isfinite(factor) || factor <= 0.0 || frame.isEmpty())
        return;
    const double before = scale(frame);
    const double anchorU = m_centre.x() + (pixel.x() - frame.center().x()) / before;
    const double anchorV = m_centre.y() - (pixel.y() - frame.center().y()) / before;
    m_span = std::clamp(m_span / factor, kNarrowestSpan, kWidestSpan);
    const double after = scale(frame);
    m_centre = QPointF(anchorU - (pixel.x() - frame.center().x()) / after,
                       anchorV + (pixel.y() - frame.center().y()) / after);
}

void ChromaticityDiagram::pan(const QPointF& delta, const QRectF& frame)
{
    if (frame.isEmpty())
        return;
    const double s = scale(frame);
    m_centre += QPointF(-delta.x() / s, delta.y() / s);
}

QRectF ChromaticityDiagram::frame(const QRectF& area, double fontSize)
{
    const double left = fontSize * 5.0, bottom = fontSize * 3.0, top = fontSize * 0.8, right = fontSize * 1.2;
    return QRectF(area.left() + left, area.top() + top, std::max(0.0, area.width() - left - right),
                  std::max(0.0, area.height() - top - bottom));
}

double ChromaticityDiagram::scale(const QRectF& frame) const
{
    return std::min(frame.width(), frame.height()) / m_span;
}

QPointF ChromaticityDiagram::map(const Xy& xy, const QRectF& frame) const
{
    const Xy p = toSpace(xy);
    const double s = scale(frame);
    return {frame.center().x() + (p[0] - m_centre.x()) * s, frame.center().y() - (p[1] - m_centre.y()) * s};
}

ChromaticityDiagram::Xy ChromaticityDiagram::unmap(const QPointF& pixel, const QRectF& frame) const
{
    const double s = scale(frame);
    const Xy p{m_centre.x() + (pixel.x() - frame.center().x()) / s, m_centre.y() - (pixel.y() - frame.center().y()) / s};
    return m_space == Space::Xy ? p : fromUv(p);
}

double ChromaticityDiagram::tickStep(const QRectF& frame, double fontSize) const
{
    // Grid lines at least five letters apart, so that labels like "0.3125"
    // never touch however far the user zooms.
    const double s = scale(frame);
    if (!(s > 0.0))
        return 0.1;
    return roundUp(5.0 * fontSize / s);
}

ChromaticityDiagram::Xy ChromaticityDiagram::toSpace(const Xy& xy) const
{
    return m_space == Space::Xy ? xy : toUv(xy);
}

ChromaticityDiagram::Xy ChromaticityDiagram::toUv(const Xy& xy)
{
    const double d = -2.0 * xy[0] + 12.0 * xy[1] + 3.0;
    return {4.0 * xy[0] / d, 9.0 * xy[1] / d};
}

ChromaticityDiagram::Xy ChromaticityDiagram::fromUv(const Xy& uv)
{
    const double d = 6.0 * uv[0] - 16.0 * uv[1] + 12.0;
    return {9.0 * uv[0] / d, 4.0 * uv[1] / d};
}

double ChromaticityDiagram::distanceUv(const Xy& a, const Xy& b)
{
    const Xy ua = toUv(a), ub = toUv(b);
    return std::hypot(ua[0] - ub[0], ua[1] - ub[1]);
}

ChromaticityDiagram::Xy ChromaticityDiagram::spectral(int nanometres)
{
    double xyz[3] = {0.0, 0.0, 0.0};
    for (int c = 0; c < 3; ++c)
        getval_xspec(&ob_CIE_1931_2[c], &xyz[c], nanometres);
    return observed(xyz);
}

ChromaticityDiagram::Xy ChromaticityDiagram::planckian(double kelvin)
{
    // Planck's law up to a constant factor, which the chromaticity divides out.
    constexpr double c2 = 1.4388e-2; // m K
    double xyz[3] = {0.0, 0.0, 0.0};
    for (int nm = 360; nm <= 830; ++nm) {
        const double metres = nm * 1e-9;
        const double radiance = 1.0 / (std::pow(nm * 1e-3, 5.0) * std::expm1(c2 / (metres * kelvin)));
        for (int c = 0; c < 3; ++c) {
            double bar = 0.0;
            getval_xspec(&ob_CIE_1931_2[c], &bar, nm);
            xyz[c] += radiance * bar;
        }
    }
    return observed(xyz);
}

ChromaticityDiagram::Xy ChromaticityDiagram::daylight(double kelvin)
{
    const double t = std::clamp(kelvin, 4000.0, 25000.0);
    const double x = t <= 7000.0 ? -4.6070e9 / (t * t * t) + 2.9678e6 / (t * t) + 0.09911e3 / t + 0.244063
                                 : -2.0064e9 / (t * t * t) + 1.9018e6 / (t * t) + 0.24748e3 / t + 0.237040;
    return {x, -3.000 * x * x + 2.870 * x - 0.275};
}

double ChromaticityDiagram::roundDown(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {5.0, 2.0, 1.0}) {
        if (step * power <= value * (1.0 + 1e-9))
            return step * power;
    }
    return power;
}

double ChromaticityDiagram::vectorMagnification(double largestError, double span)
{
    if (!(largestError > 0.0) || !(span > 0.0) || !std::isfinite(largestError) || !std::isfinite(span))
        return 1.0;
    return std::clamp(roundDown(span / 20.0 / largestError), 1.0, 1000.0);
}

std::array<ChromaticityDiagram::Xy, 3> ChromaticityDiagram::primaries(Gamut gamut)
{
    switch (gamut) {
    case DciP3:
        return {Xy{0.680, 0.320}, Xy{0.265, 0.690}, Xy{0.150, 0.060}};
    case Bt2020:
        return {Xy{0.708, 0.292}, Xy{0.170, 0.797}, Xy{0.131, 0.046}};
    case Bt709:
    case NoGamut:
        break;
    }
    return {Xy{0.640, 0.330}, Xy{0.300, 0.600}, Xy{0.150, 0.060}};
}

void ChromaticityDiagram::paint(QPainter& painter, const QRectF& area, double fontSize) const
{
    const QRectF box = frame(area, fontSize);
    if (box.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double hairline = std::max(1.0, fontSize * 0.08);
    const QFont font = pageFont(fontSize, painter.device());
    const QFont small = pageFont(fontSize * 0.85, painter.device());
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    painter.fillRect(box, Qt::white);

    // What the view covers, in the space's coordinates.
    const double s = scale(box);
    const double left = m_centre.x() - box.width() / 2.0 / s, right = m_centre.x() + box.width() / 2.0 / s;
    const double bottom = m_centre.y() - box.height() / 2.0 / s, top = m_centre.y() + box.height() / 2.0 / s;
    const auto toPixel = [&](const Xy& p) {
        return QPointF(box.center().x() + (p[0] - m_centre.x()) * s, box.center().y() - (p[1] - m_centre.y()) * s);
    };
    const auto polyline = [&](const std::vector<Xy>& xys) {
        QPolygonF out;
        out.reserve(int(xys.size()));
        for (const Xy& xy : xys)
            out << map(xy, box);
        return out;
    };

    // The inside of the locus, lightly, so that where no colour exists reads at once.
    painter.setClipRect(box);
    const QPolygonF locus = polyline(spectralLocus());
    painter.setPen(Qt::NoPen);
    painter.setBrush(kInsideColour);
    painter.drawPolygon(locus);

    // Grid and tick labels at whole multiples of the step.
    const double step = tickStep(box, fontSize);
    const int decimals = decimalsFor(step);
    const auto ticks = [step](double from, double to) {
        std::vector<double> out;
        for (double v = std::ceil(from / step - 1e-9) * step; v <= to + 1e-12; v += step)
            out.push_back(std::abs(v) < step * 1e-6 ? 0.0 : v);
        return out;
    };
    const std::vector<double> xTicks = ticks(left, right), yTicks = ticks(bottom, top);
    painter.setPen(QPen(kGridColour, hairline));
    for (double v : xTicks)
        painter.drawLine(QPointF(toPixel({v, 0.0}).x(), box.top()), QPointF(toPixel({v, 0.0}).x(), box.bottom()));
    for (double v : yTicks)
        painter.drawLine(QPointF(box.left(), toPixel({0.0, v}).y()), QPointF(box.right(), toPixel({0.0, v}).y()));

    painter.setPen(QPen(kLocusColour, hairline * 1.6));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(locus);
    painter.setPen(QPen(kLocusColour, hairline, Qt::DashLine));
    painter.drawLine(locus.last(), locus.first());
    // What the caller put on the diagram is named first: a wavelength or a
    // temperature gives way to a reading's name, never the other way round.
    painter.setFont(small);
    std::vector<QRectF> taken;
    std::vector<std::pair<QRectF, QString>> names;
    const QFontMetricsF smallMetrics(small, painter.device());
    // Beside the mark: upper right first, then the other corners, so that two
    // readings close together both keep their names.
    const auto reserve = [&](const QPointF& mark, const QString& text) {
        if (text.isEmpty())
            return;
        const double dx = fontSize * 0.6 + smallMetrics.horizontalAdvance(text) / 2.0, dy = fontSize * 0.6;
        for (const QPointF& offset : {QPointF(dx, -dy), QPointF(dx, dy), QPointF(-dx, -dy), QPointF(-dx, dy)}) {
            const QRectF place = labelRect(painter, mark + offset, text);
            if (!isFree(place, box, taken))
                continue;
            taken.push_back(place);
            names.emplace_back(place, text);
            return;
        }
    };
    for (const Point& p : m_points)
        reserve(map(p.xy, box), p.label);
    for (const Vector& v : m_vectors)
        reserve(map(v.from, box), v.label);
    for (int nm = 460; nm <= 640; nm += 10) {
        // Every 20 nm, and the 10s between where green spreads out.
        if (nm % 20 != 0 && (nm < 490 || nm > 560))
            continue;
        const Xy xy = spectral(nm);
        const Xy p = toSpace(xy);
        const Xy white = toSpace(d65());
        QPointF out(p[0] - white[0], -(p[1] - white[1]));
        out /= std::hypot(out.x(), out.y());
        const QPointF at = map(xy, box);
        if (!box.contains(at))
            continue;
        painter.setPen(QPen(kLocusColour, hairline));
        painter.drawLine(at, at + out * (fontSize * 0.4));
        placeLabel(painter, at + out * (fontSize * 1.5), QString::number(nm), box, taken);
    }

    for (Gamut gamut : {Bt709, DciP3, Bt2020}) {
        if (!(m_gamuts & gamut))
            continue;
        const auto corners = primaries(gamut);
        QPolygonF triangle;
        for (const Xy& c : corners)
            triangle << map(c, box);
        painter.setPen(gamutPen(gamut, hairline * 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(triangle);
    }

    if (m_daylight) {
        painter.setPen(QPen(kDaylightColour, hairline * 1.2, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(polyline(daylightLocus()));
    }
    if (m_planckian) {
        painter.setPen(QPen(kPlanckianColour, hairline * 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(polyline(planckianLocus()));
        // Ticks closer than half a letter would smear into a bar: the minor
        // ones give way first as the view widens.
        QPointF lastTick(1e9, 1e9);
        for (const PlanckianTick& tick : planckianTicks()) {
            const QPointF a = map(tick.cooler, box), b = map(tick.hotter, box);
            QPointF across(-(b.y() - a.y()), b.x() - a.x());
            const double length = std::hypot(across.x(), across.y());
            if (!(length > 0.0))
                continue;
            across /= length;
            const QPointF at = map(tick.at, box);
            const int kelvin = tick.kelvin;
            const bool major = kelvin % 1000 == 0;
            const double apart = std::hypot(at.x() - lastTick.x(), at.y() - lastTick.y());
            if (apart < fontSize * (major ? 0.5 : 1.5))
                continue;
            lastTick = at;
            painter.setPen(QPen(kPlanckianColour, hairline));
            painter.drawLine(at - across * fontSize * (major ? 0.45 : 0.25), at + across * fontSize * (major ? 0.45 : 0.25));
            if (major)
                placeLabel(painter, at - across * fontSize * 1.6, QStringLiteral("%1 K").arg(kelvin), box, taken);
        }
    }

    if (m_hasTarget) {
        painter.setBrush(Qt::NoBrush);
        if (m_tolerance.shape == Tolerance::Shape::CircleUv) {
            const Xy uv = toUv(m_target);
            QPolygonF circle;
            for (int i = 0; i < 180; ++i) {
                const double a = i * 2.0 * M_PI / 180.0;
                circle << map(fromUv({uv[0] + m_tolerance.size * std::cos(a), uv[1] + m_tolerance.size * std::sin(a)}),
                              box);
            }
            painter.setPen(QPen(kToleranceColour, hairline * 1.3));
            painter.drawPolygon(circle);
        } else if (m_tolerance.shape == Tolerance::Shape::BoxXy) {
            // Straight lines in x, y stay straight in u'v': the corners suffice.
            const double d = m_tolerance.size;
            QPolygonF square;
            for (const Xy& corner : {Xy{-d, -d}, Xy{d, -d}, Xy{d, d}, Xy{-d, d}})
                square << map({m_target[0] + corner[0], m_target[1] + corner[1]}, box);
            painter.setPen(QPen(kToleranceColour, hairline * 1.3));
            painter.drawPolygon(square);
        }
    }

    for (const Trail& trail : m_trails)
        paintTrail(painter, trail, box, fontSize, taken);

    for (const Vector& v : m_vectors) {
        const QPointF from = map(v.from, box);
        const QPointF to = map({v.from[0] + m_vectorScale * (v.to[0] - v.from[0]),
                                v.from[1] + m_vectorScale * (v.to[1] - v.from[1])},
                               box);
        paintVector(painter, from, to, fontSize);
    }

    for (const Point& p : m_points) {
        const QPointF at = map(p.xy, box);
        painter.setPen(QPen(Qt::white, hairline));
        painter.setBrush(p.colour);
        painter.drawEllipse(at, fontSize * 0.35, fontSize * 0.35);
    }

    painter.setFont(small);
    painter.setPen(Qt::black);
    for (const auto& [place, text] : names)
        painter.drawText(place, Qt::AlignCenter, text);

    // The target over the readings: it is what they are judged against.
    if (m_hasTarget) {
        const QPointF at = map(m_target, box);
        const double arm = fontSize * 0.6;
        painter.setPen(QPen(kTargetColour, hairline * 1.3));
        painter.drawLine(at - QPointF(arm, 0.0), at + QPointF(arm, 0.0));
        painter.drawLine(at - QPointF(0.0, arm), at + QPointF(0.0, arm));
        const bool isD65 = std::abs(m_target[0] - d65()[0]) < 5e-5 && std::abs(m_target[1] - d65()[1]) < 5e-5;
        placeLabel(painter, at + QPointF(-fontSize * 1.8, -fontSize * 0.9), isD65 ? QStringLiteral("D65") : tr("Target"),
                   box, taken);
    }

    // On a diagram too small for it the legend would hide what it explains.
    if (m_legend && box.width() >= 28.0 * fontSize && box.height() >= 20.0 * fontSize)
        paintLegend(painter, box, fontSize);

    painter.setClipping(false);
    painter.setPen(QPen(Qt::black, hairline * 1.2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.setFont(font);
    const double tick = fontSize * 0.35;
    for (double v : xTicks) {
        const double px = toPixel({v, 0.0}).x();
        painter.drawLine(QPointF(px, box.bottom()), QPointF(px, box.bottom() + tick));
        painter.drawText(QRectF(px - 3.0 * fontSize, box.bottom() + tick, 6.0 * fontSize, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(v, 'f', decimals));
    }
    for (double v : yTicks) {
        const double py = toPixel({0.0, v}).y();
        painter.drawLine(QPointF(box.left() - tick, py), QPointF(box.left(), py));
        painter.drawText(QRectF(box.left() - tick - 4.2 * fontSize, py - metrics.height() / 2.0, 4.0 * fontSize,
                                metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
    }
    QFont italic = font;
    italic.setItalic(true);
    painter.setFont(italic);
    const bool xy = m_space == Space::Xy;
    painter.drawText(QRectF(box.left(), box.bottom() + tick + metrics.height(), box.width(), metrics.height() * 1.3),
                     Qt::AlignHCenter | Qt::AlignVCenter, xy ? QStringLiteral("x") : QStringLiteral("u\u2032"));
    painter.drawText(QRectF(area.left(), box.top(), fontSize * 1.2, box.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     xy ? QStringLiteral("y") : QStringLiteral("v\u2032"));
    painter.restore();
}

void ChromaticityDiagram::paintVector(QPainter& painter, const QPointF& from, const QPointF& to, double fontSize)
{
    const double hairline = std::max(1.0, fontSize * 0.08);
    const QPointF along = to - from;
    const double length = std::hypot(along.x(), along.y());
    painter.setPen(QPen(kVectorColour, hairline * 1.3));
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(from, to);
    if (length > fontSize * 0.3) {
        const QPointF unit = along / length, normal(-unit.y(), unit.x());
        const double head = std::min(fontSize * 0.5, length * 0.5);
        painter.setBrush(kVectorColour);
        painter.drawPolygon(QPolygonF() << to << to - unit * head + normal * head * 0.45
                                        << to - unit * head - normal * head * 0.45);
    }
    painter.setPen(QPen(QColor(0x1f, 0x4e, 0x99), hairline * 1.3));
    painter.setBrush(Qt::white);
    painter.drawEllipse(from, fontSize * 0.22, fontSize * 0.22);
}

void ChromaticityDiagram::paintLegend(QPainter& painter, const QRectF& box, double fontSize) const
{
    struct Entry {
        QString text;
        std::function<void(const QRectF&)> sample;
    };
    const double hairline = std::max(1.0, fontSize * 0.08);
    const auto line = [&](const QPen& pen) {
        return [&painter, pen](const QRectF& r) {
            painter.setPen(pen);
            painter.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
        };
    };
    std::vector<Entry> entries;
    if (m_hasTarget) {
        const bool isD65 = std::abs(m_target[0] - d65()[0]) < 5e-5 && std::abs(m_target[1] - d65()[1]) < 5e-5;
        entries.push_back({isD65 ? tr("Target white D65") : tr("Target white x %1, y %2")
                                                                 .arg(QString::number(m_target[0], 'f', 4),
                                                                      QString::number(m_target[1], 'f', 4)),
                           [&](const QRectF& r) {
                               const double arm = r.height() * 0.4;
                               painter.setPen(QPen(kTargetColour, hairline * 1.3));
                               painter.drawLine(r.center() - QPointF(arm, 0.0), r.center() + QPointF(arm, 0.0));
                               painter.drawLine(r.center() - QPointF(0.0, arm), r.center() + QPointF(0.0, arm));
                           }});
        if (m_tolerance.shape == Tolerance::Shape::CircleUv)
            entries.push_back({tr("Tolerance \u0394u\u2032v\u2032 %1").arg(QString::number(m_tolerance.size, 'g', 3)),
                               line(QPen(kToleranceColour, hairline * 1.3))});
        else if (m_tolerance.shape == Tolerance::Shape::BoxXy)
            entries.push_back({tr("Tolerance \u0394xy \u00b1%1").arg(QString::number(m_tolerance.size, 'g', 3)),
                               line(QPen(kToleranceColour, hairline * 1.3))});
    }
    for (const Trail& trail : m_trails) {
        if (!trail.label.isEmpty() && !trail.points.empty())
            entries.push_back({trail.label, line(QPen(trail.colour, hairline * 1.5))});
    }
    if (!m_vectors.empty() && m_vectorScale > 1.0)
        entries.push_back({tr("Errors drawn %1 times longer").arg(QString::number(m_vectorScale, 'g', 4)),
                           line(QPen(kVectorColour, hairline * 1.3))});
    if (m_planckian)
        entries.push_back({tr("Planckian locus"), line(QPen(kPlanckianColour, hairline * 1.2))});
    if (m_daylight)
        entries.push_back({tr("Daylight locus"), line(QPen(kDaylightColour, hairline * 1.2, Qt::DotLine))});
    for (Gamut gamut : {Bt709, DciP3, Bt2020}) {
        if (m_gamuts & gamut)
            entries.push_back({gamut == Bt709 ? tr("BT.709 / sRGB") : gamutName(gamut), line(gamutPen(gamut, hairline * 1.2))});
    }
    if (entries.empty())
        return;

    const QFont font = pageFont(fontSize * 0.85, painter.device());
    painter.setFont(font);
    const QFontMetricsF metrics(font, painter.device());
    const double row = metrics.height() * 1.15, sample = fontSize * 1.8, pad = fontSize * 0.4;
    double widest = 0.0;
    for (const Entry& e : entries)
        widest = std::max(widest, metrics.horizontalAdvance(e.text));
    const QRectF panel(box.right() - pad - (sample + pad + widest + 2.0 * pad), box.top() + pad,
                       sample + pad + widest + 2.0 * pad, row * double(entries.size()) + 2.0 * pad);
    painter.setPen(QPen(QColor(0xc0, 0xc0, 0xc0), hairline));
    painter.setBrush(QColor(255, 255, 255, 225));
    painter.drawRect(panel);
    double y = panel.top() + pad;
    for (const Entry& e : entries) {
        e.sample(QRectF(panel.left() + pad, y, sample, row));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(panel.left() + 2.0 * pad + sample, y, widest + pad, row), Qt::AlignLeft | Qt::AlignVCenter,
                         e.text);
        y += row;
    }
}

void ChromaticityDiagram::paintTrail(QPainter& painter, const Trail& trail, const QRectF& box, double fontSize,
                                     std::vector<QRectF>& taken) const
{
    if (trail.points.empty())
        return;
    // Readings closer than a pixel to the last one drawn add nothing to the
    // picture but time: a long service run repeats the same white thousands
    // of times.
    QPolygonF kept;
    kept.reserve(int(trail.points.size()));
    for (const Xy& xy : trail.points) {
        const QPointF at = map(xy, box);
        if (kept.isEmpty() || std::abs(at.x() - kept.last().x()) + std::abs(at.y() - kept.last().y()) >= 0.75)
            kept << at;
    }
    kept.last() = map(trail.points.back(), box);
    // Older parts fainter, in a few bands rather than one pen per reading.
    constexpr int kBands = 8;
    constexpr int kPiece = 16;
    const int n = kept.size();
    // A one-pixel cosmetic pen: Qt draws it without building an outline, by
    // far the fastest line there is, and tens of thousands of steps are drawn.
    QPen line(trail.colour, 1.0);
    line.setCosmetic(true);
    for (int band = 0; band < kBands && n > 1; ++band) {
        const int first = band * (n - 1) / kBands, last = (band + 1) * (n - 1) / kBands;
        if (last <= first)
            continue;
        QColor colour = trail.colour;
        colour.setAlphaF(0.2 + 0.8 * (band + 1) / kBands);
        line.setColor(colour);
        painter.setPen(line);
        painter.setBrush(Qt::NoBrush);
        // In short pieces: one long stroke that crosses itself many times
        // costs the rasteriser far more than its parts.
        for (int from = first; from < last; from += kPiece)
            painter.drawPolyline(kept.constData() + from, std::min(kPiece, last - from) + 1);
    }
    // The last readings as dots, so that single steps show.
    const double dot = fontSize * 0.14;
    painter.setPen(Qt::NoPen);
    for (int i = std::max(0, n - 40); i < n - 1; ++i) {
        QColor colour = trail.colour;
        colour.setAlphaF(0.3 + 0.7 * (i - std::max(0, n - 40) + 1) / 40.0);
        painter.setBrush(colour);
        painter.drawEllipse(kept[i], dot, dot);
    }
    painter.setPen(QPen(Qt::white, std::max(1.0, fontSize * 0.08)));
    painter.setBrush(trail.colour);
    painter.drawEllipse(kept.last(), fontSize * 0.32, fontSize * 0.32);
    if (!trail.label.isEmpty()) {
        painter.setPen(Qt::black);
        const QFontMetricsF metrics(painter.font(), painter.device());
        placeLabel(painter, kept.last() + QPointF(fontSize * 0.6 + metrics.horizontalAdvance(trail.label) / 2.0, fontSize * 0.7),
                   trail.label, box, taken);
    }
}
