#include "servecommand.h"

#include "alignmentservice.h"
#include "exitcode.h"
#include "linerecorder.h"
#include "recordwriter.h"
#include "measure.h"
#include "recordlocation.h"
#include "sensoroptions.h"
#include "serialport.h"
#include "servelog.h"
#include "signalwatcher.h"
#include "stopdeadline.h"
#include "unitcommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>

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
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("Keep every display's alignment as a session with a verdict: in this SQLite file, or in "
                       "the line's database postgresql://HOST/DB (sessions wait in --records-spool while it "
                       "cannot be reached)."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption spoolOption(
        QStringLiteral("records-spool"),
        QStringLiteral("With a postgresql:// --records: this station's own file, where sessions are written as "
                       "they happen and wait for the server."),
        QStringLiteral("FILE"), RecordWriter::defaultSpoolFileName());
    const QCommandLineOption stationOption(QStringLiteral("station"),
                                           QStringLiteral("The station's name in the records (default: the host "
                                                          "name)."),
                                           QStringLiteral("NAME"));
    const QCommandLineOption unitCommandOption(
        QStringLiteral("unit-command"),
        QStringLiteral("Run CMD (no shell; double quotes keep a word together) at each session's start; the first "
                       "line it prints is the display's unit id."),
        QStringLiteral("CMD"));
    const QCommandLineOption targetOption(
        QStringLiteral("target"), QStringLiteral("The white a session must end on, as x,y (default D65, 0.3127,0.3290)."),
        QStringLiteral("X,Y"));
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance"),
        QStringLiteral("How far the final white may lie from the target in x and in y (default 0.002)."),
        QStringLiteral("T"));
    sensorOptions.addTo(parser, {monitorOption, profileOption, logOption, recordsOption, spoolOption, stationOption,
                                 unitCommandOption, targetOption, toleranceOption});
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

    LineRecorder::Settings records;
    const bool recording = parser.isSet(recordsOption);
    if (recording) {
        QString error;
        records.location = RecordLocation::parse(parser.value(recordsOption), &error);
        if (!records.location.isValid())
            return usageError(QStringLiteral("--records: %1").arg(error));
        records.spoolFile = parser.value(spoolOption);
        records.station = parser.isSet(stationOption) ? parser.value(stationOption).trimmed()
                                                      : LineRecorder::defaultStation();
        if (records.station.isEmpty())
            return usageError(QStringLiteral("--station needs a name"));
        if (parser.isSet(unitCommandOption)) {
            records.unitCommand = parser.value(unitCommandOption);
            if (!UnitCommand::check(records.unitCommand, &error))
                return usageError(QStringLiteral("--unit-command: %1").arg(error));
        }
        double targetX = SessionVerdict::D65X, targetY = SessionVerdict::D65Y;
        double tolerance = SessionVerdict::DefaultTolerance;
        if (parser.isSet(targetOption)) {
            const QStringList parts = parser.value(targetOption).split(QLatin1Char(','));
            bool okX = false, okY = false;
            if (parts.size() == 2) {
                targetX = parts[0].trimmed().toDouble(&okX);
                targetY = parts[1].trimmed().toDouble(&okY);
            }
            if (!okX || !okY || !(targetX > 0.0 && targetX < 1.0) || !(targetY > 0.0 && targetY < 1.0)
                || targetX + targetY >= 1.0)
                return usageError(QStringLiteral("--target takes a chromaticity x,y such as 0.3127,0.3290, not '%1'")
                                      .arg(parser.value(targetOption)));
        }
        if (parser.isSet(toleranceOption)) {
            bool ok = false;
            tolerance = parser.value(toleranceOption).trimmed().toDouble(&ok);
            if (!ok || !(tolerance > 0.0 && tolerance < 1.0))
                return usageError(QStringLiteral("--tolerance takes a number above 0 and below 1, not '%1'")
                                      .arg(parser.value(toleranceOption)));
        }
        records.verdict = SessionVerdict(targetX, targetY, tolerance);
    }
    if (!recording) {
        for (const QCommandLineOption* option : {&spoolOption, &stationOption, &unitCommandOption, &targetOption,
                                                 &toleranceOption}) {
            if (parser.isSet(*option))
                return usageError(QStringLiteral("--%1 needs --records").arg(option->names().first()));
        }
    }

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
    // Before the service, so that it sees the first request; destroyed before
    // the controller, closing a session still open.
    std::unique_ptr<LineRecorder> recorder;
    if (recording) {
        recorder = std::make_unique<LineRecorder>(measure, records);
        QObject::connect(recorder.get(), &LineRecorder::problem, [](const QString& text) { printError(text); });
        QObject::connect(recorder.get(), &LineRecorder::recovered, [](const QString& text) { printError(text); });
        QObject::connect(recorder.get(), &LineRecorder::sessionStored, [](const SessionRecord& session) {
            printLine(QStringLiteral("%1 session %2 %3%4").arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
                                                               session.uid, session.verdict,
                                                               session.unit.isEmpty() ? QString()
                                                                                      : QStringLiteral(" unit ") + session.unit));
        });
        QString error;
        if (!recorder->start(&error)) {
            printError(QStringLiteral("Cannot keep records: %1").arg(error));
            return ExitFile;
        }
    }
    AlignmentService service(measure, settings, log.isOpen() ? &log : nullptr);
    QEventLoop loop;
    QObject::connect(&signalWatcher, &SignalWatcher::received, &service, &AlignmentService::stop);
    QObject::connect(&service, &AlignmentService::finished, &loop, &QEventLoop::exit);
    const int started = service.start();
    // Applied by starting: sessions name the profile while its matrix serves.
    if (recorder && started == ExitDone && !settings.profile.isEmpty())
        recorder->setProfileName(QFileInfo(settings.profile).fileName());
    if (started != ExitDone) {
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
