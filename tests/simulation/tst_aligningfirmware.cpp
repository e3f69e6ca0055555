// The display's own alignment end to end: the firmware on a pseudo-terminal
// asks the real measurement controller, which reads a CR-250 on its emulator
// looking at the simulated world. That a corrected sensor brings the white
// home is the walkthrough's to show.
#include "aligningfirmware.h"
#include "cmonitor.h"
#include "crxxxemulator.h"
#include "measure.h"
#include "recordingmessenger.h"
#include "sensortable.h"
#include "simulatedworld.h"
#include "whitealignment.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Instrument = SimulatedWorld::Instrument;

namespace {

// The CR100/CR250 entry of the sensor factory.
constexpr int kCrType = 13;

// The display, its firmware and a CR-250 looking at it, with the controller
// connected to both. The controller goes first when it ends, then the devices.
struct Station {
    explicit Station(DisplayTechnology::Kind technology = DisplayTechnology::Kind::WhiteLedLcd)
        : world(technology),
          instrument(CrxxxEmulator::cr250())
    {
        firmware = std::make_unique<AligningFirmware>(world);
        instrument.setReadingSource([this] { return world.sensorReading(Instrument::CR250); });
    }

    bool connect()
    {
        if (!instrument.start() || !firmware->start())
            return false;
        measure = std::make_unique<Measure>();
        measure->setSensorFactory(&SensorTable::createForWindow);
        if (!measure->initSensor(kCrType, QString::fromStdString(instrument.portName())))
            return false;
        measure->initMonitor();
        return measure->connectMonitor(QString::fromStdString(firmware->portName()));
    }

    bool switchAlignmentOn()
    {
        if (!measure->doAlignment())
            return false;
        return QTest::qWaitFor([this] { return measure->isServingAlignment(); }, 3000);
    }

    // Runs an alignment to its end, the main loop turning meanwhile.
    AligningFirmware::Progress align()
    {
        if (!firmware->startAlignment()) {
            qWarning("the alignment did not start");
            return firmware->progress();
        }
        if (!QTest::qWaitFor([this] { return !firmware->isAligning(); }, 60000))
            qWarning("the alignment did not end");
        return firmware->progress();
    }

    RecordingMessenger messages;
    SimulatedWorld world;
    CrxxxEmulator instrument;
    std::unique_ptr<AligningFirmware> firmware;
    std::unique_ptr<Measure> measure;
};

QByteArray describe(const AligningFirmware::Progress& p)
{
    return "error '" + QByteArray::fromStdString(p.error) + "', told " + QByteArray::number(p.toldWhiteError, 'f', 5)
        + ", true " + QByteArray::number(p.trueWhiteError, 'f', 5);
}

} // namespace

class TestAligningFirmware : public QObject
{
    Q_OBJECT

private slots:
    void uncorrectedSensorLeavesItsOwnError_data();
    void uncorrectedSensorLeavesItsOwnError();
    void whiteThatMissesIsCorrected();
    void alignmentSwitchedOffFailsWithinTheTimeout();
    void cancelEndsTheWaitForAReplyAtOnce();
    void destroyingMidRunEndsPromptly();
    void destroyingWhileRepliesPourInIsSafe();
};

void TestAligningFirmware::uncorrectedSensorLeavesItsOwnError_data()
{
    QTest::addColumn<int>("technology");
    for (DisplayTechnology::Kind kind : DisplayTechnology::kinds())
        QTest::newRow(qPrintable(DisplayTechnology::key(kind))) << int(kind);
}

void TestAligningFirmware::uncorrectedSensorLeavesItsOwnError()
{
    QFETCH(int, technology);
    Station station{DisplayTechnology::Kind(technology)};
    QVERIFY(station.connect());
    QVERIFY(station.switchAlignmentOn());
    const double factoryError = station.world.trueWhiteError();

    std::mutex seenMutex;
    std::vector<AligningFirmware::Progress> seen;
    std::vector<std::thread::id> threads;
    station.firmware->setProgressObserver([&](const AligningFirmware::Progress& p) {
        std::lock_guard<std::mutex> lock(seenMutex);
        seen.push_back(p);
        threads.push_back(std::this_thread::get_id());
    });
    const AligningFirmware::Progress result = station.align();
    QVERIFY2(result.finished && result.succeeded, describe(result));
    qDebug("factory white %.5f off; aligned through the CR-250 uncorrected: %s", factoryError,
           describe(result).constData());
    QVERIFY(!result.running);
    QVERIFY(result.error.empty());

    // The sensor says the white is on target; it is off by the sensor's own
    // error on that white: what its filters make of the spectrum shown.
    QVERIFY2(result.toldWhiteError < 0.0003, describe(result));
    const Spectrum white = station.world.display().spectrum(Rgb{{1.0, 1.0, 1.0}}, result.gains);
    const double sensorError = DisplayModel::deltaUpVp(
        SimulatedWorld::sensorModel(Instrument::CR250).reading(white), Observer::cie1931().xyz(white));
    QVERIFY2(sensorError > 0.0005, QByteArray::number(sensorError));
    QVERIFY2(std::abs(result.trueWhiteError - sensorError) < 0.0003,
             describe(result) + " vs the sensor's error " + QByteArray::number(sensorError, 'f', 5));
    QVERIFY2(factoryError > result.trueWhiteError && factoryError > result.toldWhiteError,
             QByteArray::number(factoryError));
    // The display keeps the gains it ended with.
    QCOMPARE(station.world.displayGains(), result.gains);
    QCOMPARE(result.trueWhiteError, station.world.trueWhiteError());
    QVERIFY(std::max({result.gains[0], result.gains[1], result.gains[2]}) == 1.0);
    QVERIFY(std::min({result.gains[0], result.gains[1], result.gains[2]}) < 0.95);

    // White, the primaries, the white with its gains (and any corrections), the greys.
    const auto& r = result.readings;
    QVERIFY(r.size() >= 8);
    QCOMPARE(int(r.size()), result.step);
    QCOMPARE(result.steps, result.step);
    std::vector<std::string> ends;
    for (size_t i : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(4), r.size() - 3, r.size() - 2, r.size() - 1})
        ends.push_back(r[i].name);
    QCOMPARE(ends, (std::vector<std::string>{"white", "red", "green", "blue", "white", "grey 75%", "grey 50%", "grey 25%"}));
    QCOMPARE(r[1].level, (Rgb{{1.0, 0.0, 0.0}}));
    QCOMPARE(r.back().level, (Rgb{{0.25, 0.25, 0.25}}));
    // The factory white was shown through the factory gains, the ramp through the final ones.
    QVERIFY(std::abs(r[0].truth[1] - station.world.display().emitted(Rgb{{1.0, 1.0, 1.0}})[1]) < 1e-9);
    const Xyz lastGrey = station.world.display().emitted(r.back().level, result.gains);
    QVERIFY(std::abs(r.back().truth[1] - lastGrey[1]) < 1e-9);

    // Each reading was asked for once the time announced for it had passed.
    const std::vector<MonitorEmulator::Reply> replies = station.firmware->replies();
    QCOMPARE(replies.size(), 2 * r.size());
    for (size_t i = 0; i + 1 < replies.size(); i += 2) {
        QVERIFY(replies[i].line.rfind("OK00,", 0) == 0);
        QVERIFY(replies[i + 1].line.rfind("OK01,", 0) == 0);
        bool ok = false;
        const int announced = QByteArray::fromStdString(replies[i].line.substr(5)).toInt(&ok);
        QVERIFY(ok && announced > 0);
        QVERIFY2(replies[i + 1].atMs - replies[i].atMs >= announced,
                 QByteArray::number(replies[i + 1].atMs - replies[i].atMs));
    }

    // Every change was reported, on the firmware's thread, ending with the result.
    {
        std::lock_guard<std::mutex> lock(seenMutex);
        QVERIFY(seen.size() >= r.size());
        QVERIFY(seen.back().finished && seen.back().succeeded);
        QCOMPARE(seen.back().readings.size(), r.size());
        for (const std::thread::id& id : threads)
            QVERIFY(id != std::this_thread::get_id());
    }
    QVERIFY(station.messages.shown().isEmpty());

    // A second run starts from the factory gains again.
    const AligningFirmware::Progress again = station.align();
    QVERIFY2(again.succeeded, describe(again));
    QCOMPARE(again.readings.front().truth[1], r[0].truth[1]);
}

void TestAligningFirmware::whiteThatMissesIsCorrected()
{
    Station station;
    // A sensor still warming up: it reads 3 % too much Z for the first white and
    // the primaries, so the gains computed from them miss the target.
    std::atomic<int> taken{0};
    station.instrument.setReadingSource([&] {
        Xyz xyz = station.world.sensorReading(Instrument::CR250);
        if (taken++ < 4)
            xyz[2] *= 1.03;
        return xyz;
    });
    QVERIFY(station.connect());
    QVERIFY(station.switchAlignmentOn());
    const AligningFirmware::Progress result = station.align();
    QVERIFY2(result.succeeded, describe(result));
    QCOMPARE(taken.load(), int(result.readings.size()));

    // The first white with gains was off; what it was told brought it in.
    std::vector<double> whites;
    for (size_t i = 4; i < result.readings.size(); ++i) {
        if (result.readings[i].name == "white")
            whites.push_back(DisplayModel::whiteError(result.readings[i].told));
    }
    QVERIFY2(whites.size() >= 2 && whites.size() <= size_t(1 + WhiteAlignment::kMaxWhiteCorrections),
             QByteArray::number(int(whites.size())));
    for (double e : whites)
        qDebug("white told %.5f off", e);
    QVERIFY2(whites.front() > 0.001, QByteArray::number(whites.front()));
    QVERIFY2(result.toldWhiteError < 0.0003, describe(result));
    QCOMPARE(result.toldWhiteError, whites.back());
    QCOMPARE(result.steps, result.step);
    QCOMPARE(int(result.readings.size()), 7 + int(whites.size()));
}

void TestAligningFirmware::alignmentSwitchedOffFailsWithinTheTimeout()
{
    {
        // Not served: nothing to start.
        SimulatedWorld world;
        AligningFirmware idle(world);
        QVERIFY(!idle.startAlignment());
        QVERIFY(!idle.isAligning());
    }
    Station station;
    QVERIFY(station.connect());
    station.firmware->setReplyTimeout(300ms);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(station.firmware->startAlignment());
    QVERIFY(!station.firmware->startAlignment()); // one at a time
    QVERIFY(station.firmware->waitForAlignment(5s));
    const qint64 took = clock.elapsed();
    const AligningFirmware::Progress result = station.firmware->progress();
    QVERIFY(result.finished);
    QVERIFY(!result.succeeded);
    QCOMPARE(result.error, std::string("no reply to MES,1 within 0.3 s: is alignment switched on?"));
    QVERIFY2(took >= 290 && took < 3000, QByteArray::number(took));
    QVERIFY(result.readings.empty());
    // It gave up with the factory gains in place.
    QCOMPARE(station.world.displayGains(), SimulatedWorld::factoryGains());
}

void TestAligningFirmware::cancelEndsTheWaitForAReplyAtOnce()
{
    Station station;
    QVERIFY(station.connect());
    station.firmware->setReplyTimeout(20s);
    QVERIFY(station.firmware->startAlignment());
    // The request has reached the program, which does not answer it.
    QTRY_VERIFY_WITH_TIMEOUT(station.measure->currentMonitor()->bytesWaiting() >= 6, 5000);
    QVERIFY(station.firmware->isAligning());

    QElapsedTimer clock;
    clock.start();
    station.firmware->cancelAlignment();
    QVERIFY(station.firmware->waitForAlignment(2s));
    QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
    const AligningFirmware::Progress result = station.firmware->progress();
    QVERIFY(result.finished && !result.succeeded);
    QCOMPARE(result.error, std::string("alignment cancelled"));

    // Cancelling nothing is harmless; a new run can start, even one cancelled at once.
    station.firmware->cancelAlignment();
    QVERIFY(station.firmware->startAlignment());
    station.firmware->cancelAlignment();
    QVERIFY(station.firmware->waitForAlignment(2s));
}

void TestAligningFirmware::destroyingMidRunEndsPromptly()
{
    // In the middle of a run the program serves.
    Station station;
    QVERIFY(station.connect());
    QVERIFY(station.switchAlignmentOn());
    std::atomic<int> published{0};
    station.firmware->setProgressObserver([&](const AligningFirmware::Progress&) { ++published; });
    QVERIFY(station.firmware->startAlignment());
    QTRY_VERIFY_WITH_TIMEOUT(station.firmware->progress().step >= 2, 10000);
    QElapsedTimer clock;
    clock.start();
    station.firmware.reset();
    QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
    QVERIFY(published.load() > 0);
}

void TestAligningFirmware::destroyingWhileRepliesPourInIsSafe()
{
    SimulatedWorld world;
    auto firmware = std::make_unique<AligningFirmware>(world);
    QVERIFY(firmware->start());
    firmware->setReplyTimeout(20s);
    QVERIFY(firmware->startAlignment());

    // A program that keeps answering with lines nobody asked for, right
    // through the firmware's end.
    const int fd = ::open(firmware->devicePath().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    std::atomic<bool> done{false};
    std::thread chatter([&] {
        const std::string line = "OK01,001.000;002.000;003.000\r";
        while (!done.load()) {
            const ssize_t n = ::write(fd, line.data(), line.size());
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                break; // the terminal is gone
            if (n < 0) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 10);
            }
        }
    });
    const bool flowing = firmware->waitForReplies(50, 5s);
    QElapsedTimer clock;
    clock.start();
    firmware.reset();
    const qint64 took = clock.elapsed();
    done = true;
    chatter.join();
    ::close(fd);
    QVERIFY(flowing);
    QVERIFY2(took < 1000, QByteArray::number(took));
}

QTEST_MAIN(TestAligningFirmware)
#include "tst_aligningfirmware.moc"
