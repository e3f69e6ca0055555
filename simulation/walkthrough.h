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

// The whole job on a simulated station, played through the program's own
// window and dialogs as a user would: connect a sensor and the display, let the
// display align itself with the identity matrix, calibrate the sensor against
// the reference instrument in the calibrate dialog (pasting the reference's
// values), align again, save the profile, start the window anew, open the
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

    SimulatedStation& m_station;
    std::unique_ptr<MainWindow> m_window;
    std::function<void(const QString&)> m_printer;
    QString m_profileName = QStringLiteral("walkthrough");
    int m_alignmentTimeoutMs = 180000;
    Figures m_figures;
    QString m_failure;
    int m_step = 0;
};

#endif // WALKTHROUGH_H
