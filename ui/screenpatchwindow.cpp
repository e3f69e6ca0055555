#include "screenpatchwindow.h"

#include "requestedpatchsource.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>

ScreenPatchWindow::ScreenPatchWindow(QScreen* screen, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_screen(screen)
{
    setObjectName(QStringLiteral("screenPatchWindow"));
    setWindowTitle(tr("Sensor matching patch"));
    // Every pixel is painted each time: nothing of the style's background, no
    // cursor on the field the instruments read.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setCursor(Qt::BlankCursor);
    setFocusPolicy(Qt::StrongFocus);
}

ScreenPatchWindow::~ScreenPatchWindow() = default;

void ScreenPatchWindow::attach(RequestedPatchSource* source)
{
    connect(source, &RequestedPatchSource::patchRequested, this, &ScreenPatchWindow::showPatch);
    connect(this, &ScreenPatchWindow::patchPainted, source, &RequestedPatchSource::patchShown);
    connect(source, &RequestedPatchSource::finished, this, &QWidget::close);
}

void ScreenPatchWindow::placeOnScreen()
{
    if (!m_screen)
        return;
    // The platform window must know its screen before it is shown full-screen,
    // or it opens on the primary one.
    setGeometry(m_screen->geometry());
    if (!windowHandle())
        create();
    if (QWindow* handle = windowHandle())
        handle->setScreen(m_screen);
}

void ScreenPatchWindow::showPatch(const MatchingPatch& patch)
{
    m_colour = QColor(patch.r, patch.g, patch.b);
    m_pending = true;
    if (!isVisible()) {
        placeOnScreen();
        showFullScreen();
        raise();
        activateWindow();
    }
    update();
}

void ScreenPatchWindow::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.fillRect(rect(), m_colour);
    if (!m_pending)
        return;
    m_pending = false;
    // After this paint has reached the screen, not from inside it.
    QTimer::singleShot(0, this, &ScreenPatchWindow::patchPainted);
}

void ScreenPatchWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit cancelRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}
