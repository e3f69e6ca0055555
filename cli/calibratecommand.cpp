#include "calibratecommand.h"

#include "alignmentprofile.h"
#include "correctionmatrix.h"
#include "csensor.h"
#include "exitcode.h"
#include "matrixcheck.h"
#include "matrixtext.h"
#include "measure.h"
#include "plainfile.h"
#include "printabletext.h"
#include "referencefile.h"
#include "sensoroptions.h"
#include "sensorsession.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

// Waits for the operator's Enter; false at the end of the input.
bool operatorConfirms(const QString& patch)
{
    Command::printError(QStringLiteral("Show the %1 patch on the display and press Enter.").arg(patch));
    char line[256];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

} // namespace

QString CalibrateCommand::summary() const
{
    return QStringLiteral("Compute the sensor's correction matrix and write its profile.");
}

int CalibrateCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    SensorOptions sensorOptions;
    const QCommandLineOption referenceOption(
        QStringLiteral("reference"),
        QStringLiteral("CSV file of the reference instrument's X, Y, Z: one line per colour, "
                       "\"red,X,Y,Z\", \"green,...\", \"blue,...\", \"white,...\"; a header line "
                       "\"colour,X,Y,Z\" and lines starting with # are skipped."),
        QStringLiteral("REF.csv"));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("The profile to write."),
                                       QStringLiteral("F.alg"));
    const QCommandLineOption yesOption(
        QStringLiteral("yes"),
        QStringLiteral("Measure the patches one after the other without asking the operator."));
    sensorOptions.addTo(parser, {referenceOption, outOption, yesOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Measures the red, green, blue and white patches, "
                       "computes the correction matrix that maps them onto "
                       "the reference values, prints it with the residual "
                       "of each colour, and writes the profile bound to the "
                       "sensor's serial number."));
    if (parsed >= 0)
        return parsed;
    if (const QString error = sensorOptions.read(parser); !error.isEmpty())
        return usageError(error);
    if (!parser.isSet(referenceOption))
        return usageError(QStringLiteral("--reference is required"));
    if (!parser.isSet(outOption) || parser.value(outOption).isEmpty())
        return usageError(QStringLiteral("--out is required"));

    // The file is checked before the operator measures anything.
    ReferenceFile reference;
    QString error;
    if (!reference.read(parser.value(referenceOption), &error)) {
        printError(QStringLiteral("%1: %2").arg(parser.value(referenceOption), error));
        return ExitFile;
    }
    // Nor should a profile place that can never be written cost the operator
    // four patches.
    QString outTarget;
    if (!PlainFile::writeTarget(parser.value(outOption), &outTarget, &error)) {
        printError(QStringLiteral("Cannot write the profile %1: %2").arg(parser.value(outOption), error));
        return ExitFile;
    }
    CColor referenceValues[ReferenceFile::PatchCount];
    for (int patch = 0; patch < ReferenceFile::PatchCount; ++patch)
        referenceValues[patch] = reference.value(patch);
    if (CorrectionMatrix::isSingular(CorrectionMatrix::primaries(referenceValues))) {
        printError(QStringLiteral("%1: the reference primaries are linearly dependent (abnormal matrix).")
                       .arg(parser.value(referenceOption)));
        return ExitFile;
    }

    Measure measure;
    SensorSession session(measure);
    session.setReplyTimeout(sensorOptions.replyTimeoutMs());
    if (const int opened = session.open(sensorOptions.sensorType(), sensorOptions.port());
        opened != ExitDone)
        return opened;

    CColor measured[ReferenceFile::PatchCount];
    for (int patch = 0; patch < ReferenceFile::PatchCount; ++patch) {
        if (!parser.isSet(yesOption) && !operatorConfirms(ReferenceFile::patchName(patch))) {
            printError(QStringLiteral("No answer from the operator; nothing written."));
            return ExitUsage;
        }
        measured[patch] = session.readRaw();
        if (measured[patch].IsNoData()) {
            printError(QStringLiteral("The sensor gave no reading for %1.").arg(ReferenceFile::patchName(patch)));
            return ExitInstrument;
        }
        printLine(QStringLiteral("%1 X %2  Y %3  Z %4")
                      .arg((ReferenceFile::patchName(patch) + QLatin1Char(':')).leftJustified(6),
                           QString::number(measured[patch][0], 'f', 5),
                           QString::number(measured[patch][1], 'f', 5),
                           QString::number(measured[patch][2], 'f', 5)));
    }

    if (CorrectionMatrix::isSingular(CorrectionMatrix::primaries(measured))) {
        printError(QStringLiteral("The measured red, green and blue are linearly dependent: was each "
                                  "patch shown when it was measured? Nothing written."));
        return ExitInstrument;
    }
    const Matrix matrix = CorrectionMatrix::compute(measured, referenceValues);
    printLine(QStringLiteral("Correction matrix:"));
    for (const QString& row : MatrixText::format(matrix))
        printLine(row);
    printLine(QStringLiteral("Residual after correction (corrected - reference):"));
    for (const QString& line : CorrectionMatrix::residualLines(matrix, measured, referenceValues))
        printLine(line);

    // Checked after the residuals are shown, so the operator sees what is wrong.
    if (!MatrixCheck::isFinite(matrix)) {
        printError(QStringLiteral("The matrix is not finite: are the readings and the reference of "
                                  "this display? Nothing written."));
        return ExitInstrument;
    }
    if (const int colour = MatrixCheck::poorFit(matrix, measured, referenceValues); colour >= 0) {
        printError(QStringLiteral("The matrix does not bring the %1 reading onto its reference (off by "
                                  "more than a tenth of the white): was each patch shown when it was measured, and "
                                  "is the reference of this display? Nothing written.")
                       .arg(ReferenceFile::patchName(colour)));
        return ExitInstrument;
    }
    if (!MatrixCheck::isUsable(matrix)) {
        printError(QStringLiteral("The matrix has an entry beyond %1. Nothing written.").arg(MatrixCheck::MaxEntry));
        return ExitInstrument;
    }

    const QString serial = measure.currentSensor()->getSerialNumber();
    const AlignmentProfile profile(sensorOptions.sensorType(), serial, matrix);
    if (!profile.write(parser.value(outOption), &error)) {
        printError(QStringLiteral("Cannot write the profile %1: %2").arg(parser.value(outOption), error));
        return ExitFile;
    }
    printLine(QStringLiteral("Profile for serial number %1 written to %2.")
                  .arg(PrintableText::from(serial), parser.value(outOption)));
    return ExitDone;
}
