// The command-line program's subcommands, run as the real program against
// emulated instruments on pseudo-terminals.
#include "alignmentprofile.h"
#include "ca410emulator.h"
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
    void badArgumentsAreUsageErrors_data();
    void badArgumentsAreUsageErrors();
    void portsListsWhatTheWindowOffers();
    void sensorsTellsWhatIsSupportedAndWhereLibrariesAre();
    void measurePrintsRawAndCorrectedInEveryFormat();
    void measureAppliesOnlyTheSensorsOwnProfile();
    void missingPortOrSilentInstrumentIsAnInstrumentFailure();
    void libraryInstrumentRefusingIsAnInstrumentFailure();
    void calibrateComputesTheMatrixAndWritesTheProfile();
    void calibrateRefusesReadingsThatCannotBeRight();
    void malformedReferenceIsRefusedWithLineAndColumn_data();
    void malformedReferenceIsRefusedWithLineAndColumn();
    void profileNewAndShow();
    void damagedProfileNumbersAreRefused_data();
    void damagedProfileNumbersAreRefused();
    void calibrateRefusesAMatrixThatMissesAColour();
    void outsideTextIsPrintedEscaped();
    void outputThatIsNoRegularFileIsRefused_data();
    void outputThatIsNoRegularFileIsRefused();
    void outputThroughALinkWritesItsFileAndKeepsTheLink();
    void inputThatIsNoRegularFileIsRefused_data();
    void inputThatIsNoRegularFileIsRefused();

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
    const QString reference = path("REF.csv");
    if (!writeFile(reference, referenceCsv()))
        return {};
    CliRunner cli({"calibrate", "--sensor", "13", "--port", sensorPort(), "--reference", reference,
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

void TestCliCommands::badArgumentsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing") << QStringList() << "no command given";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command 'frobnicate'";
    QTest::newRow("unknown option") << QStringList{"measure", "--colour"} << "Unknown option 'colour'";
    QTest::newRow("no sensor") << QStringList{"measure", "--port", "pts/0"} << "--sensor is required";
    QTest::newRow("unknown type") << QStringList{"measure", "--sensor", "Spyder 9", "--port", "x"}
                                  << "unknown sensor type 'Spyder 9'";
    QTest::newRow("type out of range") << QStringList{"measure", "--sensor", "14", "--port", "x"}
                                       << "unknown sensor type '14'";
    QTest::newRow("no port") << QStringList{"measure", "--sensor", "13"} << "needs --port";
    QTest::newRow("count") << QStringList{"measure", "--sensor", "13", "--port", "x", "--count", "0"}
                           << "--count";
    QTest::newRow("interval") << QStringList{"measure", "--sensor", "13", "--port", "x", "--interval", "1,5"}
                              << "--interval";
    QTest::newRow("format") << QStringList{"measure", "--sensor", "13", "--port", "x", "--format", "xml"}
                            << "unknown format 'xml'";
    QTest::newRow("ports argument") << QStringList{"ports", "ttyS0"} << "unexpected argument 'ttyS0'";
    QTest::newRow("serve no monitor") << QStringList{"serve", "--sensor", "13", "--port", "x"}
                                      << "--monitor is required";
    QTest::newRow("calibrate no out") << QStringList{"calibrate", "--sensor", "13", "--port", "x",
                                                     "--reference", "r.csv"}
                                      << "--out is required";
    QTest::newRow("profile no action") << QStringList{"profile"} << "say show or new";
    QTest::newRow("profile bad matrix")
        << QStringList{"profile", "new", "--type", "13", "--serial", "1", "--matrix", "1,0,0;0,1,0", "--out", "x.alg"}
        << "expected 3 rows";
    QTest::newRow("profile matrix with decimal commas")
        << QStringList{"profile", "new", "--type", "13", "--serial", "1", "--matrix", "1,5,0,0;0,1,0;0,0,1", "--out", "x.alg"}
        << "row 1: expected 3 values";
}

void TestCliCommands::badArgumentsAreUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const auto result = CliRunner::run(arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(text(result.err).contains(message), result.err.constData());
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

void TestCliCommands::measureAppliesOnlyTheSensorsOwnProfile()
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

    // Another instrument's profile, and one of another type with this serial.
    for (const auto& other : {AlignmentProfile(13, QStringLiteral("25000001"), Matrix::IdentityMatrix(3)),
                              AlignmentProfile(7, QStringLiteral("25067890"), Matrix::IdentityMatrix(3))}) {
        const QString file = path("other.alg");
        QVERIFY(other.write(file));
        const auto refused = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                             "--profile", file});
        QCOMPARE(refused.exitCode, 3);
        QVERIFY2(refused.err.contains("refused"), refused.err.constData());
        QVERIFY(refused.out.isEmpty());
    }
    const auto missing = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                         "--profile", path("none.alg")});
    QCOMPARE(missing.exitCode, 3);
}

void TestCliCommands::missingPortOrSilentInstrumentIsAnInstrumentFailure()
{
    const auto missing = CliRunner::run({"measure", "--sensor", "13", "--port", "ttyNONE7"});
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.err.contains("/dev/ttyNONE7"), missing.err.constData());

    // Silent when asked who it is: the driver's box text, titled with its name.
    sensor->setFault("RC ID", CrxxxEmulator::Fault::Silence);
    const auto silentOpen = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                            "--reply-timeout", "0.5"});
    QCOMPARE(silentOpen.exitCode, 2);
    QVERIFY2(silentOpen.err.contains("CR100/CR250: CRXXX Hardware Information Read Error"),
             silentOpen.err.constData());

    // Silent when asked to measure.
    sensor->clearFaults();
    sensor->setFault("M", CrxxxEmulator::Fault::Silence);
    const auto silentReading = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                               "--reply-timeout", "0.5", "--format", "csv"});
    QCOMPARE(silentReading.exitCode, 2);
    QVERIFY2(silentReading.err.contains("gave no reading"), silentReading.err.constData());
    QCOMPARE(text(silentReading.out).trimmed().count(QLatin1Char('\n')), 0);
}

void TestCliCommands::libraryInstrumentRefusingIsAnInstrumentFailure()
{
    Ca410Emulator ca410;
    QVERIFY(ca410.start());
    const QString port = QString::fromStdString(ca410.devicePath());
    ca410.addFault(Ca410Emulator::Fault::Error, "MES", 24, -1);
    const auto refused = CliRunner::run({"measure", "--sensor", "CA410", "--port", port, "--format", "csv"});
    QCOMPARE(refused.exitCode, 2);
    QVERIFY2(refused.err.contains("gave no reading"), refused.err.constData());
    // The header only: no row of numbers.
    QCOMPARE(text(refused.out).trimmed().count(QLatin1Char('\n')), 0);

    // Black, read without a fault, is printed like any reading.
    ca410.clearFaults();
    ca410.setMeasurement(0.0, 0.0, 0.0);
    const auto black = CliRunner::run({"measure", "--sensor", "CA410", "--port", port, "--format", "csv"});
    QCOMPARE(black.exitCode, 0);
    const QStringList rows = text(black.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 2);
    const QStringList f = rows.at(1).split(QLatin1Char(','));
    for (int i = 1; i <= 6; ++i)
        QCOMPARE(f.at(i).toDouble(), 0.0);
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

void TestCliCommands::calibrateRefusesReadingsThatCannotBeRight()
{
    const QString reference = path("REF.csv");
    QVERIFY(writeFile(reference, referenceCsv()));
    const QString out = path("cr250.alg");

    // Taken as they come while the display shows one colour: every patch reads
    // the same, which no matrix can map onto the references.
    const auto same = CliRunner::run({"calibrate", "--sensor", "13", "--port", sensorPort(),
                                      "--reference", reference, "--out", out, "--yes"});
    QCOMPARE(same.exitCode, 2);
    QVERIFY2(same.err.contains("linearly dependent"), same.err.constData());
    QVERIFY(!QFile::exists(out));

    // No operator to confirm the patches.
    const auto unattended = CliRunner::run({"calibrate", "--sensor", "13", "--port", sensorPort(),
                                            "--reference", reference, "--out", out});
    QCOMPARE(unattended.exitCode, 1);
    QVERIFY(!QFile::exists(out));

    // Silent instrument while measuring.
    sensor->setFault("M", CrxxxEmulator::Fault::Silence);
    const auto silent = CliRunner::run({"calibrate", "--sensor", "13", "--port", sensorPort(),
                                        "--reference", reference, "--out", out, "--yes",
                                        "--reply-timeout", "0.5"});
    QCOMPARE(silent.exitCode, 2);
    QVERIFY(!QFile::exists(out));
}

void TestCliCommands::malformedReferenceIsRefusedWithLineAndColumn_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("where");
    // The good reference with one part replaced.
    const auto edited = [](const char* from, const QByteArray& to) {
        return referenceCsv().replace(from, to);
    };
    QTest::newRow("not a number")
        << edited("green,35.76,71.52,11.92", "green,35.76,71;52,11.92") << "line 3, column 3";
    QTest::newRow("missing value")
        << edited("blue,18.05,7.22,95.05", "blue,18.05,7.22") << "line 4, column 4";
    QTest::newRow("extra value")
        << edited("white,95.05,100,108.9", "white,95.05,100,108.9,1") << "line 5, column 5";
    QTest::newRow("unknown colour") << edited("red,", "# comment\nrot,") << "line 3, column 1";
    QTest::newRow("colour twice") << edited("blue,", "red,") << "line 4, column 1";
    QTest::newRow("colour missing") << edited("white,95.05,100,108.9\n", "") << "line 5, column 1";
    QTest::newRow("infinite") << edited("21.26", "inf") << "line 2, column 3";
    // Read up to the NUL, these would be 71.5 and 108.
    QTest::newRow("NUL inside a number")
        << edited("71.52", QByteArray("71.5\0" "2", 6)) << "line 3, column 3";
    QTest::newRow("NUL inside the last number")
        << edited("108.9", QByteArray("108.\0" "9", 6)) << "line 5, column 4";
}

void TestCliCommands::malformedReferenceIsRefusedWithLineAndColumn()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, where);
    const QString reference = path("REF.csv");
    QVERIFY(writeFile(reference, content));
    const QString out = path("cr250.alg");
    const auto result = CliRunner::run({"calibrate", "--sensor", "13", "--port", sensorPort(),
                                        "--reference", reference, "--out", out, "--yes"});
    QCOMPARE(result.exitCode, 3);
    QVERIFY2(text(result.err).contains(where), result.err.constData());
    QVERIFY(!QFile::exists(out));
    // Refused before the instrument was touched.
    QVERIFY(sensor->commands().empty());
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

    // Unreadable, damaged and unwritable files.
    QCOMPARE(CliRunner::run({"profile", "show", path("none.alg")}).exitCode, 3);
    QVERIFY(writeFile(path("junk.alg"), "not a profile at all"));
    QCOMPARE(CliRunner::run({"profile", "show", path("junk.alg")}).exitCode, 3);
    const auto unwritable = CliRunner::run({"profile", "new", "--type", "13", "--serial", "1",
                                            "--matrix", "1,0,0;0,1,0;0,0,1", "--out",
                                            path("no/such/dir/x.alg")});
    QCOMPARE(unwritable.exitCode, 3);
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

void TestCliCommands::damagedProfileNumbersAreRefused_data()
{
    QTest::addColumn<double>("value");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity();
    QTest::newRow("1e308") << 1e308;
}

void TestCliCommands::damagedProfileNumbersAreRefused()
{
    QFETCH(double, value);
    Matrix matrix = Matrix::IdentityMatrix(3);
    matrix(1, 1) = value;
    const QString file = path("damaged.alg");
    QVERIFY(writeFile(file, profileBytes(13, QStringLiteral("25067890"), matrix)));

    const auto shown = CliRunner::run({"profile", "show", file});
    QCOMPARE(shown.exitCode, 3);
    QVERIFY2(shown.err.contains("damaged"), shown.err.constData());
    QVERIFY(shown.out.isEmpty());

    const auto measured = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(),
                                          "--profile", file});
    QCOMPARE(measured.exitCode, 3);
    QVERIFY(measured.out.isEmpty());

    // Refused before the display is looked for, so its absence does not matter.
    const auto served = CliRunner::run({"serve", "--sensor", "13", "--port", sensorPort(), "--monitor",
                                        path("display"), "--profile", file});
    QCOMPARE(served.exitCode, 3);
    QVERIFY2(served.err.contains("damaged"), served.err.constData());
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
    QVERIFY(!shown.out.contains('\x1b'));
    QVERIFY(!shown.out.contains('\r'));
    // One line of it, not two.
    const QStringList lines = out.split(QLatin1Char('\n'));
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^Serial:"))).size(), 1);

    // Refused as another instrument's profile: the message escapes it too.
    const auto refused = CliRunner::run({"measure", "--sensor", "13", "--port", sensorPort(), "--profile", file});
    QCOMPARE(refused.exitCode, 3);
    QVERIFY2(refused.err.contains("A\\x1b[2J\\nSerial: FAKE"), refused.err.constData());
    QVERIFY(!refused.err.contains('\x1b'));
}

void TestCliCommands::outputThatIsNoRegularFileIsRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<NonRegularFile::Kind>("kind");
    QTest::addColumn<QString>("named");
    QTest::newRow("profile new onto a FIFO") << "profile" << NonRegularFile::Fifo << "a FIFO";
    QTest::newRow("profile new onto a socket") << "profile" << NonRegularFile::Socket << "a socket";
    QTest::newRow("profile new onto a directory") << "profile" << NonRegularFile::Directory << "a directory";
    QTest::newRow("calibrate onto a FIFO") << "calibrate" << NonRegularFile::Fifo << "a FIFO";
}

void TestCliCommands::outputThatIsNoRegularFileIsRefused()
{
    QFETCH(QString, command);
    QFETCH(NonRegularFile::Kind, kind);
    QFETCH(QString, named);
    const QString out = path("out.alg");
    const NonRegularFile special(kind, out);
    QVERIFY(special.isMade());
    const QString reference = path("REF.csv");
    QVERIFY(writeFile(reference, referenceCsv()));
    const QStringList arguments =
        command == QLatin1String("profile")
            ? QStringList{"profile", "new", "--type", "13", "--serial", "1", "--matrix", "1,0,0;0,1,0;0,0,1",
                          "--out", out}
            : QStringList{"calibrate", "--sensor", "13", "--port", sensorPort(), "--reference", reference,
                          "--out", out, "--yes"};
    const auto result = CliRunner::run(arguments, 10000);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 3);
    QVERIFY2(result.err.contains(named.toUtf8() + ", not a regular file"), result.err.constData());
    QCOMPARE(NonRegularFile::kindAt(out), kind);
    // Refused before the operator measures anything.
    QVERIFY(sensor->commands().empty());
}

void TestCliCommands::outputThroughALinkWritesItsFileAndKeepsTheLink()
{
    const QString target = path("target.alg");
    QVERIFY(writeFile(target, "to be replaced"));
    const QString link = path("link.alg");
    QVERIFY(QFile::link(target, link));
    const auto made = CliRunner::run({"profile", "new", "--type", "13", "--serial", "L-1", "--matrix",
                                      "1,0,0;0,2,0;0,0,1", "--out", link});
    QCOMPARE(made.exitCode, 0);
    QCOMPARE(NonRegularFile::kindAt(link), NonRegularFile::Link);
    QCOMPARE(NonRegularFile::kindAt(target), NonRegularFile::Regular);
    AlignmentProfile profile;
    QCOMPARE(profile.read(target), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.serialNumber(), QStringLiteral("L-1"));
    QCOMPARE(profile.matrix()(1, 1), 2.0);
}

void TestCliCommands::inputThatIsNoRegularFileIsRefused_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<NonRegularFile::Kind>("kind");
    QTest::addColumn<QString>("fileName"); // empty: made in the test's directory
    QTest::addColumn<QString>("reason");

    QTest::newRow("reference FIFO without a writer") << "calibrate" << NonRegularFile::Fifo << QString() << "a FIFO";
    QTest::newRow("reference device without end") << "calibrate" << NonRegularFile::CharDevice << "/dev/zero"
                                                   << "a character device";
    QTest::newRow("reference directory") << "calibrate" << NonRegularFile::Directory << QString() << "a directory";
    QTest::newRow("reference oversized") << "calibrate" << NonRegularFile::Regular << QString() << "larger";
    QTest::newRow("profile show FIFO") << "show" << NonRegularFile::Fifo << QString() << "a FIFO";
    QTest::newRow("profile show oversized") << "show" << NonRegularFile::Regular << QString() << "larger";
    QTest::newRow("measure with a FIFO profile") << "measure" << NonRegularFile::Fifo << QString() << "a FIFO";
}

void TestCliCommands::inputThatIsNoRegularFileIsRefused()
{
    QFETCH(QString, command);
    QFETCH(NonRegularFile::Kind, kind);
    QFETCH(QString, fileName);
    QFETCH(QString, reason);
    std::unique_ptr<NonRegularFile> special;
    if (fileName.isEmpty()) {
        fileName = path("input");
        if (kind == NonRegularFile::Regular) {
            // Whole and valid, followed by megabytes that the reader skips:
            // comment lines for the reference, anything after a profile.
            QByteArray content;
            if (command == QLatin1String("calibrate")) {
                content = referenceCsv();
            } else {
                QVERIFY(AlignmentProfile(13, QStringLiteral("25067890"), Matrix::IdentityMatrix(3))
                            .write(fileName));
                content = fileContents(fileName);
            }
            for (int i = 0; i < 200000; ++i)
                content += "# padding\n";
            QVERIFY(writeFile(fileName, content));
        } else {
            special = std::make_unique<NonRegularFile>(kind, fileName);
            QVERIFY(special->isMade());
        }
    }
    QCOMPARE(NonRegularFile::kindAt(fileName), kind);

    QStringList arguments;
    if (command == QLatin1String("calibrate"))
        arguments = QStringList{"calibrate", "--sensor", "13", "--port", sensorPort(), "--reference", fileName,
                                "--out", path("out.alg"), "--yes"};
    else if (command == QLatin1String("show"))
        arguments = QStringList{"profile", "show", fileName};
    else
        arguments = QStringList{"measure", "--sensor", "13", "--port", sensorPort(), "--profile", fileName};
    const auto result = CliRunner::run(arguments, 10000);
    QVERIFY2(result.finished, "still reading after 10 s");
    QCOMPARE(result.exitCode, 3);
    QVERIFY2(text(result.err).contains(reason), result.err.constData());
    QVERIFY(!QFile::exists(path("out.alg")));
    QVERIFY2(result.out.isEmpty(), result.out.constData());
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
