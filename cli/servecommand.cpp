#include "servecommand.h"

#include "alignmentservice.h"
#include "exitcode.h"
#include "measure.h"
#include "sensoroptions.h"
#include "serialport.h"
#include "servelog.h"
#include "signalwatcher.h"
#include "stopdeadline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>

namespace {

// How long a stop may take. The service normally lets go of the instruments at
// once; only a call inside an instrument library cannot be cut short.
constexpr int StopDeadlineMs = 600;

// A stop ends every serial wait at once and starts the deadline, from inside
// the signal handler: the main thread may be blocked in an instrument call.
void onStopSignal()
{
    SerialPort::abandonAllWaits();
    StopDeadline::start();
}

} // namespace

QString ServeCommand::summary() const
{
    return QStringLiteral("Serve the display's alignment requests until SIGINT or SIGTERM.");
}

int ServeCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    SensorOptions sensorOptions;
    const QCommandLineOption monitorOption(
        QStringLiteral("monitor"),
        QStringLiteral("The display's port, named like --port. A symlink is kept as given and "
                       "reopened by that name when the display comes back."),
        QStringLiteral("M"));
    const QCommandLineOption profileOption(
        QStringLiteral("profile"), QStringLiteral("Apply this profile (of this very sensor)."),
        QStringLiteral("F.alg"));
    const QCommandLineOption logOption(
        QStringLiteral("log"),
        QStringLiteral("Append every request to this CSV file: time, request, reply, raw and "
                       "corrected X, Y, Z."),
        QStringLiteral("FILE.csv"));
    sensorOptions.addTo(parser, {monitorOption, profileOption, logOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Runs the alignment service: answers the display's MES,1, MDR,1 and MES,0 "
                       "with the sensor's corrected readings and prints every request and reply "
                       "with a timestamp. When the display's or the sensor's port hangs up or "
                       "vanishes, waits for it on the same path and serves again; with --profile, "
                       "only the profile's own sensor is served again. SIGINT and SIGTERM stop it "
                       "within a second, with exit code 0; a reading still in progress gets no "
                       "reply."));
    if (parsed >= 0)
        return parsed;
    AlignmentService::Settings settings;
    if (const QString error = sensorOptions.read(parser); !error.isEmpty())
        return usageError(error);
    if (!parser.isSet(monitorOption) || parser.value(monitorOption).isEmpty())
        return usageError(QStringLiteral("--monitor is required"));
    settings.sensorType = sensorOptions.sensorType();
    settings.sensorPort = sensorOptions.port();
    settings.monitorPort = parser.value(monitorOption);
    settings.profile = parser.value(profileOption);
    settings.replyTimeoutMs = sensorOptions.replyTimeoutMs();

    ServeLog log;
    if (parser.isSet(logOption)) {
        QString error;
        if (!log.open(parser.value(logOption), &error)) {
            printError(QStringLiteral("Cannot open the log file %1: %2").arg(parser.value(logOption), error));
            return ExitFile;
        }
    }

    // Watching before anything is opened: a stop while starting is not lost.
    // The stop also ends every serial wait at once: an instrument that does not
    // answer would otherwise hold this thread (opening it, or opening it again
    // when it comes back) for its whole reply time-out, and the service manager
    // would have to kill the service. The deadline outlives the controller, so
    // it also covers the wait for the service thread at the end.
    StopDeadline stopDeadline(StopDeadlineMs);
    SignalWatcher signalWatcher(nullptr, &onStopSignal);
    Measure measure;
    AlignmentService service(measure, settings, log.isOpen() ? &log : nullptr);
    QEventLoop loop;
    QObject::connect(&signalWatcher, &SignalWatcher::received, &service, &AlignmentService::stop);
    QObject::connect(&service, &AlignmentService::finished, &loop, &QEventLoop::exit);
    if (const int started = service.start(); started != ExitDone) {
        // Stopped while starting: what failed was cut short by the stop.
        if (!signalWatcher.hasReceived())
            return started;
        printLine(QStringLiteral("%1 stopped").arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs)));
        return ExitDone;
    }
    const int result = loop.exec();
    // Off means the service has left its last pass, so the report of the request
    // it was serving is already queued; it belongs in the log too.
    QCoreApplication::sendPostedEvents();
    printLine(QStringLiteral("%1 stopped").arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs)));
    log.close();
    return result;
}
