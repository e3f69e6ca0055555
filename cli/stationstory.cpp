#include "stationstory.h"

#include "aligningfirmware.h"
#include "alignmentservice.h"
#include "cmonitor.h"
#include "command.h"
#include "correctionmatrix.h"
#include "csensor.h"
#include "displaymodel.h"
#include "exitcode.h"
#include "linerecorder.h"
#include "matchingrun.h"
#include "patchset.h"
#include "sensorinstrument.h"
#include "worldpatchsource.h"
#include "matrixtext.h"
#include "measure.h"
#include "printabletext.h"
#include "recordstore.h"
#include "recordwriter.h"
#include "referencefile.h"
#include "sensorsession.h"
#include "simulatedstation.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <optional>

namespace {

using Instrument = SimulatedWorld::Instrument;

// The level the calibrate dialog paints its patches at.
constexpr int kHalfLevel = 127;
// How long the service may take to read the display's line, and to let go of
// it once switched off.
constexpr int kServiceTimeoutMs = 10000;
// How long the display's closing "MES,0" may take to be served once it has finished.
constexpr int kStopRequestTimeoutMs = 2000;
// A matching run on the station: every patch read once by the sensor and by the
// CS-2000, which takes at least two seconds a reading.
constexpr int kMatchingTimeoutMs = 180000;
constexpr int kCs2000Type = 10;
const QStringList kStoryValidationPatches{QStringLiteral("cyan"), QStringLiteral("yellow"),
                                          QStringLiteral("grey 50")};
// What is left of a cancelled alignment: its thread ends at the next wait.
constexpr std::chrono::milliseconds kCancelTimeout{5000};

QString fixed(double value, int decimals = 4)
{
    return QString::number(value, 'f', decimals);
}

QString xyzText(const CColor& c)
{
    return QStringLiteral("X %1  Y %2  Z %3").arg(fixed(c[0]), fixed(c[1]), fixed(c[2]));
}

// Runs the event loop until quit or msecs have passed; false on the deadline.
bool runUntil(QEventLoop& loop, int msecs)
{
    QTimer deadline;
    deadline.setSingleShot(true);
    bool expired = false;
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&loop, &expired] {
        expired = true;
        loop.quit();
    });
    deadline.start(msecs);
    loop.exec();
    return !expired;
}

// The sensors look at the calibration patch while it lives, and at the display
// under alignment again afterwards, whichever way the calibration ends.
class ScreenPatch
{
public:
    explicit ScreenPatch(SimulatedWorld& world)
        : m_world(world)
    {
    }
    ~ScreenPatch() { m_world.setScreenPatch(std::nullopt); }
    void show(int patch)
    {
        std::array<int, 3> rgb{{0, 0, 0}};
        for (int channel = 0; channel < 3; ++channel) {
            if (patch == ReferenceFile::White || patch == channel)
                rgb[size_t(channel)] = kHalfLevel;
        }
        m_world.setScreenPatch(rgb);
    }

private:
    SimulatedWorld& m_world;
};

} // namespace

StationStory::StationStory(SimulatedStation& station, Instrument instrument, int sensorType,
                           const QString& profilePath)
    : m_station(station)
    , m_instrument(instrument)
    , m_sensorType(sensorType)
    , m_profilePath(profilePath)
{
}

void StationStory::printStep(const QString& text)
{
    Command::printLine(QStringLiteral("%1. %2").arg(++m_step).arg(text));
}

int StationStory::connectSensor(Measure& measure, SensorSession& session)
{
    const QString port = m_station.sensorPort(m_instrument);
    printStep(QStringLiteral("Connect the %1%2 and the display under alignment on %3.")
                  .arg(QString::fromStdString(SimulatedWorld::instrumentName(m_instrument)),
                       port.isEmpty() ? QString() : QStringLiteral(" on ") + port, m_station.displayPort()));
    if (const int opened = session.open(m_sensorType, port); opened != ExitDone)
        return opened;
    Command::printLine(QStringLiteral("   Sensor connected: serial number %1.")
                           .arg(PrintableText::from(measure.currentSensor()->getSerialNumber())));
    return ExitDone;
}

int StationStory::takeReading(SensorSession& session)
{
    const CColor reading = session.readRaw();
    if (reading.IsNoData()) {
        Command::printError(QStringLiteral("The sensor gave no reading of the display."));
        return ExitInstrument;
    }
    printStep(QStringLiteral("Single measure of the display's white: %1 (Y in cd/m2).").arg(xyzText(reading)));
    return ExitDone;
}

int StationStory::alignDisplay(Measure& measure, double* trueWhiteError)
{
    const bool identity = measure.correctionMatrix() == Matrix::IdentityMatrix(3);
    printStep(QStringLiteral("Alignment on; the display runs its own alignment (%1).")
                  .arg(identity ? QStringLiteral("sensor uncorrected: identity matrix")
                                : QStringLiteral("sensor corrected by its matrix")));
    AlignmentService::Settings settings;
    settings.sensorType = m_sensorType;
    settings.sensorPort = m_station.sensorPort(m_instrument);
    settings.monitorPort = m_station.displayPort();
    settings.printRequests = m_printRequests;
    // Before the service, so that it sees the display's first request; gone
    // (and its writer done) before the session is read back.
    std::unique_ptr<LineRecorder> recorder;
    if (m_records.isValid()) {
        LineRecorder::Settings recordSettings;
        recordSettings.location = m_records;
        recordSettings.spoolFile = QFileInfo(m_profilePath).dir().absoluteFilePath(RecordWriter::defaultSpoolFileName());
        recordSettings.station = QStringLiteral("simulated station");
        recorder = std::make_unique<LineRecorder>(measure, recordSettings);
        // Named once it is saved: until then the matrix is the calibration's.
        const QFileInfo profile(m_profilePath);
        recorder->setProfileName(!identity && profile.exists() ? profile.fileName() : QString());
        QString error;
        if (!recorder->start(&error)) {
            Command::printError(QStringLiteral("Cannot keep records: %1").arg(error));
            return ExitFile;
        }
    }
    AlignmentService service(measure, settings, nullptr);
    bool serving = false;
    bool finished = false;
    int serviceResult = ExitDone;
    QEventLoop loop;
    QObject::connect(&service, &AlignmentService::serving, &loop, [&serving, &loop] {
        serving = true;
        loop.quit();
    });
    QObject::connect(&service, &AlignmentService::finished, &loop, [&finished, &serviceResult, &loop](int code) {
        finished = true;
        serviceResult = code;
        loop.quit();
    });
    if (const int started = service.start(); started != ExitDone)
        return started;

    // Requests the display sends before the service reads its line are dropped.
    if (!runUntil(loop, kServiceTimeoutMs) || !serving) {
        Command::printError(QStringLiteral("The alignment service did not take up the display's line within %1 s.")
                                .arg(kServiceTimeoutMs / 1000.0));
        return ExitInstrument;
    }

    bool stopServed = false;
    const QMetaObject::Connection stopRequest = QObject::connect(
        &measure, &Measure::alignmentRequestServed, &loop, [&stopServed, &loop](int command) {
            if (command != CMonitor::StopMeasure)
                return;
            stopServed = true;
            loop.quit();
        });
    AligningFirmware& firmware = m_station.firmware();
    if (!firmware.startAlignment()) {
        Command::printError(QStringLiteral("The display would not start its alignment."));
        service.stop();
        runUntil(loop, kServiceTimeoutMs);
        return ExitInstrument;
    }
    // The firmware gives up on a reply after its own timeout; this bounds the
    // whole run on top of that.
    const QMetaObject::Connection progress = QObject::connect(
        &m_station, &SimulatedStation::alignmentProgress, &loop, [&firmware, &loop] {
            if (!firmware.isAligning())
                loop.quit();
        });
    // The display's closing "MES,0" also ends the wait, and may be served before
    // the firmware's thread, which sent it, has marked the alignment ended.
    const bool ended = (!firmware.isAligning() || runUntil(loop, kAlignmentTimeoutMs))
        && (!firmware.isAligning() || firmware.waitForAlignment(kCancelTimeout));
    QObject::disconnect(progress);
    if (!ended) {
        firmware.cancelAlignment();
        firmware.waitForAlignment(kCancelTimeout);
    }
    // The display's last word is "MES,0", sent as it finishes; switched off
    // before the service has read it, the display would look as if it had not
    // finished.
    if (!stopServed)
        runUntil(loop, kStopRequestTimeoutMs);
    QObject::disconnect(stopRequest);

    service.stop();
    if (!finished && (!runUntil(loop, kServiceTimeoutMs) || !finished)) {
        Command::printError(QStringLiteral("The alignment service did not stop within %1 s.").arg(kServiceTimeoutMs / 1000.0));
        return ExitInstrument;
    }
    if (serviceResult != ExitDone)
        return serviceResult;
    if (!ended) {
        Command::printError(QStringLiteral("The display's alignment did not end within %1 s; cancelled.")
                                .arg(kAlignmentTimeoutMs / 1000.0));
        return ExitInstrument;
    }
    const AligningFirmware::Progress result = firmware.progress();
    if (!result.succeeded) {
        Command::printError(QStringLiteral("The display's alignment failed: %1")
                                .arg(QString::fromStdString(result.error)));
        return ExitInstrument;
    }
    Command::printLine(QStringLiteral("   %1 patches measured; gains R %2  G %3  B %4.")
                           .arg(result.readings.size())
                           .arg(fixed(result.gains[0]), fixed(result.gains[1]), fixed(result.gains[2])));
    Command::printLine(QStringLiteral("   White error from D65 as measured by the sensor: %1 du'v'; as the "
                                      "display really shows it: %2 du'v'.")
                           .arg(fixed(result.toldWhiteError, 6), fixed(result.trueWhiteError, 6)));
    *trueWhiteError = result.trueWhiteError;
    ++m_figures.alignmentRuns;
    if (recorder) {
        recorder.reset();
        if (const int reported = reportSession(); reported != ExitDone)
            return reported;
    }
    return ExitDone;
}

int StationStory::calibrate(Measure& measure, SensorSession& session)
{
    printStep(QStringLiteral("Calibrate the sensor against the reference instrument, on patches at level %1.")
                  .arg(kHalfLevel));
    CColor measured[ReferenceFile::PatchCount];
    CColor reference[ReferenceFile::PatchCount];
    {
        ScreenPatch patch(m_station.world());
        for (int row = 0; row < ReferenceFile::PatchCount; ++row) {
            patch.show(row);
            measured[row] = session.readRaw();
            if (measured[row].IsNoData()) {
                Command::printError(QStringLiteral("The sensor gave no reading for %1.")
                                        .arg(ReferenceFile::patchName(row)));
                return ExitInstrument;
            }
            const Xyz truth = m_station.world().referenceReading();
            reference[row] = CColor(truth[0], truth[1], truth[2]);
            Command::printLine(QStringLiteral("   %1 patch: sensor %2 | reference %3")
                                   .arg(ReferenceFile::patchName(row).leftJustified(5), xyzText(measured[row]),
                                        xyzText(reference[row])));
        }
    }
    if (CorrectionMatrix::isSingular(CorrectionMatrix::primaries(measured))) {
        Command::printError(QStringLiteral("The measured red, green and blue are linearly dependent."));
        return ExitInstrument;
    }
    m_figures.matrix = CorrectionMatrix::compute(measured, reference);
    measure.SetMatrix(m_figures.matrix);
    Command::printLine(QStringLiteral("   Correction matrix, now in use:"));
    for (const QString& row : MatrixText::format(m_figures.matrix))
        Command::printLine(QStringLiteral("     ") + row);
    Command::printLine(QStringLiteral("   Residual after correction (corrected - reference):"));
    for (const QString& line : CorrectionMatrix::residualLines(m_figures.matrix, measured, reference))
        Command::printLine(QStringLiteral("     ") + line);
    return ExitDone;
}

int StationStory::matchSensor(Measure& measure, SensorSession& session)
{
    const QString sensorPort = m_station.sensorPort(m_instrument);
    printStep(QStringLiteral("Match the sensor against the CS-2000 reference on %1, on red, green, blue, "
                             "white, cyan, yellow and grey 50.")
                  .arg(m_station.referencePort()));
    // The run drives the sensor itself; the program lets go of it meanwhile.
    measure.releaseSensor();
    WorldPatchSource source(m_station.world());
    MatchingRun::Settings settings;
    // The training colours and three to judge on, each read once: the CS-2000
    // takes at least two seconds a reading, and the whole default set is
    // simulate --match's to show.
    const PatchSet defaults = PatchSet::defaultSet();
    for (const MatchingPatch& patch : defaults.patches()) {
        if (patch.training || kStoryValidationPatches.contains(patch.name))
            settings.patches.push_back(patch);
    }
    settings.repeats = 1;
    MatchingRun run(std::make_unique<SensorInstrument>(m_sensorType, sensorPort),
                    std::make_unique<SensorInstrument>(kCs2000Type, m_station.referencePort()), &source, settings);
    QEventLoop loop;
    MatchingRun::Outcome outcome = MatchingRun::Outcome::Cancelled;
    QString why;
    QObject::connect(&run, &MatchingRun::finished, &loop, [&](MatchingRun::Outcome how, const QString& error) {
        outcome = how;
        why = error;
        loop.quit();
    });
    if (!run.start()) {
        Command::printError(QStringLiteral("The matching run could not be started."));
        return ExitInstrument;
    }
    if (!runUntil(loop, kMatchingTimeoutMs)) {
        run.cancel();
        runUntil(loop, kServiceTimeoutMs);
        Command::printError(QStringLiteral("The matching run did not end in time."));
        return ExitInstrument;
    }
    const std::optional<Certificate> certificate = run.certificate();
    if (outcome != MatchingRun::Outcome::Completed || !certificate) {
        Command::printError(QStringLiteral("The matching run stopped: %1").arg(why));
        return ExitInstrument;
    }
    Command::printLine(QStringLiteral("   Validation patches, largest error of each method:"));
    for (const Certificate::MethodResult& method : certificate->methods()) {
        Command::printLine(method.refused
                               ? QStringLiteral("     %1 refused: %2").arg(method.name.leftJustified(14), method.error)
                               : QStringLiteral("     %1 dxy %2  du'v' %3")
                                     .arg(method.name.leftJustified(14), fixed(method.validation.deltaXy.maximum, 6),
                                          fixed(method.validation.deltaUv.maximum, 6)));
    }
    const Certificate::MethodResult* recommended = certificate->method(certificate->recommended());
    m_figures.matchedValidationDeltaXy = recommended ? recommended->validation.deltaXy.maximum : StoryFigures::kNone;
    Command::printLine(QStringLiteral("   Recommended: %1; verdict: %2.")
                           .arg(recommended ? recommended->name : QStringLiteral("none"),
                                certificate->passes() ? QStringLiteral("pass") : QStringLiteral("fail")));
    if (!session.reopen(m_sensorType, sensorPort)) {
        Command::printError(QStringLiteral("The sensor could not be opened again after matching."));
        return ExitInstrument;
    }
    return ExitDone;
}

int StationStory::saveProfile(Measure& measure)
{
    printStep(QStringLiteral("Save the profile."));
    QString error;
    if (!measure.saveProfile(m_profilePath, &error)) {
        Command::printError(QStringLiteral("Cannot write the profile %1: %2").arg(m_profilePath, error));
        return ExitFile;
    }
    Command::printLine(QStringLiteral("   Written: %1 (serial number %2).")
                           .arg(m_profilePath, PrintableText::from(measure.currentSensor()->getSerialNumber())));
    return ExitDone;
}

int StationStory::reopenProfile(Measure& measure, SensorSession& session)
{
    printStep(QStringLiteral("Open the profile %1.").arg(m_profilePath));
    if (const int applied = session.applyProfile(m_profilePath); applied != ExitDone)
        return applied;
    m_figures.reopenedMatrix = measure.correctionMatrix();
    Command::printLine(QStringLiteral("   The matrix in use (largest difference from the saved one: %1):")
                           .arg(QString::number(m_figures.reopenedMatrixDrift(), 'g', 3)));
    for (const QString& row : MatrixText::format(m_figures.reopenedMatrix))
        Command::printLine(QStringLiteral("     ") + row);
    return ExitDone;
}

int StationStory::checkFigures() const
{
    const QStringList wrong = m_figures.whatIsWrong();
    for (const QString& text : wrong)
        Command::printError(QStringLiteral("Not as it must be: %1.").arg(text));
    return wrong.isEmpty() ? ExitDone : ExitFigures;
}

int StationStory::reportSession()
{
    RecordStore store(QStringLiteral("story"));
    QString error;
    if (!store.open(m_records, &error)) {
        Command::printError(error);
        return ExitFile;
    }
    RecordStore::Filter filter;
    filter.station = QStringLiteral("simulated station");
    // A file given with --records may hold the sessions of earlier plays.
    filter.since = m_started;
    const QVector<SessionRecord> sessions = store.sessions(filter, &error);
    if (!error.isEmpty()) {
        Command::printError(error);
        return ExitFile;
    }
    m_figures.keptSessions = sessions.size();
    if (sessions.isEmpty())
        return ExitDone;
    const SessionRecord& latest = sessions.first();
    m_figures.keptVerdicts << latest.verdict;
    Command::printLine(QStringLiteral("   Kept as session %1 in %2: %3, final white x %4 y %5, %6 requests.")
                           .arg(QString::number(latest.id), m_records.displayName(),
                                latest.verdict.isEmpty() ? QStringLiteral("still open") : latest.verdict,
                                latest.white ? fixed(latest.white->x, 4) : QStringLiteral("-"),
                                latest.white ? fixed(latest.white->y, 4) : QStringLiteral("-"))
                           .arg(latest.readingCount));
    return ExitDone;
}

int StationStory::run()
{
    m_step = 0;
    m_figures = Figures();
    m_started = QDateTime::currentDateTimeUtc();
    Command::printLine(QStringLiteral("The simulated station:"));
    for (const SimulatedStation::Device& device : m_station.devices())
        Command::printLine(QStringLiteral("   %1 %2 %3")
                               .arg(device.name.leftJustified(24),
                                    (device.port.isEmpty() ? QStringLiteral("-") : device.port).leftJustified(9),
                                    device.how));
    const DisplayModel& display = m_station.world().display();
    m_figures.factoryWhiteError = DisplayModel::whiteError(display.emitted(Rgb{{1.0, 1.0, 1.0}}));
    Command::printLine(QStringLiteral("The display under alignment leaves the factory %1 du'v' away from D65.")
                           .arg(fixed(m_figures.factoryWhiteError, 6)));

    {
        Measure measure;
        SensorSession session(measure);
        int result = connectSensor(measure, session);
        if (result == ExitDone)
            result = takeReading(session);
        if (result == ExitDone)
            result = alignDisplay(measure, &m_figures.identityWhiteError);
        if (result == ExitDone)
            result = calibrate(measure, session);
        if (result == ExitDone)
            result = alignDisplay(measure, &m_figures.correctedWhiteError);
        if (result == ExitDone)
            result = saveProfile(measure);
        if (result == ExitDone)
            result = matchSensor(measure, session);
        if (result != ExitDone)
            return result;
    }
    printStep(QStringLiteral("Close the program and start it anew."));
    {
        Measure measure;
        SensorSession session(measure);
        int result = connectSensor(measure, session);
        if (result == ExitDone)
            result = reopenProfile(measure, session);
        if (result == ExitDone)
            result = alignDisplay(measure, &m_figures.reopenedWhiteError);
        if (result != ExitDone)
            return result;
    }
    Command::printLine(QStringLiteral("The display's true white error from D65 (du'v'):"));
    const auto figure = [](const char* label, double value) {
        Command::printLine(QStringLiteral("   %1 %2").arg(QString::fromLatin1(label).leftJustified(28), fixed(value, 6)));
    };
    figure("uncorrected sensor:", m_figures.identityWhiteError);
    figure("calibrated sensor:", m_figures.correctedWhiteError);
    figure("after reopening the profile:", m_figures.reopenedWhiteError);
    if (m_figures.matchedValidationDeltaXy)
        Command::printLine(QStringLiteral("Sensor matching, the recommended method's largest validation dxy: %1")
                               .arg(fixed(*m_figures.matchedValidationDeltaXy, 6)));
    return checkFigures();
}
