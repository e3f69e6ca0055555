#include "components.h"
#include "i1d3sensor.h"
#include "librarysensortest.h"
#include "mlink_i1d3.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"

#include <QLibrary>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

using SimControl = int32_t (*)(i1d3_sim_request*);
using SetPatchSource = int32_t (*)(void (*)(void*, double*), void*);

} // namespace

// The i1Display Pro driver against the stand-in library and its simulated
// instrument. The driver times its readings with the simulation's clock, so a
// reading the instrument reports as 6000 ms really takes 6 ms.
class TestI1d3Sensor : public LibrarySensorTest
{
    Q_OBJECT

private slots:
    void init();

    void errorTexts_data();
    void errorTexts();
    void openReadsTheStorageStateAndLightsTheLed();
    void fastReadingIsTakenOnceWithTheLedOff();
    void slowReadingGoesThroughDelayMode();
    void delayModeOnTheSteadyClock();
    void calibrationStorage();
    void unopenedSensorStoresNothing();

private:
    std::unique_ptr<CSensor> newSensor() override { return makeSensor(false); }
    QString port() const override { return QString(); }
    QString library() const override { return QStringLiteral("libmlink_i1d3"); }
    QString serialNumber() const override { return QStringLiteral(I1D3_SIM_SERIAL); }
    QString firmwareVersion() const override { return QStringLiteral(I1D3_SIM_FIRMWARE); }
    int readings() override { return int(calls("i1d3MeasureXYZ")); }
    int opens() override { return int(calls("i1d3DeviceOpen")); }
    int held() override { return int(sim(I1D3_SIM_OPEN_DEVICES)); }
    void addOpenFailures() override;
    QString injectOpenFault(const QByteArray& fault) override;
    void setPatch(double x, double y, double z) override;
    void setReadingSource(ReadingSource source) override;
    void failReadings(int count) override { sim(I1D3_SIM_FAIL, count, "i1d3MeasureXYZ", 0x70062); }
    QStringList failureTexts() const override
    {
        return {QStringLiteral("measrueXYZ err, Communications failure"),
                QStringLiteral("measXYZ err, Communications failure")};
    }
    QString closedText() const override
    {
        return QStringLiteral("measrueXYZ err, Instrument hasn't been initialized");
    }
    int waitFor(double) const override { return 500; }
    bool announcesNoData() const override { return false; }
    // The identity is read before the steps that can still fail.
    bool identifiesOnlyWhenOpen() const override { return false; }
    // Nothing waits to be collected, so the LED is back on.
    void afterFailedStart() override { QCOMPARE(sim(I1D3_SIM_LED), 1); }
    int lastSlot() const override { return 17; }
    int saves() override { return int(calls("i1d3SaveCalfile")); }
    int deletes() override { return int(calls("i1d3DeleteCalfile")); }

    // Steers the stand-in, loading it on first use: the first cases must find
    // nothing loaded, or the driver would find it by its name alone.
    void loadStandin();
    void setTimeScale(double scale);
    int64_t sim(i1d3_sim_op op, int64_t value = 0, const char* function = nullptr, int32_t code = 0);
    int64_t calls(const char* function) { return sim(I1D3_SIM_CALLS, 0, function); }
    // A sensor timed by the simulation, opened unless told otherwise.
    std::unique_ptr<I1d3Sensor> makeSensor(bool open = true);

    QLibrary simLibrary;
    SimControl control = nullptr;
    ReadingSource source;
};

void TestI1d3Sensor::loadStandin()
{
    if (control)
        return;
    simLibrary.setFileName(QStringLiteral(I1D3_STANDIN_DIR "/") + SensorLibrary::fileName(library()));
    if (!simLibrary.load())
        qFatal("%s", qPrintable(simLibrary.errorString()));
    control = reinterpret_cast<SimControl>(simLibrary.resolve("i1d3SimControl"));
    if (!control)
        qFatal("the stand-in has no i1d3SimControl");
    init();
}

int64_t TestI1d3Sensor::sim(i1d3_sim_op op, int64_t value, const char* function, int32_t code)
{
    loadStandin();
    i1d3_sim_request request = {};
    request.op = op;
    request.value = value;
    request.code = code;
    if (function)
        qstrncpy(request.function, function, sizeof(request.function));
    if (control(&request) != I1D3_OK)
        QTest::qFail("the simulated instrument refused a request", __FILE__, __LINE__);
    return request.value;
}

void TestI1d3Sensor::setTimeScale(double scale)
{
    loadStandin();
    i1d3_sim_request request = {};
    request.op = I1D3_SIM_SET_TIME_SCALE;
    request.data[0] = scale;
    QCOMPARE(control(&request), I1D3_OK);
}

void TestI1d3Sensor::setPatch(double x, double y, double z)
{
    loadStandin();
    i1d3_sim_request request = {};
    request.op = I1D3_SIM_SET_PATCH;
    request.data[0] = x;
    request.data[1] = y;
    request.data[2] = z;
    QCOMPARE(control(&request), I1D3_OK);
}

void TestI1d3Sensor::setReadingSource(ReadingSource next)
{
    loadStandin();
    const auto setSource = reinterpret_cast<SetPatchSource>(simLibrary.resolve("i1d3SimSetPatchSource"));
    QVERIFY(setSource);
    source = std::move(next);
    const auto feed = [](void* context, double* xyz) {
        const std::array<double, 3> values = (*static_cast<ReadingSource*>(context))();
        std::copy(values.begin(), values.end(), xyz);
    };
    QCOMPARE(source ? setSource(feed, &source) : setSource(nullptr, nullptr), I1D3_OK);
}

std::unique_ptr<I1d3Sensor> TestI1d3Sensor::makeSensor(bool open)
{
    auto sensor = std::make_unique<I1d3Sensor>();
    sensor->setClock([this] { return qint64(sim(I1D3_SIM_CLOCK)); });
    if (open && !sensor->init(QString()))
        qWarning("the simulated instrument did not open");
    return sensor;
}

void TestI1d3Sensor::init()
{
    SensorLibrary::setExtraDirectories({QStringLiteral(I1D3_STANDIN_DIR)});
    if (!control)
        return;
    sim(I1D3_SIM_RESET);
    // Simulated readings take a thousandth of the time they report.
    setTimeScale(0.001);
}

void TestI1d3Sensor::addOpenFailures()
{
    QTest::newRow("open") << QByteArray("i1d3DeviceOpen 0x70062")
                          << "I1d3DeviceOpen 0 err Communications failure,check device plugin!";
    QTest::newRow("init") << QByteArray("i1d3DeviceInit 0x90013")
                          << "I1d3DeviceInit err, Message from instrument had bad status code";
    QTest::newRow("info") << QByteArray("i1d3GetDeviceInfo 0x90012")
                          << "I1d3GetDeviceInfo  err, Unable to read full message to instrument";
    QTest::newRow("usr") << QByteArray("i1d3GetUsrdataEnableState 0x60061")
                         << "i1d3GetUsrdataEnableState err, Internal software error";
    QTest::newRow("status") << QByteArray("i1d3GetStatusInfo 0x90026")
                            << "I1d3GetDeviceStatus  err, Instrument status is unrecognised format";
    QTest::newRow("led") << QByteArray("i1d3SetLedState 0x180024")
                         << "I1d3SetLEDControl  err,Parameters to set LED are incorrect";
}

QString TestI1d3Sensor::injectOpenFault(const QByteArray& fault)
{
    const QList<QByteArray> parts = fault.split(' ');
    sim(I1D3_SIM_FAIL, 1, parts.at(0).constData(), parts.at(1).toInt(nullptr, 0));
    return port();
}

void TestI1d3Sensor::errorTexts_data()
{
    QTest::addColumn<bool>("family");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("notification class ignored") << false << 0x10005 << "Ambient filter should be removed";
    QTest::newRow("no error") << false << 0 << "No device error";
    QTest::newRow("last row") << false << 102 << "Usr storage r/w disabled";
    QTest::newRow("gap below 102") << false << 4 << "Unknown error code";
    QTest::newRow("above 102") << false << 103 << "Unknown error code";
    QTest::newRow("only the low byte") << false << 0x7165 << "Invalid input args";
    QTest::newRow("negative") << false << -1 << "Unknown error code";
    QTest::newRow("class 26") << true << (26 << 16) << "Unknown inst error code";
    QTest::newRow("class 25") << true << ((25 << 16) | 5) << "Non-specific error";
    QTest::newRow("class 0") << true << 0x66 << "No Mlink error";
    QTest::newRow("unused class 13") << true << (13 << 16) << "Unknown inst error code";
    QTest::newRow("bits above 23 ignored") << true << ((1 << 24) | (3 << 16))
                                           << "Internal error - communications needed but not established";
}

void TestI1d3Sensor::errorTexts()
{
    QFETCH(bool, family);
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(family ? mlink_err(code) : i1d3_err(code), text);
}

void TestI1d3Sensor::openReadsTheStorageStateAndLightsTheLed()
{
    sim(I1D3_SIM_SET_USR_ENABLED, 0);
    const auto sensor = makeSensor();
    QVERIFY(sensor->getIsOpen());
    QCOMPARE(sensor->getUsrEnabled(), 0);
    QCOMPARE(sim(I1D3_SIM_LED), 1);
}

void TestI1d3Sensor::fastReadingIsTakenOnceWithTheLedOff()
{
    setPatch(12.5, 13.25, 14.0);
    sim(I1D3_SIM_SET_READING_TIME, 300);
    auto sensor = makeSensor();
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);

    QCOMPARE(sensor->startMeasure(), 500);
    QCOMPARE(sensor->getMeasureDelay(), 300);
    QCOMPARE(sim(I1D3_SIM_LED), 0);

    const CColor color = sensor->GetColor();
    QCOMPARE(calls("i1d3MeasureXYZ"), 1);
    QCOMPARE(sim(I1D3_SIM_LED), 1);
    QCOMPARE(components(color), (QList<double>{12.5, 13.25, 14.0}));
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.at(0).at(0).value<CColor>()[1], 13.25);
    QCOMPARE(sensor->getLastColor()[2], 14.0);
}

void TestI1d3Sensor::slowReadingGoesThroughDelayMode()
{
    setPatch(0.1, 0.2, 0.3);
    sim(I1D3_SIM_SET_READING_TIME, 6000);
    auto sensor = makeSensor();

    QCOMPARE(sensor->startMeasure(), 0);
    QVERIFY(sensor->isDelayMode());
    QCOMPARE(sensor->getMeasureDelay(), 6000);
    // Asked again before collecting: no second reading.
    QCOMPARE(sensor->startMeasure(), 500);
    QCOMPARE(calls("i1d3MeasureXYZ"), 1);
    QCOMPARE(sim(I1D3_SIM_LED), 0);

    QCOMPARE(sensor->GetColor()[1], 0.2);
    QVERIFY(!sensor->isDelayMode());
    QCOMPARE(sim(I1D3_SIM_LED), 1);
    QCOMPARE(calls("i1d3MeasureXYZ"), 1);

    // The last reading was slow: the next one is left to GetColor().
    QCOMPARE(sensor->startMeasure(), 7000);
    QCOMPARE(calls("i1d3MeasureXYZ"), 1);
    QCOMPARE(sim(I1D3_SIM_LED), 1);

    setPatch(40.0, 42.0, 44.0);
    sim(I1D3_SIM_SET_READING_TIME, 250);
    const CColor color = sensor->GetColor();
    QCOMPARE(calls("i1d3MeasureXYZ"), 2);
    QCOMPARE(color[0], 40.0);
    QCOMPARE(color[2], 44.0);
    QCOMPARE(sensor->getMeasureDelay(), 250);

    // Quick again, so startMeasure() measures once more.
    QCOMPARE(sensor->startMeasure(), 500);
    QCOMPARE(calls("i1d3MeasureXYZ"), 3);
}

void TestI1d3Sensor::delayModeOnTheSteadyClock()
{
    // The driver's own clock measures real time against a fixed 5001 ms, so
    // this case cannot be scaled down: the readings really take about 5 s.
    setTimeScale(1.0);
    I1d3Sensor sensor;
    QVERIFY(sensor.init(QString()));

    // Just under: taken at once. The margin allows for a late wake-up.
    sim(I1D3_SIM_SET_READING_TIME, 4700);
    QCOMPARE(sensor.startMeasure(), 500);
    QVERIFY(!sensor.isDelayMode());
    QVERIFY2(sensor.getMeasureDelay() >= 4700 && sensor.getMeasureDelay() < I1d3Sensor::SlowReading,
             qPrintable(QString::number(sensor.getMeasureDelay())));
    sensor.GetColor();

    // Just over: delay mode.
    sim(I1D3_SIM_SET_READING_TIME, 5200);
    QCOMPARE(sensor.startMeasure(), 0);
    QVERIFY(sensor.isDelayMode());
    QVERIFY2(sensor.getMeasureDelay() >= 5200 && sensor.getMeasureDelay() < 7000,
             qPrintable(QString::number(sensor.getMeasureDelay())));
    QCOMPARE(calls("i1d3MeasureXYZ"), 2);
    sensor.release();
}

void TestI1d3Sensor::calibrationStorage()
{
    loadStandin();
    i1d3_sim_request store = {};
    store.op = I1D3_SIM_STORE;
    store.value = 3;
    qstrncpy(store.name, "CAL A", sizeof(store.name));
    for (int i = 0; i < 9; ++i)
        store.data[i] = 0.5 + i;
    QCOMPARE(control(&store), I1D3_OK);
    store.value = 17;
    qstrncpy(store.name, "last", sizeof(store.name));
    QCOMPARE(control(&store), I1D3_OK);

    auto sensor = makeSensor();
    QCOMPARE(sensor->GetCalList(), QStringList({"MAT[3]_CAL A", "MAT[17]_last"}));
    QCOMPARE(sensor->getCalChannels(), QList<int>({3, 17}));
    QCOMPARE(calls("i1d3ReleaseCallist"), 1);

    Calfile read = sensor->GetCalfile(0);
    QCOMPARE(read.GetName(), QStringLiteral("CAL A"));
    QCOMPARE(read.GetId(), 3);
    QCOMPARE(read(0, 0), 0.5);
    QCOMPARE(read(1, 2), 5.5);
    QCOMPARE(read(2, 2), 8.5);
    QVERIFY(sensor->GetCalfile(2).GetName().isEmpty());
    QVERIFY(sensor->GetCalfile(-1).GetName().isEmpty());
    QCOMPARE(calls("i1d3GetCalfile"), 1);

    // With the user storage switched off the list comes back empty.
    sim(I1D3_SIM_SET_USR_ENABLED, 0);
    QVERIFY(sensor->GetCalList().isEmpty());
    QVERIFY(sensor->GetCalfile(0).GetName().isEmpty());
    QCOMPARE(sensor->SaveCalfile(read), 1);
}

void TestI1d3Sensor::unopenedSensorStoresNothing()
{
    I1d3Sensor sensor;
    QVERIFY(sensor.GetCalList().isEmpty());
    Calfile calfile;
    calfile.SetName(QStringLiteral("x"));
    QCOMPARE(sensor.SaveCalfile(calfile), 1);
    QCOMPARE(sensor.DelCalfile(0), 1);
}

QTEST_GUILESS_MAIN(TestI1d3Sensor)
#include "tst_i1d3sensor.moc"
