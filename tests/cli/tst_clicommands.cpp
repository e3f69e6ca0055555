// The command-line program's subcommands, run as the real program against
// emulated instruments on pseudo-terminals.
#include "alignmentprofile.h"
#include "clirunner.h"
#include "crxxxemulator.h"
#include "filecontents.h"
#include "matrix.h"
#include "portlister.h"
#include "nonregularfile.h"

#include <QDataStream>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <functional>
#include <unistd.h>
#include <cmath>
#include <limits>

using namespace std::chrono_literals;

namespace {

QString text(const QByteArray& bytes)
{
    return QString::fromLocal8Bit(bytes);
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// The sRGB primaries and white, as a reference instrument would read them.
const double kReference[4][3] = {
    {41.24, 21.26, 1.93},
    {35.76, 71.52, 11.92},
    {18.05, 7.22, 95.05},
    {95.05, 100.00, 108.90},
};

const char* const kPatches[4] = {"red", "green", "blue", "white"};

QByteArray referenceCsv()
{
    QByteArray csv = "colour,X,Y,Z\n";
    for (int p = 0; p < 4; ++p) {
        csv += QByteArray(kPatches[p]) + ',' + QByteArray::number(kReference[p][0]) + ','
               + QByteArray::number(kReference[p][1]) + ',' + QByteArray::number(kReference[p][2])
               + '\n';
    }
    return csv;
}

// A profile as the file holds it, whatever its matrix: the writer itself would
// refuse a damaged one.
QByteArray profileBytes(int type, const QString& serial, const Matrix& matrix)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_1);
    out << AlignmentProfile::Magic << AlignmentProfile::FormatVersion << qint32(type - 1) << serial << matrix;
    return bytes;
}

} // namespace

class TestCliCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void helpDescribesEveryCommandAndTheExitCodes();
    void refusedRunsSayWhyAndWriteNothing_data();
    void refusedRunsSayWhyAndWriteNothing();
    void portsListsWhatTheWindowOffers();
    void sensorsTellsWhatIsSupportedAndWhereLibrariesAre();
    void measurePrintsRawAndCorrectedInEveryFormat();
    void measureAppliesTheSensorsOwnProfile();
    void calibrateComputesTheMatrixAndWritesTheProfile();
    void profileNewAndShow();
    void calibrateRefusesAMatrixThatMissesAColour();
    void outsideTextIsPrintedEscaped();

private:
    std::unique_ptr<CrxxxEmulator> sensor;
    std::unique_ptr<QTemporaryDir> dir;
    QString sensorPort() const { return QString::fromStdString(sensor->portName()); }
    QString path(const char* name) const { return dir->filePath(QLatin1String(name)); }
    // calibrate against the good reference into cr250.alg, confirming each
    // patch while the sensor reads it as readingOf(patch) says.
    CliRunner::Result calibrate(const std::function<Matrix(int)>& readingOf);
};

CliRunner::Result TestCliCommands::calibrate(const std::function<Matrix(int)>& readingOf)
{
    CliRunner cli({"calibrate", "--sensor", "13", "--port", sensorPort(), "--reference", path("REF.csv"),
                   "--out", path("cr250.alg")});
    for (int p = 0; p < 4; ++p) {
        // A prompt that never comes ends the run; the caller sees it in the result.
        if (!cli.waitForErr(QByteArray("Show the ") + kPatches[p] + " patch"))
            break;
        const Matrix reading = readingOf(p);
        auto config = sensor->config();
        config.x = reading(0, 0);
        config.y = reading(1, 0);
        config.z = reading(2, 0);
        sensor->setConfig(config);
        cli.process().write("\n");
    }
    return cli.finish(30000);
}

void TestCliCommands::init()
{
    sensor = std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr250());
    QVERIFY(sensor->start());
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    QVERIFY(writeFile(path("REF.csv"), referenceCsv()));
}

void TestCliCommands::cleanup()
{
    sensor.reset();
    dir.reset();
}

void TestCliCommands::helpDescribesEveryCommandAndTheExitCodes()
{
    const auto top = CliRunner::run({QStringLiteral("--help")});
    QCOMPARE(top.exitCode, 0);
    for (const char* command : {"ports", "sensors", "measure", "serve", "calibrate", "profile", "simulate"}) {
        QVERIFY2(top.out.contains(QByteArray("  ") + command), command);
        const auto own = CliRunner::run({QLatin1String(command), QStringLiteral("--help")});
        QCOMPARE(own.exitCode, 0);
        QVERIFY2(own.out.contains(QByteArray("Usage: lumaserve-cli ") + command), own.out.constData());
        QVERIFY2(own.out.contains("2 instrument or port failure"), own.out.constData());
    }
    const auto measure = CliRunner::run({QStringLiteral("measure"), QStringLiteral("--help")});
    for (const char* option : {"--sensor", "--port", "--profile", "--count", "--interval", "--format"})
        QVERIFY2(measure.out.contains(option), option);
    const auto simulate = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--help")});
    for (const char* option : {"--sensor", "--profile-dir", "--standin-dir", "--verbose"})
        QVERIFY2(simulate.out.contains(option), option);
}

void TestCliCommands::refusedRunsSayWhyAndWriteNothing_data()
{
    // Arguments name the emulated sensor's port "@port" and a file in the
    // test's directory "@name"; @REF.csv there is a good reference.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("input"); // written to @input when not empty
    QTest::addColumn<int>("special"); // a NonRegularFile::Kind made at @special, or -1
    QTest::addColumn<QString>("silentTo"); // the command the sensor leaves unanswered
    QTest::addColumn<int>("printed"); // lines on standard output, or -1 for any
    QTest::addColumn<bool>("untouched"); // refused before the instrument heard anything
    const auto usage = [](const char* name, const QStringList& arguments, const QString& message) {
        QTest::newRow(name) << arguments << 1 << message << QByteArray() << -1 << QString() << -1 << false;
    };
    usage("nothing", {}, "no command given");
    usage("unknown command", {"frobnicate"}, "unknown command 'frobnicate'");
    usage("unknown option", {"measure", "--colour"}, "Unknown option 'colour'");
    usage("no sensor", {"measure", "--port", "pts/0"}, "--sensor is required");
    usage("unknown type", {"measure", "--sensor", "Spyder 9", "--port", "x"}, "unknown sensor type 'Spyder 9'");
    usage("no port", {"measure", "--sensor", "13"}, "needs --port");
    usage("count", {"measure", "--sensor", "13", "--port", "x", "--count", "0"}, "--count");
    usage("interval", {"measure", "--sensor", "13", "--port", "x", "--interval", "1,5"}, "--interval");
    usage("format", {"measure", "--sensor", "13", "--port", "x", "--format", "xml"}, "unknown format 'xml'");
    usage("ports argument", {"ports", "ttyS0"}, "unexpected argument 'ttyS0'");
    usage("serve no monitor", {"serve", "--sensor", "13", "--port", "x"}, "--monitor is required");
    usage("calibrate no out", {"calibrate", "--sensor", "13", "--port", "x", "--reference", "r.csv"},
          "--out is required");
    usage("profile no action", {"profile"}, "say show or new");
    const QStringList profileNew{"profile", "new", "--type", "13", "--serial", "1", "--out", "x.alg", "--matrix"};
    usage("profile bad matrix", profileNew + QStringList{"1,0,0;0,1,0"}, "expected 3 rows");
    usage("profile matrix with decimal commas", profileNew + QStringList{"1,5,0,0;0,1,0;0,0,1"},
          "row 1: expected 3 values");
    // No operator to confirm the patches.
    usage("calibrate unattended",
          {"calibrate", "--sensor", "13", "--port", "@port", "--reference", "@REF.csv", "--out", "@out.alg"},
          QString());

    const QStringList measure{"measure", "--sensor", "13", "--port", "@port", "--reply-timeout", "0.5"};
    const QStringList calibrate{"calibrate", "--sensor", "13", "--port", "@port", "--out", "@out.alg", "--yes",
                                "--reply-timeout", "0.5", "--reference"};
    QTest::newRow("missing port") << QStringList{"measure", "--sensor", "13", "--port", "ttyNONE7"} << 2
                                  << "/dev/ttyNONE7" << QByteArray() << -1 << QString() << -1 << false;
    // Silent when asked who it is: the driver's box text, titled with its name.
    QTest::newRow("silent when opened") << measure << 2 << "CR100/CR250: CRXXX Hardware Information Read Error"
                                        << QByteArray() << -1 << "RC ID" << -1 << false;
    // The header only: no row of numbers.
    QTest::newRow("silent when measuring") << measure + QStringList{"--format", "csv"} << 2 << "gave no reading"
                                           << QByteArray() << -1 << "M" << 1 << false;
    // Taken as they come while the display shows one colour: every patch reads
    // the same, which no matrix can map onto the references.
    QTest::newRow("calibrate on one colour") << calibrate + QStringList{"@REF.csv"} << 2 << "linearly dependent"
                                             << QByteArray() << -1 << QString() << -1 << false;
    QTest::newRow("calibrate on a silent sensor") << calibrate + QStringList{"@REF.csv"} << 2 << QString()
                                                  << QByteArray() << -1 << "M" << -1 << false;
    // serve refusing to start; no display is plugged in at @display.
    const QStringList serve{"serve", "--sensor", "13", "--port", "@port", "--monitor", "@display"};
    const auto serveRefused = [](const char* name, const QStringList& arguments, int exitCode, const char* message,
                                 bool untouched) {
        QTest::newRow(name) << arguments << exitCode << message << QByteArray() << -1 << QString() << -1 << untouched;
    };
    serveRefused("serve without its display", serve, 2, "Monitor port", false);
    serveRefused("serve without its sensor", {"serve", "--sensor", "13", "--port", "@none", "--monitor", "@display"},
                 2, "Sensor port", false);
    serveRefused("serve with an unwritable log", serve + QStringList{"--log", "@no/such/dir/log.csv"}, 3, "log file",
                 true);
    // Telling a link from its device is the controller's, whose tests try both.
    serveRefused("serve with one port for both", {"serve", "--sensor", "13", "--port", "@port", "--monitor", "@port"},
                 1, "port each", true);

    const auto file = [](const QString& name, const QStringList& arguments, const QString& message,
                         const QByteArray& input, int printed = -1) {
        QTest::newRow(qPrintable(name)) << arguments << 3 << message << input << -1 << QString() << printed << false;
    };
    const QStringList measureWithInput = measure + QStringList{"--profile", "@input"};
    const QStringList show{"profile", "show", "@input"};
    // Another instrument's profile, and one of another type with this serial.
    const Matrix identity = Matrix::IdentityMatrix(3);
    file("another sensor's profile", measureWithInput, "refused", profileBytes(13, "25000001", identity), 0);
    file("another type's profile", measureWithInput, "refused", profileBytes(7, "25067890", identity), 0);
    // Which damage the reader refuses is its own tests' business; each command
    // that reads a profile must pass the refusal on.
    Matrix withNaN = identity;
    withNaN(1, 1) = std::numeric_limits<double>::quiet_NaN();
    const QByteArray damaged = profileBytes(13, "25067890", withNaN);
    file("show damaged", show, "damaged", damaged, 0);
    file("measure damaged", measureWithInput, "damaged", damaged, 0);
    // Refused before the display is looked for, so its absence does not matter.
    file("serve damaged", serve + QStringList{"--profile", "@input"}, "damaged", damaged);

    // The good reference with one part replaced, refused with where it is.
    const auto reference = [&calibrate](const char* name, const char* from, const QByteArray& to,
                                        const QString& where) {
        QTest::newRow(name) << calibrate + QStringList{"@input"} << 3 << where << referenceCsv().replace(from, to)
                            << -1 << QString() << -1 << true;
    };
    reference("not a number", "green,35.76,71.52,11.92", "green,35.76,71;52,11.92", "line 3, column 3");
    reference("missing value", "blue,18.05,7.22,95.05", "blue,18.05,7.22", "line 4, column 4");
    reference("extra value", "white,95.05,100,108.9", "white,95.05,100,108.9,1", "line 5, column 5");
    reference("unknown colour", "red,", "# comment\nrot,", "line 3, column 1");
    reference("colour twice", "blue,", "red,", "line 4, column 1");
    reference("colour missing", "white,95.05,100,108.9\n", "", "line 5, column 1");
    reference("infinite", "21.26", "inf", "line 2, column 3");
    // Read up to the NUL, this would be 108: a whole file of wrong values.
    reference("NUL inside the last number", "108.9", QByteArray("108.\0" "9", 6), "line 5, column 4");

    // Inputs that would never end or hold more than any good file (a whole
    // profile followed by megabytes the reader skips). Which kinds of file are
    // refused is the file reader's own tests' business; each reader here must
    // pass the refusal on.
    const auto input = [&](const char* name, const QStringList& arguments, int special, const QByteArray& content,
                           const QString& reason) {
        QTest::newRow(name) << arguments << 3 << reason << content << special << QString() << 0 << false;
    };
    const QByteArray padding = QByteArray("# padding\n").repeated(200000);
    input("reference FIFO without a writer", calibrate + QStringList{"@special"}, NonRegularFile::Fifo, {},
          "a FIFO");
    input("profile show FIFO", {"profile", "show", "@special"}, NonRegularFile::Fifo, {}, "a FIFO");
    input("profile show oversized", show, -1, profileBytes(13, "25067890", identity) + padding, "larger");
    input("measure with a FIFO profile", measure + QStringList{"--profile", "@special"}, NonRegularFile::Fifo, {},
          "a FIFO");

    // Outputs refused before the operator measures anything.
    const auto output = [](const char* name, const QStringList& arguments, NonRegularFile::Kind kind,
                           const QString& named) {
        QTest::newRow(name) << arguments << 3 << named + ", not a regular file" << QByteArray() << int(kind)
                            << QString() << -1 << true;
    };
    const QStringList profileNewOut{"profile", "new", "--type", "13", "--serial", "1", "--matrix",
                                    "1,0,0;0,1,0;0,0,1", "--out", "@special"};
    output("profile new onto a FIFO", profileNewOut, NonRegularFile::Fifo, "a FIFO");
    output("calibrate onto a FIFO",
           {"calibrate", "--sensor", "13", "--port", "@port", "--reference", "@REF.csv", "--out", "@special", "--yes"},
           NonRegularFile::Fifo, "a FIFO");
}

void TestCliCommands::refusedRunsSayWhyAndWriteNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QByteArray, input);
    QFETCH(int, special);
    QFETCH(QString, silentTo);
    QFETCH(int, printed);
    QFETCH(bool, untouched);
    std::unique_ptr<NonRegularFile> made;
    if (special >= 0) {
        made = std::make_unique<NonRegularFile>(NonRegularFile::Kind(special), path("special"));
        QVERIFY(made->isMade());
    }
    if (!input.isEmpty())
        QVERIFY(writeFile(path("input"), input));
    if (!silentTo.isEmpty())
        sensor->setFault(silentTo.toStdString(), CrxxxEmulator::Fault::Silence);
    for (QString& argument : arguments) {
        if (argument.startsWith(QLatin1Char('@')))
            argument = argument == QLatin1String("@port") ? sensorPort() : dir->filePath(argument.mid(1));
    }

    const auto result = CliRunner::run(arguments, 10000);
    QVERIFY2(result.finished, "still running after 10 s");
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(text(result.err).contains(message), result.err.constData());
    QVERIFY(!QFile::exists(path("out.alg")));
    if (special >= 0)
        QCOMPARE(NonRegularFile::kindAt(path("special")), NonRegularFile::Kind(special));
    if (printed >= 0)
        QCOMPARE(text(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), printed);
    if (untouched)
        QVERIFY(sensor->commands().empty());
}

void TestCliCommands::portsListsWhatTheWindowOffers()
{
    const auto result = CliRunner::run({QStringLiteral("ports")});
    QCOMPARE(result.exitCode, 0);
    QStringList listed;
    for (const QString& line : text(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        listed << line.section(QLatin1Char('\t'), 0, 0);
    QCOMPARE(listed, PortLister::availablePorts());
    // Emulated terminals are never offered unless named.
    QVERIFY(!text(result.out).contains(sensorPort()));
}

void TestCliCommands::sensorsTellsWhatIsSupportedAndWhereLibrariesAre()
{
    const auto result = CliRunner::run({QStringLiteral("sensors")});
    QCOMPARE(result.exitCode, 0);
    const QStringList lines = text(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 13);
    QStringList supported;
    for (const QString& line : lines) {
        if (line.contains(QLatin1String(" supported")) && !line.contains(QLatin1String("not supported")))
            supported << line.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    }
    QCOMPARE(supported, (QStringList{"4", "5", "7", "13"}));
    // The CA-410 library is built beside the program.
    const QString ca410 = lines.at(6);
    QVERIFY2(ca410.contains(QLatin1String("CA410")), qPrintable(ca410));
    const QString library = ca410.section(QLatin1String("library "), 1).trimmed();
    QVERIFY2(library.endsWith(QLatin1String("sensorlib/libmlink_ca410.so")) && QFile::exists(library),
             qPrintable(ca410));
}

void TestCliCommands::measurePrintsRawAndCorrectedInEveryFormat()
{
    // A German locale must not turn the decimal points into commas.
    const auto csv = CliRunner::run({"measure", "--sensor", "CR100/CR250", "--port", sensorPort(),
                                     "--count", "3", "--format", "csv"},
                                    30000, {QStringLiteral("LC_ALL=de_DE.UTF-8"), QStringLiteral("LANG=de_DE.UTF-8")});
    QCOMPARE(csv.exitCode, 0);
    const QStringList rows = text(csv.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.at(0), QStringLiteral("index,raw_X,raw_Y,raw_Z,X,Y,Z,x,y,u',v',R,G,B,CCT"));
    const double sum = 41.24 + 21.26 + 1.93;
    const double denominator = 41.24 + 15.0 * 21.26 + 3.0 * 1.93;
    for (int i = 1; i <= 3; ++i) {
        const QStringList f = rows.at(i).split(QLatin1Char(','));
        QCOMPARE(f.size(), 15);
        QCOMPARE(f.at(0).toInt(), i);
        // No profile: corrected equals raw.
        QCOMPARE(f.at(1).toDouble(), 41.24);
        QCOMPARE(f.at(4).toDouble(), 41.24);
        QCOMPARE(f.at(5).toDouble(), 21.26);
        QCOMPARE(f.at(6).toDouble(), 1.93);
        QVERIFY(std::fabs(f.at(7).toDouble() - 41.24 / sum) < 1e-6);
        QVERIFY(std::fabs(f.at(8).toDouble() - 21.26 / sum) < 1e-6);
        QVERIFY(std::fabs(f.at(9).toDouble() - 4.0 * 41.24 / denominator) < 1e-6);
        QVERIFY(std::fabs(f.at(10).toDouble() - 9.0 * 21.26 / denominator) < 1e-6);
    }
    QCOMPARE(sensor->commands().size() >= 6, true);

    const auto json = CliRunner::run({"measure", "--sensor", "13", "--port", "/dev/" + sensorPort(),
                                      "--format", "json"});
    QCOMPARE(json.exitCode, 0);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.out, &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.array().size(), 1);
    const QJsonObject reading = document.array().at(0).toObject();
    QCOMPARE(reading.value("raw").toObject().value("Z").toDouble(), 1.93);
    const QJsonObject corrected = reading.value("corrected").toObject();
    QCOMPARE(corrected.keys().size(), 11);
    QVERIFY(corrected.value("CCT").toDouble() > 0.0);

    const auto plain = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort()});
    QCOMPARE(plain.exitCode, 0);
    QVERIFY2(plain.out.contains("raw        X 41.2400  Y 21.2600  Z 1.9300"), plain.out.constData());
}

void TestCliCommands::measureAppliesTheSensorsOwnProfile()
{
    const QString own = path("own.alg");
    const double halfZ[] = {2, 0, 0, 0, 1, 0, 0, 0, 0.5};
    QVERIFY(AlignmentProfile(13, QStringLiteral("25067890"), Matrix(halfZ, 3, 3)).write(own));
    const auto applied = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                         "--profile", own, "--format", "csv"});
    QCOMPARE(applied.exitCode, 0);
    const QStringList f = text(applied.out).split(QLatin1Char('\n')).at(1).split(QLatin1Char(','));
    QCOMPARE(f.at(1).toDouble(), 41.24);
    QCOMPARE(f.at(4).toDouble(), 82.48);
    QCOMPARE(f.at(6).toDouble(), 0.965);
}

void TestCliCommands::calibrateComputesTheMatrixAndWritesTheProfile()
{
    // The sensor reads each patch as D^-1 times the reference: the matrix found
    // must be D.
    const double d[] = {1.10, 0.02, 0.00, 0.01, 0.95, 0.03, 0.00, 0.02, 1.05};
    const Matrix distortion(d, 3, 3);
    const Matrix inverse = distortion.GetInverse();
    const auto result = calibrate([&inverse](int p) { return inverse * Matrix(kReference[p], 3, 1); });
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains("Residual"), result.out.constData());

    AlignmentProfile profile;
    QCOMPARE(profile.read(path("cr250.alg")), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), 13);
    QCOMPARE(profile.serialNumber(), QStringLiteral("25067890"));
    // The emulator reports four decimals.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            QVERIFY2(std::fabs(profile.matrix()(r, c) - distortion(r, c)) < 1e-3,
                     qPrintable(QString::number(profile.matrix()(r, c))));
    }
    // Each colour lands on its reference, to the emulator's rounding.
    const QStringList lines = text(result.out).split(QLatin1Char('\n'));
    const int residualAt = lines.indexOf(QRegularExpression(QStringLiteral("^Residual.*")));
    QVERIFY(residualAt > 0);
    for (int p = 0; p < 4; ++p) {
        const QStringList parts = lines.at(residualAt + 1 + p).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(parts.at(0), QLatin1String(kPatches[p]) + QLatin1Char(':'));
        for (int i : {2, 4, 6})
            QVERIFY2(std::fabs(parts.at(i).toDouble()) < 0.01, qPrintable(lines.at(residualAt + 1 + p)));
    }
}

void TestCliCommands::profileNewAndShow()
{
    const QString out = path("made.alg");
    const auto made = CliRunner::run({"profile", "new", "--type", "CA410", "--serial", "A-1",
                                      "--matrix", "1.5,0,0;0,1,0.25;0,0,1e-3", "--out", out},
                                     30000, {QStringLiteral("LC_ALL=de_DE.UTF-8")});
    QCOMPARE(made.exitCode, 0);
    AlignmentProfile profile;
    QCOMPARE(profile.read(out), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), 7);
    QCOMPARE(profile.serialNumber(), QStringLiteral("A-1"));
    QCOMPARE(profile.matrix()(0, 0), 1.5);
    QCOMPARE(profile.matrix()(1, 2), 0.25);
    QCOMPARE(profile.matrix()(2, 2), 0.001);

    const auto shown = CliRunner::run({"profile", "show", out});
    QCOMPARE(shown.exitCode, 0);
    QVERIFY2(shown.out.contains("Type: 7 CA410"), shown.out.constData());
    QVERIFY(shown.out.contains("Serial: A-1"));
    QVERIFY(shown.out.contains("1.500000"));
    QVERIFY(shown.out.contains("0.250000"));

    // The old profile stays whole when a new one cannot be written over it.
    QFile::setPermissions(dir->path(), QFile::ReadOwner | QFile::ExeOwner);
    const auto denied = CliRunner::run({"profile", "new", "--type", "13", "--serial", "2",
                                        "--matrix", "1,0,0;0,1,0;0,0,1", "--out", out});
    QFile::setPermissions(dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) {
        QCOMPARE(denied.exitCode, 3);
        QCOMPARE(profile.read(out), AlignmentProfile::ReadResult::Ok);
        QCOMPARE(profile.serialNumber(), QStringLiteral("A-1"));
    }
}

void TestCliCommands::calibrateRefusesAMatrixThatMissesAColour()
{
    // The sensor reads the primaries as the reference does, but its white holds
    // next to no blue: the matrix must blow the blue up to keep white exact.
    const auto result = calibrate([](int p) {
        const auto primary = [](int q) { return Matrix(kReference[q], 3, 1); };
        return p < 3 ? primary(p) : primary(0) + primary(1) + primary(2) * 0.001;
    });
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains("the blue reading"), result.err.constData());
    QVERIFY2(result.err.contains("Nothing written"), result.err.constData());
    QVERIFY(!QFile::exists(path("cr250.alg")));
}

void TestCliCommands::outsideTextIsPrintedEscaped()
{
    // A serial number crafted to clear the screen and print a line of its own.
    const QString crafted = QStringLiteral("A\x1b[2J\nSerial: FAKE\r\u202e");
    const QString file = path("crafted.alg");
    QVERIFY(writeFile(file, profileBytes(13, crafted, Matrix::IdentityMatrix(3))));

    const auto shown = CliRunner::run({"profile", "show", file});
    QCOMPARE(shown.exitCode, 0);
    const QString out = QString::fromUtf8(shown.out);
    QVERIFY2(out.contains(QStringLiteral("Serial: A\\x1b[2J\\nSerial: FAKE\\r\\u202e\n")), shown.out.constData());

    // Refused as another instrument's profile: the message escapes it too.
    const auto refused = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(), "--profile", file});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY2(refused.err.contains("A\\x1b[2J\\nSerial: FAKE"), refused.err.constData());
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
