#ifndef WINDOWSCENARIOS_H
#define WINDOWSCENARIOS_H

#include "simulatedworld.h"

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
// so the probe ticks whenever the window would paint. A scenario that cannot
// be played returns no figures and says why in failure().
class WindowScenarios
{
public:
    struct Figures {
        QString name;
        double durationMs = 0;
        int ticks = 0;
        double p99Ms = 0;
        double longestMs = 0;
    };

    WindowScenarios(SimulatedStation& station, MainWindow& window, StallProbe& probe);

    // Picks the instrument's type and port in the alignment panel.
    std::optional<Figures> connectSensor(SimulatedWorld::Instrument instrument);
    // Single measure from the window's action, until the reading arrives.
    std::optional<Figures> singleMeasure(SimulatedWorld::Instrument instrument);
    // The calibrate dialog from the window's action: Measure red, green, blue
    // and white, each once its patch is seen, then Calibrate.
    std::optional<Figures> calibrate(SimulatedWorld::Instrument instrument);
    // Connects the instrument (not timed), opens its features dialog and
    // presses ScanList until the list shows `entries` matrices.
    std::optional<Figures> scanList(SimulatedWorld::Instrument instrument, int entries);

    bool sensorOpen() const;
    // Lets go of the sensor, so the next connection starts from the same state
    // whatever was connected before.
    void release();
    // A message box the window showed: a scenario that shows one did not come out right.
    void noteMessage(const QString& text);
    QString failure() const { return m_failure; }

private:
    bool fail(const QString& why);
    std::optional<Figures> timed(const QString& name, const std::function<bool()>& drive);
    bool pick(SimulatedWorld::Instrument instrument);
    // A modal dialog runs its own event loop: play() runs from it, started by a
    // timer set before open() shows the dialog; the dialog is cancelled after.
    bool insideDialog(const char* className, const std::function<bool(QWidget*)>& play,
                      const std::function<void()>& open);
    bool calibrateInDialog(QWidget* dialog);

    SimulatedStation& m_station;
    MainWindow& m_window;
    StallProbe& m_probe;
    int m_messages = 0;
    QString m_lastMessage;
    QString m_failure;
};

#endif // WINDOWSCENARIOS_H
