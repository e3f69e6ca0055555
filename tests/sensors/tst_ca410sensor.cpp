// The CA-410 driver end to end: driver, the real libmlink_ca410 loaded by file
// name, a pseudo-terminal and the emulated instrument.
#include "ca410emulator.h"
#include "ca410sensor.h"
#include "components.h"
#include "mappedfiles.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>

using Fault = Ca410Emulator::Fault;

namespace {

// How many descriptors of this process lead to the device at path.
int descriptorsOn(const QString& path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    QDir fds(QStringLiteral("/proc/self/fd"));
    int count = 0;
    for (const QString& fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == device)
            ++count;
    }
    return count;
}

} // namespace

class TestCA410Sensor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // Runs first: nothing may have loaded the library into the process yet.
    void missingLibraryIsNamedAndClosedSensorIsSafe();
    void initFailuresShowTheirCodes();
    void initReadsTheIdentityOnce();
    void dimReadingIsAveragedWithASecond();
    void brightReadingIsTakenOnce();
    void failedReadingIsTakenAgainInGetColor();
    void blackIsAReading();
    void readingSourceFeedsEveryMeasurement();
    void calListNamesUserChannels();
    void releaseUnbindsAndInitOpensAgain();
    void destroyingGivesThePortBack();
    void retriedInitLeavesNoLibraryMapped();

private:
    QString port() const { return QStringLiteral("/dev/%1").arg(QString::fromStdString(m_emulator.portName())); }
    int measurements() const;
    bool openSensor();

    Ca410Emulator m_emulator;
    std::unique_ptr<RecordingMessenger> m_messenger;
    std::unique_ptr<CA410Sensor> m_sensor;
};

void TestCA410Sensor::initTestCase()
{
    QVERIFY(m_emulator.start());
    m_emulator.setIdentity("CA-410", "CA-410", "1.31.0002", "52001234");
}

void TestCA410Sensor::init()
{
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR)});
    m_messenger = std::make_unique<RecordingMessenger>();
    m_emulator.clearFaults();
    m_emulator.clearCommands();
    m_emulator.setZeroCalibrationResult("2");
}

void TestCA410Sensor::cleanupTestCase()
{
    if (m_sensor)
        m_sensor->release();
}

void TestCA410Sensor::cleanup()
{
    m_messenger.reset();
}

int TestCA410Sensor::measurements() const
{
    const std::vector<std::string> sent = m_emulator.commands();
    return int(std::count_if(sent.begin(), sent.end(),
                             [](const std::string& c) { return c.rfind("MES,", 0) == 0; }));
}

// Opening takes a few dozen exchanges, so the tests share one open sensor.
bool TestCA410Sensor::openSensor()
{
    if (!m_sensor || !m_sensor->getIsOpen()) {
        m_sensor = std::make_unique<CA410Sensor>();
        m_sensor->init(port());
    }
    const bool ok = m_sensor->getIsOpen();
    m_emulator.clearCommands();
    m_messenger->clear();
    return ok;
}

void TestCA410Sensor::missingLibraryIsNamedAndClosedSensorIsSafe()
{
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR "/h9a-absent")});
    CA410Sensor sensor;
    QVERIFY(!sensor.init(port()));
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(m_messenger->boxes(), QStringList{QStringLiteral("Warning CA410: Can not open libmlink_ca410.so")});

    // Never bound: readings fail as the library reports an uninitialised
    // handle, and nothing reaches the instrument.
    m_messenger->clear();
    QCOMPARE(sensor.startMeasure(), 100);
    QCOMPARE(m_messenger->shown().at(0).text, QStringLiteral("measureXYZ err, 50"));
    QVERIFY(sensor.GetColor().IsNoData());
    QVERIFY(sensor.GetCalList().isEmpty());
    QCOMPARE(m_emulator.commands().size(), size_t(0));
}

void TestCA410Sensor::initFailuresShowTheirCodes()
{
    m_sensor = std::make_unique<CA410Sensor>();
    QVERIFY(!m_sensor->init(QStringLiteral("/dev/h9a-no-such-port")));
    QCOMPARE(m_messenger->shown().last().text, QStringLiteral("ca410DeviceOpen 0 err 40, check device plugin!"));

    // The zero calibration is refused: the library's code, not the instrument's.
    m_emulator.addFault(Fault::Error, "ZRC", 21);
    QVERIFY(!m_sensor->init(port()));
    QCOMPARE(m_messenger->shown().last().text, QStringLiteral("ca410DeviceInit err 42"));
    QCOMPARE(m_messenger->shown().last().title, QStringLiteral("CA410"));
    QVERIFY(!m_sensor->getIsOpen());
    QVERIFY(m_sensor->getSerialNumber().isEmpty());

    // The handle of the failed attempt was given back once; a new attempt opens.
    m_messenger->clear();
    QVERIFY(m_sensor->init(port()));
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestCA410Sensor::initReadsTheIdentityOnce()
{
    QVERIFY(openSensor());
    QCOMPARE(m_sensor->getSerialNumber(), QStringLiteral("52001234"));
    QCOMPARE(m_sensor->getFirmwareVersion(), QStringLiteral("1.31.0002"));
    QCOMPARE(m_sensor->getPortName(), port());
    QVERIFY(m_sensor->getIsOpen());
    QVERIFY(m_sensor->init(QStringLiteral("/dev/h9a-elsewhere")));
    QCOMPARE(m_emulator.commands().size(), size_t(0));
    QCOMPARE(m_sensor->getPortName(), port());
}

void TestCA410Sensor::dimReadingIsAveragedWithASecond()
{
    QVERIFY(openSensor());
    m_emulator.setMeasurement(2.0, 9.99, 3.0);
    // Each reading's duration becomes the delay: the instrument takes 300 ms
    // over the first and 700 ms over the second.
    m_emulator.addFault(Fault::Slow, "MES", 300);
    QCOMPARE(m_sensor->startMeasure(), 2000);
    QVERIFY(m_sensor->isLowLight());
    QVERIFY2(m_sensor->getMeasureDelay() >= 300 && m_sensor->getMeasureDelay() < 700,
             qPrintable(QString::number(m_sensor->getMeasureDelay())));
    m_emulator.setMeasurement(4.0, 8.01, 5.0);
    m_emulator.addFault(Fault::Slow, "MES", 700);

    QSignalSpy spy(m_sensor.get(), &CSensor::colorChanged);
    const CColor color = m_sensor->GetColor();
    QVERIFY2(m_sensor->getMeasureDelay() >= 700 && m_sensor->getMeasureDelay() < 1500,
             qPrintable(QString::number(m_sensor->getMeasureDelay())));
    QCOMPARE(components(color), (QList<double>{3.0, 9.0, 4.0}));
    QCOMPARE(measurements(), 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<CColor>()[1], 9.0);
    QCOMPARE(m_sensor->getLastColor()[1], 9.0);
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestCA410Sensor::brightReadingIsTakenOnce()
{
    QVERIFY(openSensor());
    m_emulator.setMeasurement(95.0, 10.0, 108.0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    QVERIFY(!m_sensor->isLowLight());
    m_emulator.setMeasurement(1.0, 1.0, 1.0);
    const CColor color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{95.0, 10.0, 108.0}));
    QCOMPARE(measurements(), 1);
}

void TestCA410Sensor::failedReadingIsTakenAgainInGetColor()
{
    QVERIFY(openSensor());
    // A dim reading first, so a later retry must not average with it.
    m_emulator.setMeasurement(1.0, 5.0, 1.0);
    QCOMPARE(m_sensor->startMeasure(), 2000);

    m_emulator.addFault(Fault::Error, "MES", 24);
    QCOMPARE(m_sensor->startMeasure(), 100);
    QVERIFY(!m_sensor->isMeasured());
    QCOMPARE(m_messenger->texts(), QStringList{QStringLiteral("measureXYZ err, 55")});

    m_emulator.setMeasurement(50.0, 60.0, 70.0);
    CColor color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{50.0, 60.0, 70.0}));
    QVERIFY(m_sensor->isMeasured());

    // Failing again: no reading, announced as such, never as a value.
    m_emulator.addFault(Fault::Error, "MES", 24);
    QCOMPARE(m_sensor->startMeasure(), 100);
    m_emulator.addFault(Fault::Error, "MES", 24);
    QSignalSpy spy(m_sensor.get(), &CSensor::colorChanged);
    color = m_sensor->GetColor();
    QVERIFY(color.IsNoData());
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).value<CColor>().IsNoData());
    QVERIFY(m_sensor->getLastColor().IsNoData());
    QCOMPARE(m_messenger->shown().last().text, QStringLiteral("measXYZ err, 55"));
}

void TestCA410Sensor::blackIsAReading()
{
    QVERIFY(openSensor());
    // Dim, so it is measured twice and averaged: both times zeros.
    m_emulator.setMeasurement(0.0, 0.0, 0.0);
    QCOMPARE(m_sensor->startMeasure(), 2000);
    const CColor color = m_sensor->GetColor();
    QVERIFY(!color.IsNoData());
    QCOMPARE(components(color), (QList<double>{0.0, 0.0, 0.0}));
    QCOMPARE(measurements(), 2);
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestCA410Sensor::readingSourceFeedsEveryMeasurement()
{
    QVERIFY(openSensor());
    m_emulator.setMeasurement(1.0, 1.0, 1.0);
    // A probe looking at something that changes: each measurement sees the next value.
    int taken = 0;
    m_emulator.setReadingSource([&taken] {
        ++taken;
        return std::array<double, 3>{{40.0 + taken, 50.0 + taken, 60.25}};
    });
    QCOMPARE(m_sensor->startMeasure(), 1000);
    CColor color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{41.0, 51.0, 60.25}));
    QCOMPARE(m_sensor->startMeasure(), 1000);
    QCOMPARE(m_sensor->GetColor()[1], 52.0);
    QCOMPARE(taken, 2);
    QCOMPARE(measurements(), 2);

    // Without a source the fixed values are measured again.
    m_emulator.setReadingSource(nullptr);
    m_emulator.setMeasurement(70.0, 80.0, 90.0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{70.0, 80.0, 90.0}));
    QCOMPARE(taken, 2);
}

void TestCA410Sensor::calListNamesUserChannels()
{
    Ca410Emulator::Channel named;
    named.calType = 2;
    named.name = "CAL A";
    m_emulator.setChannel(3, named);
    Ca410Emulator::Channel blank = named;
    blank.name.clear();
    m_emulator.setChannel(12, blank);
    Ca410Emulator::Channel factory = named;
    factory.calType = 0;
    factory.name = "FACTORY";
    m_emulator.setChannel(20, factory);

    QVERIFY(openSensor());
    const QStringList names = m_sensor->GetCalList();
    QCOMPARE(names, QStringList({QStringLiteral("MAT[3]_CAL A"), QStringLiteral("MAT[12]_CH12")}));
    QCOMPARE(m_sensor->getCalChannels(), QList<int>({3, 12}));

    m_emulator.setChannel(3, Ca410Emulator::Channel());
    m_emulator.setChannel(12, Ca410Emulator::Channel());
    m_emulator.setChannel(20, Ca410Emulator::Channel());
    // A failing channel read empties the list.
    m_emulator.addFault(Fault::Error, "TDR", 24);
    QVERIFY(m_sensor->GetCalList().isEmpty());
    QVERIFY(m_sensor->getCalChannels().isEmpty());
}

void TestCA410Sensor::releaseUnbindsAndInitOpensAgain()
{
    QVERIFY(openSensor());
    m_sensor->release();
    QVERIFY(!m_sensor->getIsOpen());
    QCOMPARE(m_sensor->startMeasure(), 100);
    QCOMPARE(measurements(), 0);
    QVERIFY(m_sensor->GetCalList().isEmpty());

    m_messenger->clear();
    QVERIFY(m_sensor->init(port()));
    m_emulator.setMeasurement(30.0, 40.0, 50.0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    QCOMPARE(m_sensor->GetColor()[2], 50.0);
}

void TestCA410Sensor::destroyingGivesThePortBack()
{
    if (m_sensor)
        m_sensor->release();
    m_sensor.reset();
    const int before = descriptorsOn(port());
    QVERIFY(openSensor());
    QCOMPARE(descriptorsOn(port()), before + 1);

    // An owner that forgets release(): the port must not stay open and locked.
    m_sensor.reset();
    QCOMPARE(descriptorsOn(port()), before);
    QVERIFY(openSensor());
}

void TestCA410Sensor::retriedInitLeavesNoLibraryMapped()
{
    if (m_sensor)
        m_sensor->release();
    m_sensor.reset();
    // A copy of its own, so that only this driver's loads of it are seen.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = SensorLibrary::fileName(QStringLiteral("libmlink_ca410"));
    QVERIFY(QFile::copy(QDir(QStringLiteral(CA410_LIBRARY_DIR)).filePath(name), dir.filePath(name)));
    const QString copy = QFileInfo(dir.filePath(name)).canonicalFilePath();
    SensorLibrary::setExtraDirectories({dir.path()});

    CA410Sensor sensor;
    QVERIFY(!sensor.init(QStringLiteral("/dev/h9a-no-such-port")));
    QVERIFY(sensor.init(port()));
    QVERIFY(mappedFiles().contains(copy));
    sensor.release();
    QVERIFY2(!mappedFiles().contains(copy), qPrintable(copy));
}

QTEST_GUILESS_MAIN(TestCA410Sensor)
#include "tst_ca410sensor.moc"
