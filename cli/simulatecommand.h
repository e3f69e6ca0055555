#ifndef SIMULATECOMMAND_H
#define SIMULATECOMMAND_H

#include "command.h"

#include "simulatedworld.h"

// `simulate`: starts the simulated station and plays the whole job on it, as
// the scripted walkthrough does through the window, with the command-line
// program's own core.
class SimulateCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("simulate"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

    // The instrument and its type number for a --sensor value: a type of the
    // type list that the station simulates (CR100/CR250 meaning the CR-250), or
    // "CR-100" or "CR-250" for one of the two. False for any other.
    static bool parseSensor(const QString& text, SimulatedWorld::Instrument* instrument, int* type,
                            QString* error);

private:
    // The matrix table on standard output; ExitFigures when a same-technology
    // correction misses the alignment's tolerance.
    int printMatrixTable(bool json) const;
    // The sensor-matching table on standard output; ExitFigures when no
    // reading of a patch counted or a method is refused or leaves no figure.
    int printMatchingTable(bool json) const;
};

#endif // SIMULATECOMMAND_H
