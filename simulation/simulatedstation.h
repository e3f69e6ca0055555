#ifndef SIMULATEDSTATION_H
#define SIMULATEDSTATION_H

#include "aligningfirmware.h"
#include "simulatedworld.h"

#include <QList>
#include <QLibrary>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <memory>

class Ca410Emulator;
class CrxxxEmulator;
class Cs2000Emulator;
class IdlePort;

// A station without instruments: the display under alignment with its own
// aligning firmware, and every sensor the program knows, all looking at one
// simulated world. Serial devices are served on pseudo-terminals and offered to
// the program as extra ports; the i1Display Pro and K-10 are the stand-in
// libraries, which the program is told to look for in their own directory. A
// CS-2000 spectroradiometer on its own pseudo-terminal is the reference
// instrument that sensor matching reads beside a sensor. Nothing in the
// program knows it is simulated.
class SimulatedStation : public QObject
{
    Q_OBJECT

public:
    struct Device {
        QString name;  // "CA410", "CR-250", "Display under alignment", ...
        QString port;  // as offered in the program's port lists, e.g. "pts/4"
        QString how;   // what serves it
    };

    // standinDirectory: where the stand-in instrument libraries were built.
    explicit SimulatedStation(const QString& standinDirectory, QObject* parent = nullptr);
    ~SimulatedStation() override;

    // Serves every device and tells the program where to find them; false,
    // with the reason, when a terminal or a stand-in library cannot be had.
    bool start(QString* error);

    // Lets the devices keep the time of their lines, for figures that show
    // what a call costs: the serial devices send and take their bytes at
    // their baud rate, and the K-10 stand-in spends what a reply of the
    // instrument takes on each answer. Off unless set, so tests stay fast;
    // may be set before or after start().
    void setWireRate(bool on);
    bool wireRate() const { return m_wireRate; }

    QList<Device> devices() const;
    // The port a sensor is picked on ("" for none), and the display's.
    QString sensorPort(SimulatedWorld::Instrument instrument) const;
    QString displayPort() const;
    // The CS-2000's, which reads the world as the reference instrument does.
    QString referencePort() const;

    SimulatedWorld& world() { return m_world; }
    AligningFirmware& firmware() { return *m_firmware; }
    AligningFirmware::Progress progress() const;

    // The reference instrument's reading of what the sensors look at now, as
    // a spreadsheet row: X, Y and Z separated by tabs.
    QString referenceReadingText() const;
    // Whether the sensors look at a patch painted by a window of the program.
    bool looksAtScreenPatch() const;

    // The directory of the stand-ins beside the program, as the build lays it out.
    static QString defaultStandinDirectory();
    // The program's name for the instrument's sensor type ("CR100/CR250" for both CRs).
    static QString sensorTypeName(SimulatedWorld::Instrument instrument);

public slots:
    void startDisplayAlignment();
    void cancelDisplayAlignment();

signals:
    // On the main thread, after each step of the display's alignment.
    void alignmentProgress(const AligningFirmware::Progress& progress);

private:
    bool hookStandin(QLibrary& library, const QString& baseName, const char* symbol,
                     SimulatedWorld::Instrument instrument, QString* error);
    void unhookStandin(QLibrary& library, const char* symbol);
    bool controlK10(const char* command);
    void applyWireRate();

    struct SourceContext {
        SimulatedWorld* world;
        SimulatedWorld::Instrument instrument;
    };
    // What a stand-in library calls for each reading.
    static void readWorld(void* context, double* xyz);

    SimulatedWorld m_world;
    QString m_standinDirectory;
    std::unique_ptr<AligningFirmware> m_firmware;
    std::unique_ptr<Ca410Emulator> m_ca410;
    std::unique_ptr<CrxxxEmulator> m_cr100;
    std::unique_ptr<CrxxxEmulator> m_cr250;
    std::unique_ptr<IdlePort> m_k10Port;
    std::unique_ptr<Cs2000Emulator> m_cs2000;
    SourceContext m_i1d3Context{&m_world, SimulatedWorld::Instrument::I1DisplayPro};
    SourceContext m_k10Context{&m_world, SimulatedWorld::Instrument::K10};
    QLibrary m_i1d3Library;
    QLibrary m_k10Library;
    QStringList m_portsBefore;
    QStringList m_directoriesBefore;
    bool m_started = false;
    bool m_wireRate = false;
};

Q_DECLARE_METATYPE(AligningFirmware::Progress)

#endif // SIMULATEDSTATION_H
