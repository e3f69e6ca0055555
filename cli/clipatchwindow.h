#ifndef CLIPATCHWINDOW_H
#define CLIPATCHWINDOW_H

#include <QColor>
#include <QRasterWindow>

class QScreen;
class RequestedPatchSource;
struct MatchingPatch;

// The command-line program's patch window: the whole of one screen in the
// patch's colour, without widgets. A requested patch counts as shown once it
// has been painted.
class CliPatchWindow : public QRasterWindow
{
    Q_OBJECT

public:
    CliPatchWindow(RequestedPatchSource& source, QScreen* screen);

    QColor colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showPatch(const MatchingPatch& patch);

    RequestedPatchSource& m_source;
    QColor m_colour = Qt::black;
    bool m_answerAfterPaint = false;
};

#endif // CLIPATCHWINDOW_H
