#include "alignmentprofile.h"
#include "alignmentthread.h"
#include "cmonitor.h"
#include "crxxxemulator.h"
#include "devicelink.h"
#include "measure.h"
#include "monitoremulator.h"
#include "recordingmessenger.h"
#include "scriptedsensor.h"
#include "sensortable.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <QFile>
#include <QThread>

#include <clocale>
#include <ctime>
#include <limits>
#include <string>
#include <memory>

using namespace std::chrono_literals;

namespace {

// A controller whose factory hands out one scripted sensor for any type but 0,
// with a port of its own if hasComPort, and an emulated display.
struct Rig {
    explicit Rig(bool hasComPort = false)
    {
        measure->setSensorFactory([this, hasComPort](int type) -> CSensor* {
            if (type == 0)
                return nullptr;
            sensor = new ScriptedSensor;
            sensor->setHasComPort(hasComPort);
            return sensor;
        });
    }

    // Opens the sensor and connects the monitor link to the display.
    bool connectAll()
    {
        if (!measure->initSensor(7, QStringLiteral("ttyUSB0")) || !monitor.start())
            return false;
        measure->initMonitor();
        return measure->connectMonitor(QString::fromStdString(monitor.portName()));
    }

    // The same with the real CR driver on an emulated CR-250.
    bool connectCr()
    {
        measure->setSensorFactory(&SensorTable::createForWindow);
        if (!instrument.start() || !measure->initSensor(13, QString::fromStdString(instrument.portName())))
            return false;
        return monitor.start() && measure->initMonitor()
               && measure->connectMonitor(QString::fromStdString(monitor.portName()));
    }

    // Switches alignment on and waits until the thread has flushed the link.
    bool startAligning()
    {
        if (!measure->doAlignment())
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!measure->isServingAlignment() && clock.elapsed() < 3000)
            QTest::qWait(5);
        return measure->isServingAlignment();
    }

    std::string lastReply() const
    {
        const auto replies = monitor.replies();
        return replies.empty() ? std::string() : replies.back().line;
    }

    RecordingMessenger messages;
    CrxxxEmulator instrument{CrxxxEmulator::cr250()};
    MonitorEmulator monitor;
    // Goes first, as it may still be talking to the emulators.
    std::unique_ptr<Measure> measure = std::make_unique<Measure>();
    ScriptedSensor* sensor = nullptr; // owned by the controller
};

// The display's request and the reply to it, or "" if none came.
std::string ask(MonitorEmulator& display, const char* request)
{
    const size_t before = display.replies().size();
    display.request(request);
    return display.waitForReplies(before + 1, 3s) ? display.replies().back().line : std::string();
}

CColor colorArg(const QSignalSpy& spy, int i)
{
    return qvariant_cast<CColor>(spy.at(i).at(0));
}

// The flags a connected signal carried, in order.
QList<bool> flags(const QSignalSpy& spy)
{
    QList<bool> all;
    for (const auto& arguments : spy)
        all << arguments.at(0).toBool();
    return all;
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

} // namespace

class TestMeasure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sensorsComeFromTheFactory();
    void singleMeasurementOpensTheSensorOnce();
    void correctionOfReadings();
    void alignmentNeedsSensorAndMonitor();
    void portSlotsAndSettings();
    void saveProfile();

    void replyFormats();
    void startAndStopRequests();
    void zeroWaitSkipsWhatArrivedMeanwhile();
    void unusableReadingsGetNoReply_data();
    void unusableReadingsGetNoReply();
    void matrixIsFixedForAnAlignmentPeriod();
    void endingWaitsForThePassInProgress_data();
    void endingWaitsForThePassInProgress();
    void servesADisplayWithACrInstrument();
    void displayUnpluggedAndPluggedInAgain();
    void oneDeviceIsNeverBothSensorAndMonitor_data();
    void oneDeviceIsNeverBothSensorAndMonitor();
    void switchingOnDropsAPendingSingleReading();
    void driverWarningDuringAlignmentIsShownOnceOnTheMainThread();

private:
    QTemporaryDir m_settings;
};

void TestMeasure::initTestCase()
{
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
}

void TestMeasure::sensorsComeFromTheFactory()
{
    RecordingMessenger messages;
    Measure measure;
    // No driver until a factory is handed over, nor for unsupported types.
    QVERIFY(!measure.initSensor(13, QStringLiteral("ttyUSB0")));
    measure.setSensorFactory(&SensorTable::createForWindow);
    for (int type : {0, 1, 2, 3, 6, 8, 9, 10, 11, 12}) {
        QVERIFY(!measure.initSensor(type, QString()));
        QVERIFY(!measure.currentSensor());
        QCOMPARE(measure.getSensorType(), type);
    }
    // An empty factory takes back the one handed over.
    measure.setSensorFactory({});
    measure.createSensor(13);
    QVERIFY(!measure.currentSensor());
    const QStringList boxes = messages.boxes();
    QCOMPARE(boxes.size(), 12);
    QCOMPARE(boxes.count(QStringLiteral("Warning Warning: This sensor is not supported now!")), 12);

    measure.setSensorFactory(&SensorTable::createForWindow);
    measure.createSensor(13);
    CSensor* cr = measure.currentSensor();
    QVERIFY(cr);
    QCOMPARE(cr->getName(), QStringLiteral("CR100/CR250"));
    QVERIFY(cr->getHasComPort());
    // A second request keeps the sensor that exists.
    measure.createSensor(13);
    QCOMPARE(measure.currentSensor(), cr);
    measure.releaseSensor();
    QVERIFY(!measure.currentSensor());
}

void TestMeasure::singleMeasurementOpensTheSensorOnce()
{
    Rig rig;
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Warning Single measure: Sensor not connected!")});

    // The sensor is opened on demand, not again once open, and the reading
    // arrives through the event loop.
    rig.measure->createSensor(7);
    QSignalSpy connected(rig.measure.get(), &Measure::sensorConnected);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    rig.sensor->queueReading(CColor(4, 5, 6));
    rig.measure->doSingleMeasure();
    QVERIFY(corrected.wait(2000));
    QVERIFY(colorArg(corrected, 0) == CColor(4, 5, 6));
    QVERIFY(rig.measure->connectSensor());
    QCOMPARE(rig.sensor->initCalls.load(), 1);
    QCOMPARE(rig.sensor->startCalls.load(), 1);

    // A sensor that does not open: no measurement and no message of the controller's.
    rig.messages.clear();
    rig.sensor->release();
    rig.sensor->setInitResult(false);
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.sensor->initCalls.load(), 2);
    QCOMPARE(rig.sensor->startCalls.load(), 1);
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(flags(connected), (QList<bool>{true, true, false}));
}

void TestMeasure::correctionOfReadings()
{
    Measure measure;
    QSignalSpy raw(&measure, &Measure::rawColorChanged);
    QSignalSpy corrected(&measure, &Measure::colorChanged);
    QSignalSpy matrixSpy(&measure, &Measure::matrixChanged);

    measure.doColorChanged(CColor(10, 20, 30));
    QVERIFY(colorArg(corrected, 0) == CColor(10, 20, 30));

    const double scale[] = {2, 0, 0, 0, 1, 0, 0, 0, 0.5};
    measure.SetMatrix(Matrix(scale, 3, 3));
    QCOMPARE(matrixSpy.count(), 1);
    QVERIFY(qvariant_cast<Matrix>(matrixSpy.at(0).at(0)) == Matrix(scale, 3, 3));
    measure.doColorChanged(CColor(10, 20, 30));
    QVERIFY(colorArg(raw, 1) == CColor(10, 20, 30));
    QVERIFY(colorArg(corrected, 1) == CColor(20, 20, 15));

    // A failed reading stays recognisable after correction.
    measure.doColorChanged(noDataColor);
    QVERIFY(colorArg(raw, 2).IsNoData());
    QVERIFY(colorArg(corrected, 2).IsNoData());
}

void TestMeasure::alignmentNeedsSensorAndMonitor()
{
    Rig rig;
    // Without a monitor there is nothing to connect; a sensor without a port
    // of its own gets the name as it is.
    QSignalSpy monitorConnected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(!rig.measure->connectMonitor(QStringLiteral("ttyS3")));
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyS3")));
    QCOMPARE(rig.measure->getSensorPortPath(), QStringLiteral("ttyS3"));
    QCOMPARE(rig.sensor->getPortName(), QStringLiteral("ttyS3"));
    QVERIFY(!rig.measure->doAlignment());
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Error!: Connect Sensor and Monitor First!")});

    QVERIFY(rig.monitor.start());
    rig.measure->initMonitor();
    QVERIFY(rig.measure->connectMonitor(QString::fromStdString(rig.monitor.portName())));
    QVERIFY(rig.measure->doAlignment());
    QVERIFY(rig.measure->GetIsAlignment());

    rig.messages.clear();
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Alignment is on.")});
    QCOMPARE(rig.sensor->startCalls.load(), 0);

    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(!rig.measure->GetIsAlignment());

    // A monitor port that does not open is reported through the signal.
    rig.measure->initMonitor();
    QVERIFY(!rig.measure->connectMonitor(QStringLiteral("no-such-port")));
    QCOMPARE(flags(monitorConnected), (QList<bool>{false, true, false}));
}

void TestMeasure::portSlotsAndSettings()
{
    Measure measure;
    QSignalSpy sensorPort(&measure, &Measure::sensorPortChanged);
    QSignalSpy monitorPort(&measure, &Measure::monitorPortChanged);
    measure.setSensorPort(3);
    measure.setMonitorPort(5);
    // Told of a change, the controller keeps the number and does not announce it again.
    measure.doSensorPortChanged(2);
    measure.doMonitorPortChanged(4);
    QCOMPARE(sensorPort, QList<QList<QVariant>>{{3}});
    QCOMPARE(monitorPort, QList<QList<QVariant>>{{5}});
    QCOMPARE(measure.getSensorPort(), 2);
    QCOMPARE(measure.getMonitorPort(), 4);
    QCOMPARE(CSensor::getComPort(), 2);
}

void TestMeasure::saveProfile()
{
    QTemporaryDir dir;
    Rig rig;
    QVERIFY(!rig.measure->saveProfile(dir.filePath(QStringLiteral("none.alg"))));
    QVERIFY(rig.measure->initSensor(7, QString()));
    rig.sensor->setSerialNumber(QStringLiteral("12345678"));
    const double v[] = {1.1, 0, 0, 0, 0.9, 0, 0, 0.01, 1};
    rig.measure->SetMatrix(Matrix(v, 3, 3));
    const QString file = dir.filePath(QStringLiteral("ca410.alg"));
    QVERIFY(rig.measure->saveProfile(file));

    AlignmentProfile profile;
    QCOMPARE(profile.read(file), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), 7);
    QCOMPARE(profile.serialNumber(), QStringLiteral("12345678"));
    QVERIFY(profile.matrix() == Matrix(v, 3, 3));
}

void TestMeasure::replyFormats()
{
    QCOMPARE(AlignmentThread::startReply(500), QStringLiteral("OK00,00500\r"));
    QCOMPARE(AlignmentThread::valueReply(-1.5, 0, 1234.5678),
             QStringLiteral("OK01,-01.500;000.000;1234.568\r"));

    // The display reads a decimal point whatever language the station's user
    // has chosen, as a Qt program takes the C library's locale from it.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        QSKIP("the de_DE.UTF-8 locale is not installed");
    const QLocale previousDefault;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString german = AlignmentThread::valueReply(12.3456, 20.5, 30);
    QLocale::setDefault(previousDefault);
    std::setlocale(LC_ALL, previous.c_str());
    QCOMPARE(german, QStringLiteral("OK01,012.346;020.500;030.000\r"));
}

void TestMeasure::startAndStopRequests()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    // A request that came before switch-on is flushed, not served.
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.measure->currentMonitor()->bytesWaiting() >= 6, 3000);
    rig.sensor->setStartResult(100000);
    rig.sensor->queueReading(CColor(12.3456, 20.5, 30));
    QSignalSpy published(rig.measure.get(), &Measure::colorChanged);
    QVERIFY(rig.startAligning());

    QCOMPARE(ask(rig.monitor, "MES,1"), std::string("OK00,100000"));
    QCOMPARE(ask(rig.monitor, "MDR,1"), std::string("OK01,012.346;020.500;030.000"));
    // The reading taken by the thread is also published in the main thread.
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    QVERIFY(colorArg(published, 0) == CColor(12.3456, 20.5, 30));

    rig.monitor.request("MES,0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.sensor->stopCalls.load(), 1, 3000);
    // CR LF monitors and unknown lines: one more request still gets its answer.
    rig.monitor.setLineEnding(MonitorEmulator::LineEnding::CrLf);
    rig.monitor.request("HELLO");
    rig.sensor->setStartResult(700);
    QCOMPARE(ask(rig.monitor, "MES,1"), std::string("OK00,00700"));
    QCOMPARE(rig.monitor.replies().size(), size_t(3));
    QCOMPARE(rig.sensor->startCalls.load(), 2);
    QVERIFY(!rig.measure->doAlignment());
}

void TestMeasure::zeroWaitSkipsWhatArrivedMeanwhile()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.sensor->setStartResult(0);
    QVERIFY(rig.startAligning());
    // Both requests arrive in one burst; the read request must be discarded.
    rig.monitor.sendRaw("MES,1\rMDR,1\r");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,00500"));
    // The skip happens on the pass after the reply; wait until that pass has run.
    const quint64 replyPass = rig.measure->alignmentPasses();
    QTRY_VERIFY_WITH_TIMEOUT(rig.measure->alignmentPasses() >= replyPass + 2, 3000);

    // Only what had arrived is skipped: the next request is served again.
    rig.sensor->setStartResult(300);
    QCOMPARE(ask(rig.monitor, "MES,1"), std::string("OK00,00300"));
    QCOMPARE(rig.sensor->colorCalls.load(), 0);
    QCOMPARE(rig.monitor.replies().size(), size_t(2));
}

void TestMeasure::unusableReadingsGetNoReply_data()
{
    QTest::addColumn<CColor>("reading");
    QTest::addColumn<double>("gain");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("failed reading") << noDataColor << 1.0;
    QTest::newRow("NaN reading") << CColor(1.0, std::numeric_limits<double>::quiet_NaN(), 3.0) << 1.0;
    QTest::newRow("infinite reading") << CColor(inf, 2.0, 3.0) << 1.0;
    QTest::newRow("minus infinity") << CColor(1.0, 2.0, -inf) << 1.0;
    // Finite on both sides, but the product overflows.
    QTest::newRow("product overflows") << CColor(1.0, 2.0, 1e308) << 1e6;
}

void TestMeasure::unusableReadingsGetNoReply()
{
    QFETCH(CColor, reading);
    QFETCH(double, gain);
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.measure->SetMatrix(Matrix::IdentityMatrix(3) * gain);
    rig.sensor->queueReading(reading);
    // Black is a sound reading like any other.
    rig.sensor->queueReading(CColor(0, 0, 0));
    QVERIFY(rig.startAligning());
    rig.monitor.request("MDR,1");
    QTRY_COMPARE_WITH_TIMEOUT(rig.sensor->colorCalls.load(), 1, 3000);
    // Only the second, sound reading is answered.
    QCOMPARE(ask(rig.monitor, "MDR,1"), std::string("OK01,000.000;000.000;000.000"));
    QCOMPARE(rig.monitor.replies().size(), size_t(1));
    QCOMPARE(rig.sensor->colorCalls.load(), 2);
}

void TestMeasure::matrixIsFixedForAnAlignmentPeriod()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.sensor->queueReading(CColor(1, 2, 3));
    QSignalSpy published(rig.measure.get(), &Measure::colorChanged);
    QVERIFY(rig.startAligning());
    rig.measure->SetMatrix(Matrix::IdentityMatrix(3) * 2.0);

    // The display sees the matrix of switch-on time, the window the new one.
    QCOMPARE(ask(rig.monitor, "MDR,1"), std::string("OK01,001.000;002.000;003.000"));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    QVERIFY(colorArg(published, 0) == CColor(2, 4, 6));

    QVERIFY(!rig.measure->doAlignment());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.measure->isServingAlignment(), 3000);
    QVERIFY(rig.startAligning());
    QCOMPARE(ask(rig.monitor, "MDR,1"), std::string("OK01,002.000;004.000;006.000"));
}

void TestMeasure::endingWaitsForThePassInProgress_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("switching off") << "switch off";
    QTest::newRow("destroying the controller") << "destroy";
    QTest::newRow("releasing the monitor") << "release";
}

void TestMeasure::endingWaitsForThePassInProgress()
{
    QFETCH(QString, how);
    Rig rig;
    QVERIFY(rig.connectAll());
    // Like a reading inside an outside library, which nothing can interrupt.
    rig.sensor->setStartDuration(400);
    rig.sensor->setStartResult(1000);
    QSignalSpy states(rig.measure.get(), &Measure::alignmentStateChanged);
    QVERIFY(rig.startAligning());
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    // Ended during the instrument call: the call finishes and its reply goes
    // out; only then does the thread let go of the instruments.
    if (how == QLatin1String("destroy")) {
        QVERIFY(!rig.measure->doAlignment());
        rig.measure.reset();
    } else if (how == QLatin1String("release")) {
        // Still aligning: releasing the monitor switches alignment off.
        rig.measure->releaseMonitor();
        QVERIFY(!rig.measure->GetIsAlignment());
        QVERIFY(!rig.measure->currentMonitor());
        rig.measure->releaseSensor();
        QVERIFY(!rig.measure->currentSensor());
    } else {
        states.clear();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!rig.measure->doAlignment());
        QVERIFY(clock.elapsed() < 200);
        QCOMPARE(rig.measure->alignmentState(), Measure::AlignmentState::Stopping);
        QVERIFY(rig.measure->isAlignmentBusy());
        // A single reading is refused instead of overlapping the call.
        rig.measure->doSingleMeasure();
        QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Alignment is stopping. Try again when it has stopped.")});
        // The main loop keeps running meanwhile.
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] {
            if (rig.measure->alignmentState() == Measure::AlignmentState::Stopping)
                ++ticks;
        });
        tick.start(20);
        QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 3000);
        QVERIFY(ticks >= 5);
        QCOMPARE(qvariant_cast<Measure::AlignmentState>(states.last().at(0)), Measure::AlignmentState::Off);
        QCOMPARE(rig.sensor->maxCallsAtOnce.load(), 1);
    }
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,01000"));
}

void TestMeasure::servesADisplayWithACrInstrument()
{
    Rig rig;
    CrxxxEmulator::Config config = CrxxxEmulator::cr250();
    config.x = 95.047;
    config.y = 100.0;
    config.z = 108.883;
    rig.instrument.setConfig(config);
    QVERIFY(rig.connectCr());
    QVERIFY(rig.measure->currentSensor()->getIsOpen());
    const double correction[] = {1.0, 0, 0, 0, 0.5, 0, 0, 0, 2.0};
    rig.measure->SetMatrix(Matrix(correction, 3, 3));
    QSignalSpy published(rig.measure.get(), &Measure::colorChanged);

    QVERIFY(rig.startAligning());
    QCOMPARE(ask(rig.monitor, "MES,1"), std::string("OK00,00100"));
    QCOMPARE(ask(rig.monitor, "MDR,1"), std::string("OK01,095.047;050.000;217.766"));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    QVERIFY(colorArg(published, 0) == CColor(95.047, 50.0, 217.766));
    QVERIFY(rig.messages.shown().isEmpty());

    // An instrument that never answers the measurement: the driver would wait
    // for its two-minute deadline, yet switching off ends it at once.
    rig.instrument.setFault("M", CrxxxEmulator::Fault::Silence);
    rig.instrument.clearCommands();
    rig.monitor.request("MDR,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.instrument.hasReceived("M"), 3000);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.measure->doAlignment());
    QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 5000);
    qDebug("alignment off after %lld ms", clock.elapsed());
    QVERIFY(clock.elapsed() < 1000);
    // The interrupted reading gets no reply; the sensor is usable again.
    QVERIFY(!rig.monitor.waitForReplies(3, 100ms));
    QVERIFY(rig.measure->currentSensor()->getIsOpen());
}

void TestMeasure::displayUnpluggedAndPluggedInAgain()
{
    Rig rig;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("display"));
    auto display = std::make_unique<MonitorEmulator>();
    const auto plugIn = [&] {
        display = std::make_unique<MonitorEmulator>();
        return display->start() && pointLinkAt(link, *display);
    };
    const auto unplug = [&] {
        // The device goes, and with it its name (a terminal number may soon
        // belong to another device).
        display.reset();
        return QFile::remove(link);
    };
    QVERIFY(plugIn());
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyUSB0")));
    rig.measure->initMonitor();
    // The controller puts "/dev/" before the name it is given.
    QVERIFY(rig.measure->connectMonitor(QStringLiteral("..") + link));
    QSignalSpy connected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(rig.startAligning());
    QVERIFY(!ask(*display, "MES,1").empty());

    // Unplugged in the middle of the session: still aligning, waiting for it.
    QVERIFY(unplug());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 3000);
    QVERIFY(!rig.measure->currentMonitor()->GetInit());
    QVERIFY(rig.measure->GetIsAlignment());

    // While it is away the service must sleep, not spin.
    // This thread sleeps through the window, so the figure is the service's.
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QThread::msleep(1000);
    const double cpuShare = (processCpuSeconds() - cpuBefore) / (double(clock.elapsed()) / 1000.0);
    qDebug("CPU while the display is away: %.2f %% of a core", cpuShare * 100.0);
    QVERIFY2(cpuShare < 0.02, qPrintable(QString::number(cpuShare * 100.0) + " %"));

    // Plugged in again on the same name: served again, each request once.
    QVERIFY(plugIn());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 3000);
    QCOMPARE(flags(connected), (QList<bool>{false, true}));
    rig.sensor->setStartResult(1500);
    QCOMPARE(ask(*display, "MES,1"), std::string("OK00,01500"));
    QCOMPARE(ask(*display, "MDR,1"), std::string("OK01,001.000;002.000;003.000"));
    QVERIFY(!display->waitForReplies(3, 200ms));

    // Unplugged for good: switching off needs no display, and is quick.
    QVERIFY(unplug());
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 3, 3000);
    clock.restart();
    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(!rig.measure->GetIsAlignment());
    QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 1000);
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(rig.messages.shown().isEmpty());
    // The instruments are free again: the sensor measures, and the display
    // plugged back in is not served until alignment is switched on again.
    rig.measure->doSingleMeasure();
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(rig.sensor->startCalls.load(), 3);
    QVERIFY(plugIn());
    display->request("MES,1");
    QVERIFY(!display->waitForReplies(1, 300ms));
    QVERIFY(!rig.measure->doAlignment());
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Connect Sensor and Monitor First!")});
}

void TestMeasure::oneDeviceIsNeverBothSensorAndMonitor_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("same name") << false;
    QTest::newRow("a link to it") << true;
}

void TestMeasure::oneDeviceIsNeverBothSensorAndMonitor()
{
    QFETCH(bool, throughLink);
    Rig rig(true);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(rig.monitor.start());
    const QString device = QString::fromStdString(rig.monitor.devicePath());
    const QString link = dir.filePath(QStringLiteral("line"));
    QVERIFY(pointLinkAt(link, rig.monitor));
    const QString again = throughLink ? link : device;

    // The sensor first, then the monitor on the sensor's port.
    QVERIFY(rig.measure->initSensor(7, device));
    rig.measure->initMonitor();
    QSignalSpy connected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(!rig.measure->connectMonitor(again));
    QCOMPARE(flags(connected), QList<bool>{false});
    QVERIFY(!rig.measure->currentMonitor()->GetInit());
    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(!rig.measure->GetIsAlignment());

    // The monitor first, then the sensor on the monitor's port.
    rig.measure->releaseSensor();
    QVERIFY(rig.measure->connectMonitor(device));
    QVERIFY(!rig.measure->initSensor(7, again));
    QVERIFY(!rig.measure->currentSensor()->getIsOpen());
    QCOMPARE(rig.sensor->initCalls.load(), 0);
    // A port of its own is taken, a name under /dev.
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyUSB0")));
    QCOMPARE(rig.measure->getSensorPortPath(), QStringLiteral("/dev/ttyUSB0"));
    QVERIFY(rig.measure->currentMonitor()->GetInit());

    // Each alone: a full path, a link's too, is kept as given.
    rig.measure->releaseMonitor();
    rig.measure->releaseSensor();
    QVERIFY(rig.measure->initSensor(7, again));
    QCOMPARE(rig.measure->getSensorPortPath(), again);
    QCOMPARE(rig.sensor->getPortName(), again);
    rig.measure->releaseSensor();
    rig.measure->initMonitor();
    QVERIFY(rig.measure->connectMonitor(again));
    QCOMPARE(rig.measure->currentMonitor()->portPath(), again);
}

void TestMeasure::switchingOnDropsAPendingSingleReading()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.sensor->setMeasureDelay(100);
    rig.sensor->setColorDuration(300);
    QSignalSpy readings(rig.sensor, &CSensor::colorChanged);
    // A single reading armed, then alignment switched on before it is collected
    // while the display asks for a value at once.
    rig.measure->doSingleMeasure();
    QVERIFY(rig.sensor->isReadingPending());
    QVERIFY(rig.startAligning());
    QVERIFY(!rig.sensor->isReadingPending());
    QVERIFY(!ask(rig.monitor, "MDR,1").empty());
    QTRY_COMPARE(readings.count(), 1);
    QTest::qWait(150);
    QCOMPARE(readings.count(), 1);
    QCOMPARE(rig.sensor->maxCallsAtOnce.load(), 1);
}

void TestMeasure::driverWarningDuringAlignmentIsShownOnceOnTheMainThread()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.sensor->setStartWarning(QStringLiteral("measrueXYZ err"));
    QVERIFY(rig.startAligning());
    // Five requests served while this thread does not get back to its loop, as
    // while a box is up: the service must not wait for the box.
    for (size_t i = 1; i <= 5; ++i) {
        rig.monitor.request("MES,1");
        QVERIFY(rig.monitor.waitForReplies(i, 3s));
    }
    QTRY_COMPARE(rig.messages.shown().size(), 1);
    QTest::qWait(50);
    const auto shown = rig.messages.shown();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("measrueXYZ err")});
    QCOMPARE(shown.at(0).thread, QThread::currentThread());
}

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
