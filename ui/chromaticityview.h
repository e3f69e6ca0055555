#ifndef CHROMATICITYVIEW_H
#define CHROMATICITYVIEW_H

#include "chromaticitydiagram.h"

#include <QPoint>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;

// A chromaticity diagram on screen: the mouse wheel zooms about the cursor,
// a drag moves the diagram, a double click fits it to what is on it, and the
// context menu switches between x, y and u', v' and picks what is drawn.
//
// Until the user zooms or drags, the view follows what is put on it; after,
// it stays where the user left it until the next double click.
class ChromaticityView : public QWidget
{
    Q_OBJECT

public:
    explicit ChromaticityView(QWidget* parent = nullptr);

    const ChromaticityDiagram& diagram() const { return m_diagram; }
    // Changes what the diagram shows and repaints.
    void edit(const std::function<void(ChromaticityDiagram&)>& change);
    bool followsContent() const { return m_follow; }
    // How the view is fitted when it follows what is on the diagram; by
    // default it shows all of it.
    void setFitter(const std::function<void(ChromaticityDiagram&)>& fitter);

    // Where the diagram's plotting area lies in the widget, and the letter
    // size it is drawn with.
    QRectF plotFrame() const;
    double letterSize() const;
    // The menu the context menu shows, for a window to offer elsewhere too.
    QMenu* optionsMenu() const { return m_menu; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setSpace(ChromaticityDiagram::Space space);
    // Shows everything put on the diagram and follows it again.
    void fit();

signals:
    // The user changed what is drawn (space, gamuts, loci): worth remembering.
    void optionsChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createMenu();
    void retranslate();
    void syncMenu();

    ChromaticityDiagram m_diagram;
    std::function<void(ChromaticityDiagram&)> m_fitter;
    bool m_follow = true;
    bool m_dragging = false;
    QPoint m_lastDrag;
    QMenu* m_menu = nullptr;
    QAction* m_xyAct = nullptr;
    QAction* m_uvAct = nullptr;
    QAction* m_bt709Act = nullptr;
    QAction* m_p3Act = nullptr;
    QAction* m_bt2020Act = nullptr;
    QAction* m_planckianAct = nullptr;
    QAction* m_daylightAct = nullptr;
    QAction* m_legendAct = nullptr;
    QAction* m_fitAct = nullptr;
};

#endif // CHROMATICITYVIEW_H
