// The K-10 driver against the stand-in libmlink_k10 and its simulated
// instrument, and the package decoder.
#include "k10sensor.h"
#include "librarysensortest.h"
#include "ptydevice.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString kStandinDir = QStringLiteral(K10_STANDIN_DIR);

// A K-10 answering "\rN5\r" on a pseudo-terminal with a fixed package.
class PackagePeer : public PtyDevice
{
public:
    explicit PackagePeer(std::string package) : m_package(std::move(package)) {}
    ~PackagePeer() override { stop(); }

protected:
    void received(const std::string& bytes) override
    {
        m_request += bytes;
        if (m_request.find("\rN5\r") != std::string::npos) {
            m_request.clear();
            send(m_package);
        }
    }

private:
    std::string m_package;
    std::string m_request;
};

} // namespace

class TestK10Sensor : public LibrarySensorTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void calListAndStoredMatrices();
    void refusedSaveIsReported();
    void closedDriverCallsNothing();
    void cyclicCalListStopsAt1024Entries();
    void everyAnswerTakesAReply_data();
    void everyAnswerTakesAReply();
    void replyTimeIsWaited();
    void clearEmptiesASlot();
    void extractFloat_data();
    void extractFloat();
    void parsePackageData();
    void singleMeasureReadsAPackage_data();
    void singleMeasureReadsAPackage();

private:
    std::unique_ptr<CSensor> newSensor() override { return std::make_unique<K10Sensor>(); }
    QString port() const override { return QStringLiteral("/dev/ttyK10SIM"); }
    QString library() const override { return QStringLiteral("libmlink_k10"); }
    QString serialNumber() const override { return QStringLiteral("7100123"); }
    QString firmwareVersion() const override { return QStringLiteral("3.2.1"); }
    int readings() override { return calls("k10MeasureXYZ"); }
    int opens() override { return calls("k10DeviceOpen"); }
    int held() override { return sim("open"); }
    void addOpenFailures() override;
    QString injectOpenFault(const QByteArray& fault) override;
    void setPatch(double x, double y, double z) override;
    void setReadingSource(ReadingSource source) override;
    void failReadings(int count) override { QCOMPARE(sim("fail k10MeasureXYZ 9 " + QByteArray::number(count)), 0); }
    QStringList failureTexts() const override
    {
        return {QStringLiteral("measureXYZ err, 9"), QStringLiteral("measXYZ err, 9")};
    }
    QString closedText() const override { return QStringLiteral("measureXYZ err, -1"); }
    int waitFor(double y) const override { return y < 10.0 ? 2000 : 1000; }
    bool announcesNoData() const override { return true; }
    // The library takes no empty port name.
    QString refusedPort() const override { return QString::fromLatin1(""); }
    int lastSlot() const override { return 95; }
    int saves() override { return calls("k10SaveCalibrationMatrix"); }
    int deletes() override { return calls("k10DeleteCalibrationMatrix"); }

    // Steers the stand-in, loading it on first use: the first cases must find
    // nothing loaded.
    void loadStandin();
    int sim(const QByteArray& command)
    {
        loadStandin();
        return m_control(command.constData());
    }
    int calls(const char* function) { return sim(QByteArray("calls ") + function); }
    void resetStandin();

    QLibrary m_standin;
    int (*m_control)(const char*) = nullptr;
    ReadingSource m_source;
};

void TestK10Sensor::loadStandin()
{
    if (m_control)
        return;
    m_standin.setFileName(QDir(kStandinDir).filePath(SensorLibrary::fileName(library())));
    if (!m_standin.load())
        qFatal("%s", qPrintable(m_standin.errorString()));
    m_control = reinterpret_cast<int (*)(const char*)>(m_standin.resolve("k10SimControl"));
    if (!m_control)
        qFatal("the stand-in has no k10SimControl");
    resetStandin();
}

void TestK10Sensor::resetStandin()
{
    QCOMPARE(sim("reset"), 0);
    QCOMPARE(sim("scale 0.01"), 0);
    QCOMPARE(sim("identity K-10A 7100123 3.2.1"), 0);
    QCOMPARE(sim("h9a-unknown"), -1);
}

void TestK10Sensor::init()
{
    SensorLibrary::setExtraDirectories({kStandinDir});
    if (m_control)
        resetStandin();
}

void TestK10Sensor::cleanup()
{
    if (m_control) {
        QCOMPARE(sim("open"), 0);
        QCOMPARE(sim("badhandles"), 0);
        QCOMPARE(sim("lists"), 0);
    }
}

void TestK10Sensor::addOpenFailures()
{
    QTest::newRow("open") << QByteArray("k10DeviceOpen") << QStringLiteral("K10DeviceOpen 0 err 7, check device plugin!");
    QTest::newRow("init") << QByteArray("k10DeviceInit") << QStringLiteral("K10DeviceInit err 7");
    QTest::newRow("info") << QByteArray("k10DeviceGetInfo") << QStringLiteral("K10DeviceInfo err 7");
}

QString TestK10Sensor::injectOpenFault(const QByteArray& fault)
{
    sim("fail " + fault + " 7");
    return port();
}

void TestK10Sensor::setPatch(double x, double y, double z)
{
    QByteArray command("patch");
    for (const double value : {x, y, z})
        command += ' ' + QByteArray::number(value);
    QCOMPARE(sim(command), 0);
}

void TestK10Sensor::setReadingSource(ReadingSource source)
{
    using SetPatchSource = int32_t (*)(void (*)(void*, double*), void*);
    loadStandin();
    const auto setSource = reinterpret_cast<SetPatchSource>(m_standin.resolve("k10SimSetPatchSource"));
    QVERIFY(setSource);
    m_source = std::move(source);
    const auto feed = [](void* context, double* xyz) {
        const std::array<double, 3> next = (*static_cast<ReadingSource*>(context))();
        std::copy(next.begin(), next.end(), xyz);
    };
    QCOMPARE(m_source ? setSource(feed, &m_source) : setSource(nullptr, nullptr), 0);
}

void TestK10Sensor::calListAndStoredMatrices()
{
    QCOMPARE(sim("store 3 CAL_A 1 2 3 4 5 6 7 8 9.5"), 0);
    QCOMPARE(sim("store 40 Panel-B 1 0 0 0 1 0 0 0 1"), 0);
    // An instrument reporting a slot the driver cannot address.
    QCOMPARE(sim("store 96 ROGUE 1 0 0 0 1 0 0 0 1"), 0);
    RecordingMessenger messenger;
    K10Sensor sensor;
    QVERIFY(sensor.init(port()));

    QCOMPARE(sensor.GetCalList(), QStringList({QStringLiteral("MAT[3]_CAL_A"), QStringLiteral("MAT[40]_Panel-B"),
                                                  QStringLiteral("MAT[96]_ROGUE")}));
    QCOMPARE(sensor.getCalChannels(), QList<int>({3, 40, 96}));
    QCOMPARE(calls("k10DeviceReleaseList"), 1);

    const Calfile first = sensor.GetCalfile(0);
    QCOMPARE(first.GetName(), QStringLiteral("CAL_A"));
    QCOMPARE(first.GetId(), 3);
    QCOMPARE(first(0, 1), 2.0);
    QCOMPARE(first(1, 0), 4.0);
    QCOMPARE(first(2, 2), 9.5);

    const int reads = calls("k10GetCalibrationMatrix");
    QVERIFY(sensor.GetCalfile(2).GetName().isEmpty());
    QVERIFY(sensor.GetCalfile(3).GetName().isEmpty());
    QVERIFY(sensor.GetCalfile(-1).GetName().isEmpty());
    QCOMPARE(calls("k10GetCalibrationMatrix"), reads);

    QCOMPARE(sim("fail k10GetCalibrationMatrix 5"), 0);
    const Calfile failed = sensor.GetCalfile(1);
    QVERIFY(failed.GetName().isEmpty());
    QCOMPARE(failed(0, 0), 0.0);

    QCOMPARE(sim("fail k10DeviceGetList 5"), 0);
    QVERIFY(sensor.GetCalList().isEmpty());
    // Nothing was handed out, so nothing is given back.
    QCOMPARE(calls("k10DeviceReleaseList"), 1);
    QVERIFY(sensor.getCalChannels().isEmpty());
    QVERIFY(messenger.shown().isEmpty());
}

void TestK10Sensor::refusedSaveIsReported()
{
    K10Sensor sensor;
    QVERIFY(sensor.init(port()));
    QCOMPARE(sim("fail k10SaveCalibrationMatrix 3"), 0);
    Calfile matrix;
    matrix.SetName(QStringLiteral("Y"));
    QCOMPARE(sensor.SaveCalfile(matrix), 1);
    QCOMPARE(sim("stored 0"), 0);
}

void TestK10Sensor::closedDriverCallsNothing()
{
    K10Sensor sensor;
    QVERIFY(sensor.init(port()));
    QCOMPARE(sim("store 1 ONE 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sensor.GetCalList().size(), 1);
    sensor.release();
    QVERIFY(sensor.GetCalfile(0).GetName().isEmpty());
    QCOMPARE(sensor.DelCalfile(1), 1);
    QVERIFY(sensor.GetCalList().isEmpty());
    sensor.release();
    QCOMPARE(calls("k10DeleteCalibrationMatrix"), 0);
    QCOMPARE(calls("k10DeviceRelease"), 1);
}

void TestK10Sensor::cyclicCalListStopsAt1024Entries()
{
    QCOMPARE(sim("store 3 A 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("store 7 B 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("store 9 C 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("cyclic"), 0);
    K10Sensor sensor;
    QVERIFY(sensor.init(port()));

    const QStringList names = sensor.GetCalList();
    QCOMPARE(names.size(), 1024);
    QCOMPARE(sensor.getCalChannels().size(), 1024);
    QCOMPARE(names.at(0), QStringLiteral("MAT[3]_A"));
    QCOMPARE(names.at(3), QStringLiteral("MAT[3]_A"));
    QCOMPARE(names.at(1022), QStringLiteral("MAT[9]_C"));
    // The list is given back all the same (cleanup() checks none is left).
    QCOMPARE(calls("k10DeviceReleaseList"), 1);
}

void TestK10Sensor::everyAnswerTakesAReply_data()
{
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("replies");
    // Three matrices are stored: a list is one reply per matrix it names.
    QTest::newRow("open") << QByteArray("init") << QByteArray() << 2;
    QTest::newRow("list") << QByteArray("list") << QByteArray() << 3;
    QTest::newRow("empty list") << QByteArray("empty list") << QByteArray() << 1;
    QTest::newRow("read") << QByteArray("read") << QByteArray() << 1;
    QTest::newRow("save") << QByteArray("save") << QByteArray() << 1;
    QTest::newRow("delete") << QByteArray("delete") << QByteArray() << 1;
    QTest::newRow("reading") << QByteArray("reading") << QByteArray() << 1;
    QTest::newRow("refused read") << QByteArray("read") << QByteArray("k10GetCalibrationMatrix") << 0;
    QTest::newRow("refused list") << QByteArray("list") << QByteArray("k10DeviceGetList") << 0;
}

void TestK10Sensor::everyAnswerTakesAReply()
{
    QFETCH(QByteArray, call);
    QFETCH(QByteArray, fault);
    QFETCH(int, replies);
    constexpr int replyMs = 40;
    constexpr int readingMs = 300;
    for (const QByteArray& slot : {QByteArray("4"), QByteArray("8"), QByteArray("15")})
        QCOMPARE(sim("store " + slot + " S" + slot + " 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("reading " + QByteArray::number(readingMs)), 0);
    QCOMPARE(sim("reply " + QByteArray::number(replyMs)), 0);
    RecordingMessenger messenger;
    K10Sensor sensor;
    int before = sim("clock");
    if (call != "init") {
        QVERIFY(sensor.init(port()));
        QCOMPARE(sensor.GetCalList().size(), 3);
        if (call == "empty list") {
            for (const QByteArray& slot : {QByteArray("4"), QByteArray("8"), QByteArray("15")})
                QCOMPARE(sim("clear " + slot), 0);
        }
        before = sim("clock");
    }
    if (!fault.isEmpty())
        QCOMPARE(sim("fail " + fault + " 5"), 0);

    Calfile record;
    record.SetName(QStringLiteral("W"));
    record.SetId(20);
    int expectedMs = replies * replyMs;
    if (call == "init") {
        QVERIFY(sensor.init(port()));
    } else if (call == "list" || call == "empty list") {
        sensor.GetCalList();
    } else if (call == "read") {
        QCOMPARE(sensor.GetCalfile(1).GetName().isEmpty(), !fault.isEmpty());
    } else if (call == "save") {
        QCOMPARE(sensor.SaveCalfile(record), 0);
    } else if (call == "delete") {
        QCOMPARE(sensor.DelCalfile(8), 0);
    } else if (call == "reading") {
        sensor.startMeasure();
        expectedMs += readingMs;
    }
    QCOMPARE(sim("clock") - before, expectedMs);
    sensor.release();
}

void TestK10Sensor::replyTimeIsWaited()
{
    // Unscaled, the replies are waited for in real time, outside the lock.
    QCOMPARE(sim("scale 1"), 0);
    QCOMPARE(sim("reply 30"), 0);
    for (const QByteArray& slot : {QByteArray("1"), QByteArray("2"), QByteArray("3")})
        QCOMPARE(sim("store " + slot + " S 1 0 0 0 1 0 0 0 1"), 0);
    K10Sensor sensor;
    QVERIFY(sensor.init(port()));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(sensor.GetCalList().size(), 3);
    QVERIFY2(clock.elapsed() >= 3 * 30, qPrintable(QString::number(clock.elapsed())));
    sensor.release();
}

void TestK10Sensor::clearEmptiesASlot()
{
    QCOMPARE(sim("store 127 LAST 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("store 5 FIVE 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("clear 127"), 0);
    QCOMPARE(sim("stored 127"), 0);
    QCOMPARE(sim("stored 5"), 1);
    QCOMPARE(sim("clear 128"), -1);
    QCOMPARE(sim("clear -1"), -1);
    QCOMPARE(sim("clear"), -1);
}

void TestK10Sensor::extractFloat_data()
{
    QTest::addColumn<int>("hi");
    QTest::addColumn<int>("lo");
    QTest::addColumn<int>("exp");
    QTest::addColumn<double>("value");
    QTest::newRow("half") << 0x40 << 0x00 << 0x01 << 0.5;
    QTest::newRow("negative clamps") << 0xC0 << 0x00 << 0x01 << 0.0;
    QTest::newRow("2^-9") << 0x01 << 0x00 << 0xFF << std::ldexp(1.0, -9);
    QTest::newRow("low byte") << 0x00 << 0x01 << 0x10 << 1.0;
    QTest::newRow("exp 128 positive") << 0x40 << 0x00 << 0x80 << std::ldexp(1.0, 126);
    QTest::newRow("exp 129 negative") << 0x40 << 0x00 << 0x81 << std::ldexp(1.0, -129);
    QTest::newRow("largest mantissa") << 0x7F << 0xFF << 0x00 << 32767.0 / 65536.0;
}

void TestK10Sensor::extractFloat()
{
    QFETCH(int, hi);
    QFETCH(int, lo);
    QFETCH(int, exp);
    QFETCH(double, value);
    QCOMPARE(K10Sensor::extractFloat(uchar(hi), uchar(lo), uchar(exp)), value);
}

void TestK10Sensor::parsePackageData()
{
    double x = -1;
    double y = -1;
    double z = -1;
    // Four bytes: X from bytes 2 and 3 with a zero exponent; Y and Z missing.
    QVERIFY(K10Sensor::parsePackageData(QByteArray("N5\x40\x20", 4), &x, &y, &z));
    QCOMPARE(x, 0x4020 / 65536.0);
    QCOMPARE(y, 0.0);
    QCOMPARE(z, 0.0);

    const QByteArray full("N5\x40\x00\x01\x40\x00\x02\xC0\x00\x01\r\n\0\0", 15);
    QVERIFY(K10Sensor::parsePackageData(full, &x, &y, &z));
    QCOMPARE(x, 0.5);
    QCOMPARE(y, 1.0);
    QCOMPARE(z, 0.0);

    QVERIFY(K10Sensor::parsePackageData(QByteArray(), &x, nullptr, nullptr));
    QCOMPARE(x, 0.0);
}

void TestK10Sensor::singleMeasureReadsAPackage_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("N0") << QByteArray("N0\x40\x00\x01\x40\x00\x02\x40\x00\x03\0\0\0\0", 15) << true;
    QTest::newRow("other header") << QByteArray("E1\x40\x00\x01\x40\x00\x02\x40\x00\x03\0\0\0\0", 15) << false;
    // Too short: given up at the deadline rather than waited for.
    QTest::newRow("short") << QByteArray("N5\x40", 3) << false;
}

void TestK10Sensor::singleMeasureReadsAPackage()
{
    QFETCH(QByteArray, package);
    QFETCH(bool, accepted);
    PackagePeer peer(package.toStdString());
    QVERIFY(peer.start());
    SerialPort port(QString::fromStdString(peer.devicePath()));
    QVERIFY(port.open());
    double xyz[3] = {-1, -1, -1};
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(K10Sensor::singleMeasure(port, &xyz[0], &xyz[1], &xyz[2], 300), accepted);
    QVERIFY(timer.elapsed() < 3000);
    if (accepted)
        QCOMPARE(QVector<double>({xyz[0], xyz[1], xyz[2]}), QVector<double>({0.5, 1.0, 2.0}));
}

QTEST_GUILESS_MAIN(TestK10Sensor)
#include "tst_k10sensor.moc"
