#ifndef CHROMATICITYDOCK_H
#define CHROMATICITYDOCK_H

#include "ccolor.h"
#include "chromaticitydiagram.h"
#include "measure.h"

#include <QDockWidget>

#include <deque>

class ChromaticityView;

// The "Chromaticity" dock: the latest reading on a chromaticity diagram with
// a trail of the readings before it, against the target white and its
// tolerance. While the alignment service runs, the readings are the ones it
// sends the display, so the white can be seen converging; the trail starts
// afresh when alignment begins.
class ChromaticityDock : public QDockWidget
{
    Q_OBJECT

public:
    // How many readings the trail keeps.
    static constexpr std::size_t kTrailLength = 2000;

    explicit ChromaticityDock(QWidget* parent = nullptr);

    ChromaticityView* view() const { return m_view; }
    std::size_t readingCount() const { return m_trail.size(); }

public slots:
    // Adds a reading of the window's own; one with no data or no
    // chromaticity is left out. While the service aligns, its readings are
    // the ones shown, and a sensor's own announcements of them are not
    // counted twice.
    void doColorChanged(CColor color);
    // A request the alignment service answered: a value it sent the display
    // is added to the trail.
    void doAlignmentRequestServed(int command, QString reply, CColor raw, CColor corrected);
    void doAlignmentStateChanged(Measure::AlignmentState state);
    void clearTrail();

private:
    void addReading(const CColor& color);
    void showTrail();
    void loadOptions();
    void saveOptions() const;

    ChromaticityView* m_view = nullptr;
    std::deque<ChromaticityDiagram::Xy> m_trail;
    bool m_aligning = false;
};

#endif // CHROMATICITYDOCK_H
