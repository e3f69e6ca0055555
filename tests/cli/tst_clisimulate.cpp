// `simulate`, run as the real program: the simulated station's whole job played
// headless, its figures checked against what each sensor's own error predicts,
// and the ways it refuses to run.
#include "alignmentprofile.h"
#include "clirunner.h"
#include "displaymodel.h"
#include "mismatchcheck.h"
#include "sensortable.h"
#include "simulatedworld.h"
#include "storyfigures.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Instrument = SimulatedWorld::Instrument;
using MismatchCheck::predictedUncorrectedError;
using MismatchCheck::residual;

// A whole story waits the measuring times the instruments announce.
constexpr int kStoryTimeoutMs = 150000;

// The figure printed after label, or NaN when there is none.
double figure(const QString& out, const QString& label)
{
    const QRegularExpression pattern(QRegularExpression::escape(label) + QStringLiteral("\\s+([0-9]+\\.[0-9]+)"));
    const QRegularExpressionMatch match = pattern.match(out);
    return match.hasMatch() ? QLocale::c().toDouble(match.captured(1)) : std::nan("");
}

int typeNumber(const char* name)
{
    for (int i = 1; i < kSensorTypeCount; ++i) {
        if (strSensors[i] == QLatin1String(name))
            return i;
    }
    return 0;
}

} // namespace

class TestCliSimulate : public QObject
{
    Q_OBJECT

private slots:
    void wholeStory_data();
    void wholeStory();
    void unknownOrNonSimulatedSensorIsAUsageError_data();
    void unknownOrNonSimulatedSensorIsAUsageError();
    void stationWithoutItsStandinsIsAnInstrumentFailure();
    void matrixTableInBothFormats();
    void matchingTableInBothFormats();
};

void TestCliSimulate::wholeStory_data()
{
    QTest::addColumn<QString>("sensor");
    QTest::addColumn<int>("instrument");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("display");
    // By name; the CA410, whose story is the longest, is played by the window's own
    // walkthrough (Lumaserve --simulate --walkthrough).
    QTest::newRow("CR-100") << QStringLiteral("CR-100") << int(Instrument::CR100) << typeNumber("CR100/CR250")
                            << QString();
    // The type number as the other commands take it, which picks the CR-250;
    // on another panel, whose spectra the sensor errs on differently.
    QTest::newRow("CR-250") << QString::number(typeNumber("CR100/CR250")) << int(Instrument::CR250)
                            << typeNumber("CR100/CR250") << QStringLiteral("rgb-oled");
}

void TestCliSimulate::wholeStory()
{
    QFETCH(QString, sensor);
    QFETCH(int, instrument);
    QFETCH(int, type);
    QFETCH(QString, display);
    QVERIFY(type > 0);
    DisplayTechnology::Kind technology = DisplayTechnology::Kind::WhiteLedLcd;
    QVERIFY(display.isEmpty() || DisplayTechnology::fromKey(display, &technology));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString profileDir = dir.filePath(QStringLiteral("profiles"));

    QStringList arguments{QStringLiteral("simulate"), QStringLiteral("--sensor"), sensor,
                          QStringLiteral("--profile-dir"), profileDir};
    if (!display.isEmpty())
        arguments << QStringLiteral("--display") << display;
    const auto result = CliRunner::run(arguments, kStoryTimeoutMs);
    const QString out = QString::fromLocal8Bit(result.out);
    const QByteArray story = result.out + "\n--- standard error:\n" + result.err;
    QVERIFY2(result.finished, story.constData());
    QVERIFY2(result.exitCode == 0, story.constData());
    QVERIFY2(!result.err.contains("Not as it must be"), story.constData());

    // Uncorrected, the display takes on the sensor's own error; calibrated, its
    // white lands on D65, and again with the profile reopened.
    const MismatchCheck::Matrix3 mismatch = SimulatedWorld(technology).mismatch(Instrument(instrument));
    const double uncorrected = figure(out, QStringLiteral("uncorrected sensor:"));
    const double corrected = figure(out, QStringLiteral("calibrated sensor:"));
    const double reopened = figure(out, QStringLiteral("after reopening the profile:"));
    QVERIFY2(uncorrected > StoryFigures::kUncorrectedAtLeast, story.constData());
    QVERIFY2(std::fabs(uncorrected - predictedUncorrectedError(mismatch)) < 0.0006,
             qPrintable(QStringLiteral("%1 vs %2").arg(uncorrected).arg(predictedUncorrectedError(mismatch))));
    QVERIFY2(corrected < 0.0005, story.constData());
    QVERIFY2(reopened < 0.0005, story.constData());
    // Matched against the station's CS-2000, the sensor keeps within the
    // certificate's tolerance on colours it was not corrected on, and the
    // method table came with it.
    const double matched = figure(out, QStringLiteral("largest validation dxy:"));
    QVERIFY2(matched < StoryFigures::kMatchedBelow, story.constData());
    for (const char* method : {"four-colour", "fcmm", "astm-e1455", "least-squares"})
        QVERIFY2(out.contains(QStringLiteral("     %1").arg(QLatin1String(method))), method);
    // Every step was told, the three alignments among them.
    QCOMPARE(out.count(QStringLiteral("as the display really shows it")), 3);

    // The profile it wrote belongs to this sensor and undoes its error.
    const QStringList profiles = QDir(profileDir).entryList({QStringLiteral("*.alg")}, QDir::Files);
    QCOMPARE(profiles.size(), 1);
    AlignmentProfile profile;
    QCOMPARE(profile.read(QDir(profileDir).filePath(profiles.first())), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), type);
    QVERIFY(!profile.serialNumber().isEmpty());
    QVERIFY2(residual(profile.matrix(), mismatch) < 0.005, qPrintable(QString::number(residual(profile.matrix(), mismatch))));
}

void TestCliSimulate::unknownOrNonSimulatedSensorIsAUsageError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown type") << QStringList{"--sensor", "frobnicator"} << "unknown sensor type 'frobnicator'";
    QTest::newRow("number out of range") << QStringList{"--sensor", "99"} << "unknown sensor type '99'";
    QTest::newRow("known but not simulated") << QStringList{"--sensor", "Spyder 4"} << "the Spyder 4 is not simulated";
    QTest::newRow("not simulated, by number") << QStringList{"--sensor", QString::number(typeNumber("CA-210/310"))}
                                              << "the CA-210/310 is not simulated";
    QTest::newRow("stray argument") << QStringList{"now"} << "unexpected argument 'now'";
    QTest::newRow("empty profile directory") << QStringList{"--profile-dir", ""} << "--profile-dir needs a directory";
    QTest::newRow("unknown display") << QStringList{"--display", "plasma"} << "unknown display technology 'plasma'";
    QTest::newRow("unknown format") << QStringList{"--matrix-table", "--format", "xml"} << "unknown format 'xml'";
    QTest::newRow("format without the table") << QStringList{"--format", "json"}
                                               << "--format needs --matrix-table or --match";
    QTest::newRow("unknown format for matching") << QStringList{"--match", "--format", "csv"} << "unknown format 'csv'";
    QTest::newRow("story option with matching") << QStringList{"--match", "--display", "rgb-oled"}
                                                << "--display belongs to the story, not to --match";
    QTest::newRow("both tables") << QStringList{"--match", "--matrix-table"}
                                 << "--matrix-table and --match are two tables; ask for one";
    QTest::newRow("story option with the table") << QStringList{"--matrix-table", "--sensor", "K-10"}
                                                 << "--sensor belongs to the story, not to --matrix-table";
}

void TestCliSimulate::unknownOrNonSimulatedSensorIsAUsageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const auto result = CliRunner::run(QStringList{QStringLiteral("simulate")} + arguments);
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message.toLocal8Bit()), result.err.constData());
    QVERIFY2(result.err.contains("Try 'lumaserve-cli simulate --help'."), result.err.constData());
    // Refused before the station starts.
    QVERIFY2(!result.out.contains("simulated station"), result.out.constData());
}

void TestCliSimulate::stationWithoutItsStandinsIsAnInstrumentFailure()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    const QString profileDir = empty.filePath(QStringLiteral("profiles"));
    const auto result = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--standin-dir"), empty.path(),
                                        QStringLiteral("--profile-dir"), profileDir});
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains("The simulated station cannot start"), result.err.constData());
    QVERIFY2(result.err.contains(QDir(empty.path()).filePath(QStringLiteral("libmlink_i1d3")).toLocal8Bit()),
             result.err.constData());
    QVERIFY2(!result.out.contains("Connect the"), result.out.constData());
    QVERIFY(QDir(profileDir).entryList({QStringLiteral("*.alg")}, QDir::Files).isEmpty());
}

void TestCliSimulate::matrixTableInBothFormats()
{
    // No station: nothing on pseudo-terminals, nothing announced to wait for.
    const auto json = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--matrix-table"),
                                      QStringLiteral("--format"), QStringLiteral("JSON")},
                                     60000);
    QVERIFY(json.finished);
    QCOMPARE(json.exitCode, 0);
    QVERIFY2(json.err.isEmpty(), json.err.constData());
    QJsonParseError error;
    const QJsonArray list = QJsonDocument::fromJson(json.out, &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(list.size(), SimulatedWorld::kInstrumentCount * DisplayTechnology::KindCount
                              * (1 + DisplayTechnology::KindCount));
    for (const QJsonValue& value : list) {
        const QJsonObject row = value.toObject();
        if (row.value(QStringLiteral("matrix_from")) == row.value(QStringLiteral("display")))
            QVERIFY(row.value(QStringLiteral("white_delta_uv")).toDouble() < StoryFigures::kCorrectedBelow);
    }

    const auto text = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--matrix-table")}, 60000);
    QVERIFY(text.finished);
    QCOMPARE(text.exitCode, 0);
    QVERIFY(text.out.contains("\nK-10\n"));
    QVERIFY(!text.out.contains("simulated station"));
}

void TestCliSimulate::matchingTableInBothFormats()
{
    const QStringList methods{"four-colour", "fcmm", "astm-e1455", "least-squares"};
    const auto json = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--match"), QStringLiteral("--format"),
                                      QStringLiteral("json")},
                                     60000);
    QVERIFY(json.finished);
    QCOMPARE(json.exitCode, 0);
    QVERIFY2(json.err.isEmpty(), json.err.constData());
    QJsonParseError error;
    const QJsonArray list = QJsonDocument::fromJson(json.out, &error).array();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(list.size(), DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount * int(methods.size()));
    QSet<QString> seen;
    QMap<QString, int> recommended;
    QMap<QString, double> bestXy;
    for (const QJsonValue& value : list) {
        const QJsonObject row = value.toObject();
        QCOMPARE(row.keys(), (QStringList{"display", "max_delta_uv", "max_delta_xy", "mean_delta_uv", "method",
                                          "recommended", "sensor"}));
        QVERIFY(row.value(QStringLiteral("max_delta_uv")).isDouble());
        QVERIFY(row.value(QStringLiteral("max_delta_xy")).isDouble());
        QVERIFY(row.value(QStringLiteral("mean_delta_uv")).isDouble());
        QVERIFY(row.value(QStringLiteral("recommended")).isBool());
        const QString method = row.value(QStringLiteral("method")).toString();
        QVERIFY2(methods.contains(method), qPrintable(method));
        DisplayTechnology::Kind kind = DisplayTechnology::Kind::WhiteLedLcd;
        QVERIFY(DisplayTechnology::fromKey(row.value(QStringLiteral("display")).toString(), &kind));
        const QString pair = row.value(QStringLiteral("display")).toString() + QLatin1Char('/')
                             + row.value(QStringLiteral("sensor")).toString();
        seen.insert(pair + QLatin1Char('/') + method);
        const double maxUv = row.value(QStringLiteral("max_delta_uv")).toDouble();
        const double meanUv = row.value(QStringLiteral("mean_delta_uv")).toDouble();
        const double maxXy = row.value(QStringLiteral("max_delta_xy")).toDouble();
        QVERIFY(maxUv > 0.0 && meanUv > 0.0 && meanUv <= maxUv);
        bestXy[pair] = bestXy.contains(pair) ? std::min(bestXy[pair], maxXy) : maxXy;
        if (row.value(QStringLiteral("recommended")).toBool())
            recommended[pair] += 1;
    }
    QCOMPARE(seen.size(), list.size());
    QCOMPARE(recommended.size(), DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount);
    // The one recommended is the one whose worst validation patch is closest in xy.
    for (const QJsonValue& value : list) {
        const QJsonObject row = value.toObject();
        const QString pair = row.value(QStringLiteral("display")).toString() + QLatin1Char('/')
                             + row.value(QStringLiteral("sensor")).toString();
        QCOMPARE(recommended.value(pair), 1);
        if (row.value(QStringLiteral("recommended")).toBool())
            QVERIFY(row.value(QStringLiteral("max_delta_xy")).toDouble() <= bestXy.value(pair) + 1e-9);
    }

    // Deterministic: the same table on every run.
    const auto again = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--match"), QStringLiteral("--format"),
                                       QStringLiteral("json")},
                                      60000);
    QCOMPARE(again.out, json.out);

    const auto text = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--match")}, 60000);
    QVERIFY(text.finished);
    QCOMPARE(text.exitCode, 0);
    QVERIFY2(text.err.isEmpty(), text.err.constData());
    const QStringList lines = QString::fromUtf8(text.out).split(QLatin1Char('\n'));
    int tableLines = 0;
    for (const QString& line : lines) {
        for (DisplayTechnology::Kind kind : DisplayTechnology::kinds()) {
            if (line.startsWith(DisplayTechnology::key(kind) + QLatin1Char(' '))) {
                ++tableLines;
                QVERIFY2(line.endsWith(QLatin1String(" pass")) || line.endsWith(QLatin1String(" fail")), qPrintable(line));
            }
        }
    }
    QCOMPARE(tableLines, DisplayTechnology::KindCount * SimulatedWorld::kInstrumentCount);
    for (const QString& method : methods)
        QVERIFY(text.out.contains(method.toUtf8()));
    // No station: nothing on pseudo-terminals.
    QVERIFY(!text.out.contains("pts/"));
}

QTEST_GUILESS_MAIN(TestCliSimulate)
#include "tst_clisimulate.moc"
