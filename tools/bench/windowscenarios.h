#ifndef WINDOWSCENARIOS_H
#define WINDOWSCENARIOS_H

#include "simulatedworld.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class MainWindow;
class QWidget;
class SimulatedStation;
class StallProbe;

// What a user does with the main window on the simulated station, played
// through the window's own widgets and actions, each timed with a StallProbe
// ticking on the main thread. Every wait is bounded and runs the event loop,
// so the probe ticks whenever the window would paint.
//
// Each scenario is measured twice in the same run: first the same instrument
// work done by the controller's or the driver's synchronous call on the main
// thread, as the window used to do it, then the window's own way. A scenario
// that cannot be played reports no figures and says why.
class WindowScenarios
{
public:
    enum class Way { Blocking, Window };

    struct Figures {
        QString name;
        Way way = Way::Window;
        double durationMs = 0;
        int ticks = 0;
        double p99Ms = 0;
        double longestMs = 0;
    };

    // Called with each scenario's figures, or with none and the reason.
    using Report = std::function<void(const std::optional<Figures>& figures, const QString& failure)>;
    // Steers the K-10 stand-in: a k10SimControl command and its answer.
    using K10Control = std::function<int(const QByteArray& command)>;

    WindowScenarios(SimulatedStation& station, MainWindow& window, StallProbe& probe, Report report,
                    K10Control k10Control);

    static QString wayName(Way way);

    // Opens the sensor: initSensor on the main thread, then the instrument's
    // type and port picked in the alignment panel. Leaves it open.
    void connectSensor(SimulatedWorld::Instrument instrument);
    // One reading: doSingleMeasure on the main thread, then the window's action.
    void singleMeasure(SimulatedWorld::Instrument instrument);
    // The calibrate dialog from the window's action: red, green, blue and
    // white measured once each patch is seen, then Calibrate; the dialog's
    // Measure, or doSingleMeasure on the main thread.
    void calibrate(SimulatedWorld::Instrument instrument);
    // Lets go of the sensor and the display's link: the controller's release
    // calls on the main thread, then the window's Portscan.
    void portscan(SimulatedWorld::Instrument instrument);
    // The features dialog of the K-10 holding `entries` matrices: ScanList,
    // ReadOut, WriteIn to a free slot, MatrixRead and MatrixWrite, each beside
    // the driver's or the controller's call on the main thread. The K-10 is
    // left holding what it held before.
    void featuresDialog(int entries);

    bool sensorOpen() const;
    // Lets go of the sensor, so the next connection starts from the same state
    // whatever was connected before.
    void release();
    // A message box the window showed; true when the scenario playing expects
    // it (a write's confirmation), else the scenario did not come out right.
    bool noteMessage(const QString& text);

private:
    bool fail(const QString& why);
    void timed(const QString& name, Way way, const std::function<bool()>& drive);
    bool pick(SimulatedWorld::Instrument instrument);
    bool pickMonitor();
    int sensorType(SimulatedWorld::Instrument instrument) const;
    // A modal dialog runs its own event loop: play() runs from it, started by a
    // timer set before open() shows the dialog; the dialog is cancelled after.
    bool insideDialog(const char* className, const std::function<bool(QWidget*)>& play,
                      const std::function<void()>& open);
    bool calibrateInDialog(QWidget* dialog, Way way);
    void playFeatures(QWidget* dialog, int entries);
    bool storeMatrices(int entries);
    void clearMatrices(int entries);
    bool waitIdle();

    SimulatedStation& m_station;
    MainWindow& m_window;
    StallProbe& m_probe;
    Report m_report;
    K10Control m_k10;
    int m_messages = 0;
    QString m_lastMessage;
    QString m_expectedMessage;
    int m_expectedSeen = 0;
    QString m_failure;
};

#endif // WINDOWSCENARIOS_H
