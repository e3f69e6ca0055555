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

// A controller whose factory hands out one scripted sensor for any type but 0.
struct Rig {
    Rig()
    {
        measure = std::make_unique<Measure>();
        measure->setSensorFactory([this](int type) -> CSensor* {
            if (type == 0)
                return nullptr;
            sensor = new ScriptedSensor;
            return sensor;
        });
    }

    // Opens the sensor and connects the monitor link to an emulated display.
    bool connectAll()
    {
        if (!measure->initSensor(7, QStringLiteral("ttyUSB0")) || !monitor.start())
            return false;
        measure->initMonitor();
        return measure->connectMonitor(QString::fromStdString(monitor.portName()));
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
    MonitorEmulator monitor;
    std::unique_ptr<Measure> measure;
    ScriptedSensor* sensor = nullptr; // owned by the controller
};

CColor colorArg(const QSignalSpy& spy, int i)
{
    return qvariant_cast<CColor>(spy.at(i).at(0));
}

} // namespace

class TestMeasure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void unsupportedTypesLeaveNoSensor();
    void noDriverUntilAFactoryIsHandedOver();
    void factoryCreatesTheCrDriverForType13();
    void sensorPortPath();
    void connectSensorDoesNotReopen();
    void correctionOfReadings();
    void singleMeasurement();
    void alignmentNeedsSensorAndMonitor();
    void portSlotsAndSettings();
    void saveProfile();

    void replyFormats();
    void startAndStopRequests();
    void requestsBeforeSwitchOnAreFlushed();
    void zeroWaitSkipsWhatArrivedMeanwhile();
    void unusableReadingsGetNoReply_data();
    void unusableReadingsGetNoReply();
    void matrixIsFixedForAnAlignmentPeriod();
    void endingWaitsForThePassInProgress_data();
    void endingWaitsForThePassInProgress();
    void servesADisplayWithACrInstrument();
    void connectingWithoutAMonitorReportsItDisconnected();
    void hungUpDisplayIsWaitedForAndServedAgain();
    void switchingOffWorksWhileTheDisplayIsGone();
    void oneDeviceIsNeverBothSensorAndMonitor_data();
    void oneDeviceIsNeverBothSensorAndMonitor();
    void portsAreNamesUnderDevOrFullPaths();
    void switchingOnDropsAPendingSingleReading();
    void driverWarningDuringAlignmentIsShownOnceOnTheMainThread();
    void switchingOffEndsASilentCrReadingAtOnce();
    void switchingOffDuringAnUninterruptibleCallKeepsTheMainThreadFree();

private:
    QTemporaryDir m_settings;
};

void TestMeasure::initTestCase()
{
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
}

void TestMeasure::unsupportedTypesLeaveNoSensor()
{
    RecordingMessenger messages;
    Measure measure;
    measure.setSensorFactory(&SensorTable::createForWindow);
    for (int type : {0, 1, 2, 3, 6, 8, 9, 10, 11, 12}) {
        messages.clear();
        QVERIFY(!measure.initSensor(type, QString()));
        QVERIFY(!measure.currentSensor());
        QCOMPARE(measure.getSensorType(), type);
        QCOMPARE(messages.boxes(), QStringList{QStringLiteral("Warning Warning: This sensor is not supported now!")});
    }
}

void TestMeasure::noDriverUntilAFactoryIsHandedOver()
{
    RecordingMessenger messages;
    Measure measure;
    QVERIFY(!measure.initSensor(13, QStringLiteral("ttyUSB0")));
    QVERIFY(!measure.currentSensor());
    // An empty factory takes back the one handed over.
    measure.setSensorFactory(&SensorTable::createForWindow);
    measure.setSensorFactory({});
    measure.createSensor(13);
    QVERIFY(!measure.currentSensor());
    QCOMPARE(messages.shown().size(), 2);
    for (const auto& shown : messages.shown())
        QCOMPARE(shown.text, QStringLiteral("This sensor is not supported now!"));
}

void TestMeasure::factoryCreatesTheCrDriverForType13()
{
    RecordingMessenger messages;
    Measure measure;
    measure.setSensorFactory(&SensorTable::createForWindow);
    measure.createSensor(13);
    QVERIFY(measure.currentSensor());
    QCOMPARE(measure.currentSensor()->getName(), QStringLiteral("CR100/CR250"));
    QVERIFY(measure.currentSensor()->getHasComPort());
    // A second request keeps the sensor that exists.
    CSensor* first = measure.currentSensor();
    measure.createSensor(13);
    QCOMPARE(measure.currentSensor(), first);
    measure.releaseSensor();
    QVERIFY(!measure.currentSensor());
}

void TestMeasure::sensorPortPath()
{
    Rig rig;
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyS3")));
    QCOMPARE(rig.measure->getSensorPortPath(), QStringLiteral("ttyS3"));
    QCOMPARE(rig.sensor->getPortName(), QStringLiteral("ttyS3"));
    rig.measure->releaseSensor();

    rig.measure->setSensorFactory([&rig](int) -> CSensor* {
        rig.sensor = new ScriptedSensor;
        rig.sensor->setHasComPort(true);
        return rig.sensor;
    });
    QVERIFY(rig.measure->initSensor(13, QStringLiteral("ttyUSB1")));
    QCOMPARE(rig.measure->getSensorPortPath(), QStringLiteral("/dev/ttyUSB1"));
    QCOMPARE(rig.sensor->getPortName(), QStringLiteral("/dev/ttyUSB1"));
}

void TestMeasure::connectSensorDoesNotReopen()
{
    Rig rig;
    QVERIFY(rig.measure->initSensor(7, QString()));
    QSignalSpy connected(rig.measure.get(), &Measure::sensorConnected);
    QVERIFY(rig.measure->connectSensor());
    QCOMPARE(rig.sensor->initCalls.load(), 1);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toBool(), true);

    rig.sensor->release();
    rig.sensor->setInitResult(false);
    QVERIFY(!rig.measure->connectSensor());
    QCOMPARE(rig.sensor->initCalls.load(), 2);
    QCOMPARE(connected.at(1).at(0).toBool(), false);
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

void TestMeasure::singleMeasurement()
{
    Rig rig;
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Warning Single measure: Sensor not connected!")});

    // The sensor is opened on demand and the reading arrives through the event loop.
    rig.measure->createSensor(7);
    QSignalSpy corrected(rig.measure.get(), &Measure::colorChanged);
    rig.sensor->queueReading(CColor(4, 5, 6));
    rig.measure->doSingleMeasure();
    QVERIFY(corrected.wait(2000));
    QVERIFY(colorArg(corrected, 0) == CColor(4, 5, 6));
    QCOMPARE(rig.sensor->startCalls.load(), 1);
    QCOMPARE(rig.sensor->initCalls.load(), 1);

    // A sensor that does not open: no measurement and no message of the controller's.
    rig.messages.clear();
    rig.sensor->release();
    rig.sensor->setInitResult(false);
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.sensor->startCalls.load(), 1);
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestMeasure::alignmentNeedsSensorAndMonitor()
{
    Rig rig;
    QVERIFY(rig.measure->initSensor(7, QString()));
    QVERIFY(!rig.measure->doAlignment());
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Error!: Connect Sensor and Monitor First!")});

    QVERIFY(rig.monitor.start());
    rig.measure->initMonitor();
    QSignalSpy monitorConnected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(rig.measure->connectMonitor(QString::fromStdString(rig.monitor.portName())));
    QCOMPARE(monitorConnected.at(0).at(0).toBool(), true);
    QVERIFY(rig.measure->doAlignment());
    QVERIFY(rig.measure->GetIsAlignment());

    rig.messages.clear();
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Alignment is on.")});
    QCOMPARE(rig.sensor->startCalls.load(), 0);

    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(!rig.measure->GetIsAlignment());

    // A monitor port that does not open is reported through the signal.
    rig.measure->releaseMonitor();
    rig.measure->initMonitor();
    QVERIFY(!rig.measure->connectMonitor(QStringLiteral("no-such-port")));
    QCOMPARE(monitorConnected.last().at(0).toBool(), false);
}

void TestMeasure::portSlotsAndSettings()
{
    Measure measure;
    QSignalSpy sensorPort(&measure, &Measure::sensorPortChanged);
    QSignalSpy monitorPort(&measure, &Measure::monitorPortChanged);
    measure.setSensorPort(3);
    measure.setMonitorPort(5);
    QCOMPARE(sensorPort.at(0).at(0).toInt(), 3);
    QCOMPARE(monitorPort.at(0).at(0).toInt(), 5);
    measure.doSensorPortChanged(2);
    measure.doMonitorPortChanged(4);
    QCOMPARE(measure.getSensorPort(), 2);
    QCOMPARE(measure.getMonitorPort(), 4);
    QCOMPARE(CSensor::getComPort(), 2);
    QCOMPARE(sensorPort.count(), 1);
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
    QCOMPARE(QFileInfo(file).size(), qint64(112));

    AlignmentProfile profile;
    QCOMPARE(profile.read(file), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(profile.sensorType(), 7);
    QCOMPARE(profile.serialNumber(), QStringLiteral("12345678"));
    QVERIFY(profile.matrix() == Matrix(v, 3, 3));
}

void TestMeasure::replyFormats()
{
    QCOMPARE(AlignmentThread::startReply(500), QStringLiteral("OK00,00500\r"));
    QCOMPARE(AlignmentThread::startReply(12000), QStringLiteral("OK00,12000\r"));
    QCOMPARE(AlignmentThread::startReply(100000), QStringLiteral("OK00,100000\r"));
    QCOMPARE(AlignmentThread::valueReply(12.3456, 20.5, 30),
             QStringLiteral("OK01,012.346;020.500;030.000\r"));
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
    rig.sensor->setStartResult(100000);
    rig.sensor->queueReading(CColor(12.3456, 20.5, 30));
    QSignalSpy published(rig.measure.get(), &Measure::colorChanged);
    QVERIFY(rig.startAligning());

    rig.monitor.request("MES,1");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,100000"));

    rig.monitor.request("MDR,1");
    QVERIFY(rig.monitor.waitForReplies(2, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK01,012.346;020.500;030.000"));
    // The reading taken by the thread is also published in the main thread.
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    QVERIFY(colorArg(published, 0) == CColor(12.3456, 20.5, 30));

    rig.monitor.request("MES,0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.sensor->stopCalls.load(), 1, 3000);
    // CR LF monitors and unknown lines: one more request still gets its answer.
    rig.monitor.setLineEnding(MonitorEmulator::LineEnding::CrLf);
    rig.monitor.request("HELLO");
    rig.monitor.request("MES,1");
    QVERIFY(rig.monitor.waitForReplies(3, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,100000"));
    QCOMPARE(rig.monitor.replies().size(), size_t(3));
    QVERIFY(!rig.measure->doAlignment());
}

void TestMeasure::requestsBeforeSwitchOnAreFlushed()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.measure->currentMonitor()->bytesWaiting() >= 6, 3000);
    QVERIFY(rig.startAligning());
    rig.sensor->setStartResult(700);
    rig.monitor.request("MES,1");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,00700"));
    QCOMPARE(rig.sensor->startCalls.load(), 1);
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
    rig.monitor.request("MES,1");
    QVERIFY(rig.monitor.waitForReplies(2, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,00300"));
    QCOMPARE(rig.sensor->colorCalls.load(), 0);
    QCOMPARE(rig.monitor.replies().front().line, std::string("OK00,00500"));
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
    rig.monitor.request("MDR,1");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    // Only the second, sound reading was answered.
    QCOMPARE(rig.monitor.replies().size(), size_t(1));
    QCOMPARE(rig.lastReply(), std::string("OK01,000.000;000.000;000.000"));
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

    rig.monitor.request("MDR,1");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    // The display sees the matrix of switch-on time, the window the new one.
    QCOMPARE(rig.lastReply(), std::string("OK01,001.000;002.000;003.000"));
    QVERIFY(colorArg(published, 0) == CColor(2, 4, 6));

    QVERIFY(!rig.measure->doAlignment());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.measure->isServingAlignment(), 3000);
    QVERIFY(rig.startAligning());
    rig.monitor.request("MDR,1");
    QVERIFY(rig.monitor.waitForReplies(2, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK01,002.000;004.000;006.000"));
}

void TestMeasure::endingWaitsForThePassInProgress_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("destroying the controller") << true;
    QTest::newRow("releasing the monitor") << false;
}

void TestMeasure::endingWaitsForThePassInProgress()
{
    QFETCH(bool, destroy);
    Rig rig;
    QVERIFY(rig.connectAll());
    rig.sensor->setStartDuration(300);
    rig.sensor->setStartResult(1000);
    QVERIFY(rig.startAligning());
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    // Ended during the instrument call: the call finishes, its reply goes out,
    // then the thread ends and the monitor goes (or the destructor returns).
    if (destroy) {
        QVERIFY(!rig.measure->doAlignment());
        rig.measure.reset();
    } else {
        // Still aligning: releasing the monitor switches alignment off.
        rig.measure->releaseMonitor();
        QVERIFY(!rig.measure->GetIsAlignment());
        QVERIFY(!rig.measure->currentMonitor());
    }
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,01000"));
    if (!destroy) {
        rig.measure->releaseSensor();
        QVERIFY(!rig.measure->currentSensor());
    }
}

void TestMeasure::servesADisplayWithACrInstrument()
{
    RecordingMessenger messages;
    CrxxxEmulator::Config config = CrxxxEmulator::cr250();
    config.x = 95.047;
    config.y = 100.0;
    config.z = 108.883;
    CrxxxEmulator instrument(config);
    MonitorEmulator display;
    QVERIFY(instrument.start());
    QVERIFY(display.start());

    auto measure = std::make_unique<Measure>();
    measure->setSensorFactory(&SensorTable::createForWindow);
    QVERIFY(measure->initSensor(13, QString::fromStdString(instrument.portName())));
    QVERIFY(measure->currentSensor()->getIsOpen());
    measure->initMonitor();
    QVERIFY(measure->connectMonitor(QString::fromStdString(display.portName())));
    const double correction[] = {1.0, 0, 0, 0, 0.5, 0, 0, 0, 2.0};
    measure->SetMatrix(Matrix(correction, 3, 3));
    QSignalSpy published(measure.get(), &Measure::colorChanged);

    QVERIFY(measure->doAlignment());
    QTRY_VERIFY_WITH_TIMEOUT(measure->isServingAlignment(), 3000);
    display.request("MES,1");
    QVERIFY(display.waitForReplies(1, 5s));
    QCOMPARE(display.replies().back().line, std::string("OK00,00100"));
    display.request("MDR,1");
    QVERIFY(display.waitForReplies(2, 5s));
    QCOMPARE(display.replies().back().line, std::string("OK01,095.047;050.000;217.766"));
    QTRY_COMPARE_WITH_TIMEOUT(published.count(), 1, 3000);
    QVERIFY(colorArg(published, 0) == CColor(95.047, 50.0, 217.766));
    QVERIFY(messages.shown().isEmpty());
    measure.reset();
}

void TestMeasure::connectingWithoutAMonitorReportsItDisconnected()
{
    Measure measure;
    QSignalSpy connected(&measure, &Measure::monitorConnected);
    QVERIFY(!measure.connectMonitor(QStringLiteral("ttyUSB9")));
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toBool(), false);
}

namespace {

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Starts the display, points link at it and connects the monitor by name.
bool connectThroughLink(Rig& rig, const QString& link, const QString& name, MonitorEmulator& display)
{
    if (!display.start() || !pointLinkAt(link, display) || !rig.measure->initSensor(7, QStringLiteral("ttyUSB0")))
        return false;
    rig.measure->initMonitor();
    return rig.measure->connectMonitor(name);
}

} // namespace

void TestMeasure::hungUpDisplayIsWaitedForAndServedAgain()
{
    Rig rig;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("display"));
    auto display = std::make_unique<MonitorEmulator>();
    // The controller puts "/dev/" before the name it is given.
    QVERIFY(connectThroughLink(rig, link, QStringLiteral("..") + link, *display));
    QSignalSpy connected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(rig.startAligning());
    display->request("MES,1");
    QVERIFY(display->waitForReplies(1, 3s));

    // Unplugged in the middle of the session: the device goes, and with it its
    // name (a terminal number may soon belong to another device).
    display.reset();
    QVERIFY(QFile::remove(link));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 3000);
    QCOMPARE(connected.at(0).at(0).toBool(), false);
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
    display = std::make_unique<MonitorEmulator>();
    QVERIFY(display->start());
    QVERIFY(pointLinkAt(link, *display));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 2, 3000);
    QCOMPARE(connected.at(1).at(0).toBool(), true);
    rig.sensor->setStartResult(1500);
    display->request("MES,1");
    QVERIFY(display->waitForReplies(1, 3s));
    display->request("MDR,1");
    QVERIFY(display->waitForReplies(2, 3s));
    QVERIFY(!display->waitForReplies(3, 200ms));
    QCOMPARE(display->replies().at(0).line, std::string("OK00,01500"));
    QCOMPARE(display->replies().at(1).line, std::string("OK01,001.000;002.000;003.000"));
    QVERIFY(!rig.measure->doAlignment());
}

void TestMeasure::switchingOffWorksWhileTheDisplayIsGone()
{
    Rig rig;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("display"));
    auto display = std::make_unique<MonitorEmulator>();
    QVERIFY(connectThroughLink(rig, link, link, *display));
    QSignalSpy connected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(rig.startAligning());

    // Unplugged for good: the service closes the port and waits for it.
    display.reset();
    QVERIFY(QFile::remove(link));
    QTRY_COMPARE_WITH_TIMEOUT(connected.count(), 1, 3000);
    QVERIFY(!rig.measure->currentMonitor()->GetInit());
    QVERIFY(rig.measure->GetIsAlignment());

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(rig.messages.shown().isEmpty());
    QVERIFY(!rig.measure->GetIsAlignment());
    QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 1000);
    QVERIFY(clock.elapsed() < 1000);
    // The instruments are free again: the sensor measures, and the display
    // plugged back in is not served until alignment is switched on again.
    rig.measure->doSingleMeasure();
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(rig.sensor->startCalls.load(), 1);
    display = std::make_unique<MonitorEmulator>();
    QVERIFY(display->start());
    QVERIFY(pointLinkAt(link, *display));
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
    Rig rig;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(rig.monitor.start());
    const QString device = QString::fromStdString(rig.monitor.devicePath());
    const QString link = dir.filePath(QStringLiteral("line"));
    QVERIFY(pointLinkAt(link, rig.monitor));
    const QString again = throughLink ? link : device;

    // The sensor first, then the monitor on the sensor's port.
    rig.measure->createSensor(7);
    rig.sensor->setHasComPort(true);
    QVERIFY(rig.measure->initSensor(7, device));
    rig.measure->initMonitor();
    QSignalSpy connected(rig.measure.get(), &Measure::monitorConnected);
    QVERIFY(!rig.measure->connectMonitor(again));
    QCOMPARE(connected.count(), 1);
    QCOMPARE(connected.at(0).at(0).toBool(), false);
    QVERIFY(!rig.measure->currentMonitor()->GetInit());
    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(!rig.measure->GetIsAlignment());

    // The monitor first, then the sensor on the monitor's port.
    rig.measure->releaseSensor();
    QVERIFY(rig.measure->connectMonitor(device));
    rig.measure->createSensor(7);
    rig.sensor->setHasComPort(true);
    QVERIFY(!rig.measure->initSensor(7, again));
    QVERIFY(!rig.measure->currentSensor()->getIsOpen());
    QCOMPARE(rig.sensor->initCalls.load(), 0);
    // A port of its own is taken.
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyUSB0")));
    QVERIFY(rig.measure->currentMonitor()->GetInit());
}

void TestMeasure::portsAreNamesUnderDevOrFullPaths()
{
    QCOMPARE(Measure::devicePath(QStringLiteral("pts/3")), QStringLiteral("/dev/pts/3"));
    QCOMPARE(Measure::devicePath(QStringLiteral("/tmp/line4/display")), QStringLiteral("/tmp/line4/display"));

    // A link given by its full path is opened, and kept as the sensor's path.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MonitorEmulator display;
    QVERIFY(display.start());
    const QString link = dir.filePath(QStringLiteral("display"));
    QVERIFY(pointLinkAt(link, display));
    Measure measure;
    measure.initMonitor();
    QVERIFY(measure.connectMonitor(link));
    QCOMPARE(measure.currentMonitor()->portPath(), link);
    Rig rig;
    rig.measure->createSensor(7);
    rig.sensor->setHasComPort(true);
    QVERIFY(rig.measure->initSensor(7, link));
    QCOMPARE(rig.measure->getSensorPortPath(), link);
    rig.measure->releaseSensor();
    rig.measure->createSensor(7);
    rig.sensor->setHasComPort(true);
    QVERIFY(rig.measure->initSensor(7, QStringLiteral("ttyACM0")));
    QCOMPARE(rig.measure->getSensorPortPath(), QStringLiteral("/dev/ttyACM0"));
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
    rig.monitor.request("MDR,1");
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QTRY_COMPARE(readings.count(), 1);
    QTest::qWait(150);
    QCOMPARE(readings.count(), 1);
    QCOMPARE(rig.sensor->maxCallsAtOnce.load(), 1);

    // Switched off but still inside the service's instrument call: a single
    // reading is refused instead of overlapping it.
    rig.sensor->setStartDuration(400);
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    QVERIFY(!rig.measure->doAlignment());
    QCOMPARE(rig.measure->alignmentState(), Measure::AlignmentState::Stopping);
    rig.messages.clear();
    rig.measure->doSingleMeasure();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Alignment is stopping. Try again when it has stopped.")});
    QTRY_COMPARE_WITH_TIMEOUT(rig.measure->alignmentState(), Measure::AlignmentState::Off, 3000);
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
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.at(0).text, QStringLiteral("measrueXYZ err"));
    QCOMPARE(shown.at(0).thread, QThread::currentThread());
}

void TestMeasure::switchingOffEndsASilentCrReadingAtOnce()
{
    RecordingMessenger messages;
    CrxxxEmulator instrument(CrxxxEmulator::cr250());
    MonitorEmulator display;
    QVERIFY(instrument.start());
    QVERIFY(display.start());
    auto measure = std::make_unique<Measure>();
    measure->setSensorFactory(&SensorTable::createForWindow);
    QVERIFY(measure->initSensor(13, QString::fromStdString(instrument.portName())));
    measure->initMonitor();
    QVERIFY(measure->connectMonitor(QString::fromStdString(display.portName())));
    // The instrument never answers the measurement: the driver would wait for
    // its two-minute deadline.
    instrument.setFault("M", CrxxxEmulator::Fault::Silence);
    QVERIFY(measure->doAlignment());
    QTRY_VERIFY_WITH_TIMEOUT(measure->isServingAlignment(), 3000);
    display.request("MDR,1");
    QTRY_VERIFY_WITH_TIMEOUT(instrument.hasReceived("M"), 3000);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!measure->doAlignment());
    QTRY_COMPARE_WITH_TIMEOUT(measure->alignmentState(), Measure::AlignmentState::Off, 5000);
    qDebug("alignment off after %lld ms", clock.elapsed());
    QVERIFY(clock.elapsed() < 1000);
    // The interrupted reading gets no reply; the sensor is usable again.
    QVERIFY(!display.waitForReplies(1, 100ms));
    QVERIFY(measure->currentSensor()->getIsOpen());
    measure.reset();
}

void TestMeasure::switchingOffDuringAnUninterruptibleCallKeepsTheMainThreadFree()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    // Like a reading inside an outside library, which nothing can interrupt.
    rig.sensor->setStartDuration(800);
    rig.sensor->setStartResult(2000);
    QSignalSpy states(rig.measure.get(), &Measure::alignmentStateChanged);
    QVERIFY(rig.startAligning());
    rig.monitor.request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    states.clear();

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.measure->doAlignment());
    QVERIFY(clock.elapsed() < 200);
    QCOMPARE(rig.measure->alignmentState(), Measure::AlignmentState::Stopping);
    QVERIFY(rig.measure->isAlignmentBusy());
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
    QVERIFY(!states.isEmpty());
    QCOMPARE(qvariant_cast<Measure::AlignmentState>(states.last().at(0)),
             Measure::AlignmentState::Off);
    // The call in progress still got its reply.
    QVERIFY(rig.monitor.waitForReplies(1, 3s));
    QCOMPARE(rig.lastReply(), std::string("OK00,02000"));
}

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
