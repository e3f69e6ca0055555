// The K-10 driver against the stand-in libmlink_k10 and its simulated
// instrument, the package decoder, and the factory entries of both drivers
// bound to a library.
#include "ca410sensor.h"
#include "components.h"
#include "k10sensor.h"
#include "mappedfiles.h"
#include "measure.h"
#include "ptydevice.h"
#include "recordingmessenger.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString kStandinDir = QStringLiteral(K10_STANDIN_DIR);
const QString kPort = QStringLiteral("/dev/ttyK10SIM");

// Counts the readings it feeds, each one brighter.
void countingPatch(void* context, double* xyz)
{
    int& taken = *static_cast<int*>(context);
    ++taken;
    xyz[0] = 30.5;
    xyz[1] = 40.0 + taken;
    xyz[2] = 50.25;
}

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

class TestK10Sensor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Runs first: nothing may have loaded the stand-in into the process yet.
    void missingOrForeignLibraryIsNamed();
    void initFailuresGiveTheHandleBack_data();
    void initFailuresGiveTheHandleBack();
    void initReadsTheIdentityOnce();
    void measuresLikeTheCa410();
    void patchSourceFeedsReadings();
    void calListAndStoredMatrices();
    void savingAndDeletingKeepToSlots0To95();
    void releaseGivesTheHandleBack();
    void cyclicCalListStopsAt1024Entries();
    void destroyingGivesTheHandleBack();
    void retriedInitLeavesNoLibraryMapped();
    void extractFloat_data();
    void extractFloat();
    void parsePackageData();
    void singleMeasureReadsAPackage_data();
    void singleMeasureReadsAPackage();
    void factoryCreatesTheLibraryDrivers();

private:
    int sim(const QByteArray& command) const { return m_control(command.constData()); }
    int calls(const char* function) const { return sim(QByteArray("calls ") + function); }

    QLibrary m_standin;
    int (*m_control)(const char*) = nullptr;
    std::unique_ptr<RecordingMessenger> m_messenger;
    std::unique_ptr<K10Sensor> m_sensor;
};

void TestK10Sensor::initTestCase()
{
    m_standin.setFileName(QDir(kStandinDir).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10"))));
}

void TestK10Sensor::init()
{
    SensorLibrary::setExtraDirectories({kStandinDir});
    m_messenger = std::make_unique<RecordingMessenger>();
    if (m_control) {
        QCOMPARE(sim("reset"), 0);
        QCOMPARE(sim("scale 0.01"), 0);
    }
}

void TestK10Sensor::cleanup()
{
    if (m_sensor)
        m_sensor->release();
    m_sensor.reset();
    m_messenger.reset();
    if (m_control) {
        QCOMPARE(sim("open"), 0);
        QCOMPARE(sim("badhandles"), 0);
        QCOMPARE(sim("lists"), 0);
    }
}

void TestK10Sensor::missingOrForeignLibraryIsNamed()
{
    SensorLibrary::setExtraDirectories({kStandinDir + QStringLiteral("/h9a-absent")});
    K10Sensor sensor;
    QVERIFY(!sensor.init(kPort));
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(m_messenger->shown().size(), 1);
    QCOMPARE(m_messenger->shown().at(0).title, QStringLiteral("K-10"));
    QCOMPARE(m_messenger->shown().at(0).text, QStringLiteral("Can not open libmlink_k10.so"));

    // A library of that name without the K-10 entry points.
    QTemporaryDir impostor;
    QVERIFY(QFile::copy(QStringLiteral(CA410_LIBRARY_FILE), impostor.filePath(QStringLiteral("libmlink_k10.so"))));
    SensorLibrary::setExtraDirectories({impostor.path()});
    QVERIFY(!sensor.init(kPort));
    QVERIFY(!sensor.getIsOpen());
    QCOMPARE(m_messenger->shown().size(), 2);
    QCOMPARE(m_messenger->shown().at(1).text, QStringLiteral("Error resolve libmlink_k10.so"));
    sensor.release();

    // Loaded only now, so the case above really found nothing.
    QVERIFY2(m_standin.load(), qPrintable(m_standin.errorString()));
    m_control = reinterpret_cast<int (*)(const char*)>(m_standin.resolve("k10SimControl"));
    QVERIFY(m_control);
    QCOMPARE(sim("reset"), 0);
    QCOMPARE(sim("h9a-unknown"), -1);
}

void TestK10Sensor::initFailuresGiveTheHandleBack_data()
{
    QTest::addColumn<QByteArray>("function");
    QTest::addColumn<QString>("message");
    QTest::newRow("open") << QByteArray("k10DeviceOpen")
                          << QStringLiteral("K10DeviceOpen 0 err 7, check device plugin!");
    QTest::newRow("init") << QByteArray("k10DeviceInit") << QStringLiteral("K10DeviceInit err 7");
    QTest::newRow("info") << QByteArray("k10DeviceGetInfo") << QStringLiteral("K10DeviceInfo err 7");
}

void TestK10Sensor::initFailuresGiveTheHandleBack()
{
    QFETCH(QByteArray, function);
    QFETCH(QString, message);
    QCOMPARE(sim("fail " + function + " 7"), 0);
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(!m_sensor->init(kPort));
    QVERIFY(!m_sensor->getIsOpen());
    QCOMPARE(m_messenger->shown().size(), 1);
    QCOMPARE(m_messenger->shown().at(0).text, message);
    QCOMPARE(m_messenger->shown().at(0).title, QStringLiteral("K-10"));
    QCOMPARE(sim("open"), 0);

    // The fault was a single one: the next attempt opens.
    QVERIFY(m_sensor->init(kPort));
    QCOMPARE(sim("open"), 1);
}

void TestK10Sensor::initReadsTheIdentityOnce()
{
    QCOMPARE(sim("identity K-10A 7100123 3.2.1"), 0);
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    QCOMPARE(m_sensor->getSerialNumber(), QStringLiteral("7100123"));
    QCOMPARE(m_sensor->getFirmwareVersion(), QStringLiteral("3.2.1"));
    QCOMPARE(m_sensor->getPortName(), kPort);
    QVERIFY(m_sensor->init(QStringLiteral("/dev/elsewhere")));
    QCOMPARE(calls("k10DeviceOpen"), 1);
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestK10Sensor::measuresLikeTheCa410()
{
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    QSignalSpy spy(m_sensor.get(), &CSensor::colorChanged);

    // Bright: one reading, whose duration becomes the collection delay.
    QCOMPARE(sim("reading 3000"), 0);
    QCOMPARE(sim("patch 20 10 30"), 0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    QVERIFY(m_sensor->getMeasureDelay() >= 30);
    QCOMPARE(sim("patch 1 1 1"), 0);
    QCOMPARE(m_sensor->GetColor()[0], 20.0);
    QCOMPARE(calls("k10MeasureXYZ"), 1);

    // Dim: read again in GetColor.
    QCOMPARE(sim("patch 2 9.99 4"), 0);
    QCOMPARE(m_sensor->startMeasure(), 2000);
    QCOMPARE(sim("patch 4 8.01 6"), 0);
    QCOMPARE(m_sensor->GetColor()[1], 9.0);
    QCOMPARE(calls("k10MeasureXYZ"), 3);

    // Failed: 100, then GetColor reads afresh; failing there too gives no reading.
    QCOMPARE(sim("fail k10MeasureXYZ 9"), 0);
    QCOMPARE(m_sensor->startMeasure(), 100);
    QCOMPARE(m_messenger->shown().last().text, QStringLiteral("measureXYZ err, 9"));
    QCOMPARE(sim("patch 40 50 60"), 0);
    QCOMPARE(m_sensor->GetColor()[1], 50.0);
    QCOMPARE(sim("fail k10MeasureXYZ 9 2"), 0);
    QCOMPARE(m_sensor->startMeasure(), 100);
    QVERIFY(m_sensor->GetColor().IsNoData());
    QCOMPARE(m_messenger->shown().last().text, QStringLiteral("measXYZ err, 9"));
    QCOMPARE(spy.count(), 4);
    QVERIFY(spy.last().at(0).value<CColor>().IsNoData());

    // Black, read without a fault, is a reading like any other.
    const int shown = m_messenger->shown().size();
    QCOMPARE(sim("patch 0 0 0"), 0);
    QCOMPARE(m_sensor->startMeasure(), 2000);
    const CColor black = m_sensor->GetColor();
    QVERIFY(!black.IsNoData());
    QCOMPARE(components(black), (QList<double>{0.0, 0.0, 0.0}));
    QCOMPARE(m_messenger->shown().size(), shown);
}

void TestK10Sensor::patchSourceFeedsReadings()
{
    using SetPatchSource = int32_t (*)(void (*)(void*, double*), void*);
    const auto setSource = reinterpret_cast<SetPatchSource>(m_standin.resolve("k10SimSetPatchSource"));
    QVERIFY(setSource);
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    QCOMPARE(sim("reading 3000"), 0);
    QCOMPARE(sim("patch 10 20 30"), 0);
    int taken = 0;
    QCOMPARE(setSource(countingPatch, &taken), 0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    CColor color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{30.5, 41.0, 50.25}));
    QCOMPARE(taken, calls("k10MeasureXYZ"));

    // A null source: the fixed patch again.
    QCOMPARE(setSource(nullptr, nullptr), 0);
    QCOMPARE(m_sensor->startMeasure(), 1000);
    color = m_sensor->GetColor();
    QCOMPARE(components(color), (QList<double>{10.0, 20.0, 30.0}));
    QCOMPARE(taken, 1);
}

void TestK10Sensor::calListAndStoredMatrices()
{
    QCOMPARE(sim("store 3 CAL_A 1 2 3 4 5 6 7 8 9.5"), 0);
    QCOMPARE(sim("store 40 Panel-B 1 0 0 0 1 0 0 0 1"), 0);
    // An instrument reporting a slot the driver cannot address.
    QCOMPARE(sim("store 96 ROGUE 1 0 0 0 1 0 0 0 1"), 0);
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));

    QCOMPARE(m_sensor->GetCalList(), QStringList({QStringLiteral("MAT[3]_CAL_A"), QStringLiteral("MAT[40]_Panel-B"),
                                                  QStringLiteral("MAT[96]_ROGUE")}));
    QCOMPARE(m_sensor->getCalChannels(), QList<int>({3, 40, 96}));
    QCOMPARE(calls("k10DeviceReleaseList"), 1);

    const Calfile first = m_sensor->GetCalfile(0);
    QCOMPARE(first.GetName(), QStringLiteral("CAL_A"));
    QCOMPARE(first.GetId(), 3);
    QCOMPARE(first(0, 1), 2.0);
    QCOMPARE(first(1, 0), 4.0);
    QCOMPARE(first(2, 2), 9.5);

    const int reads = calls("k10GetCalibrationMatrix");
    QVERIFY(m_sensor->GetCalfile(2).GetName().isEmpty());
    QVERIFY(m_sensor->GetCalfile(3).GetName().isEmpty());
    QVERIFY(m_sensor->GetCalfile(-1).GetName().isEmpty());
    QCOMPARE(calls("k10GetCalibrationMatrix"), reads);

    QCOMPARE(sim("fail k10GetCalibrationMatrix 5"), 0);
    const Calfile failed = m_sensor->GetCalfile(1);
    QVERIFY(failed.GetName().isEmpty());
    QCOMPARE(failed(0, 0), 0.0);

    QCOMPARE(sim("fail k10DeviceGetList 5"), 0);
    QVERIFY(m_sensor->GetCalList().isEmpty());
    // Nothing was handed out, so nothing is given back.
    QCOMPARE(calls("k10DeviceReleaseList"), 1);
    QVERIFY(m_sensor->getCalChannels().isEmpty());
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestK10Sensor::savingAndDeletingKeepToSlots0To95()
{
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    double row0[3] = {1.5, 0, 0};
    double row1[3] = {0, 2.5, 0};
    double row2[3] = {0, 0, 3.5};
    double* rows[3] = {row0, row1, row2};

    QCOMPARE(m_sensor->SaveCalfile(Calfile(rows, 96, QStringLiteral("X"))), 1);
    QCOMPARE(m_sensor->SaveCalfile(Calfile(rows, -1, QStringLiteral("X"))), 1);
    QCOMPARE(m_sensor->DelCalfile(96), 1);
    QCOMPARE(m_sensor->DelCalfile(-1), 1);
    QCOMPARE(calls("k10SaveCalibrationMatrix"), 0);
    QCOMPARE(calls("k10DeleteCalibrationMatrix"), 0);

    // 25 characters in, 18 stored.
    QCOMPARE(m_sensor->SaveCalfile(Calfile(rows, 95, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXY"))), 0);
    QCOMPARE(m_sensor->GetCalList(), QStringList({QStringLiteral("MAT[95]_ABCDEFGHIJKLMNOPQR")}));
    const Calfile back = m_sensor->GetCalfile(0);
    QCOMPARE(back.GetId(), 95);
    QCOMPARE(back(1, 1), 2.5);
    QCOMPARE(back(2, 2), 3.5);

    QCOMPARE(sim("fail k10SaveCalibrationMatrix 3"), 0);
    QCOMPARE(m_sensor->SaveCalfile(Calfile(rows, 0, QStringLiteral("Y"))), 1);
    QCOMPARE(sim("stored 0"), 0);

    QCOMPARE(m_sensor->DelCalfile(95), 0);
    QCOMPARE(sim("stored 95"), 0);
    QCOMPARE(m_sensor->DelCalfile(95), 1);
    QVERIFY(m_messenger->shown().isEmpty());
}

void TestK10Sensor::releaseGivesTheHandleBack()
{
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    QCOMPARE(sim("store 1 ONE 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(m_sensor->GetCalList().size(), 1);
    m_sensor->release();
    QVERIFY(!m_sensor->getIsOpen());
    QCOMPARE(sim("open"), 0);

    // Closed: nothing reaches the library, and a second release is harmless.
    const int measured = calls("k10MeasureXYZ");
    QCOMPARE(m_sensor->startMeasure(), 100);
    QVERIFY(m_sensor->GetCalfile(0).GetName().isEmpty());
    QCOMPARE(m_sensor->DelCalfile(1), 1);
    QVERIFY(m_sensor->GetCalList().isEmpty());
    m_sensor->release();
    QCOMPARE(calls("k10MeasureXYZ"), measured);
    QCOMPARE(calls("k10DeleteCalibrationMatrix"), 0);
    QCOMPARE(calls("k10DeviceRelease"), 1);
}

void TestK10Sensor::cyclicCalListStopsAt1024Entries()
{
    QCOMPARE(sim("store 3 A 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("store 7 B 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("store 9 C 1 0 0 0 1 0 0 0 1"), 0);
    QCOMPARE(sim("cyclic"), 0);
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));

    const QStringList names = m_sensor->GetCalList();
    QCOMPARE(names.size(), 1024);
    QCOMPARE(m_sensor->getCalChannels().size(), 1024);
    QCOMPARE(names.at(0), QStringLiteral("MAT[3]_A"));
    QCOMPARE(names.at(3), QStringLiteral("MAT[3]_A"));
    QCOMPARE(names.at(1022), QStringLiteral("MAT[9]_C"));
    // The list is given back all the same (cleanup() checks none is left).
    QCOMPARE(calls("k10DeviceReleaseList"), 1);
}

void TestK10Sensor::destroyingGivesTheHandleBack()
{
    m_sensor = std::make_unique<K10Sensor>();
    QVERIFY(m_sensor->init(kPort));
    QCOMPARE(sim("open"), 1);
    // An owner that forgets release(): the instrument must not stay held.
    m_sensor.reset();
    QCOMPARE(sim("open"), 0);
    QCOMPARE(calls("k10DeviceRelease"), 1);
}

void TestK10Sensor::retriedInitLeavesNoLibraryMapped()
{
    // A copy of its own, so the stand-in this test steers keeps its own mapping
    // and only the driver's loads of the copy are seen.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10")));
    QVERIFY(QFile::copy(m_standin.fileName(), file));
    const QString copy = QFileInfo(file).canonicalFilePath();
    SensorLibrary::setExtraDirectories({dir.path()});

    m_sensor = std::make_unique<K10Sensor>();
    // Loaded, then refused: the library takes no empty port name.
    QVERIFY(!m_sensor->init(QString()));
    QVERIFY(!m_sensor->getIsOpen());
    QVERIFY(m_sensor->init(kPort));
    QVERIFY(m_sensor->getIsOpen());
    QVERIFY(mappedFiles().contains(copy));
    m_sensor->release();
    QVERIFY2(!mappedFiles().contains(copy), qPrintable(copy));
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

void TestK10Sensor::factoryCreatesTheLibraryDrivers()
{
    const Measure::SensorFactory factory = &SensorTable::createForWindow;
    std::unique_ptr<CSensor> k10(factory(5));
    QVERIFY(qobject_cast<K10Sensor*>(k10.get()));
    QCOMPARE(k10->getName(), QStringLiteral("K-10"));
    QVERIFY(k10->getHasComPort());
    std::unique_ptr<CSensor> ca410(factory(7));
    QVERIFY(qobject_cast<CA410Sensor*>(ca410.get()));
    QCOMPARE(ca410->getName(), QStringLiteral("CA410"));
    QVERIFY(ca410->getHasComPort());
    QVERIFY(!ca410->getIsOpen());
}

QTEST_GUILESS_MAIN(TestK10Sensor)
#include "tst_k10sensor.moc"
