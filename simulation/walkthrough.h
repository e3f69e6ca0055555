#ifndef WALKTHROUGH_H
#define WALKTHROUGH_H

#include "simulatedworld.h"
#include "storyfigures.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class MainWindow;
class QWidget;
class SimulatedStation;
class StationWindow;

// The whole job on a simulated station, played through the program's own
// window and dialogs as a user would: connect a sensor and the display, let the
// display align itself with the identity matrix, calibrate the sensor against
// the reference instrument in the calibrate dialog (the reference's values
// copied with the station window's Copy button and pasted), align again, save the profile, start the window anew, open the
// profile and align once more. Each step is told to the printer with its
// figures.
class Walkthrough : public QObject
{
    Q_OBJECT

public:
    using Figures = StoryFigures;

    explicit Walkthrough(SimulatedStation& station, QObject* parent = nullptr);
    ~Walkthrough() override;

    void setPrinter(std::function<void(const QString& line)> printer);
    // The station's window whose Copy button is pressed; without one the
    // walkthrough opens its own.
    void setStationWindow(StationWindow* window);
    // The name the profile is saved under, without ".alg".
    void setProfileName(const QString& name);
    // How long the display's whole alignment may take (default 3 minutes).
    void setAlignmentTimeout(int msecs);

    // Plays the story in the current directory; false, with failure() set,
    // as soon as a step does not come out as a user would expect, or when the
    // figures are not as they must be.
    bool run(SimulatedWorld::Instrument sensor);

    // The steps, for callers that play only part of the story.
    bool openWindow();
    bool connectInstruments(SimulatedWorld::Instrument sensor);
    bool takeReading();
    bool alignDisplay(double* trueWhiteError);
    bool calibrate();
    bool saveProfile();
    bool restart(SimulatedWorld::Instrument sensor);

    MainWindow* window() const { return m_window.get(); }
    const Figures& figures() const { return m_figures; }
    QString failure() const { return m_failure; }

private:
    void print(const QString& line) const;
    bool fail(const QString& why);
    // Runs the event loop until done() holds; false after msecs.
    bool waitFor(const std::function<bool()>& done, int msecs, const QString& what);
    bool choose(const char* comboName, const QString& entry);
    bool setAlignment(bool on);
    bool calibrateInDialog(QWidget* dialog);
    StationWindow* stationWindow();
    // Clicks the station window's Copy button as a user does; the text it put
    // on the clipboard in *copied.
    bool copyReference(QString* copied);

    SimulatedStation& m_station;
    std::unique_ptr<MainWindow> m_window;
    StationWindow* m_stationWindow = nullptr;
    std::unique_ptr<StationWindow> m_ownStationWindow;
    std::function<void(const QString&)> m_printer;
    QString m_profileName = QStringLiteral("walkthrough");
    int m_alignmentTimeoutMs = 180000;
    Figures m_figures;
    QString m_failure;
    int m_step = 0;
};

#endif // WALKTHROUGH_H
