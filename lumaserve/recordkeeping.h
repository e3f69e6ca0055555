#ifndef RECORDKEEPING_H
#define RECORDKEEPING_H

#include "linerecorder.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

class Measure;
class QSettings;
class QWidget;

// How the window program keeps its records: where, under which station name
// and against which target, as the settings' "Records" group says.
class RecordKeeping
{
    Q_DECLARE_TR_FUNCTIONS(RecordKeeping)

public:
    // The recorder's settings from the "Records" group of settings; false, and
    // why, for a database address that names none.
    static bool read(QSettings& settings, LineRecorder::Settings* recorder, QString* error);

    // A started recorder for the controller's alignment service, with the
    // window's settings; null, the user told once, when the records cannot be
    // kept, and the program goes on without them.
    static std::unique_ptr<LineRecorder> start(Measure& measure, QWidget* parent);
};

#endif // RECORDKEEPING_H
