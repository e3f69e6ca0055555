#ifndef SENSORSESSION_H
#define SENSORSESSION_H

#include "ccolor.h"

#include <QString>

class Measure;

// The steps the subcommands that measure share: naming a sensor type, opening
// the instrument through the controller, applying a profile and taking one
// reading. Failures are reported on standard error; the results are exit codes.
class SensorSession
{
public:
    // Hands the sensor table's factory to measure: the command-line program
    // opens its instruments only through a session.
    explicit SensorSession(Measure& measure);

    // A type number of the type list, or a name in it ("7", "CA410", "ca410").
    static bool parseType(const QString& text, int* type);
    // The types as --help lists them.
    static QString typeListText();

    // How long the driver waits for each reply of an instrument on a port the
    // program drives itself (the CR-100/CR-250, which otherwise allows slow
    // readings two minutes); 0 keeps the driver's own.
    void setReplyTimeout(int msecs) { m_replyTimeoutMs = msecs; }

    // Creates the driver and opens the instrument at port, which the type needs
    // unless its instrument is reached without one.
    int open(int type, const QString& port);
    // Opens it again after its port came back; false while it cannot be opened.
    bool reopen(int type, const QString& port);
    // Applies the profile, refusing one of another sensor.
    int applyProfile(const QString& fileName);

    // One reading, raw; no-data when the instrument gave none.
    CColor readRaw();

private:
    bool initSensor(int type, const QString& port);

    Measure& m_measure;
    int m_replyTimeoutMs = 0;
};

#endif // SENSORSESSION_H
