#include "profilecommand.h"

#include "alignmentprofile.h"
#include "exitcode.h"
#include "matrixtext.h"
#include "printabletext.h"
#include "sensorsession.h"
#include "sensortable.h"

#include <QCommandLineParser>

QString ProfileCommand::summary() const
{
    return QStringLiteral("Show an alignment profile or write a new one.");
}

int ProfileCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption typeOption(
        QStringLiteral("type"),
        QStringLiteral("new: the sensor type, number or name (%1).").arg(SensorSession::typeListText()),
        QStringLiteral("T"));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("new: the sensor's serial number."),
                                          QStringLiteral("S"));
    const QCommandLineOption matrixOption(
        QStringLiteral("matrix"),
        QStringLiteral("new: the correction matrix row by row, \"a,b,c;d,e,f;g,h,i\"."),
        QStringLiteral("M"));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("new: the profile to write."),
                                       QStringLiteral("F.alg"));
    parser.addOptions({typeOption, serialOption, matrixOption, outOption});
    parser.addPositionalArgument(QStringLiteral("action"),
                                 QStringLiteral("show F.alg: print type, serial number and matrix. "
                                                "new: write a profile from --type, --serial, "
                                                "--matrix to --out (atomically)."),
                                 QStringLiteral("show F.alg | new"));
    const int parsed = parse(parser, arguments,
                             QStringLiteral("Shows an alignment profile or writes a new one."));
    if (parsed >= 0)
        return parsed;
    const QStringList positional = parser.positionalArguments();
    const QString action = positional.value(0);
    if (action == QLatin1String("show")) {
        if (positional.size() != 2)
            return usageError(QStringLiteral("show takes one profile file"));
        return show(positional.at(1));
    }
    if (action != QLatin1String("new"))
        return usageError(action.isEmpty() ? QStringLiteral("say show or new")
                                           : QStringLiteral("unknown action '%1'").arg(action));
    if (positional.size() != 1)
        return usageError(QStringLiteral("unexpected argument '%1'").arg(positional.at(1)));
    for (const QCommandLineOption* required : {&typeOption, &serialOption, &matrixOption, &outOption}) {
        if (!parser.isSet(*required))
            return usageError(QStringLiteral("--%1 is required").arg(required->names().constFirst()));
    }
    int type = 0;
    if (!SensorSession::parseType(parser.value(typeOption), &type))
        return usageError(QStringLiteral("unknown sensor type '%1'").arg(parser.value(typeOption)));
    Matrix matrix;
    QString error;
    if (!MatrixText::parse(parser.value(matrixOption), &matrix, &error))
        return usageError(QStringLiteral("--matrix: %1").arg(error));
    const AlignmentProfile profile(type, parser.value(serialOption), matrix);
    if (!profile.write(parser.value(outOption), &error)) {
        printError(QStringLiteral("Cannot write the profile %1: %2").arg(parser.value(outOption), error));
        return ExitFile;
    }
    return ExitDone;
}

int ProfileCommand::show(const QString& fileName) const
{
    AlignmentProfile profile;
    QString reason;
    switch (profile.read(fileName, &reason)) {
    case AlignmentProfile::ReadResult::CannotOpen:
        printError(reason.isEmpty() ? QStringLiteral("Cannot read the profile %1.").arg(fileName)
                                    : QStringLiteral("Cannot read the profile %1: %2.").arg(fileName, reason));
        return ExitFile;
    case AlignmentProfile::ReadResult::ParseError:
        printError(reason.isEmpty()
                       ? QStringLiteral("%1 is not an alignment profile, or a damaged one.").arg(fileName)
                       : QStringLiteral("%1 is not an alignment profile: %2.").arg(fileName, reason));
        return ExitFile;
    case AlignmentProfile::ReadResult::Ok:
        break;
    }
    printLine(QStringLiteral("Type: %1 %2").arg(profile.sensorType()).arg(strSensors[profile.sensorType()]));
    printLine(QStringLiteral("Serial: %1").arg(PrintableText::from(profile.serialNumber())));
    printLine(QStringLiteral("Matrix:"));
    for (const QString& row : MatrixText::format(profile.matrix()))
        printLine(row);
    return ExitDone;
}
