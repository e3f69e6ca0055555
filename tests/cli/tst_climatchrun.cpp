// `lumaserve-cli match` measuring: a CA-410 under correction and a CR-250 as
// the reference on pseudo-terminals, both looking at a display that shows what
// the pattern command last put up, run as the real program.
#include "alignmentprofile.h"
#include "ca410emulator.h"
#include "clirunner.h"
#include "matrix3.h"
#include "crxxxemulator.h"
#include "matchingsession.h"
#include "patchset.h"

#include "filecontents.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>
#include <memory>

namespace {

using Xyz = Matrix3Test::Xyz;
using Matrix3 = Matrix3Test::Matrix;
using Matrix3Test::inverse;
using Matrix3Test::times;
using Role = MatchingSession::Role;

// The sensor's filters mix the channels: it reads error x truth.
const Matrix3 kError{{{1.042, 0.031, -0.015}, {-0.022, 0.968, 0.011}, {0.008, -0.027, 1.071}}};
// An sRGB-like display, 120 cd/m² white: columns are the primaries' XYZ.
const Matrix3 kPrimaries{{{49.49, 42.91, 21.66}, {25.51, 85.82, 8.66}, {2.32, 14.30, 114.06}}};

// What the display shows for 8-bit levels, gamma 2.2.
Xyz truthOf(int r, int g, int b)
{
    const auto linear = [](int level) { return std::pow(level / 255.0, 2.2); };
    return times(kPrimaries, Xyz{linear(r), linear(g), linear(b)});
}

} // namespace

class TestCliMatchRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void measuresCertifiesAndKeepsEverything();
    void refusedBeforeMeasuring_data();
    void refusedBeforeMeasuring();
    void instrumentFailingMidSessionKeepsWhatWasRead();
    void patternCommandFailingStopsTheRun();
    void operatorConfirmsEachPatchAndMayGiveUp();

private:
    // The levels the pattern command last wrote; (-1, -1, -1) before any.
    std::array<int, 3> shownLevels() const;
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString sensorPort() const { return QString::fromStdString(m_sensor->portName()); }
    QString referencePort() const { return QString::fromStdString(m_reference->portName()); }
    QStringList arguments(const QStringList& extra = {}) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Ca410Emulator> m_sensor;
    std::unique_ptr<CrxxxEmulator> m_reference;
};

std::array<int, 3> TestCliMatchRun::shownLevels() const
{
    QFile file(path(QStringLiteral("shown")));
    std::array<int, 3> levels{-1, -1, -1};
    if (!file.open(QIODevice::ReadOnly))
        return levels;
    const QList<QByteArray> words = file.readAll().simplified().split(' ');
    if (words.size() != 3)
        return levels;
    for (int c = 0; c < 3; ++c)
        levels[size_t(c)] = words.at(c).toInt();
    return levels;
}

QStringList TestCliMatchRun::arguments(const QStringList& extra) const
{
    return QStringList{QStringLiteral("match"), QStringLiteral("--sensor"), QStringLiteral("CA410"),
                       QStringLiteral("--port"), sensorPort(), QStringLiteral("--reference"), QStringLiteral("13"),
                       QStringLiteral("--reference-port"), referencePort(), QStringLiteral("--pattern-command"),
                       QStringLiteral("sh -c \"echo %r %g %b > '%1'\"").arg(path(QStringLiteral("shown"))),
                       QStringLiteral("--settle"), QStringLiteral("0"), QStringLiteral("--out"),
                       path(QStringLiteral("out"))}
           + extra;
}

void TestCliMatchRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sensor = std::make_unique<Ca410Emulator>();
    m_sensor->setIdentity("CA-410", "CA-VP427", "1.10", "51000777");
    m_sensor->setReadingSource([this] {
        const auto l = shownLevels();
        return times(kError, l[0] < 0 ? Xyz{} : truthOf(l[0], l[1], l[2]));
    });
    QVERIFY(m_sensor->start());
    m_reference = std::make_unique<CrxxxEmulator>(CrxxxEmulator::cr250());
    m_reference->setReadingSource([this] {
        const auto l = shownLevels();
        return l[0] < 0 ? Xyz{} : truthOf(l[0], l[1], l[2]);
    });
    QVERIFY(m_reference->start());
}

void TestCliMatchRun::cleanup()
{
    m_sensor.reset();
    m_reference.reset();
    m_dir.reset();
}

void TestCliMatchRun::measuresCertifiesAndKeepsEverything()
{
    const QString profile = path(QStringLiteral("ca410.alg"));
    const auto result = CliRunner::run(arguments({QStringLiteral("--profile"), profile}), 120000);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY2(result.out.contains("Verdict: pass"), result.out.constData());

    // Every reading of both instruments, with who took them.
    MatchingSession session;
    QString error;
    QVERIFY2(session.read(path(QStringLiteral("out/session.json")), &error), qPrintable(error));
    QCOMPARE(session.instrument(Role::Sensor).typeNumber, 7);
    QCOMPARE(session.instrument(Role::Sensor).serialNumber, QStringLiteral("51000777"));
    QCOMPARE(session.instrument(Role::Reference).typeNumber, 13);
    QVERIFY(!session.stoppedAt());
    QCOMPARE(session.repeats(), 3);
    QCOMPARE(int(session.patches().size()), PatchSet::defaultSet().size());
    for (const auto& record : session.patches()) {
        QVERIFY2(record.sensor.size() >= 3 && record.reference.size() >= 3, qPrintable(record.patch.name));
        // The reference saw the levels the pattern command was given for this patch.
        const Xyz truth = truthOf(record.patch.r, record.patch.g, record.patch.b);
        QVERIFY2(std::abs(record.reference.back().xyz[1] - truth[1]) <= 0.01 * truth[1] + 0.01,
                 qPrintable(record.patch.name));
    }

    // Every method undoes the sensor's error.
    QFile file(path(QStringLiteral("out/certificate.json")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject certificate = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(certificate.value(QStringLiteral("verdict")).toString(), QStringLiteral("pass"));
    const Matrix3 expected = inverse(kError);
    const QJsonArray methods = certificate.value(QStringLiteral("methods")).toArray();
    QCOMPARE(methods.size(), 4);
    for (const QJsonValue& method : methods) {
        const QJsonArray rows = method.toObject().value(QStringLiteral("matrix")).toArray();
        QCOMPARE(rows.size(), 3);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                QVERIFY2(std::abs(rows.at(r).toArray().at(c).toDouble() - expected[size_t(r)][size_t(c)]) < 2e-3,
                         qPrintable(method.toObject().value(QStringLiteral("name")).toString()));
    }
    for (const char* name : {"out/certificate.csv", "out/certificate.pdf"})
        QVERIFY2(QFileInfo(path(QLatin1String(name))).size() > 0, name);

    // The recommended matrix, for the window and the service.
    AlignmentProfile kept;
    QCOMPARE(kept.read(profile), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(kept.sensorType(), 7);
    QCOMPARE(kept.serialNumber(), QStringLiteral("51000777"));
    QVERIFY(std::abs(kept.matrix()(0, 0) - expected[0][0]) < 2e-3);
}

void TestCliMatchRun::refusedBeforeMeasuring_data()
{
    QTest::addColumn<QStringList>("change"); // option value; @sensor, @reference and @dir stand for the test's
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("reference on the sensor's port")
        << QStringList{QStringLiteral("--reference-port"), QStringLiteral("@sensor")} << 2
        << QStringLiteral("cannot be on the sensor's port");
    QTest::newRow("reference through a link to the sensor's port")
        << QStringList{QStringLiteral("--reference-port"), QStringLiteral("@dir/link")} << 2
        << QStringLiteral("cannot be on the sensor's port");
    QTest::newRow("no such reference port")
        << QStringList{QStringLiteral("--reference-port"), QStringLiteral("@dir/nothing")} << 2
        << QStringLiteral("does not exist");
    QTest::newRow("reference without a driver")
        << QStringList{QStringLiteral("--reference"), QStringLiteral("Spyder 3")} << 2
        << QStringLiteral("cannot be driven");
    QTest::newRow("unknown reference type")
        << QStringList{QStringLiteral("--reference"), QStringLiteral("CA-999")} << 1 << QStringLiteral("CA-999");
    QTest::newRow("patches without white")
        << QStringList{QStringLiteral("--patches"), QStringLiteral("@dir/nowhite.csv")} << 3
        << QStringLiteral("white");
    QTest::newRow("settle with a comma")
        << QStringList{QStringLiteral("--settle"), QStringLiteral("0,5")} << 1 << QStringLiteral("--settle");
    QTest::newRow("no repeats") << QStringList{QStringLiteral("--repeats"), QStringLiteral("0")} << 1
                                << QStringLiteral("--repeats");
    QTest::newRow("two patch sources") << QStringList{QStringLiteral("--confirm")} << 1
                                       << QStringLiteral("Give one of");
    QTest::newRow("unclosed quote in the command")
        << QStringList{QStringLiteral("--pattern-command"), QStringLiteral("show \"%r")} << 1
        << QStringLiteral("--pattern-command");
    QTest::newRow("memory slot out of range")
        << QStringList{QStringLiteral("--memory-index"), QStringLiteral("96")} << 1 << QStringLiteral("--memory-index");
    // The tests run on the offscreen platform: no screen anyone would see.
    QTest::newRow("a screen without a display")
        << QStringList{QStringLiteral("--screen"), QStringLiteral("0")} << 1 << QStringLiteral("no display");
}

void TestCliMatchRun::refusedBeforeMeasuring()
{
    QFETCH(QStringList, change);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QVERIFY(QFile::link(QString::fromStdString(m_sensor->devicePath()), path(QStringLiteral("link"))));
    QVERIFY(writeFileContents(path(QStringLiteral("nowhite.csv")),
                              "name,r,g,b\nred,255,0,0\ngreen,0,255,0\nblue,0,0,255\ngrey,128,128,128\n"));
    for (QString& value : change) {
        value.replace(QStringLiteral("@sensor"), sensorPort());
        value.replace(QStringLiteral("@dir"), m_dir->path());
    }
    QStringList args = arguments();
    if (change.first() == QLatin1String("--screen")) {
        const int command = args.indexOf(QStringLiteral("--pattern-command"));
        args.removeAt(command + 1);
        args.removeAt(command);
    }
    // An option given again replaces the first only where the parser keeps
    // the last value; give each once.
    const int at = args.indexOf(change.first());
    if (at >= 0 && change.size() == 2)
        args[at + 1] = change.at(1);
    else
        args += change;
    const auto result = CliRunner::run(args, 30000);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == exitCode, result.err.constData());
    QVERIFY2(QString::fromUtf8(result.err).contains(message), result.err.constData());
    // Nothing was shown, nothing measured.
    QCOMPARE(shownLevels()[0], -1);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out/session.json"))));
}

void TestCliMatchRun::instrumentFailingMidSessionKeepsWhatWasRead()
{
    // Long enough a settle for the test to break the sensor once cyan is up.
    QStringList args = arguments();
    args[args.indexOf(QStringLiteral("--settle")) + 1] = QStringLiteral("1");
    CliRunner cli(args);
    QTRY_VERIFY_WITH_TIMEOUT((shownLevels() == std::array<int, 3>{0, 255, 255}), 60000);
    m_sensor->addFault(Ca410Emulator::Fault::Error, "MES", 10, -1);
    const auto result = cli.finish(60000);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 2, result.err.constData());
    QVERIFY2(result.err.contains("match --from"), result.err.constData());

    MatchingSession session;
    QString error;
    QVERIFY2(session.read(path(QStringLiteral("out/session.json")), &error), qPrintable(error));
    QVERIFY(session.stoppedAt());
    QCOMPARE(session.stoppedAt()->patch, QStringLiteral("cyan"));
    QStringList leftOut;
    const auto samples = session.samples(&leftOut);
    // The four training colours were read before cyan; cyan and the rest were not.
    QCOMPARE(int(samples.size()), 4);
    QVERIFY(leftOut.contains(QStringLiteral("cyan")));
    // Cyan's failed readings are kept, marked.
    const auto& cyan = session.patches().at(4);
    QVERIFY(!cyan.sensor.empty());
    for (const auto& reading : cyan.sensor)
        QVERIFY(reading.rejection == RepeatStatistics::Rejection::Failed);

    // And what was kept can be worked out again.
    const auto again = CliRunner::run({QStringLiteral("match"), QStringLiteral("--from"),
                                       path(QStringLiteral("out/session.json")), QStringLiteral("--out"),
                                       path(QStringLiteral("again"))});
    QVERIFY(again.finished);
    QVERIFY2(again.exitCode == 0 || again.exitCode == 4, again.err.constData());
    QVERIFY(QFileInfo::exists(path(QStringLiteral("again/certificate.json"))));
}

void TestCliMatchRun::patternCommandFailingStopsTheRun()
{
    QStringList args = arguments();
    // The generator takes the first patches, then refuses green.
    args[args.indexOf(QStringLiteral("--pattern-command")) + 1] =
        QStringLiteral("sh -c \"test %g != 255 || test %r = 255 && echo %r %g %b > '%1'\"")
            .arg(path(QStringLiteral("shown")));
    const auto result = CliRunner::run(args, 60000);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 2, result.err.constData());
    MatchingSession session;
    QString error;
    QVERIFY2(session.read(path(QStringLiteral("out/session.json")), &error), qPrintable(error));
    QVERIFY(session.stoppedAt());
    QCOMPARE(session.stoppedAt()->patch, QStringLiteral("green"));
    QCOMPARE(int(session.patches().at(0).sensor.size()), 3);
    QVERIFY(session.patches().at(1).sensor.empty());
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out/certificate.json"))));
}

void TestCliMatchRun::operatorConfirmsEachPatchAndMayGiveUp()
{
    QStringList args = arguments();
    const int command = args.indexOf(QStringLiteral("--pattern-command"));
    args[command] = QStringLiteral("--confirm");
    args.removeAt(command + 1);
    CliRunner cli(args);
    const QRegularExpression prompt(QStringLiteral("Show (\\w+) \\((\\d+), (\\d+), (\\d+)\\) on the display"));
    const auto patches = PatchSet::defaultSet().patches();
    for (int p = 0; p < 5; ++p) {
        const QByteArray asked = "Show " + patches.at(size_t(p)).name.toUtf8() + " (";
        QVERIFY2(cli.waitForErr(asked, 30000), cli.err().constData());
        // The operator puts up what the last prompt asked for, then presses Enter.
        const QString err = QString::fromUtf8(cli.err());
        auto match = prompt.globalMatch(err);
        QRegularExpressionMatch last;
        while (match.hasNext())
            last = match.next();
        QCOMPARE(last.captured(1), patches.at(size_t(p)).name);
        QVERIFY(writeFileContents(path(QStringLiteral("shown")),
                                  QStringLiteral("%1 %2 %3\n").arg(last.captured(2), last.captured(3), last.captured(4)).toUtf8()));
        cli.process().write("\n");
    }
    // The sixth is asked for, and the operator walks away.
    QVERIFY(cli.waitForErr("Show " + patches.at(5).name.toUtf8() + " (", 30000));
    cli.process().closeWriteChannel();
    const auto result = cli.finish(30000);
    QVERIFY(result.finished);
    QVERIFY2(result.exitCode == 1, result.err.constData());
    MatchingSession session;
    QString error;
    QVERIFY2(session.read(path(QStringLiteral("out/session.json")), &error), qPrintable(error));
    QVERIFY(session.stoppedAt());
    QCOMPARE(session.stoppedAt()->patch, patches.at(5).name);
    QCOMPARE(int(session.samples().size()), 5);
}

QTEST_GUILESS_MAIN(TestCliMatchRun)
#include "tst_climatchrun.moc"
