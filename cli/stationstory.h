#ifndef STATIONSTORY_H
#define STATIONSTORY_H

#include "matrix.h"
#include "recordlocation.h"
#include "simulatedworld.h"
#include "storyfigures.h"

#include <QDateTime>
#include <QString>

#include <limits>

class Measure;
class SensorSession;
class SimulatedStation;

// The whole job on a simulated station, played with the command-line
// program's own core: connect the sensor and the display, take a reading, let
// the display align itself with the sensor uncorrected, calibrate the sensor
// against the reference instrument, align again, save the profile, match the
// sensor against the station's CS-2000, start anew with the profile and align
// once more. Every step and its figures go to
// standard output, failures to standard error.
class StationStory
{
public:
    using Figures = StoryFigures;

    // How long the display may take for one whole alignment, on top of the
    // firmware's own wait for each reply.
    static constexpr int kAlignmentTimeoutMs = 180000;

    // sensorType: the program's type number for the instrument.
    StationStory(SimulatedStation& station, SimulatedWorld::Instrument instrument, int sensorType,
                 const QString& profilePath);

    // Also print every request of the display and the reply it got.
    void setPrintRequests(bool print) { m_printRequests = print; }
    // Keep each alignment as a session in these records, as a station on the
    // line would; none when not set.
    void setRecords(const RecordLocation& records) { m_records = records; }

    // Plays it; the exit code (see exitcode.h, and ExitFigures when the story
    // ran but a figure is out of bounds).
    int run();

    const Figures& figures() const { return m_figures; }

private:
    int connectSensor(Measure& measure, SensorSession& session);
    int takeReading(SensorSession& session);
    int alignDisplay(Measure& measure, double* trueWhiteError);
    int calibrate(Measure& measure, SensorSession& session);
    int matchSensor(Measure& measure, SensorSession& session);
    int saveProfile(Measure& measure);
    int reopenProfile(Measure& measure, SensorSession& session);
    int checkFigures() const;
    void printStep(const QString& text);
    // Reads back the session the latest alignment left in the records.
    int reportSession();

    SimulatedStation& m_station;
    const SimulatedWorld::Instrument m_instrument;
    const int m_sensorType;
    const QString m_profilePath;
    bool m_printRequests = false;
    RecordLocation m_records;
    QDateTime m_started;
    Figures m_figures;
    int m_step = 0;
};

#endif // STATIONSTORY_H
