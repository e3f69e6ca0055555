#include "components.h"
#include "emulatedinstrument.h"
#include "pr6xxcmd.h"
#include "pr6xxemulator.h"
#include "pr6xxsensor.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Fault = Pr6xxEmulator::Fault;
using Injected = Pr6xxEmulator::Injected;

namespace {

// Long enough to tell a reply taken at once from one waited for, also in a
// sanitized build; short enough to keep the waiting cases quick.
constexpr int kDeadline = 1200;

bool near(double a, double b)
{
    return qAbs(a - b) <= 1e-3 * qMax(1.0, qAbs(b));
}

} // namespace

// The PR-6xx driver against an emulated instrument on a pseudo-terminal.
class TestPR6xxSensor : public QObject, private EmulatedInstrument<Pr6xxEmulator, PR6xxSensor>
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void constructsClosed();
    void initReadsTheSerialNumber();
    void initFails_data();
    void initFails();
    void portThatDoesNotOpen();
    void initAgainAndStartMeasureSendNothing();
    void replyEndingEarly_data();
    void replyEndingEarly();
    void replyTooShortIsWaitedPast();
    void replyCompletedLate();
    void failedReading_data();
    void failedReading();
    void hungUpLineEndsTheWaitAtOnce_data() { addHangups(); }
    void hungUpLineEndsTheWaitAtOnce();
    void releaseSendsALoneQ();

private:
    // Starts the emulator and points a new driver at it, without opening it.
    bool prepare(const Pr6xxEmulator::Config& config = Pr6xxEmulator::Config());
    bool open(const Pr6xxEmulator::Config& config = Pr6xxEmulator::Config());
};

void TestPR6xxSensor::initTestCase()
{
    createPort();
    QVERIFY(port->isValid());
}

void TestPR6xxSensor::cleanup()
{
    discardInstrument();
}

bool TestPR6xxSensor::prepare(const Pr6xxEmulator::Config& config)
{
    if (!startInstrument(config))
        return false;
    sensor->setCollectDeadline(kDeadline);
    return true;
}

bool TestPR6xxSensor::open(const Pr6xxEmulator::Config& config)
{
    return prepare(config) && sensor->init(QStringLiteral("ttyACM3"));
}

void TestPR6xxSensor::constructsClosed()
{
    PR6xxSensor fresh;
    QVERIFY(!fresh.getIsOpen());
    QCOMPARE(fresh.getSpectrum().GetStart(), 380);
    QCOMPARE(fresh.getSpectrum().GetEnd(), 780);
    QCOMPARE(fresh.getSpectrum().GetSamples().size(), 401);
    QCOMPARE(fresh.getCollectDeadline(), 9000);
    CSensor::setComPort(4);
    QCOMPARE(fresh.devicePath(), QStringLiteral("/dev/ttyACM4"));
    // Nothing to talk to: a reading fails at once, and says so.
    QSignalSpy spy(&fresh, &CSensor::colorChanged);
    QVERIFY(fresh.GetColor().IsNoData());
    QCOMPARE(spy.count(), 1);
}

void TestPR6xxSensor::initReadsTheSerialNumber()
{
    QVERIFY(open());
    QVERIFY(sensor->getIsOpen());
    QVERIFY(device->remoteMode());
    QVERIFY(messages->shown().isEmpty());
    QCOMPARE(sensor->getSerialNumber(), QStringLiteral("60812345"));
    QCOMPARE(sensor->getPortName(), QStringLiteral("ttyACM3"));
    QCOMPARE(device->commands(), lines({"PHOTO", "D110", "SU1", "SE3000"}));
    // "PHOTO" goes out without a line end.
    QCOMPARE(device->input(), std::string("PHOTOD110\rSU1\rSE3000\r"));
}

void TestPR6xxSensor::initFails_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("code");

    QTest::newRow("serial number status 00001") << "D110" << int(Fault::ErrorStatus) << 1;
    QTest::newRow("noise instead of the serial number") << "D110" << int(Fault::Garbage) << 0;
    QTest::newRow("silent instrument") << "*" << int(Fault::Silence) << 0;
}

void TestPR6xxSensor::initFails()
{
    QFETCH(QString, key);
    QFETCH(int, fault);
    QFETCH(int, code);
    QVERIFY(prepare());
    device->setFault(key.toStdString(), Injected{Fault(fault), code});

    QVERIFY(!sensor->init(QStringLiteral("ttyACM3")));
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(sensor->getSerialNumber().isEmpty());
    QCOMPARE(messages->shown().size(), 1);
    const RecordingMessenger::Shown shown = messages->shown().first();
    QCOMPARE(shown.icon, Messenger::Icon::Warning);
    QCOMPARE(shown.title, QStringLiteral("PR-6xx"));
    QCOMPARE(shown.text, QStringLiteral("Get SN failed."));
    QCOMPARE(shown.buttons, Messenger::Buttons(Messenger::Ok));
    // No settings are sent to an instrument that did not identify itself.
    QCOMPARE(device->commands(), lines({"PHOTO", "D110"}));
}

void TestPR6xxSensor::portThatDoesNotOpen()
{
    checkPortThatDoesNotOpen(QStringLiteral("PR-6xx"));
}

void TestPR6xxSensor::initAgainAndStartMeasureSendNothing()
{
    QVERIFY(open());
    device->clearCommands();
    QVERIFY(sensor->init(QStringLiteral("other")));
    QCOMPARE(sensor->getPortName(), QStringLiteral("ttyACM3"));
    const int delay = sensor->getMeasureDelay();
    QCOMPARE(sensor->startMeasure(), 9000);
    QCOMPARE(sensor->getMeasureDelay(), delay);
    sensor->stopMeasure();
    // The reading is the first the instrument hears of it.
    sensor->GetColor();
    QCOMPARE(device->commands(), lines({"M2"}));
}

void TestPR6xxSensor::replyEndingEarly_data()
{
    QTest::addColumn<int>("yDecimals");
    QTest::addColumn<int>("zDecimals");
    QTest::addColumn<int>("length");
    QTest::newRow("39 bytes") << 3 << 3 << 39;
    QTest::newRow("38 bytes") << 2 << 3 << 38;
    QTest::newRow("37 bytes") << 1 << 3 << 37;
}

void TestPR6xxSensor::replyEndingEarly()
{
    QFETCH(int, yDecimals);
    QFETCH(int, zDecimals);
    QFETCH(int, length);
    Pr6xxEmulator::Config config;
    config.decimals[1] = yDecimals;
    config.decimals[2] = zDecimals;
    // Values that survive the shortest form unchanged.
    config.x = 40.5;
    config.y = 20.0;
    config.z = 1.5;
    QCOMPARE(int(Pr6xxEmulator::readingReply(config).size()), length);
    QVERIFY(open(config));
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);

    QElapsedTimer clock;
    clock.start();
    const CColor color = sensor->GetColor();
    QVERIFY2(clock.elapsed() < kDeadline, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(components(color), (QList<double>{40.5, 20.0, 1.5}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<CColor>(spy.first().first()), color);
}

void TestPR6xxSensor::replyTooShortIsWaitedPast()
{
    Pr6xxEmulator::Config config;
    config.decimals[0] = config.decimals[1] = config.decimals[2] = 2;
    QCOMPARE(Pr6xxEmulator::readingReply(config).size(), size_t(36));
    QVERIFY(open(config));

    // A line end three bytes short is no early end: the driver collects until
    // the deadline, then judges what it has.
    QElapsedTimer clock;
    clock.start();
    const CColor color = sensor->GetColor();
    QVERIFY(clock.elapsed() >= kDeadline);
    QVERIFY(near(color[1], 100.0));
}

void TestPR6xxSensor::replyCompletedLate()
{
    QVERIFY(prepare());
    QVERIFY(sensor->init(QStringLiteral("ttyACM3")));
    // 36 bytes, then the last three after a pause.
    device->setFault("M2", Injected{Fault::Short, 0, 36, 500});

    QElapsedTimer clock;
    clock.start();
    const CColor color = sensor->GetColor();
    const qint64 elapsed = clock.elapsed();
    QVERIFY(elapsed >= 500);
    QVERIFY2(elapsed < kDeadline, qPrintable(QString::number(elapsed)));
    QVERIFY(near(color[2], 108.883));
}

void TestPR6xxSensor::failedReading_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("code");
    QTest::newRow("error status") << int(Fault::ErrorStatus) << 6;
    QTest::newRow("noise") << int(Fault::Garbage) << 0;
    QTest::newRow("silence") << int(Fault::Silence) << 0;
    QTest::newRow("cut short") << int(Fault::Short) << 0;
}

void TestPR6xxSensor::failedReading()
{
    QFETCH(int, fault);
    QFETCH(int, code);
    QVERIFY(open());
    device->setFault("M2", Injected{Fault(fault), code, 20});
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);

    // A failed reading is announced, as no data: never as a black reading.
    const CColor color = sensor->GetColor();
    QVERIFY(color.IsNoData());
    QCOMPARE(spy.count(), 1);
    QVERIFY(qvariant_cast<CColor>(spy.first().first()).IsNoData());
}

void TestPR6xxSensor::hungUpLineEndsTheWaitAtOnce()
{
    QFETCH(int, hangup);
    QFETCH(int, bound);
    QVERIFY(open());
    // The full deadline: a driver that waits on a dead line would take 9 s.
    sensor->setCollectDeadline(PR6xxSensor::DefaultCollectDeadline);
    device->setFault("M2", Injected{Fault::Silence});

    // The line goes dead while the driver waits for the reading.
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    CColor color;
    const qint64 elapsed = timeHungUp(Hangup(hangup), [&] { color = sensor->GetColor(); });
    QVERIFY(color.IsNoData());
    QCOMPARE(spy.count(), 1);
    QVERIFY2(elapsed < bound, qPrintable(QString::number(elapsed)));

    // A reading on the dead line fails at once too.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sensor->GetColor().IsNoData());
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestPR6xxSensor::releaseSendsALoneQ()
{
    QVERIFY(open());
    device->clearCommands();
    sensor->release();
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(device->waitForCommands(1, 5s));
    QCOMPARE(device->input(), std::string("Q"));
    QVERIFY(!device->remoteMode());
    // The port is closed: a command fails without going out.
    PR6xxCmd photo(QByteArrayLiteral("PHOTO"), 12);
    QVERIFY(!sensor->doCmd(photo));

    // And the instrument can be opened again.
    QVERIFY(sensor->init(QStringLiteral("ttyACM3")));
    QVERIFY(device->remoteMode());
}

QTEST_GUILESS_MAIN(TestPR6xxSensor)
#include "tst_pr6xxsensor.moc"
