#include "calibratecommand.h"

#include "alignmentprofile.h"
#include "ccolorreference.h"
#include "csensor.h"
#include "exitcode.h"
#include "matrixtext.h"
#include "measure.h"
#include "referencefile.h"
#include "sensoroptions.h"
#include "sensorsession.h"

#include <QCommandLineParser>

#include <cmath>
#include <cstdio>

namespace {

// Waits for the operator's Enter; false at the end of the input.
bool operatorConfirms(const QString& patch)
{
    Command::printError(QStringLiteral("Show the %1 patch on the display and press Enter.").arg(patch));
    char line[256];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

// Three columns that span (almost) no volume: the determinant against the
// largest it could be for columns of these lengths (Hadamard's bound).
bool isSingular(const Matrix& columns)
{
    double bound = 1.0;
    for (int c = 0; c < 3; ++c)
        bound *= std::sqrt(columns(0, c) * columns(0, c) + columns(1, c) * columns(1, c)
                           + columns(2, c) * columns(2, c));
    return !(std::fabs(columns.Determinant()) > 1e-9 * bound);
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
    Matrix referencePrimaries(0.0, 3, 3);
    for (int patch = ReferenceFile::Red; patch <= ReferenceFile::Blue; ++patch) {
        for (int i = 0; i < 3; ++i)
            referencePrimaries(i, patch) = reference.value(patch)[i];
    }
    if (isSingular(referencePrimaries)) {
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

    // Columns red, green, blue, as the calibrate dialog fills them.
    Matrix measuredPrimaries(0.0, 3, 3);
    for (int patch = ReferenceFile::Red; patch <= ReferenceFile::Blue; ++patch) {
        for (int i = 0; i < 3; ++i)
            measuredPrimaries(i, patch) = measured[patch][i];
    }
    // Readings of one patch taken for another give a matrix of infinities.
    if (isSingular(measuredPrimaries)) {
        printError(QStringLiteral("The measured red, green and blue are linearly dependent: was each "
                                  "patch shown when it was measured? Nothing written."));
        return ExitInstrument;
    }
    const Matrix matrix = ComputeConversionMatrix(measuredPrimaries, referencePrimaries,
                                                  measured[ReferenceFile::White],
                                                  reference.value(ReferenceFile::White));
    printLine(QStringLiteral("Correction matrix:"));
    for (const QString& row : MatrixText::format(matrix))
        printLine(row);
    printLine(QStringLiteral("Residual after correction (corrected - reference):"));
    for (int patch = 0; patch < ReferenceFile::PatchCount; ++patch) {
        const CColor corrected = matrix * measured[patch];
        const CColor target = reference.value(patch);
        printLine(QStringLiteral("%1 dX %2  dY %3  dZ %4")
                      .arg((ReferenceFile::patchName(patch) + QLatin1Char(':')).leftJustified(6),
                           QString::number(corrected[0] - target[0], 'f', 5),
                           QString::number(corrected[1] - target[1], 'f', 5),
                           QString::number(corrected[2] - target[2], 'f', 5)));
    }

    const QString serial = measure.currentSensor()->getSerialNumber();
    const AlignmentProfile profile(sensorOptions.sensorType(), serial, matrix);
    if (!profile.write(parser.value(outOption), &error)) {
        printError(QStringLiteral("Cannot write the profile %1: %2").arg(parser.value(outOption), error));
        return ExitFile;
    }
    printLine(QStringLiteral("Profile for serial number %1 written to %2.").arg(serial, parser.value(outOption)));
    return ExitDone;
}
