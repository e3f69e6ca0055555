#include "matchcommand.h"

#include "certificate.h"
#include "certificatefiles.h"
#include "exitcode.h"
#include "calfile.h"
#include "commandpatchsource.h"
#include "matchingsession.h"
#include "matchmeasurement.h"
#include "patchset.h"
#include "sensorsession.h"

#include <QCommandLineParser>
#include <QDir>
#include <QLocale>

#include <cmath>

namespace {

constexpr int kMaxRepeats = 20;
constexpr double kMaxSettleSeconds = 600.0;

// A number as the C locale writes it: "0,002" is a mistake, not two
// thousandths nor two.
bool plainNumber(const QString& text, double* value)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    *value = c.toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(*value);
}

bool positiveNumber(const QString& text, double* value)
{
    return plainNumber(text, value) && *value > 0.0;
}

bool nonNegativeNumber(const QString& text, double* value)
{
    return plainNumber(text, value) && *value >= 0.0;
}

// Fixed decimals, so columns line up; QString::number ignores the locale.
QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'f', 6) : QStringLiteral("none");
}

} // namespace

QString MatchCommand::summary() const
{
    return QStringLiteral("Work out the sensor-matching certificate again from a kept session.");
}

int MatchCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Work the certificate out again from the session file a matching run kept, "
                       "with every reading of both instruments, instead of measuring."),
        QStringLiteral("SESSION.json"));
    const QCommandLineOption sensorOption(
        QStringLiteral("sensor"),
        QStringLiteral("The sensor to correct: a type number or name (%1).").arg(SensorSession::typeListText()),
        QStringLiteral("T"));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("The sensor's serial port: a name under /dev (ttyUSB0) or a full path."),
        QStringLiteral("P"));
    const QCommandLineOption referenceOption(
        QStringLiteral("reference"),
        QStringLiteral("The reference instrument: a type number or name, as for --sensor; the "
                       "CS-2000 and PR-6xx spectroradiometers included."),
        QStringLiteral("T"));
    const QCommandLineOption referencePortOption(
        QStringLiteral("reference-port"), QStringLiteral("The reference instrument's serial port."),
        QStringLiteral("Q"));
    const QCommandLineOption patternCommandOption(
        QStringLiteral("pattern-command"),
        QStringLiteral("Show each patch by running CMD, with %r, %g and %b replaced by the patch's "
                       "0-255 levels; the patch is shown when CMD exits with 0."),
        QStringLiteral("CMD"));
    const QCommandLineOption screenOption(
        QStringLiteral("screen"),
        QStringLiteral("Show each patch in a full-screen window on screen N (0 is the first)."),
        QStringLiteral("N"));
    const QCommandLineOption confirmOption(
        QStringLiteral("confirm"),
        QStringLiteral("Ask the operator to show each patch and press Enter."));
    const QCommandLineOption settleOption(
        QStringLiteral("settle"),
        QStringLiteral("Seconds to wait after a patch is shown before reading it (default 0.5)."),
        QStringLiteral("S"));
    const QCommandLineOption patchesOption(
        QStringLiteral("patches"),
        QStringLiteral("The patches as lines \"name,r,g,b\" (levels 0-255, a header line allowed); "
                       "red, green, blue and white must be there. Default: those four and eleven "
                       "validation colours."),
        QStringLiteral("FILE.csv"));
    const QCommandLineOption repeatsOption(
        QStringLiteral("repeats"),
        QStringLiteral("Readings of each patch by each instrument that count (default 3, at most %1).")
            .arg(kMaxRepeats),
        QStringLiteral("N"));
    const QCommandLineOption profileOption(
        QStringLiteral("profile"),
        QStringLiteral("Also keep the recommended method's matrix in this alignment profile."),
        QStringLiteral("F.alg"));
    const QCommandLineOption memoryOption(
        QStringLiteral("memory-index"),
        QStringLiteral("Also write the recommended matrix to the sensor's own memory at this index "
                       "(i1Display Pro and K-10), then read it back and compare."),
        QStringLiteral("I"));
    const QCommandLineOption outOption(
        QStringLiteral("out"),
        QStringLiteral("The directory for session.json (while measuring), certificate.json, "
                       "certificate.csv and certificate.pdf (made if missing; files there of those "
                       "names are replaced)."),
        QStringLiteral("DIR"));
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance"),
        QStringLiteral("The largest validation delta xy the recommended method may leave and still "
                       "pass (default %1).")
            .arg(QString::number(Certificate::kDefaultTolerance)),
        QStringLiteral("D"));
    parser.addOptions({sensorOption, portOption, referenceOption, referencePortOption, patternCommandOption,
                       screenOption, confirmOption, settleOption, patchesOption, repeatsOption, toleranceOption,
                       profileOption, memoryOption, outOption, fromOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Corrects a sensor against a reference instrument: both read every patch at "
                       "the same time, each patch several times, and every correction method "
                       "(four-colour, fcmm, astm-e1455, least-squares) is fitted on the training "
                       "patches and judged on the validation patches. Every reading is kept in "
                       "DIR/session.json as it is taken; at the end the certificate is written to "
                       "DIR. With --from, the certificate is worked out again from a kept session "
                       "without measuring. Prints each method's largest validation delta xy and "
                       "delta u'v', the recommended method and the verdict. It ends with 0 when the "
                       "recommended method passes, 4 when it fails."));
    if (parsed >= 0)
        return parsed;
    if (!parser.isSet(outOption) || parser.value(outOption).isEmpty())
        return usageError(QStringLiteral("--out is required"));
    double tolerance = Certificate::kDefaultTolerance;
    if (parser.isSet(toleranceOption)
        && !positiveNumber(parser.value(toleranceOption), &tolerance))
        return usageError(QStringLiteral("--tolerance must be a positive number, not '%1'")
                              .arg(parser.value(toleranceOption)));

    if (parser.isSet(fromOption)) {
        for (const QCommandLineOption* measuring :
             {&sensorOption, &portOption, &referenceOption, &referencePortOption, &patternCommandOption,
              &screenOption, &confirmOption, &settleOption, &patchesOption, &repeatsOption, &profileOption,
              &memoryOption}) {
            if (parser.isSet(*measuring))
                return usageError(QStringLiteral("--from works a kept session out again; --%1 is for "
                                                 "measuring a new one")
                                      .arg(measuring->names().constFirst()));
        }
        if (parser.value(fromOption).isEmpty())
            return usageError(QStringLiteral("--from needs a file"));
        return recompute(parser.value(fromOption), parser.value(outOption), tolerance);
    }

    MatchMeasurement::Options options;
    options.outDirectory = parser.value(outOption);
    options.tolerance = tolerance;
    for (const QCommandLineOption* required : {&sensorOption, &referenceOption}) {
        if (!parser.isSet(*required))
            return usageError(QStringLiteral("--%1 is required (or --from, to work a kept session out again)")
                                  .arg(required->names().constFirst()));
    }
    if (!SensorSession::parseType(parser.value(sensorOption), &options.sensorType))
        return usageError(QStringLiteral("Unknown sensor type '%1'").arg(parser.value(sensorOption)));
    if (!SensorSession::parseType(parser.value(referenceOption), &options.referenceType))
        return usageError(QStringLiteral("Unknown reference type '%1'").arg(parser.value(referenceOption)));
    options.sensorPort = parser.value(portOption);
    options.referencePort = parser.value(referencePortOption);

    const int sources = int(parser.isSet(patternCommandOption)) + int(parser.isSet(screenOption))
                        + int(parser.isSet(confirmOption));
    if (sources != 1)
        return usageError(QStringLiteral("Give one of --pattern-command, --screen and --confirm: how the "
                                         "patches are shown"));
    if (parser.isSet(patternCommandOption)) {
        options.source = MatchMeasurement::Source::Command;
        options.patternCommand = parser.value(patternCommandOption);
        QString error;
        if (CommandPatchSource::commandLine(options.patternCommand, MatchingPatch(), &error).isEmpty())
            return usageError(QStringLiteral("--pattern-command: %1").arg(error));
    } else if (parser.isSet(screenOption)) {
        options.source = MatchMeasurement::Source::Screen;
        bool ok = false;
        options.screen = parser.value(screenOption).trimmed().toInt(&ok);
        if (!ok || options.screen < 0)
            return usageError(QStringLiteral("--screen must be a screen number, not '%1'")
                                  .arg(parser.value(screenOption)));
    } else {
        options.source = MatchMeasurement::Source::Operator;
    }
    if (parser.isSet(settleOption)) {
        double seconds = 0.0;
        if (!nonNegativeNumber(parser.value(settleOption), &seconds) || seconds > kMaxSettleSeconds)
            return usageError(QStringLiteral("--settle must be a number of seconds from 0 to %1, not '%2'")
                                  .arg(kMaxSettleSeconds)
                                  .arg(parser.value(settleOption)));
        options.settleMs = int(std::lround(seconds * 1000.0));
    }
    if (parser.isSet(repeatsOption)) {
        bool ok = false;
        options.repeats = parser.value(repeatsOption).trimmed().toInt(&ok);
        if (!ok || options.repeats < 1 || options.repeats > kMaxRepeats)
            return usageError(QStringLiteral("--repeats must be a whole number from 1 to %1, not '%2'")
                                  .arg(kMaxRepeats)
                                  .arg(parser.value(repeatsOption)));
    }
    if (parser.isSet(memoryOption)) {
        bool ok = false;
        const int index = parser.value(memoryOption).trimmed().toInt(&ok);
        if (!ok || index < 0 || index > Calfile::kMaxSlot)
            return usageError(QStringLiteral("--memory-index must be a whole number from 0 to %1, not '%2'")
                                  .arg(Calfile::kMaxSlot)
                                  .arg(parser.value(memoryOption)));
        options.memoryIndex = index;
    }
    options.profile = parser.value(profileOption);

    PatchSet patches = PatchSet::defaultSet();
    if (parser.isSet(patchesOption)) {
        QString error;
        if (!patches.read(parser.value(patchesOption), &error)) {
            printError(QStringLiteral("Cannot use the patches %1: %2").arg(parser.value(patchesOption), error));
            return ExitFile;
        }
    }
    options.patches = patches.patches();

    MatchMeasurement measurement(options);
    const int result = measurement.run();
    if (const std::optional<Certificate>& certificate = measurement.certificate())
        printSummary(*certificate);
    return result;
}

int MatchCommand::recompute(const QString& from, const QString& outDirectory, double tolerance) const
{
    MatchingSession session;
    QString error;
    if (!session.read(from, &error)) {
        printError(QStringLiteral("Cannot read the session %1: %2").arg(from, error));
        return ExitFile;
    }
    QStringList leftOut;
    const std::vector<MatchingSample> samples = session.samples(&leftOut);
    const auto methods = Certificate::standardMethods();
    std::vector<const CorrectionMethod*> used;
    for (const auto& method : methods)
        used.push_back(method.get());
    Certificate certificate;
    if (!certificate.compute(samples, used, tolerance, &error)) {
        printError(QStringLiteral("The session %1 cannot be certified: %2").arg(from, error));
        return ExitFile;
    }
    const CertificatePdf::Heading heading{session.instrument(MatchingSession::Role::Sensor),
                                          session.instrument(MatchingSession::Role::Reference), session.started()};
    if (!CertificateFiles::write(certificate, heading, outDirectory, &error)) {
        printError(error);
        return ExitFile;
    }
    if (!leftOut.isEmpty())
        printLine(QStringLiteral("Left out, without an accepted reading of both instruments: %1")
                      .arg(leftOut.join(QStringLiteral(", "))));
    printSummary(certificate);
    return certificate.passes() ? ExitDone : ExitFigures;
}


void MatchCommand::printSummary(const Certificate& certificate) const
{
    printLine(QStringLiteral("%1  %2  %3").arg(QStringLiteral("Method").leftJustified(14),
                                               QStringLiteral("Max delta xy").leftJustified(12),
                                               QStringLiteral("Max delta u'v'")));
    for (const Certificate::MethodResult& r : certificate.methods()) {
        if (r.refused) {
            printLine(QStringLiteral("%1  refused: %2").arg(r.name.leftJustified(14), r.error));
            continue;
        }
        printLine(QStringLiteral("%1  %2  %3")
                      .arg(r.name.leftJustified(14), figure(r.validation.deltaXy.maximum).leftJustified(12),
                           figure(r.validation.deltaUv.maximum)));
    }
    printLine(QStringLiteral("Recommended: %1")
                  .arg(certificate.recommended().isEmpty() ? QStringLiteral("none") : certificate.recommended()));
    printLine(QStringLiteral("Verdict: %1 (tolerance %2 delta xy on validation patches)")
                  .arg(certificate.passes() ? QStringLiteral("pass") : QStringLiteral("fail"),
                       QString::number(certificate.tolerance())));
}
