// The whole job on the simulated station, through the program's real window
// and dialogs: the display aligned with an uncorrected sensor keeps about that
// sensor's own error; calibrated against the reference in the calibrate
// dialog, the same alignment puts its white on target, and the profile brings
// the matrix back after a restart.
#include "application.h"
#include "mismatchcheck.h"
#include "portlister.h"
#include "recordingmessenger.h"
#include "screenpatchwatcher.h"
#include "sensorlibrary.h"
#include "simulatedstation.h"
#include "walkthrough.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;
using MismatchCheck::predictedUncorrectedError;
using MismatchCheck::residual;

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

    Walkthrough walkthrough(*station);
    walkthrough.setProfileName(QStringLiteral("line-%1").arg(instrument));
    walkthrough.setPrinter([this](const QString& line) { story << line; });
    const bool ok = walkthrough.run(sensor);
    QVERIFY2(ok, qPrintable(walkthrough.failure() + QLatin1Char('\n') + story.join(QLatin1Char('\n'))));
    QVERIFY2(messages->shown().isEmpty(), qPrintable(messages->shown().value(0).text));
    const Walkthrough::Figures& figures = walkthrough.figures();

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
