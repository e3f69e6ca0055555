#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "measure.h"

#include <QMainWindow>
#include <QPointer>

class AlignmentWidget;
class ChromaticityDock;
class ColorDockWidget;
class InstrumentWaitBar;
class LineRecorder;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class RecordsDock;

// The program's window: the value window and the chromaticity diagram docked
// on the left, the alignment panel in the centre, and the commands in menus
// and tool bars. It owns the
// measurement controller and refuses whatever would disturb the sensor or the
// monitor while the alignment service may be using them.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    Measure* controller() const { return measure; }
    AlignmentWidget* alignmentWidget() const { return alignment; }
    ColorDockWidget* valueWindow() const { return colorDock; }
    ChromaticityDock* chromaticityWindow() const { return chromaticityDock; }
    QString statusText() const;

    // Keeps records of the alignments through the recorder, which must be
    // started and outlive the window's use of it: adds the "Records" dock and
    // the Unit field a barcode scanner types into. Without one the window
    // keeps no records. Given once.
    void setLineRecorder(LineRecorder* recorder);
    LineRecorder* lineRecorder() const;
    RecordsDock* recordsWindow() const { return recordsDock; }

    // The About box's text: version, Qt, instrument libraries, settings file.
    static QString aboutText();

public slots:
    void doQuit();
    void doAbout();
    void doToggleFileToolBar(bool on);
    void doToggleMeasureToolBar(bool on);
    void doToggleStatusBar(bool on);
    void doNewProfile();
    void doSaveProfile();
    void doSaveAsProfile();
    void doSingleMeasure();
    void doAlignment();
    void doCalibrate();
    void doSensorMatching();
    void doPortscan();
    void showSensorDlg();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createActions();
    void createToolBars();
    void createStatusBar();
    // Warns and returns true while the alignment service may be using the
    // instruments, including while it finishes a call after being switched off.
    bool refuseWhileAligning();
    bool sensorIsConnected() const;
    void saveProfileAs(const QString& fileName);
    // Where the docks are, for the next session.
    void saveWindowState() const;
    void showAlignmentState(Measure::AlignmentState state);
    void showDisplayGone(const QString& portPath);
    void showDisplayBack();
    // Shows, while a request to the instruments is pending, what it waits
    // for, the busy indicator and the Cancel button.
    void showInstrumentBusy();
    // Warns with the controller's refusal and returns true while a request
    // for the sensor is pending.
    bool refuseWhileSensorBusy(const QString& title);

    QMenu* fileMenu = nullptr;
    QAction* openAct = nullptr;
    QAction* saveAct = nullptr;
    QAction* saveAsAct = nullptr;
    QAction* quitAct = nullptr;
    QMenu* measureMenu = nullptr;
    QAction* singleAct = nullptr;
    QAction* alignmentAct = nullptr;
    QAction* portscanAct = nullptr;
    QMenu* viewMenu = nullptr;
    QAction* fileToolBarAct = nullptr;
    QAction* measureToolBarAct = nullptr;
    QAction* statusBarAct = nullptr;
    QAction* valueWindowAct = nullptr;
    QAction* chromaticityAct = nullptr;
    QAction* recordsAct = nullptr;
    QMenu* advanceMenu = nullptr;
    QAction* calibrateAct = nullptr;
    QAction* sensorMatchingAct = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* aboutAct = nullptr;
    QToolBar* fileToolBar = nullptr;
    QToolBar* measureToolBar = nullptr;
    QToolBar* helpToolBar = nullptr;
    AlignmentWidget* alignment = nullptr;
    QLabel* statusLabel = nullptr;
    InstrumentWaitBar* waitBar = nullptr;
    ColorDockWidget* colorDock = nullptr;
    ChromaticityDock* chromaticityDock = nullptr;
    QPointer<LineRecorder> recorder;
    RecordsDock* recordsDock = nullptr;
    QLineEdit* unitEdit = nullptr;
    QLabel* unitLabel = nullptr;
    QLabel* recordsLabel = nullptr;
    Measure* measure = nullptr;
    // Set when the user closed the window while the service was still stopping.
    bool closeWhenStopped = false;
    // Set when the user chose to close while a request was pending.
    bool closeWhenAnswered = false;
    // Set while alignment is on but the display has hung up and is waited for.
    bool displayGone = false;
    // Looks again while the service is stopping, in case its end is not announced.
};

#endif // MAINWINDOW_H
