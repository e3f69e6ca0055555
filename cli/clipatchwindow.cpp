#include "clipatchwindow.h"

#include "requestedpatchsource.h"

#include <QPainter>
#include <QScreen>
#include <QTimer>

CliPatchWindow::CliPatchWindow(RequestedPatchSource& source, QScreen* screen)
    : m_source(source)
{
    setScreen(screen);
    setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setGeometry(screen->geometry());
    connect(&m_source, &RequestedPatchSource::patchRequested, this, &CliPatchWindow::showPatch);
    connect(&m_source, &RequestedPatchSource::finished, this, &QWindow::close);
}

void CliPatchWindow::showPatch(const MatchingPatch& patch)
{
    m_colour = QColor(patch.r, patch.g, patch.b);
    m_answerAfterPaint = true;
    if (!isVisible())
        showFullScreen();
    update();
}

void CliPatchWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(QRect(QPoint(0, 0), size()), m_colour);
    if (m_answerAfterPaint) {
        m_answerAfterPaint = false;
        // Once this frame has gone to the screen, not while it is drawn.
        QTimer::singleShot(0, &m_source, &RequestedPatchSource::patchShown);
    }
}
