// The whole job on the simulated station, through the program's real window
// and dialogs: the display aligned with an uncorrected sensor keeps about that
// sensor's own error; calibrated against the reference in the calibrate
// dialog, the same alignment puts its white on target, and the profile brings
// the matrix back after a restart.
#include "application.h"
#include "chromaticityview.h"
#include "mismatchcheck.h"
#include "portlister.h"
#include "recordingmessenger.h"
#include "screenpatchwatcher.h"
#include "sensorlibrary.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "walkthrough.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;
using MismatchCheck::predictedUncorrectedError;
using MismatchCheck::residual;

// Distance in u'v' between two x, y chromaticities.
double deltaUv(const ChromaticityDiagram::Xy& a, const ChromaticityDiagram::Xy& b)
{
    const auto uv = [](const ChromaticityDiagram::Xy& xy) {
        const double d = -2.0 * xy[0] + 12.0 * xy[1] + 3.0;
        return std::array<double, 2>{4.0 * xy[0] / d, 9.0 * xy[1] / d};
    };
    const auto p = uv(a), q = uv(b);
    return std::hypot(p[0] - q[0], p[1] - q[1]);
}

} // namespace

class TestWalkthrough : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void wholeJob_data();
    void wholeJob();
    void stationRefusesAMissingStandinLibrary();
    void walkthroughStopsAtAStepThatFails();
    void walkthroughFailsOnFiguresOutOfBounds();

private:
    std::unique_ptr<QTemporaryDir> workDir;
    std::unique_ptr<RecordingMessenger> messages;
    std::unique_ptr<SimulatedStation> station;
    std::unique_ptr<ScreenPatchWatcher> watcher;
    QString startDir;
    QStringList story;
};

void TestWalkthrough::initTestCase()
{
    startDir = QDir::currentPath();
    workDir = std::make_unique<QTemporaryDir>();
    QVERIFY(workDir->isValid());
    QVERIFY(QDir::setCurrent(workDir->path()));
    messages = std::make_unique<RecordingMessenger>();
    // A directory the program already searched: the station adds its stand-ins
    // before it and gives the list back when it ends.
    SensorLibrary::setExtraDirectories({workDir->path()});
    station = std::make_unique<SimulatedStation>(QStringLiteral(STANDIN_DIR));
    QString error;
    QVERIFY2(station->start(&error), qPrintable(error));
    watcher = std::make_unique<ScreenPatchWatcher>(station->world());
}

void TestWalkthrough::cleanupTestCase()
{
    watcher.reset();
    station.reset();
    QVERIFY(SensorLibrary::extraDirectories() == QStringList({workDir->path()}));
    QDir::setCurrent(startDir);
}

void TestWalkthrough::wholeJob_data()
{
    QTest::addColumn<int>("instrument");
    // The sensors on a stand-in library, which the station hooks to the world
    // itself: one without a port, one with. The program's own walkthrough plays
    // the CA410, and the command line the CR-100 and CR-250.
    QTest::newRow("i1Display Pro") << int(Instrument::I1DisplayPro);
    QTest::newRow("K-10") << int(Instrument::K10);
}

void TestWalkthrough::wholeJob()
{
    QFETCH(int, instrument);
    const auto sensor = Instrument(instrument);
    const MismatchCheck::Matrix3 mismatch = station->world().mismatch(sensor);
    messages->clear();
    story.clear();

    // Open from the start, so it sees every run.
    StationWindow stationWindow(*station);
    stationWindow.show();
    Walkthrough walkthrough(*station);
    walkthrough.setStationWindow(&stationWindow);
    walkthrough.setProfileName(QStringLiteral("line-%1").arg(instrument));
    walkthrough.setPrinter([this](const QString& line) { story << line; });
    const bool ok = walkthrough.run(sensor);
    QVERIFY2(ok, qPrintable(walkthrough.failure() + QLatin1Char('\n') + story.join(QLatin1Char('\n'))));
    QVERIFY2(messages->shown().isEmpty(), qPrintable(messages->shown().value(0).text));
    const Walkthrough::Figures& figures = walkthrough.figures();

    // The station's diagram: a point per run where the display's true white
    // ended, the last where the world's display shows it now, against D65.
    const auto* view = stationWindow.findChild<ChromaticityView*>(QStringLiteral("whiteView"));
    QVERIFY(view);
    const ChromaticityDiagram& diagram = view->diagram();
    QTRY_COMPARE_WITH_TIMEOUT(int(diagram.points().size()), 3, 5000);
    const Xyz white = station->world().trueWhite();
    const double sum = white[0] + white[1] + white[2];
    const ChromaticityDiagram::Xy now{white[0] / sum, white[1] / sum};
    const double d65Error = deltaUv(now, ChromaticityDiagram::Xy{0.3127, 0.3290});
    QVERIFY2(std::fabs(d65Error - station->world().trueWhiteError()) < 1e-9, qPrintable(QString::number(d65Error)));
    const double errors[] = {figures.identityWhiteError, figures.correctedWhiteError, figures.reopenedWhiteError};
    for (int run = 0; run < 3; ++run) {
        const ChromaticityDiagram::Point& point = diagram.points()[size_t(run)];
        QCOMPARE(point.label, QStringLiteral("Run %1").arg(run + 1));
        const double error = deltaUv(point.xy, diagram.target());
        QVERIFY2(std::fabs(error - errors[run]) < 1e-9, qPrintable(QStringLiteral("run %1: %2 vs %3")
                                                                        .arg(run + 1)
                                                                        .arg(error)
                                                                        .arg(errors[run])));
    }
    QVERIFY(deltaUv(diagram.points().back().xy, now) < 1e-9);
    QCOMPARE(diagram.target(), (ChromaticityDiagram::Xy{0.3127, 0.3290}));
    // The view follows them: all in the frame, close enough to tell apart
    // whites a few thousandths from the target.
    QVERIFY(view->followsContent());
    QCOMPARE(diagram.space(), ChromaticityDiagram::Space::Uv);
    const QRectF frame = view->plotFrame();
    double farthest = 0.0;
    for (const ChromaticityDiagram::Point& point : diagram.points()) {
        QVERIFY2(frame.contains(diagram.map(point.xy, frame)), qPrintable(point.label));
        farthest = std::max(farthest, deltaUv(point.xy, diagram.target()));
    }
    QVERIFY(frame.contains(diagram.map(diagram.target(), frame)));
    QVERIFY2(diagram.span() <= 6.0 * std::max(farthest, 0.002),
             qPrintable(QStringLiteral("span %1 for whites up to %2 away").arg(diagram.span()).arg(farthest)));

    // The last run's walk: from where the run before left the white, by the
    // factory white, to where it is now.
    const std::vector<ChromaticityDiagram::Xy>& walk = diagram.trails().at(0).points;
    QVERIFY(walk.size() >= 3);
    QVERIFY(deltaUv(walk.front(), diagram.points()[1].xy) < 1e-9);
    QVERIFY(deltaUv(walk.back(), now) < 1e-9);
    const Xyz factory = station->world().display().emitted(Rgb{{1.0, 1.0, 1.0}});
    const ChromaticityDiagram::Xy factoryXy{factory[0] / (factory[0] + factory[1] + factory[2]),
                                            factory[1] / (factory[0] + factory[1] + factory[2])};
    QVERIFY(std::any_of(walk.begin(), walk.end(),
                        [&](const ChromaticityDiagram::Xy& xy) { return deltaUv(xy, factoryXy) < 1e-9; }));

    // The run itself refuses figures out of their bounds. Uncorrected, the
    // display takes on the sensor's own error: where this sensor's mismatch
    // says it must end, which tells the sensor really read the world through it.
    const double predicted = predictedUncorrectedError(mismatch);
    QVERIFY2(std::fabs(figures.identityWhiteError - predicted) < 0.0006,
             qPrintable(QStringLiteral("%1 vs %2").arg(figures.identityWhiteError).arg(predicted)));

    // The calibrated matrix undoes the mismatch, not only at the white.
    QVERIFY2(residual(figures.matrix, mismatch) < 0.005,
             qPrintable(QString::number(residual(figures.matrix, mismatch))));
}

void TestWalkthrough::stationRefusesAMissingStandinLibrary()
{
    QTemporaryDir empty;
    const QStringList portsBefore = PortLister::extraPorts();
    SimulatedStation broken(empty.path());
    QString error;
    QVERIFY(!broken.start(&error));
    QVERIFY2(error.contains(QStringLiteral("libmlink_i1d3")), qPrintable(error));
    // Nothing of a station that did not start is offered to the program.
    QCOMPARE(PortLister::extraPorts(), portsBefore);
}

void TestWalkthrough::walkthroughStopsAtAStepThatFails()
{
    // The sensor's port is no longer offered: the story stops there, says why,
    // and does not go on to align with nothing connected.
    const QStringList ports = PortLister::extraPorts();
    QStringList without = ports;
    without.removeAll(station->sensorPort(Instrument::CR250));
    PortLister::setExtraPorts(without);
    Walkthrough walkthrough(*station);
    QStringList lines;
    walkthrough.setPrinter([&lines](const QString& line) { lines << line; });
    const bool ok = walkthrough.run(Instrument::CR250);
    PortLister::setExtraPorts(ports);
    QVERIFY(!ok);
    QVERIFY2(walkthrough.failure().contains(QStringLiteral("is not offered")), qPrintable(walkthrough.failure()));
    QVERIFY(lines.last().startsWith(QStringLiteral("FAILED: ")));
    QVERIFY(std::isnan(walkthrough.figures().identityWhiteError));
    QVERIFY(!station->firmware().isAligning());
}

void TestWalkthrough::walkthroughFailsOnFiguresOutOfBounds()
{
    // A sensor this noisy cannot be calibrated to put the white on target:
    // every step is carried out, but the story must not count as told right.
    // Noise along the XYZ vector keeps a reading's chromaticity; the floor
    // does not.
    const double noise = station->world().noise();
    const double floor = station->world().noiseFloor();
    station->world().setNoise(0.03, 1.0);
    Walkthrough walkthrough(*station);
    walkthrough.setProfileName(QStringLiteral("noisy"));
    const bool ok = walkthrough.run(Instrument::CR250);
    station->world().setNoise(noise, floor);
    QVERIFY(!ok);
    QVERIFY2(walkthrough.failure().contains(QStringLiteral("not below 0.0005")), qPrintable(walkthrough.failure()));
    QVERIFY(!std::isnan(walkthrough.figures().reopenedWhiteError));
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestWalkthrough test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_walkthrough.moc"
