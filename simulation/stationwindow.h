#ifndef STATIONWINDOW_H
#define STATIONWINDOW_H

#include "aligningfirmware.h"
#include "chromaticitydiagram.h"

#include <QTimer>
#include <QWidget>

#include <deque>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;
class ChromaticityView;
class SimulatedStation;

// The "Simulated station" window: which pseudo-terminal is which device, the
// reference instrument's reading of what the sensors look at (to copy into the
// calibrate dialog), and the display under alignment: a button that starts its
// own alignment, its progress, and the white it really shows against D65, in
// figures and on a chromaticity diagram: where each run left it, and its walk
// during the run. The panel on the stand can be swapped for another display
// technology between alignments.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StationWindow(SimulatedStation& station, QWidget* parent = nullptr);

    // The reading shown, as copied: X, Y, Z separated by tabs.
    QString referenceText() const;

public slots:
    void copyReference();
    void showProgress(const AligningFirmware::Progress& progress);

private slots:
    void refreshReference();
    void chooseTechnology(int index);

private:
    // Adds the white the display really shows to the diagram's trail; false
    // when it adds nothing (no chromaticity, or the same as the last).
    bool noteTrueWhite(const Xyz& white);
    void showWhites();

    SimulatedStation& station;
    QTableWidget* deviceTable = nullptr;
    QLabel* lookingAt = nullptr;
    QLabel* referenceLabel = nullptr;
    QPushButton* copyButton = nullptr;
    QComboBox* technologyBox = nullptr;
    QPushButton* alignButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* activityLabel = nullptr;
    QLabel* trueErrorLabel = nullptr;
    QLabel* toldErrorLabel = nullptr;
    QLabel* gainsLabel = nullptr;
    QListWidget* runList = nullptr;
    ChromaticityView* whiteView = nullptr;
    std::deque<ChromaticityDiagram::Xy> whiteTrail;
    std::vector<ChromaticityDiagram::Point> runWhites;
    QTimer refreshTimer;
    QString shownReference;
    bool wasRunning = false;
};

#endif // STATIONWINDOW_H
