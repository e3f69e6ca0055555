#include "simulatecommand.h"

#include "exitcode.h"
#include "recordlocation.h"
#include "matchingtable.h"
#include "matrixtable.h"
#include "sensorsession.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stationstory.h"
#include "storyfigures.h"

#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;

// The program's type number of each simulated instrument.
int typeOf(Instrument instrument)
{
    const QString name = SimulatedStation::sensorTypeName(instrument);
    int type = 0;
    return SensorSession::parseType(name, &type) ? type : 0;
}

// A file name for the instrument's profile: "CR-250" gives "simulated-cr-250.alg".
QString profileFileName(Instrument instrument)
{
    QString name = QString::fromStdString(SimulatedWorld::instrumentName(instrument)).toLower();
    for (QChar& c : name) {
        if (!c.isLetterOrNumber())
            c = QLatin1Char('-');
    }
    return QStringLiteral("simulated-%1.alg").arg(name);
}

} // namespace

QString SimulateCommand::summary() const
{
    return QStringLiteral("Play the whole job on the simulated station, without instruments.");
}

int SimulateCommand::printMatrixTable(bool json) const
{
    const std::vector<MatrixTable::Row> rows = MatrixTable::compute();
    std::fputs(json ? MatrixTable::json(rows).constData() : MatrixTable::text(rows).toUtf8().constData(), stdout);
    std::fflush(stdout);
    QStringList wrong;
    for (const MatrixTable::Row& row : rows) {
        if (row.matrixFrom && *row.matrixFrom == row.display && !(row.whiteDeltaUv < StoryFigures::kCorrectedBelow))
            wrong << QStringLiteral("the %1 corrected on %2 leaves %3 on it")
                         .arg(MatrixTable::sensorName(row.sensor), DisplayTechnology::key(row.display),
                              QString::number(row.whiteDeltaUv, 'f', 5));
    }
    if (wrong.isEmpty())
        return ExitDone;
    printError(QStringLiteral("Not as it must be: %1.").arg(wrong.join(QStringLiteral("; "))));
    return ExitFigures;
}

int SimulateCommand::printMatchingTable(bool json) const
{
    const std::vector<MatchingTable::Row> rows = MatchingTable::compute();
    std::fputs(json ? MatchingTable::json(rows).constData() : MatchingTable::text(rows).toUtf8().constData(),
               stdout);
    std::fflush(stdout);
    const QStringList wrong = MatchingTable::whatIsWrong(rows);
    if (wrong.isEmpty())
        return ExitDone;
    printError(QStringLiteral("Not as it must be: %1.").arg(wrong.join(QStringLiteral("; "))));
    return ExitFigures;
}

bool SimulateCommand::parseSensor(const QString& text, Instrument* instrument, int* type, QString* error)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("CR-100"), Qt::CaseInsensitive) == 0
        || trimmed.compare(QLatin1String("CR-250"), Qt::CaseInsensitive) == 0) {
        *instrument = trimmed.endsWith(QLatin1String("100")) ? Instrument::CR100 : Instrument::CR250;
        *type = typeOf(*instrument);
        return true;
    }
    int parsed = 0;
    if (!SensorSession::parseType(trimmed, &parsed)) {
        *error = QStringLiteral("unknown sensor type '%1'").arg(text);
        return false;
    }
    for (Instrument candidate : {Instrument::CA410, Instrument::CR250, Instrument::I1DisplayPro, Instrument::K10}) {
        if (typeOf(candidate) == parsed) {
            *instrument = candidate;
            *type = parsed;
            return true;
        }
    }
    *error = QStringLiteral("the %1 is not simulated; the station has the CA410, CR-100, CR-250, "
                            "I1Display Pro and K-10")
                 .arg(strSensors[parsed]);
    return false;
}

int SimulateCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption sensorOption(
        QStringLiteral("sensor"),
        QStringLiteral("The simulated sensor: CA410 (7, the default), CR100/CR250 (13, the CR-250), "
                       "CR-100, CR-250, I1Display Pro (4) or K-10 (5)."),
        QStringLiteral("TYPE"), QStringLiteral("CA410"));
    const QCommandLineOption profileDirOption(
        QStringLiteral("profile-dir"),
        QStringLiteral("Where the profile is written and reopened from (default: a temporary "
                       "directory, removed at the end)."),
        QStringLiteral("DIR"));
    const QCommandLineOption recordsOption(
        QStringLiteral("records"),
        QStringLiteral("Keep each alignment of the story as a session in this records file or postgresql:// "
                       "database (default: records.sqlite in the profile directory)."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption standinDirOption(
        QStringLiteral("standin-dir"),
        QStringLiteral("Where the stand-in i1Display Pro and K-10 libraries are (default: "
                       "\"standins\" beside the program, or lib/lumaserve/standins "
                       "below the installed prefix)."),
        QStringLiteral("DIR"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Also print every request of the display and the reply it got."));
    const QCommandLineOption displayOption(
        QStringLiteral("display"),
        QStringLiteral("The display technology on the stand: %1 (the default), %2, %3 or %4.")
            .arg(DisplayTechnology::key(DisplayTechnology::Kind::WhiteLedLcd),
                 DisplayTechnology::key(DisplayTechnology::Kind::WideGamutLcd),
                 DisplayTechnology::key(DisplayTechnology::Kind::RgbOled),
                 DisplayTechnology::key(DisplayTechnology::Kind::WhiteOled)),
        QStringLiteral("TECH"), DisplayTechnology::key(DisplayTechnology::Kind::WhiteLedLcd));
    const QCommandLineOption matrixTableOption(
        QStringLiteral("matrix-table"),
        QStringLiteral("Instead of the story, print for every sensor and display technology the "
                       "display's white error after its own alignment: uncorrected, with the "
                       "4-colour matrix made on the same technology, and with the matrix made on "
                       "each other one. Runs in the process, without pseudo-terminals; ends with 4 "
                       "when a matrix made on the display's own technology leaves 0.0005 du'v' or "
                       "more."));
    const QCommandLineOption matchOption(
        QStringLiteral("match"),
        QStringLiteral("Instead of the story, play sensor matching for every display technology and "
                       "simulated sensor: the default patch set shown at factory gains, each patch read "
                       "3 times by the sensor and the reference at once, and print each method's "
                       "largest du'v' and dxy over the validation patches, the method recommended and "
                       "the verdict (pass at a largest dxy of 0.002 or less). Runs in the process, "
                       "without pseudo-terminals; ends with 4 when no reading of a patch counted or "
                       "a method is refused or leaves no figure."));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("With --matrix-table: text (the default) or json, a list of objects {\"sensor\", "
                       "\"display\", \"matrix_from\" (null when uncorrected), \"white_delta_uv\"}. "
                       "With --match: text or json, a list of objects {\"display\", \"sensor\", "
                       "\"method\", \"max_delta_uv\", \"max_delta_xy\", \"mean_delta_uv\" (null for "
                       "a refused method), \"recommended\"}, one per technology, sensor and method."),
        QStringLiteral("FORMAT"), QStringLiteral("text"));
    parser.addOptions({sensorOption, profileDirOption, recordsOption, standinDirOption, verboseOption, displayOption,
                       matrixTableOption, matchOption, formatOption});
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Starts the simulated station (the display under alignment with its own "
                       "aligning firmware, and the simulated sensors, on pseudo-terminals and "
                       "stand-in libraries) and plays the whole job on it: connect the sensor and "
                       "the display, take a reading, let the display align itself with the "
                       "sensor uncorrected, calibrate the sensor on red, green, blue and white "
                       "against the reference instrument, align again, save the profile, start "
                       "anew with the profile and align once more. Prints each step and its "
                       "figures. It ends with 0 only when the display's true white error misses "
                       "the alignment's tolerance of 0.0005 du'v' with the sensor uncorrected and "
                       "meets it with the calibrated sensor and again after reopening the "
                       "profile, whose matrix must be the saved one; 4 when the story ran but a "
                       "figure is not so."));
    if (parsed >= 0)
        return parsed;
    DisplayTechnology::Kind technology = DisplayTechnology::Kind::WhiteLedLcd;
    if (!DisplayTechnology::fromKey(parser.value(displayOption), &technology))
        return usageError(QStringLiteral("unknown display technology '%1'").arg(parser.value(displayOption)));
    const QString format = parser.value(formatOption).trimmed().toLower();
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return usageError(QStringLiteral("unknown format '%1'; use text or json").arg(parser.value(formatOption)));
    if (parser.isSet(matrixTableOption) && parser.isSet(matchOption))
        return usageError(QStringLiteral("--matrix-table and --match are two tables; ask for one"));
    for (const QCommandLineOption* table : {&matrixTableOption, &matchOption}) {
        if (!parser.isSet(*table))
            continue;
        for (const QCommandLineOption* storyOnly : {&sensorOption, &displayOption, &profileDirOption,
                                                    &recordsOption, &standinDirOption, &verboseOption}) {
            if (parser.isSet(*storyOnly))
                return usageError(QStringLiteral("--%1 belongs to the story, not to --%2")
                                      .arg(storyOnly->names().constFirst(), table->names().constFirst()));
        }
        const bool json = format == QLatin1String("json");
        return table == &matchOption ? printMatchingTable(json) : printMatrixTable(json);
    }
    if (parser.isSet(formatOption))
        return usageError(QStringLiteral("--format needs --matrix-table or --match"));
    Instrument instrument = Instrument::CA410;
    int type = 0;
    QString error;
    if (!parseSensor(parser.value(sensorOption), &instrument, &type, &error))
        return usageError(error);
    if (parser.isSet(profileDirOption) && parser.value(profileDirOption).isEmpty())
        return usageError(QStringLiteral("--profile-dir needs a directory"));
    if (parser.isSet(standinDirOption) && parser.value(standinDirOption).isEmpty())
        return usageError(QStringLiteral("--standin-dir needs a directory"));

    std::unique_ptr<QTemporaryDir> temporary;
    QString profileDir = parser.value(profileDirOption);
    if (profileDir.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        if (!temporary->isValid()) {
            printError(QStringLiteral("Cannot make a temporary directory for the profile: %1")
                           .arg(temporary->errorString()));
            return ExitFile;
        }
        profileDir = temporary->path();
    } else if (!QDir().mkpath(profileDir)) {
        printError(QStringLiteral("Cannot make the profile directory %1.").arg(profileDir));
        return ExitFile;
    }

    SimulatedStation station(parser.isSet(standinDirOption) ? parser.value(standinDirOption)
                                                            : SimulatedStation::defaultStandinDirectory());
    if (!station.start(&error)) {
        printError(QStringLiteral("The simulated station cannot start: %1").arg(error));
        return ExitInstrument;
    }
    station.world().setDisplayTechnology(technology);
    StationStory story(station, instrument, type,
                       QDir(profileDir).absoluteFilePath(profileFileName(instrument)));
    story.setPrintRequests(parser.isSet(verboseOption));
    const RecordLocation records = RecordLocation::parse(
        parser.isSet(recordsOption) ? parser.value(recordsOption) : QDir(profileDir).absoluteFilePath(RecordLocation::defaultFileName()),
        &error);
    if (!records.isValid())
        return usageError(QStringLiteral("--records: %1").arg(error));
    story.setRecords(records);
    return story.run();
}
