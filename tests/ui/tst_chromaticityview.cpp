// The diagram on screen: how it answers the mouse and its menu, and what the
// main window's dock puts on it.

#include "chromaticitydock.h"
#include "chromaticityview.h"
#include "cmonitor.h"
#include "uitest.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QWheelEvent>

#include <cmath>

namespace {

using Xy = ChromaticityDiagram::Xy;

bool near(const Xy& a, const Xy& b, double within)
{
    return std::abs(a[0] - b[0]) <= within && std::abs(a[1] - b[1]) <= within;
}

QAction* menuAction(const ChromaticityView& view, const QString& text)
{
    for (QAction* act : view.optionsMenu()->actions())
        if (act->text() == text)
            return act;
    return nullptr;
}

void wheel(QWidget& widget, const QPointF& at, int eighths)
{
    QWheelEvent event(at, widget.mapToGlobal(at.toPoint()), QPoint(), QPoint(0, eighths), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

// QTest's own move goes through the cursor, which the offscreen platform
// does not hand on as a drag.
void move(QWidget& widget, const QPoint& to, Qt::MouseButtons held)
{
    QMouseEvent event(QEvent::MouseMove, to, widget.mapToGlobal(to), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

CColor fromXy(double x, double y, double luminance = 100.0)
{
    return CColor(luminance * x / y, luminance, luminance * (1.0 - x - y) / y);
}

} // namespace

class TestChromaticityView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void wheelZoomsAboutTheCursorAndDoubleClickFits();
    void dragCarriesTheDiagram();
    void menuSwitchesSpaceAndWhatIsDrawn();
    void dockTrailKeepsTheLastGoodReadings();
    void dockShowsWhatTheServiceSendsDuringAlignment();
    void dockFitsAboutTheTargetNotThePrimaries();

private:
    ScratchHome m_home;
};

void TestChromaticityView::wheelZoomsAboutTheCursorAndDoubleClickFits()
{
    ChromaticityView view;
    view.resize(400, 400);
    view.show();
    view.edit([](ChromaticityDiagram& d) { d.setPoints({{{0.31, 0.33}, QString(), Qt::red}}); });
    QVERIFY(view.followsContent());
    const QPointF cursor = view.plotFrame().center() + QPointF(40, -25);
    const Xy under = view.diagram().unmap(cursor, view.plotFrame());
    const double span = view.diagram().span();
    wheel(view, cursor, 120);
    QVERIFY(view.diagram().span() < span * 0.9);
    QVERIFY(near(view.diagram().unmap(cursor, view.plotFrame()), under, 1e-9));
    QVERIFY(!view.followsContent());
    // The wheel back out undoes it.
    wheel(view, cursor, -120);
    QVERIFY(std::abs(view.diagram().span() - span) < 1e-12);

    // Zoomed by the user, new content leaves the view alone...
    wheel(view, cursor, 240);
    const double zoomed = view.diagram().span();
    view.edit([](ChromaticityDiagram& d) { d.setPoints({{{0.60, 0.32}, QString(), Qt::red}}); });
    QCOMPARE(view.diagram().span(), zoomed);
    // ...until a double click fits it to what is there, and it follows again.
    QTest::mouseDClick(&view, Qt::LeftButton, Qt::NoModifier, view.plotFrame().center().toPoint());
    QVERIFY(view.followsContent());
    ChromaticityDiagram fitted = view.diagram();
    fitted.fitView();
    QCOMPARE(view.diagram().span(), fitted.span());
    QVERIFY(view.plotFrame().contains(view.diagram().map({0.60, 0.32}, view.plotFrame())));
}

void TestChromaticityView::dragCarriesTheDiagram()
{
    ChromaticityView view;
    view.resize(400, 400);
    view.show();
    const QPoint from = view.plotFrame().center().toPoint();
    const QPoint to = from + QPoint(35, 20);
    const Xy grabbed = view.diagram().unmap(from, view.plotFrame());
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    move(view, from + QPoint(10, 5), Qt::LeftButton);
    move(view, to, Qt::LeftButton);
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY(near(view.diagram().unmap(to, view.plotFrame()), grabbed, 1e-9));
    QVERIFY(!view.followsContent());
    // A drag that began elsewhere (the button pressed outside, then moved
    // in) moves nothing.
    const QPointF centre = view.diagram().centre();
    move(view, from, Qt::LeftButton);
    QCOMPARE(view.diagram().centre(), centre);
}

void TestChromaticityView::menuSwitchesSpaceAndWhatIsDrawn()
{
    ChromaticityView view;
    QSignalSpy changed(&view, &ChromaticityView::optionsChanged);
    QAction* uv = menuAction(view, QStringLiteral("CIE 1976 u\u2032v\u2032"));
    QAction* xy = menuAction(view, QStringLiteral("CIE 1931 xy"));
    QVERIFY(uv && xy);
    QVERIFY(xy->isChecked());
    uv->trigger();
    QCOMPARE(view.diagram().space(), ChromaticityDiagram::Space::Uv);
    QVERIFY(uv->isChecked() && !xy->isChecked());
    QCOMPARE(changed.count(), 1);

    QAction* p3 = menuAction(view, QStringLiteral("DCI-P3 gamut"));
    QAction* bt709 = menuAction(view, QStringLiteral("BT.709 / sRGB gamut"));
    QAction* planckian = menuAction(view, QStringLiteral("Planckian locus"));
    QVERIFY(p3 && bt709 && planckian);
    p3->trigger();
    QCOMPARE(view.diagram().gamuts(), ChromaticityDiagram::Bt709 | ChromaticityDiagram::DciP3);
    bt709->trigger();
    QCOMPARE(view.diagram().gamuts(), int(ChromaticityDiagram::DciP3));
    planckian->trigger();
    QVERIFY(!view.diagram().showsPlanckian());
    QCOMPARE(changed.count(), 4);

    // Set from outside, the menu shows it and says nothing.
    view.edit([](ChromaticityDiagram& d) { d.setGamuts(ChromaticityDiagram::Bt2020); });
    QVERIFY(!p3->isChecked() && menuAction(view, QStringLiteral("BT.2020 gamut"))->isChecked());
    QCOMPARE(changed.count(), 4);
}

void TestChromaticityView::dockTrailKeepsTheLastGoodReadings()
{
    ChromaticityDock dock;
    dock.doColorChanged(noDataColor);
    dock.doColorChanged(CColor(0.0, 0.0, 0.0));
    QCOMPARE(dock.readingCount(), std::size_t(0));
    const std::size_t extra = 5;
    for (std::size_t i = 0; i < ChromaticityDock::kTrailLength + extra; ++i)
        dock.doColorChanged(fromXy(0.30 + 1e-6 * double(i), 0.32));
    QCOMPARE(dock.readingCount(), ChromaticityDock::kTrailLength);
    const auto& points = dock.view()->diagram().trails().front().points;
    QCOMPARE(points.size(), ChromaticityDock::kTrailLength);
    // The oldest went, the newest is last.
    QVERIFY(near(points.front(), {0.30 + 1e-6 * double(extra), 0.32}, 1e-12));
    QVERIFY(near(points.back(), {0.30 + 1e-6 * double(ChromaticityDock::kTrailLength + extra - 1), 0.32}, 1e-12));
    // The target is D65 with its tolerance.
    QVERIFY(dock.view()->diagram().hasTarget());
    QVERIFY(near(dock.view()->diagram().target(), {0.3127, 0.3290}, 1e-12));
    QVERIFY(dock.view()->diagram().tolerance().shape != ChromaticityDiagram::Tolerance::Shape::None);
}

void TestChromaticityView::dockShowsWhatTheServiceSendsDuringAlignment()
{
    ChromaticityDock dock;
    dock.doColorChanged(fromXy(0.40, 0.40));
    QCOMPARE(dock.readingCount(), std::size_t(1));
    dock.doAlignmentStateChanged(Measure::AlignmentState::On);
    QCOMPARE(dock.readingCount(), std::size_t(0));
    // The service's value, sent to the display, counts; the sensor's own
    // announcement of the same reading does not count twice.
    const CColor white = fromXy(0.3127, 0.3290);
    dock.doColorChanged(white);
    dock.doAlignmentRequestServed(CMonitor::SendValue, QStringLiteral("OK01,..."), white, white);
    QCOMPARE(dock.readingCount(), std::size_t(1));
    // Nothing sent, or not a value: nothing shown.
    dock.doAlignmentRequestServed(CMonitor::SendValue, QString(), white, white);
    dock.doAlignmentRequestServed(CMonitor::StartMeasure, QStringLiteral("OK00,0500"), noDataColor, noDataColor);
    QCOMPARE(dock.readingCount(), std::size_t(1));
    QCOMPARE(dock.view()->diagram().trails().front().label, QStringLiteral("Readings during alignment"));
    // Stopping keeps the run's trail; the window's readings count again after.
    dock.doAlignmentStateChanged(Measure::AlignmentState::Stopping);
    dock.doAlignmentStateChanged(Measure::AlignmentState::Off);
    QCOMPARE(dock.readingCount(), std::size_t(1));
    dock.doColorChanged(white);
    QCOMPARE(dock.readingCount(), std::size_t(2));
}

void TestChromaticityView::dockFitsAboutTheTargetNotThePrimaries()
{
    ChromaticityDock dock;
    dock.view()->resize(360, 360);
    // Nothing read yet: the whole diagram.
    QVERIFY(dock.view()->plotFrame().contains(
        dock.view()->diagram().map(ChromaticityDiagram::spectral(520), dock.view()->plotFrame())));
    dock.doColorChanged(fromXy(0.64, 0.33));
    dock.doColorChanged(fromXy(0.30, 0.60));
    dock.doColorChanged(fromXy(0.318, 0.335));
    const QRectF frame = dock.view()->plotFrame();
    const ChromaticityDiagram& d = dock.view()->diagram();
    QVERIFY(frame.contains(d.map({0.318, 0.335}, frame)));
    QVERIFY(frame.contains(d.map({0.3127, 0.3290}, frame)));
    QVERIFY2(!frame.contains(d.map({0.64, 0.33}, frame)), "the view widened to the red reading");
    // Far off, the latest reading is still shown.
    dock.doColorChanged(fromXy(0.45, 0.41));
    QVERIFY(frame.contains(d.map({0.45, 0.41}, frame)));
}

LUMASERVE_UI_TEST_MAIN(TestChromaticityView)
#include "tst_chromaticityview.moc"
