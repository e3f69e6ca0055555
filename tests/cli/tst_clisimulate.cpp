// `simulate`, run as the real program: the simulated station's whole job played
// headless, its figures checked against what each sensor's own error predicts,
// and the ways it refuses to run.
#include "alignmentprofile.h"
#include "clirunner.h"
#include "displaymodel.h"
#include "sensortypes.h"
#include "simulatedworld.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>

namespace {

using Instrument = SimulatedWorld::Instrument;
using Matrix3 = std::array<std::array<double, 3>, 3>;

// A whole story waits the measuring times the instruments announce.
constexpr int kStoryTimeoutMs = 150000;

Matrix3 inverse(const Matrix3& m)
{
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1])
                       - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
                       + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    Matrix3 inv{};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            // Cofactor of (c, r), for the adjugate.
            const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
            inv[size_t(r)][size_t(c)] = (m[size_t(r1)][size_t(c1)] * m[size_t(r2)][size_t(c2)]
                                         - m[size_t(r1)][size_t(c2)] * m[size_t(r2)][size_t(c1)])
                                        / det;
        }
    }
    return inv;
}

// Where a display aligned on this sensor's uncorrected readings ends: the
// white that the sensor sees as D65 is E^-1 x D65.
double predictedUncorrectedError(const Matrix3& mismatch)
{
    const DisplayModel::Chromaticity d65 = DisplayModel::targetWhite();
    const Xyz target{{d65.x / d65.y, 1.0, (1.0 - d65.x - d65.y) / d65.y}};
    const Matrix3 inv = inverse(mismatch);
    Xyz white{};
    for (size_t r = 0; r < 3; ++r)
        white[r] = inv[r][0] * target[0] + inv[r][1] * target[1] + inv[r][2] * target[2];
    return DisplayModel::whiteError(white);
}

// How far matrix x mismatch is from the identity: 0 when the matrix undoes
// the sensor's error exactly.
double residual(const Matrix& matrix, const Matrix3& mismatch)
{
    double worst = 0.0;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k)
                sum += matrix(r, k) * mismatch[size_t(k)][size_t(c)];
            worst = std::max(worst, std::fabs(sum - (r == c ? 1.0 : 0.0)));
        }
    }
    return worst;
}

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
};

void TestCliSimulate::wholeStory_data()
{
    QTest::addColumn<QString>("sensor");
    QTest::addColumn<int>("instrument");
    QTest::addColumn<int>("type");
    // By name; the window's walkthrough test plays the CA410, whose story is the longest.
    QTest::newRow("CR-100") << QStringLiteral("CR-100") << int(Instrument::CR100) << typeNumber("CR100/CR250");
    // The type number as the other commands take it, which picks the CR-250.
    QTest::newRow("CR-250") << QString::number(typeNumber("CR100/CR250")) << int(Instrument::CR250)
                            << typeNumber("CR100/CR250");
}

void TestCliSimulate::wholeStory()
{
    QFETCH(QString, sensor);
    QFETCH(int, instrument);
    QFETCH(int, type);
    QVERIFY(type > 0);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString profileDir = dir.filePath(QStringLiteral("profiles"));

    const auto result = CliRunner::run({QStringLiteral("simulate"), QStringLiteral("--sensor"), sensor,
                                        QStringLiteral("--profile-dir"), profileDir},
                                       kStoryTimeoutMs);
    const QString out = QString::fromLocal8Bit(result.out);
    const QByteArray story = result.out + "\n--- standard error:\n" + result.err;
    QVERIFY2(result.finished, story.constData());
    QVERIFY2(result.exitCode == 0, story.constData());
    QVERIFY2(!result.err.contains("Not as it must be"), story.constData());

    // Uncorrected, the display takes on the sensor's own error; calibrated, its
    // white lands on D65, and again with the profile reopened.
    const Matrix3 mismatch = SimulatedWorld().mismatch(Instrument(instrument));
    const double uncorrected = figure(out, QStringLiteral("uncorrected sensor:"));
    const double corrected = figure(out, QStringLiteral("calibrated sensor:"));
    const double reopened = figure(out, QStringLiteral("after reopening the profile:"));
    QVERIFY2(uncorrected > 0.002, story.constData());
    QVERIFY2(std::fabs(uncorrected - predictedUncorrectedError(mismatch)) < 0.0006,
             qPrintable(QStringLiteral("%1 vs %2").arg(uncorrected).arg(predictedUncorrectedError(mismatch))));
    QVERIFY2(corrected < 0.0005, story.constData());
    QVERIFY2(reopened < 0.0005, story.constData());
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
}

void TestCliSimulate::unknownOrNonSimulatedSensorIsAUsageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
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

QTEST_GUILESS_MAIN(TestCliSimulate)
#include "tst_clisimulate.moc"
