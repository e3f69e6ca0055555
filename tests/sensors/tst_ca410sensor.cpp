// The CA-410 driver end to end: driver, the real libmlink_ca410 loaded by file
// name, a pseudo-terminal and the emulated instrument.
#include "ca410emulator.h"
#include "ca410sensor.h"
#include "components.h"
#include "librarysensortest.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"

#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <memory>

using Fault = Ca410Emulator::Fault;

class TestCA410Sensor : public LibrarySensorTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void dimReadingIsAveragedWithASecond();
    void calListNamesUserChannels();

private:
    std::unique_ptr<CSensor> newSensor() override { return std::make_unique<CA410Sensor>(); }
    QString port() const override
    {
        return QStringLiteral("/dev/%1").arg(QString::fromStdString(m_emulator.portName()));
    }
    QString library() const override { return QStringLiteral("libmlink_ca410"); }
    QString serialNumber() const override { return QStringLiteral("52001234"); }
    QString firmwareVersion() const override { return QStringLiteral("1.31.0002"); }
    int readings() override;
    int opens() override { return int(m_emulator.commands().size()); }
    int held() override { return descriptorsOn(port()) - m_unheld; }
    void addOpenFailures() override;
    QString injectOpenFault(const QByteArray& fault) override;
    void setPatch(double x, double y, double z) override { m_emulator.setMeasurement(x, y, z); }
    void setReadingSource(ReadingSource source) override { m_emulator.setReadingSource(std::move(source)); }
    void failReadings(int count) override;
    QStringList failureTexts() const override
    {
        // The instrument's error 24 as the library reports it.
        return {QStringLiteral("measureXYZ err, 55"), QStringLiteral("measXYZ err, 55")};
    }
    QString closedText() const override { return QStringLiteral("measureXYZ err, 50"); }
    int waitFor(double y) const override { return y < 10.0 ? 2000 : 1000; }
    bool announcesNoData() const override { return true; }
    QString refusedPort() const override { return QStringLiteral("/dev/h9a-no-such-port"); }

    // How many descriptors of this process lead to the device at path.
    static int descriptorsOn(const QString& path);

    Ca410Emulator m_emulator;
    int m_unheld = 0;
};

int TestCA410Sensor::descriptorsOn(const QString& path)
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

void TestCA410Sensor::initTestCase()
{
    QVERIFY(m_emulator.start());
    m_emulator.setIdentity("CA-410", "CA-410", "1.31.0002", "52001234");
    m_unheld = descriptorsOn(port());
}

void TestCA410Sensor::init()
{
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR)});
    m_emulator.clearFaults();
    m_emulator.clearCommands();
    m_emulator.setReadingSource(nullptr);
    m_emulator.setZeroCalibrationResult("2");
}

int TestCA410Sensor::readings()
{
    const std::vector<std::string> sent = m_emulator.commands();
    return int(std::count_if(sent.begin(), sent.end(),
                             [](const std::string& c) { return c.rfind("MES,", 0) == 0; }));
}

void TestCA410Sensor::addOpenFailures()
{
    QTest::newRow("no such port") << QByteArray("port")
                                  << QStringLiteral("ca410DeviceOpen 0 err 40, check device plugin!");
    // The zero calibration is refused: the library's code, not the instrument's.
    QTest::newRow("zero calibration") << QByteArray("ZRC") << QStringLiteral("ca410DeviceInit err 42");
}

QString TestCA410Sensor::injectOpenFault(const QByteArray& fault)
{
    if (fault == "port")
        return refusedPort();
    m_emulator.addFault(Fault::Error, fault.toStdString(), 21);
    return port();
}

void TestCA410Sensor::failReadings(int count)
{
    for (int i = 0; i < count; ++i)
        m_emulator.addFault(Fault::Error, "MES", 24);
}

void TestCA410Sensor::dimReadingIsAveragedWithASecond()
{
    RecordingMessenger messenger;
    CA410Sensor sensor;
    QVERIFY(sensor.init(port()));
    m_emulator.setMeasurement(2.0, 9.99, 3.0);
    // Each reading's duration becomes the delay: the instrument takes 300 ms
    // over the first and 700 ms over the second.
    m_emulator.addFault(Fault::Slow, "MES", 300);
    QCOMPARE(sensor.startMeasure(), 2000);
    QVERIFY(sensor.isLowLight());
    QVERIFY2(sensor.getMeasureDelay() >= 300 && sensor.getMeasureDelay() < 700,
             qPrintable(QString::number(sensor.getMeasureDelay())));
    m_emulator.setMeasurement(4.0, 8.01, 5.0);
    m_emulator.addFault(Fault::Slow, "MES", 700);

    QSignalSpy spy(&sensor, &CSensor::colorChanged);
    const CColor color = sensor.GetColor();
    QVERIFY2(sensor.getMeasureDelay() >= 700 && sensor.getMeasureDelay() < 1500,
             qPrintable(QString::number(sensor.getMeasureDelay())));
    QCOMPARE(components(color), (QList<double>{3.0, 9.0, 4.0}));
    QCOMPARE(readings(), 2);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<CColor>()[1], 9.0);
    QCOMPARE(sensor.getLastColor()[1], 9.0);
    QVERIFY(messenger.shown().isEmpty());
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

    CA410Sensor sensor;
    QVERIFY(sensor.init(port()));
    QCOMPARE(sensor.GetCalList(), QStringList({QStringLiteral("MAT[3]_CAL A"), QStringLiteral("MAT[12]_CH12")}));
    QCOMPARE(sensor.getCalChannels(), QList<int>({3, 12}));

    for (const int channel : {3, 12, 20})
        m_emulator.setChannel(channel, Ca410Emulator::Channel());
    // A failing channel read empties the list; a closed driver has none.
    m_emulator.addFault(Fault::Error, "TDR", 24);
    QVERIFY(sensor.GetCalList().isEmpty());
    QVERIFY(sensor.getCalChannels().isEmpty());
    sensor.release();
    QVERIFY(sensor.GetCalList().isEmpty());
}

QTEST_GUILESS_MAIN(TestCA410Sensor)
#include "tst_ca410sensor.moc"
