#include "cs2000cmd.h"
#include "cs2000emulator.h"
#include "cs2000sensor.h"
#include "emulatedinstrument.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Fault = Cs2000Emulator::Fault;
using Injected = Cs2000Emulator::Injected;

namespace {

// Short, so that the silent cases stay quick; long enough for a sanitized build.
constexpr int kDeadline = 500;

} // namespace

// The CS-2000 driver against an emulated instrument on a pseudo-terminal.
class TestCS2000Sensor : public QObject, private EmulatedInstrument<Cs2000Emulator, CS2000Sensor>
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void constructsClosed();
    void identification();
    void failedIdentificationIsNotFatal();
    void portThatDoesNotOpen();
    void shortReplyFailsInitAndIsDiscarded();
    void silentInstrumentFailsInit();
    void startMeasure_data();
    void startMeasure();
    void startMeasureFails();
    void refusedStartCollectsNoReading();
    void lateRemainderIsNotTakenForTheEndMessage();
    void reading_data();
    void reading();
    void failedReading_data();
    void failedReading();
    void replyInPieces();
    void hungUpLineEndsTheWaitAtOnce_data() { addHangups(); }
    void hungUpLineEndsTheWaitAtOnce();
    void stopAndRelease();

private:
    // Starts the emulator and points a new driver at it, without opening it.
    bool prepare(const Cs2000Emulator::Config& config = Cs2000Emulator::Config());
    bool open(const Cs2000Emulator::Config& config = Cs2000Emulator::Config());
};

void TestCS2000Sensor::initTestCase()
{
    createPort();
    QVERIFY(port->isValid());
}

void TestCS2000Sensor::cleanup()
{
    discardInstrument();
}

bool TestCS2000Sensor::prepare(const Cs2000Emulator::Config& config)
{
    if (!startInstrument(config))
        return false;
    sensor->setReplyDeadline(kDeadline);
    return true;
}

bool TestCS2000Sensor::open(const Cs2000Emulator::Config& config)
{
    return prepare(config) && sensor->init(QStringLiteral("ttyACM3"));
}

void TestCS2000Sensor::constructsClosed()
{
    CS2000Sensor fresh;
    QVERIFY(!fresh.getIsOpen());
    QCOMPARE(fresh.getReplyDeadline(), 40000);
    // The device follows the remembered port number, whatever init() is given.
    CSensor::setComPort(12);
    QCOMPARE(fresh.devicePath(), QStringLiteral("/dev/ttyACM12"));
    // Nothing to talk to: every command fails at once.
    Cs2000Cmd command(QByteArrayLiteral("RMTS,1\r\n"), 6);
    QVERIFY(!fresh.doCmd(command));
    QVERIFY(fresh.GetColor().IsNoData());
    QCOMPARE(fresh.startMeasure(), 0);
}

void TestCS2000Sensor::identification()
{
    // Each identification reply is 26 bytes long: a short serial comes without
    // its line end. (The default one, cut to seven, is read by the cases below.)
    Cs2000Emulator::Config config;
    config.variant = "012345";
    config.serial = "AB12";
    QVERIFY(open(config));
    QVERIFY(sensor->getIsOpen());
    QVERIFY(device->commandMode());
    QCOMPARE(sensor->getSerialNumber(), QStringLiteral("AB12"));
    QCOMPARE(sensor->getPortName(), QStringLiteral("ttyACM3"));
    QCOMPARE(device->commands(), lines({"RMTS,1", "IDDR"}));
    QVERIFY(messages->shown().isEmpty());

    // Open already: init sends nothing, and the next command is the first the
    // instrument sees.
    device->clearCommands();
    QVERIFY(sensor->init(QStringLiteral("other")));
    QCOMPARE(sensor->getPortName(), QStringLiteral("ttyACM3"));
    sensor->stopMeasure();
    QCOMPARE(device->commands(), lines({"MEAS,0"}));
}

void TestCS2000Sensor::failedIdentificationIsNotFatal()
{
    QVERIFY(open());
    const QString first = sensor->getSerialNumber();
    QCOMPARE(first.size(), 7);
    sensor->release();

    // An error reply is shorter than the identification: the read fails.
    Cs2000Emulator::Config other;
    other.serial = "99999999";
    device->setConfig(other);
    device->setFault("IDDR", Injected{Fault::ErrorReply, 0});
    QVERIFY(sensor->init(QStringLiteral("ttyACM3")));
    QVERIFY(sensor->getIsOpen());
    QCOMPARE(sensor->getSerialNumber(), first);
}

void TestCS2000Sensor::portThatDoesNotOpen()
{
    checkPortThatDoesNotOpen(QStringLiteral("CS-2000"));
}

void TestCS2000Sensor::shortReplyFailsInitAndIsDiscarded()
{
    QVERIFY(prepare());
    // Five bytes of "OK00\r\n"; the last byte comes long after the driver gave up.
    device->setFault("RMTS,1", Injected{Fault::Short, 0, 5, 2 * CS2000Sensor::ReadTimeout, 1});

    QVERIFY(!sensor->init(QStringLiteral("ttyACM3")));
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(messages->shown().isEmpty());
    QCOMPARE(device->commands(), lines({"RMTS,1"}));

    // The late byte must not be taken for the start of the next reply.
    QVERIFY(device->waitIdle(5s));
    QVERIFY(sensor->init(QStringLiteral("ttyACM3")));
    QCOMPARE(sensor->getSerialNumber(), QStringLiteral("3001234"));
}

void TestCS2000Sensor::silentInstrumentFailsInit()
{
    QVERIFY(prepare());
    device->setFault(Cs2000Emulator::AnyCommand, Injected{Fault::Silence});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!sensor->init(QStringLiteral("ttyACM3")));
    QVERIFY(clock.elapsed() >= kDeadline);
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(messages->shown().isEmpty());
    // Nothing after the first command: without command mode there is no point.
    QCOMPARE(device->commands(), lines({"RMTS,1"}));
}

void TestCS2000Sensor::startMeasure_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("expected");
    QTest::newRow("no time") << 0 << 2000;
    QTest::newRow("one second is raised") << 1 << 2000;
    QTest::newRow("two seconds") << 2 << 2000;
    QTest::newRow("five seconds") << 5 << 5000;
}

void TestCS2000Sensor::startMeasure()
{
    QFETCH(int, seconds);
    QFETCH(int, expected);
    Cs2000Emulator::Config config;
    config.measureSeconds = seconds;
    QVERIFY(open(config));
    device->clearCommands();

    QCOMPARE(sensor->startMeasure(), expected);
    QCOMPARE(sensor->getMeasureDelay(), expected);
    QCOMPARE(device->commands(), lines({"MEAS,1"}));
}

void TestCS2000Sensor::startMeasureFails()
{
    Cs2000Emulator::Config config;
    config.measureSeconds = 5;
    QVERIFY(open(config));
    QCOMPARE(sensor->startMeasure(), 5000);

    device->setFault("MEAS,1", Injected{Fault::ErrorReply, 3});
    QCOMPARE(sensor->startMeasure(), 0);
    QCOMPARE(sensor->getMeasureDelay(), 5000);
}

void TestCS2000Sensor::refusedStartCollectsNoReading()
{
    // A measurement that would end after the refusal's short reply has been
    // waited out (one read timeout) and within the wait for the end message.
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = CS2000Sensor::ReadTimeout + 400;
    QVERIFY(open(config));
    sensor->setReplyDeadline(1500);
    device->setFault("MEAS,1", Injected{Fault::ErrorReply, 3});
    QCOMPARE(sensor->startMeasure(), 0);

    // The instrument measures nothing: the wait for its end message runs out
    // and no values are asked for.
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    QVERIFY(sensor->GetColor().IsNoData());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(device->commands(), lines({"RMTS,1", "IDDR", "MEAS,1"}));
}

void TestCS2000Sensor::lateRemainderIsNotTakenForTheEndMessage()
{
    // The start reply breaks off after "OK00,"; the rest comes after the
    // driver has given up on it (one read timeout), and the instrument, which
    // did start, ends its measurement a good while later.
    const int restAfter = CS2000Sensor::ReadTimeout + 300;
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = restAfter + 2 * CS2000Sensor::ReadTimeout;
    config.x = 33.5;
    QVERIFY(open(config));
    sensor->setReplyDeadline(4000);
    device->setFault("MEAS,1", Injected{Fault::Short, 0, 5, restAfter, 1});
    QCOMPARE(sensor->startMeasure(), 0);

    // Nothing is sent before the wait for the end message, so only what the
    // failed start threw away keeps the late "001" out of it.
    const CColor color = sensor->GetColor();
    QVERIFY(!color.IsNoData());
    QCOMPARE(color[0], 33.5);
    QCOMPARE(device->commands(), lines({"RMTS,1", "IDDR", "MEAS,1", "MEDR,2,0,01"}));
}

void TestCS2000Sensor::reading_data()
{
    QTest::addColumn<int>("busyReplies");
    QTest::newRow("done at once") << 0;
    QTest::newRow("still measuring once") << 1;
    QTest::newRow("still measuring five times") << 5;
}

void TestCS2000Sensor::reading()
{
    QFETCH(int, busyReplies);
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = 100;
    config.busyReplies = busyReplies;
    config.x = 41.24;
    config.y = 21.26;
    config.z = 1.93;
    QVERIFY(open(config));
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    const CColor before = sensor->getLastColor();

    QCOMPARE(sensor->startMeasure(), 2000);
    const CColor color = sensor->GetColor();
    QVERIFY(!color.IsNoData());
    QVERIFY(qAbs(color[0] - 41.24) < 1e-3);
    QVERIFY(qAbs(color[1] - 21.26) < 1e-3);
    QVERIFY(qAbs(color[2] - 1.93) < 1e-3);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(qvariant_cast<CColor>(spy.first().first()), color);
    // The reading lives in the returned value only.
    QCOMPARE(sensor->getLastColor(), before);
    QCOMPARE(device->commands(), lines({"RMTS,1", "IDDR", "MEAS,1", "MEDR,2,0,01"}));
}

void TestCS2000Sensor::failedReading_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("readsXyz");

    QTest::newRow("measurement error") << "END" << int(Fault::ErrorReply) << 10 << false;
    QTest::newRow("end message cut short") << "END" << int(Fault::Short) << 0 << false;
    QTest::newRow("no end message") << "END" << int(Fault::Silence) << 0 << false;
    QTest::newRow("values refused") << "MEDR,2,0,01" << int(Fault::ErrorReply) << 2 << true;
    QTest::newRow("values never sent") << "MEDR,2,0,01" << int(Fault::Silence) << 0 << true;
}

void TestCS2000Sensor::failedReading()
{
    QFETCH(QString, key);
    QFETCH(int, fault);
    QFETCH(int, code);
    QFETCH(bool, readsXyz);
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = 50;
    config.busyReplies = 2;
    QVERIFY(open(config));
    device->setFault(key.toStdString(), Injected{Fault(fault), code, 3});
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);

    QCOMPARE(sensor->startMeasure(), 2000);
    const CColor color = sensor->GetColor();
    QVERIFY(color.IsNoData());
    QCOMPARE(spy.count(), 0);
    const std::vector<std::string> sent = device->commands();
    QCOMPARE(std::count(sent.begin(), sent.end(), "MEDR,2,0,01") == 1, readsXyz);
}

void TestCS2000Sensor::replyInPieces()
{
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = 50;
    config.x = 12.5;
    QVERIFY(open(config));
    // The values come in two pieces, the second well within the read timeout:
    // together they are one reply.
    device->setFault("MEDR,2,0,01", Injected{Fault::Short, 0, 20, CS2000Sensor::ReadTimeout / 4});
    QCOMPARE(sensor->startMeasure(), 2000);
    const CColor color = sensor->GetColor();
    QCOMPARE(color[0], 12.5);
    QVERIFY(qAbs(color[1] - 100.0) < 1e-3);
}

void TestCS2000Sensor::hungUpLineEndsTheWaitAtOnce()
{
    QFETCH(int, hangup);
    QFETCH(int, bound);
    Cs2000Emulator::Config config;
    config.measureSeconds = 1;
    config.measureMs = 50;
    QVERIFY(open(config));
    // The full deadline: a driver that waits on a dead line would take 40 s.
    sensor->setReplyDeadline(CS2000Sensor::DefaultReplyDeadline);
    device->setFault("MEDR,2,0,01", Injected{Fault::Silence});
    QCOMPARE(sensor->startMeasure(), 2000);

    // The line goes dead while the driver waits for the values.
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    CColor color;
    const qint64 elapsed = timeHungUp(Hangup(hangup), [&] { color = sensor->GetColor(); });
    QVERIFY(color.IsNoData());
    QCOMPARE(spy.count(), 0);
    QVERIFY2(elapsed < bound, qPrintable(QString::number(elapsed)));

    // Every later command fails at once too.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(sensor->startMeasure(), 0);
    QVERIFY(sensor->GetColor().IsNoData());
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
}

void TestCS2000Sensor::stopAndRelease()
{
    QVERIFY(open());
    device->clearCommands();
    sensor->stopMeasure();
    sensor->release();
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(!device->commandMode());
    QCOMPARE(device->commands(), lines({"MEAS,0", "RMTS,0"}));
    // The port is closed: nothing more goes out.
    Cs2000Cmd command(QByteArrayLiteral("RMTS,1\r\n"), 6);
    QVERIFY(!sensor->doCmd(command));
    QCOMPARE(device->commands().size(), size_t(2));
}

QTEST_GUILESS_MAIN(TestCS2000Sensor)
#include "tst_cs2000sensor.moc"
