#ifndef SCREENPATCHWINDOW_H
#define SCREENPATCHWINDOW_H

#include "matchingpatch.h"

#include <QColor>
#include <QWidget>

class QScreen;
class RequestedPatchSource;

// The patch of a matching run as the program shows it: a frameless window
// over the whole of one screen, painted in the patch's 8-bit colour and
// nothing else, so both instruments, wherever they sit on that screen, read
// the same flat field. It says a patch is shown only after the paint that
// put it up, so no reading is taken of the colour before.
class ScreenPatchWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ScreenPatchWindow(QScreen* screen, QWidget* parent = nullptr);
    ~ScreenPatchWindow() override;

    // Takes the source's requests: each patch requested is painted and then
    // answered as shown; the window closes when the source has finished.
    void attach(RequestedPatchSource* source);

    QColor colour() const { return m_colour; }

public slots:
    void showPatch(const MatchingPatch& patch);

signals:
    // After the paint event that showed the patch asked for last.
    void patchPainted();
    // The user pressed Esc: the window covers the screen, maybe the one the
    // dialog and its Cancel are on.
    void cancelRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void placeOnScreen();

    QScreen* m_screen = nullptr;
    QColor m_colour = Qt::black;
    // A patch was asked for and has not been painted yet.
    bool m_pending = false;
};

#endif // SCREENPATCHWINDOW_H
