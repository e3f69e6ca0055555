#include "matchmeasurement.h"

#include "alignmentprofile.h"
#include "certificate.h"
#include "certificatefiles.h"
#include "clipatchwindow.h"
#include "command.h"
#include "commandpatchsource.h"
#include "consolepatchprompt.h"
#include "exitcode.h"
#include "matchingrun.h"
#include "matchingsession.h"
#include "measure.h"
#include "plainfile.h"
#include "requestedpatchsource.h"
#include "sensorinstrument.h"
#include "sensortable.h"
#include "signalwatcher.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <memory>
#include <unistd.h>

namespace {

QString stateText(MatchingRun::InstrumentState state)
{
    switch (state) {
    case MatchingRun::InstrumentState::Idle: return QStringLiteral("idle");
    case MatchingRun::InstrumentState::Opening: return QStringLiteral("opening");
    case MatchingRun::InstrumentState::Ready: return QStringLiteral("ready");
    case MatchingRun::InstrumentState::Reading: return QStringLiteral("reading");
    case MatchingRun::InstrumentState::Failed: return QStringLiteral("failed");
    case MatchingRun::InstrumentState::Closed: return QStringLiteral("closed");
    }
    return QString();
}

} // namespace

MatchMeasurement::MatchMeasurement(Options options)
    : m_options(std::move(options))
{
}

int MatchMeasurement::checkPorts() const
{
    const struct {
        const char* role;
        int type;
        const QString& port;
    } instruments[] = {{"sensor", m_options.sensorType, m_options.sensorPort},
                       {"reference", m_options.referenceType, m_options.referencePort}};
    for (const auto& instrument : instruments) {
        if (!SensorInstrument::hasDriver(instrument.type)) {
            Command::printError(QStringLiteral("The %1 cannot be driven by this program (%2).")
                                    .arg(strSensors[size_t(instrument.type)], QString::fromLatin1(instrument.role)));
            return ExitInstrument;
        }
        if (!sensorHasCom[size_t(instrument.type)])
            continue;
        if (instrument.port.isEmpty()) {
            Command::printError(QStringLiteral("The %1 (%2) needs a port.")
                                    .arg(strSensors[size_t(instrument.type)], QString::fromLatin1(instrument.role)));
            return ExitUsage;
        }
        const QString path = Measure::devicePath(instrument.port);
        if (!QFileInfo::exists(path)) {
            Command::printError(QStringLiteral("The %1 port %2 does not exist.")
                                    .arg(QString::fromLatin1(instrument.role), path));
            return ExitInstrument;
        }
    }
    // Two drivers on one line would each read the other's replies.
    if (!m_options.sensorPort.isEmpty() && !m_options.referencePort.isEmpty()
        && Measure::samePort(m_options.sensorPort, m_options.referencePort)) {
        Command::printError(QStringLiteral("The reference cannot be on the sensor's port %1.")
                                .arg(Measure::devicePath(m_options.sensorPort)));
        return ExitInstrument;
    }
    return ExitDone;
}

int MatchMeasurement::run()
{
    if (const int ports = checkPorts(); ports != ExitDone)
        return ports;

    // Every file is checked before the operator measures anything.
    QString error;
    if (!QDir().mkpath(m_options.outDirectory)) {
        Command::printError(QStringLiteral("Cannot make the directory %1.").arg(m_options.outDirectory));
        return ExitFile;
    }
    const QString sessionFile = QDir(m_options.outDirectory).filePath(QStringLiteral("session.json"));
    QString target;
    for (const QString& file : {sessionFile, m_options.profile}) {
        if (!file.isEmpty() && !PlainFile::writeTarget(file, &target, &error)) {
            Command::printError(QStringLiteral("Cannot write %1: %2").arg(file, error));
            return ExitFile;
        }
    }

    // The patch source; a window needs a screen to be on.
    std::unique_ptr<PatchSource> commandSource;
    std::unique_ptr<RequestedPatchSource> requestedSource;
    std::unique_ptr<ConsolePatchPrompt> prompt;
    std::unique_ptr<CliPatchWindow> window;
    PatchSource* source = nullptr;
    switch (m_options.source) {
    case Source::Command:
        commandSource = std::make_unique<CommandPatchSource>(m_options.patternCommand, m_options.settleMs);
        source = commandSource.get();
        break;
    case Source::Operator:
        requestedSource = std::make_unique<RequestedPatchSource>(m_options.settleMs);
        prompt = std::make_unique<ConsolePatchPrompt>(*requestedSource, STDIN_FILENO);
        source = requestedSource.get();
        break;
    case Source::Screen: {
        const auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        const QList<QScreen*> screens = gui ? QGuiApplication::screens() : QList<QScreen*>();
        if (!gui || QGuiApplication::platformName() == QLatin1String("offscreen") || screens.isEmpty()) {
            Command::printError(QStringLiteral("There is no display to show the patches on; use "
                                               "--pattern-command or --confirm."));
            return ExitUsage;
        }
        if (m_options.screen < 0 || m_options.screen >= screens.size()) {
            Command::printError(QStringLiteral("There is no screen %1; the screens are 0 to %2.")
                                    .arg(m_options.screen)
                                    .arg(screens.size() - 1));
            return ExitUsage;
        }
        requestedSource = std::make_unique<RequestedPatchSource>(m_options.settleMs);
        window = std::make_unique<CliPatchWindow>(*requestedSource, screens.at(m_options.screen));
        source = requestedSource.get();
        break;
    }
    }

    MatchingRun::Settings settings;
    settings.patches = m_options.patches;
    settings.repeats = m_options.repeats;
    settings.tolerance = m_options.tolerance;
    settings.sessionFile = sessionFile;
    settings.memoryIndex = m_options.memoryIndex;
    settings.memoryName = QStringLiteral("matched");
    if (const QString refusal = MatchingRun::checkSettings(settings); !refusal.isEmpty()) {
        Command::printError(refusal);
        return ExitUsage;
    }

    MatchingRun run(std::make_unique<SensorInstrument>(m_options.sensorType, m_options.sensorPort),
                    std::make_unique<SensorInstrument>(m_options.referenceType, m_options.referencePort), source,
                    settings);
    const std::vector<MatchingPatch>& patches = m_options.patches;
    QObject::connect(&run, &MatchingRun::instrumentStateChanged,
                     [](MatchingSession::Role role, MatchingRun::InstrumentState state, const QString& text) {
                         Command::printError(QStringLiteral("%1: %2%3").arg(
                             MatchingSession::roleName(role), stateText(state),
                             text.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(text)));
                     });
    QObject::connect(&run, &MatchingRun::patchFinished, [&patches](int index) {
        Command::printError(QStringLiteral("Patch %1 of %2 read: %3")
                                .arg(index + 1)
                                .arg(patches.size())
                                .arg(patches.at(size_t(index)).name));
    });

    QEventLoop loop;
    MatchingRun::Outcome outcome = MatchingRun::Outcome::Cancelled;
    QString stopReason;
    QObject::connect(&run, &MatchingRun::finished, &loop,
                     [&](MatchingRun::Outcome how, const QString& why) {
                         outcome = how;
                         stopReason = why;
                         loop.quit();
                     });
    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::received, &run, &MatchingRun::cancel);
    if (!run.start()) {
        Command::printError(QStringLiteral("The matching run could not be started."));
        return ExitUsage;
    }
    loop.exec();

    const MatchingSession session = run.session();
    switch (outcome) {
    case MatchingRun::Outcome::Cancelled:
        Command::printError(QStringLiteral("Stopped; what was read is kept in %1.").arg(sessionFile));
        return ExitDone;
    case MatchingRun::Outcome::Stopped:
        Command::printError(QStringLiteral("The run stopped: %1. What was read is kept in %2; "
                                           "match --from recomputes from it.")
                                .arg(stopReason, sessionFile));
        // The operator's refusal ends the patch source, not an instrument.
        return prompt && prompt->inputEnded() ? ExitUsage : ExitInstrument;
    case MatchingRun::Outcome::Completed:
        break;
    }
    m_certificate = run.certificate();
    const std::optional<Certificate>& certificate = m_certificate;
    if (!certificate) {
        Command::printError(QStringLiteral("The run ended without a certificate."));
        return ExitFile;
    }
    if (!run.memoryResult().isEmpty())
        Command::printError(run.memoryResult());
    const int written = finish(*certificate, session);
    if (written != ExitDone)
        return written;
    if (m_options.memoryIndex && !run.memoryStored())
        return ExitInstrument;
    return certificate->passes() ? ExitDone : ExitFigures;
}

int MatchMeasurement::finish(const Certificate& certificate, const MatchingSession& session) const
{
    QString error;
    const CertificatePdf::Heading heading{session.instrument(MatchingSession::Role::Sensor),
                                          session.instrument(MatchingSession::Role::Reference), session.started()};
    if (!CertificateFiles::write(certificate, heading, m_options.outDirectory, &error)) {
        Command::printError(error);
        return ExitFile;
    }
    if (m_options.profile.isEmpty())
        return ExitDone;
    const Certificate::MethodResult* recommended = certificate.method(certificate.recommended());
    if (!recommended) {
        Command::printError(QStringLiteral("No method can be recommended; the profile %1 is not written.")
                                .arg(m_options.profile));
        return ExitFigures;
    }
    double rows[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rows[r][c] = recommended->matrix[size_t(r)][size_t(c)];
    const MatchingSession::Instrument& sensor = session.instrument(MatchingSession::Role::Sensor);
    const AlignmentProfile profile(m_options.sensorType, sensor.serialNumber, Matrix(&rows[0][0], 3, 3));
    if (!profile.write(m_options.profile, &error)) {
        Command::printError(QStringLiteral("Cannot write the profile %1: %2").arg(m_options.profile, error));
        return ExitFile;
    }
    Command::printError(QStringLiteral("The %1 matrix is kept in the profile %2.")
                            .arg(recommended->name, m_options.profile));
    return ExitDone;
}
