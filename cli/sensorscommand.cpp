#include "sensorscommand.h"

#include "exitcode.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QCommandLineParser>
#include <QLibrary>

QString SensorsCommand::summary() const
{
    return QStringLiteral("List the sensor types and the instrument libraries found.");
}

int SensorsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Lists the sensor types by number and name, whether "
                       "the program drives them, how they are connected, "
                       "and where each instrument library was found."));
    if (parsed >= 0)
        return parsed;

    for (int type = 1; type < kSensorTypeCount; ++type) {
        const bool driven = SensorTable::row(type).createdByWindow;
        QStringList fields{QString::number(type).rightJustified(2), strSensors[type].leftJustified(13),
                           driven ? QStringLiteral("supported    ") : QStringLiteral("not supported"),
                           sensorHasCom[type] ? QStringLiteral("serial port") : QStringLiteral("USB")};
        const QString library = SensorTable::libraryOf(type);
        if (!library.isEmpty()) {
            fields.last() = fields.last().leftJustified(11);
            QLibrary loaded;
            if (SensorLibrary::load(loaded, library)) {
                fields << QStringLiteral("library %1").arg(loaded.fileName());
                loaded.unload();
            } else {
                fields << QStringLiteral("library %1 not found").arg(SensorLibrary::fileName(library));
            }
        }
        printLine(fields.join(QStringLiteral("  ")));
    }
    return ExitDone;
}
