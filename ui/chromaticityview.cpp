#include "chromaticityview.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

ChromaticityView::ChromaticityView(QWidget* parent)
    : QWidget(parent)
    , m_fitter([](ChromaticityDiagram& d) { d.fitView(); })
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::WheelFocus);
    createMenu();
    retranslate();
    syncMenu();
}

void ChromaticityView::createMenu()
{
    m_menu = new QMenu(this);
    auto* spaces = new QActionGroup(this);
    m_xyAct = m_menu->addAction(QString());
    m_uvAct = m_menu->addAction(QString());
    for (QAction* act : {m_xyAct, m_uvAct}) {
        act->setCheckable(true);
        spaces->addAction(act);
    }
    connect(m_xyAct, &QAction::triggered, this, [this] { setSpace(ChromaticityDiagram::Space::Xy); });
    connect(m_uvAct, &QAction::triggered, this, [this] { setSpace(ChromaticityDiagram::Space::Uv); });
    m_menu->addSeparator();
    const auto toggle = [this](QAction* act, const std::function<void(ChromaticityDiagram&, bool)>& apply) {
        act->setCheckable(true);
        connect(act, &QAction::toggled, this, [this, apply](bool on) {
            apply(m_diagram, on);
            update();
            emit optionsChanged();
        });
    };
    const auto gamut = [](ChromaticityDiagram::Gamut g) {
        return [g](ChromaticityDiagram& d, bool on) { d.setGamuts(on ? d.gamuts() | g : d.gamuts() & ~g); };
    };
    m_bt709Act = m_menu->addAction(QString());
    toggle(m_bt709Act, gamut(ChromaticityDiagram::Bt709));
    m_p3Act = m_menu->addAction(QString());
    toggle(m_p3Act, gamut(ChromaticityDiagram::DciP3));
    m_bt2020Act = m_menu->addAction(QString());
    toggle(m_bt2020Act, gamut(ChromaticityDiagram::Bt2020));
    m_menu->addSeparator();
    m_planckianAct = m_menu->addAction(QString());
    toggle(m_planckianAct, [](ChromaticityDiagram& d, bool on) { d.setShowsPlanckian(on); });
    m_daylightAct = m_menu->addAction(QString());
    toggle(m_daylightAct, [](ChromaticityDiagram& d, bool on) { d.setShowsDaylight(on); });
    m_legendAct = m_menu->addAction(QString());
    toggle(m_legendAct, [](ChromaticityDiagram& d, bool on) { d.setShowsLegend(on); });
    m_menu->addSeparator();
    m_fitAct = m_menu->addAction(QString());
    connect(m_fitAct, &QAction::triggered, this, &ChromaticityView::fit);
}

void ChromaticityView::retranslate()
{
    m_xyAct->setText(tr("CIE 1931 xy"));
    m_uvAct->setText(tr("CIE 1976 u\u2032v\u2032"));
    m_bt709Act->setText(tr("BT.709 / sRGB gamut"));
    m_p3Act->setText(tr("DCI-P3 gamut"));
    m_bt2020Act->setText(tr("BT.2020 gamut"));
    m_planckianAct->setText(tr("Planckian locus"));
    m_daylightAct->setText(tr("Daylight locus"));
    m_legendAct->setText(tr("Legend"));
    m_fitAct->setText(tr("Fit (double click)"));
}

void ChromaticityView::syncMenu()
{
    // The actions show the diagram's state; setting them must not act again.
    const QSignalBlocker blocks[] = {QSignalBlocker(m_bt709Act), QSignalBlocker(m_p3Act), QSignalBlocker(m_bt2020Act),
                                     QSignalBlocker(m_planckianAct), QSignalBlocker(m_daylightAct),
                                     QSignalBlocker(m_legendAct)};
    m_xyAct->setChecked(m_diagram.space() == ChromaticityDiagram::Space::Xy);
    m_uvAct->setChecked(m_diagram.space() == ChromaticityDiagram::Space::Uv);
    m_bt709Act->setChecked(m_diagram.gamuts() & ChromaticityDiagram::Bt709);
    m_p3Act->setChecked(m_diagram.gamuts() & ChromaticityDiagram::DciP3);
    m_bt2020Act->setChecked(m_diagram.gamuts() & ChromaticityDiagram::Bt2020);
    m_planckianAct->setChecked(m_diagram.showsPlanckian());
    m_daylightAct->setChecked(m_diagram.showsDaylight());
    m_legendAct->setChecked(m_diagram.showsLegend());
}

void ChromaticityView::edit(const std::function<void(ChromaticityDiagram&)>& change)
{
    change(m_diagram);
    if (m_follow)
        m_fitter(m_diagram);
    syncMenu();
    update();
}

void ChromaticityView::setFitter(const std::function<void(ChromaticityDiagram&)>& fitter)
{
    m_fitter = fitter ? fitter : [](ChromaticityDiagram& d) { d.fitView(); };
    if (m_follow)
        m_fitter(m_diagram);
    update();
}

void ChromaticityView::setSpace(ChromaticityDiagram::Space space)
{
    if (space == m_diagram.space())
        return;
    m_diagram.setSpace(space);
    if (m_follow)
        m_fitter(m_diagram);
    syncMenu();
    update();
    emit optionsChanged();
}

void ChromaticityView::fit()
{
    m_follow = true;
    m_fitter(m_diagram);
    update();
}

double ChromaticityView::letterSize() const
{
    // The widget's own font, so that the diagram reads like the rest of the window.
    return QFontInfo(font()).pixelSize();
}

QRectF ChromaticityView::plotFrame() const
{
    return ChromaticityDiagram::frame(QRectF(rect()), letterSize());
}

QSize ChromaticityView::sizeHint() const
{
    return QSize(360, 360);
}

QSize ChromaticityView::minimumSizeHint() const
{
    return QSize(180, 180);
}

void ChromaticityView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    m_diagram.paint(painter, QRectF(rect()), letterSize());
}

void ChromaticityView::wheelEvent(QWheelEvent* event)
{
    const int eighths = event->angleDelta().y();
    if (eighths == 0) {
        event->ignore();
        return;
    }
    // One notch of a wheel (15°) a quarter closer; touchpads send less at a time.
    m_diagram.zoom(std::pow(1.25, eighths / 120.0), event->position(), plotFrame());
    m_follow = false;
    update();
    event->accept();
}

void ChromaticityView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    fit();
}

void ChromaticityView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_lastDrag = event->pos();
    setCursor(Qt::ClosedHandCursor);
}

void ChromaticityView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    const QPoint delta = event->pos() - m_lastDrag;
    m_lastDrag = event->pos();
    if (delta.isNull())
        return;
    m_diagram.pan(QPointF(delta), plotFrame());
    m_follow = false;
    update();
}

void ChromaticityView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_dragging) {
        m_dragging = false;
        unsetCursor();
    }
}

void ChromaticityView::contextMenuEvent(QContextMenuEvent* event)
{
    syncMenu();
    m_menu->popup(event->globalPos());
}

void ChromaticityView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
