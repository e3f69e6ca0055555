#include "sensorscommand.h"

#include "csensor.h"
#include "exitcode.h"
#include "measure.h"
#include "sensorlibrary.h"
#include "sensortypes.h"

#include <QCommandLineParser>
#include <QLibrary>

#include <memory>

namespace {

// The instrument libraries the drivers of these types load.
QString libraryOf(int type)
{
    switch (type) {
    case 4:
        return QStringLiteral("libmlink_i1d3");
    case 5:
        return QStringLiteral("libmlink_k10");
    case 7:
        return QStringLiteral("libmlink_ca410");
    default:
        return QString();
    }
}

} // namespace

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

    const Measure::SensorFactory factory = Measure::defaultSensorFactory();
    for (int type = 1; type < kSensorTypeCount; ++type) {
        const std::unique_ptr<CSensor> driver(factory(type));
        QStringList fields{QString::number(type).rightJustified(2), strSensors[type].leftJustified(13),
                           driver ? QStringLiteral("supported    ") : QStringLiteral("not supported"),
                           sensorHasCom[type] ? QStringLiteral("serial port") : QStringLiteral("USB")};
        const QString library = libraryOf(type);
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
