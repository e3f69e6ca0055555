#include "chromaticitydock.h"

#include "chromaticityview.h"
#include "cmonitor.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace {

// The window's own settings file; the diagram's choices stay from one session
// to the next.
QSettings windowSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                     QStringLiteral("Brightfold-alignment"));
}

// A display white is judged to a few thousandths in u'v'.
constexpr double kDefaultTolerance = 0.005;
// The least neighbourhood of the target shown: twice the default tolerance.
constexpr double kNearestReach = 0.01;

// The target and the readings about it out to the latest: a display's
// alignment reads its primaries too, and a view fitted to those would shrink
// the white to a dot. With no reading yet, the whole diagram.
void fitAboutTarget(ChromaticityDiagram& d)
{
    if (!d.hasTarget() || d.trails().empty() || d.trails().front().points.empty()) {
        d.fitWholeLocus();
        return;
    }
    d.fitAboutTarget(std::max(kNearestReach, ChromaticityDiagram::distanceUv(d.trails().front().points.back(), d.target())));
}

} // namespace

ChromaticityDock::ChromaticityDock(QWidget* parent)
    : QDockWidget(parent)
{
    setWindowTitle(tr("Chromaticity"));
    m_view = new ChromaticityView(this);
    m_view->setFitter(fitAboutTarget);
    setWidget(m_view);
    loadOptions();
    connect(m_view, &ChromaticityView::optionsChanged, this, &ChromaticityDock::saveOptions);
    showTrail();
}

void ChromaticityDock::loadOptions()
{
    const QSettings settings = windowSettings();
    const bool uv = settings.value(QStringLiteral("Chromaticity/space")).toString() == QLatin1String("uv");
    const int gamuts = settings.value(QStringLiteral("Chromaticity/gamuts"), int(ChromaticityDiagram::Bt709)).toInt();
    const bool planckianLocus = settings.value(QStringLiteral("Chromaticity/planckian"), true).toBool();
    const bool daylightLocus = settings.value(QStringLiteral("Chromaticity/daylight"), true).toBool();
    const QString shape = settings.value(QStringLiteral("Chromaticity/toleranceShape"), QStringLiteral("uv")).toString();
    bool ok = false;
    double size = settings.value(QStringLiteral("Chromaticity/tolerance")).toString().toDouble(&ok);
    if (!ok || !std::isfinite(size) || size <= 0.0 || size > 0.1)
        size = kDefaultTolerance;
    ChromaticityDiagram::Tolerance tolerance;
    tolerance.shape = shape == QLatin1String("xy")     ? ChromaticityDiagram::Tolerance::Shape::BoxXy
                      : shape == QLatin1String("none") ? ChromaticityDiagram::Tolerance::Shape::None
                                                       : ChromaticityDiagram::Tolerance::Shape::CircleUv;
    tolerance.size = size;
    m_view->edit([&](ChromaticityDiagram& d) {
        d.setSpace(uv ? ChromaticityDiagram::Space::Uv : ChromaticityDiagram::Space::Xy);
        d.setGamuts(gamuts & (ChromaticityDiagram::Bt709 | ChromaticityDiagram::DciP3 | ChromaticityDiagram::Bt2020));
        d.setShowsPlanckian(planckianLocus);
        d.setShowsDaylight(daylightLocus);
        d.setTarget(ChromaticityDiagram::d65(), tolerance);
    });
}

void ChromaticityDock::saveOptions() const
{
    QSettings settings = windowSettings();
    const ChromaticityDiagram& d = m_view->diagram();
    settings.setValue(QStringLiteral("Chromaticity/space"),
                      d.space() == ChromaticityDiagram::Space::Uv ? QStringLiteral("uv") : QStringLiteral("xy"));
    settings.setValue(QStringLiteral("Chromaticity/gamuts"), d.gamuts());
    settings.setValue(QStringLiteral("Chromaticity/planckian"), d.showsPlanckian());
    settings.setValue(QStringLiteral("Chromaticity/daylight"), d.showsDaylight());
}

void ChromaticityDock::doColorChanged(CColor color)
{
    if (!m_aligning)
        addReading(color);
}

void ChromaticityDock::doAlignmentRequestServed(int command, QString reply, CColor, CColor corrected)
{
    if (command == CMonitor::SendValue && !reply.isEmpty())
        addReading(corrected);
}

void ChromaticityDock::addReading(const CColor& color)
{
    if (color.IsNoData())
        return;
    const CColor xyY = color.GetxyYValue();
    const ChromaticityDiagram::Xy xy{xyY[0], xyY[1]};
    // Black, or a reading gone wrong, has no place on the diagram.
    if (!std::isfinite(xy[0]) || !std::isfinite(xy[1]) || xy[1] <= 0.0 || xy[0] < 0.0 || xy[0] + xy[1] > 1.0)
        return;
    m_trail.push_back(xy);
    while (m_trail.size() > kTrailLength)
        m_trail.pop_front();
    showTrail();
}

void ChromaticityDock::doAlignmentStateChanged(Measure::AlignmentState state)
{
    const bool aligning = state != Measure::AlignmentState::Off;
    if (aligning && !m_aligning) {
        m_aligning = true;
        clearTrail();
        return;
    }
    m_aligning = aligning;
    showTrail();
}

void ChromaticityDock::clearTrail()
{
    m_trail.clear();
    showTrail();
}

void ChromaticityDock::showTrail()
{
    ChromaticityDiagram::Trail trail;
    trail.points.assign(m_trail.begin(), m_trail.end());
    trail.label = m_aligning ? tr("Readings during alignment") : tr("Readings");
    m_view->edit([&](ChromaticityDiagram& d) { d.setTrails({trail}); });
}
