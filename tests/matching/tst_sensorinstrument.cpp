// One instrument of a matching run over the program's drivers: emulated
// instruments on pseudo-terminals, the real libmlink_ca410, and the stand-in
// libraries of the instruments that keep matrices.
#include "ca410emulator.h"
#include "components.h"
#include "cs2000emulator.h"
#include "matrixstore.h"
#include "mlink_i1d3.h"
#include "pr6xxemulator.h"
#include "ptydevice.h"
#include "recordingmessenger.h"
#include "scriptedsensor.h"
#include "sensorinstrument.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The kinds of instrument the cases run against.
enum class Kind { Ca410, Cs2000, Pr6xx, I1d3, K10 };

// A cancel ends a wait of tens of seconds; this only tells "at once" from "at
// the end of the wait", with room for a loaded machine.
constexpr qint64 kCancelBoundMs = 1000;

// A serial port nothing talks on: the K-10 stand-in does its own talking and
// only needs a port that is there.
class SilentPort : public PtyDevice
{
public:
    ~SilentPort() override { stop(); }

protected:
    void received(const std::string&) override {}
};

// An instrument with matrix memory whose memory the test decides: what it
// keeps of a matrix written may differ from what it was given.
class MemorySensor : public ScriptedSensor, public MatrixStore
{
public:
    // Applied to each matrix before it is kept.
    std::function<void(Calfile&)> alter;

    MatrixStore* matrixStore() override { return this; }

    QStringList GetCalList() override
    {
        listed.clear();
        QStringList names;
        for (const auto& [index, calfile] : kept) {
            listed << index;
            names << QStringLiteral("MAT[%1]_%2").arg(index).arg(calfile.GetName());
        }
        return names;
    }
    Calfile GetCalfile(int listIndex) override
    {
        return listIndex >= 0 && listIndex < listed.size() ? kept.at(listed.at(listIndex)) : Calfile();
    }
    int SaveCalfile(Calfile calfile) override
    {
        if (alter)
            alter(calfile);
        kept[calfile.GetId()] = calfile;
        return 0;
    }
    int DelCalfile(int index) override { return kept.erase(index) ? 0 : 1; }

private:
    std::map<int, Calfile> kept;
    QList<int> listed;
};

Matrix3x3 sampleMatrix()
{
    return {{{1.0123456789, -0.0234567, 0.00345},
             {0.0456, 0.987654321, -0.0123},
             {-0.00789, 0.0321, 1.1122334455}}};
}

} // namespace

class TestSensorInstrument : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void identityAfterOpen_data();
    void identityAfterOpen();
    void readingsFollowThePatch_data();
    void readingsFollowThePatch();
    void failedReadingIsMarked_data();
    void failedReadingIsMarked();
    void measuringTimeIsWaited();
    void cancelEndsTheMeasuringTime();
    void cancelEndsASlowReading_data();
    void cancelEndsASlowReading();
    void storeMatrixInTheInstrument_data();
    void storeMatrixInTheInstrument();
    void readBackIsCompared_data();
    void readBackIsCompared();
    void instrumentWithoutMemoryStoresNothing();

private:
    // Starts what the kind needs and returns the port to name; empty for none.
    QString prepare(Kind kind);
    std::unique_ptr<SensorInstrument> makeInstrument(Kind kind);
    static int typeOf(Kind kind);
    void setPatch(Kind kind, const std::array<double, 3>& xyz);
    // Makes the instrument's next readings fail with an error reply.
    void failReadings(Kind kind);

    int64_t i1d3(i1d3_sim_op op, int64_t value = 0, const char* function = nullptr, int32_t code = 0);
    int k10(const QByteArray& command);

    QTemporaryDir m_settings;
    std::unique_ptr<RecordingMessenger> m_messages;
    Ca410Emulator m_ca410;
    std::unique_ptr<Cs2000Emulator> m_cs2000;
    std::unique_ptr<Pr6xxEmulator> m_pr6xx;
    std::unique_ptr<SilentPort> m_silent;
    QLibrary m_i1d3Library;
    QLibrary m_k10Library;
    int32_t (*m_i1d3Control)(i1d3_sim_request*) = nullptr;
    int (*m_k10Control)(const char*) = nullptr;
    std::mutex m_patchMutex;
    std::array<double, 3> m_patch{{0.0, 0.0, 0.0}};
};

void TestSensorInstrument::initTestCase()
{
    qRegisterMetaType<CColor>("CColor");
    // The remembered sensor port must not be what leads a driver to its instrument.
    QVERIFY(m_settings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    CSensor::setComPort(97);

    QVERIFY(m_ca410.start());
    m_ca410.setIdentity("CA-410", "CA-410", "1.31.0002", "52001234");

    m_i1d3Library.setFileName(QStringLiteral(I1D3_STANDIN_DIR "/") + SensorLibrary::fileName(QStringLiteral("libmlink_i1d3")));
    QVERIFY2(m_i1d3Library.load(), qPrintable(m_i1d3Library.errorString()));
    m_i1d3Control = reinterpret_cast<int32_t (*)(i1d3_sim_request*)>(m_i1d3Library.resolve("i1d3SimControl"));
    QVERIFY(m_i1d3Control);
    m_k10Library.setFileName(QStringLiteral(K10_STANDIN_DIR "/") + SensorLibrary::fileName(QStringLiteral("libmlink_k10")));
    QVERIFY2(m_k10Library.load(), qPrintable(m_k10Library.errorString()));
    m_k10Control = reinterpret_cast<int (*)(const char*)>(m_k10Library.resolve("k10SimControl"));
    QVERIFY(m_k10Control);
}

void TestSensorInstrument::init()
{
    SensorLibrary::setExtraDirectories(
        {QStringLiteral(CA410_LIBRARY_DIR), QStringLiteral(I1D3_STANDIN_DIR), QStringLiteral(K10_STANDIN_DIR)});
    m_messages = std::make_unique<RecordingMessenger>();
    m_ca410.clearFaults();
    m_ca410.setReadingSource(nullptr);
    i1d3(I1D3_SIM_RESET);
    i1d3_sim_request scale = {};
    scale.op = I1D3_SIM_SET_TIME_SCALE;
    scale.data[0] = 0.001;
    QCOMPARE(m_i1d3Control(&scale), I1D3_OK);
    QCOMPARE(k10("reset"), 0);
    QCOMPARE(k10("scale 0.001"), 0);
    QCOMPARE(k10("identity K-10A 7100123 3.2.1"), 0);
}

void TestSensorInstrument::cleanup()
{
    m_cs2000.reset();
    m_pr6xx.reset();
    m_silent.reset();
    m_messages.reset();
}

int64_t TestSensorInstrument::i1d3(i1d3_sim_op op, int64_t value, const char* function, int32_t code)
{
    i1d3_sim_request request = {};
    request.op = op;
    request.value = value;
    request.code = code;
    if (function)
        qstrncpy(request.function, function, sizeof(request.function));
    if (m_i1d3Control(&request) != I1D3_OK)
        QTest::qFail("the simulated i1Display Pro refused a request", __FILE__, __LINE__);
    return request.value;
}

int TestSensorInstrument::k10(const QByteArray& command)
{
    return m_k10Control(command.constData());
}

int TestSensorInstrument::typeOf(Kind kind)
{
    switch (kind) {
    case Kind::Ca410: return 7;
    case Kind::Cs2000: return 10;
    case Kind::Pr6xx: return 6;
    case Kind::I1d3: return 4;
    case Kind::K10: return 5;
    }
    return 0;
}

QString TestSensorInstrument::prepare(Kind kind)
{
    switch (kind) {
    case Kind::Ca410:
        // A name under /dev, as the window lists ports.
        return QString::fromStdString(m_ca410.portName());
    case Kind::Cs2000: {
        Cs2000Emulator::Config config;
        // The identification reply is 26 bytes, of which the driver keeps a
        // serial number of seven characters.
        config.variant = "012";
        config.serial = "3009988";
        // The shortest measurement the driver waits for: two seconds.
        config.measureSeconds = 0;
        m_cs2000 = std::make_unique<Cs2000Emulator>(config);
        if (!m_cs2000->start())
            return QString();
        m_cs2000->setReadingSource([this] {
            std::lock_guard<std::mutex> lock(m_patchMutex);
            return m_patch;
        });
        return QString::fromStdString(m_cs2000->devicePath());
    }
    case Kind::Pr6xx: {
        Pr6xxEmulator::Config config;
        config.serial = "60855443";
        config.measureMs = 50;
        m_pr6xx = std::make_unique<Pr6xxEmulator>(config);
        return m_pr6xx->start() ? QString::fromStdString(m_pr6xx->devicePath()) : QString();
    }
    case Kind::I1d3:
        return QString();
    case Kind::K10:
        m_silent = std::make_unique<SilentPort>();
        return m_silent->start() ? QString::fromStdString(m_silent->devicePath()) : QString();
    }
    return QString();
}

std::unique_ptr<SensorInstrument> TestSensorInstrument::makeInstrument(Kind kind)
{
    return std::make_unique<SensorInstrument>(typeOf(kind), prepare(kind));
}

void TestSensorInstrument::setPatch(Kind kind, const std::array<double, 3>& xyz)
{
    {
        std::lock_guard<std::mutex> lock(m_patchMutex);
        m_patch = xyz;
    }
    switch (kind) {
    case Kind::Ca410:
        m_ca410.setReadingSource([this] {
            std::lock_guard<std::mutex> lock(m_patchMutex);
            return m_patch;
        });
        break;
    case Kind::Pr6xx: {
        // The PR-6xx reports its configured values when given no spectrum.
        Pr6xxEmulator::Config config = m_pr6xx->config();
        config.x = xyz[0];
        config.y = xyz[1];
        config.z = xyz[2];
        m_pr6xx->setConfig(config);
        break;
    }
    case Kind::I1d3: {
        i1d3_sim_request request = {};
        request.op = I1D3_SIM_SET_PATCH;
        std::copy(xyz.begin(), xyz.end(), request.data);
        QCOMPARE(m_i1d3Control(&request), I1D3_OK);
        break;
    }
    case Kind::K10:
        QCOMPARE(k10(QByteArrayLiteral("patch ") + QByteArray::number(xyz[0]) + ' ' + QByteArray::number(xyz[1]) + ' '
                     + QByteArray::number(xyz[2])),
                 0);
        break;
    case Kind::Cs2000:
        break; // its reading source looks at the patch
    }
}

void TestSensorInstrument::failReadings(Kind kind)
{
    switch (kind) {
    case Kind::Ca410:
        // Refused, and refused again when the driver takes it once more.
        m_ca410.addFault(Ca410Emulator::Fault::Error, "MES", 24, 2);
        break;
    case Kind::Cs2000:
        m_cs2000->setFault("MEDR,2,0,01", Cs2000Emulator::Injected{Cs2000Emulator::Fault::ErrorReply, 2});
        break;
    case Kind::Pr6xx:
        m_pr6xx->setFault("M2", Pr6xxEmulator::Injected{Pr6xxEmulator::Fault::ErrorStatus, 6});
        break;
    case Kind::I1d3:
        i1d3(I1D3_SIM_FAIL, 2, "i1d3MeasureXYZ", I1D3_ERR_COMMS);
        break;
    case Kind::K10:
        QCOMPARE(k10("fail k10MeasureXYZ 7 -1"), 0);
        break;
    }
}

void TestSensorInstrument::refusals_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("text");
    QTest::newRow("type without a driver") << 1 << QString() << "The program has no driver for the Spyder 3.";
    QTest::newRow("type outside the table") << 42 << QStringLiteral("ttyUSB0")
                                            << "The program has no driver for the sensor of type 42.";
    QTest::newRow("no type") << 0 << QString() << "The program has no driver for the sensor of type 0.";
    QTest::newRow("serial instrument without a port") << 10 << QString() << "The CS-2000 needs a port.";
    QTest::newRow("full path that does not exist")
        << 7 << QStringLiteral("/dev/h9a-no-such-port") << "The port /dev/h9a-no-such-port of the CA410 does not exist.";
    QTest::newRow("name under /dev that does not exist")
        << 6 << QStringLiteral("h9a-no-such-tty") << "The port /dev/h9a-no-such-tty of the PR-6xx does not exist.";
    // There, but not a terminal: the driver cannot open it.
    QTest::newRow("port the driver cannot open") << 10 << QStringLiteral("/dev/null")
                                                 << "The CS-2000 could not be opened on /dev/null.";
}

void TestSensorInstrument::refusals()
{
    QFETCH(int, type);
    QFETCH(QString, port);
    QFETCH(QString, text);
    SensorInstrument instrument(type, port);
    QString error;
    QVERIFY(!instrument.open(&error));
    QCOMPARE(error, text);
    QVERIFY(!instrument.hasMatrixMemory());
    QVERIFY(RepeatStatistics::isFailed(instrument.read()));
    QCOMPARE(instrument.identity().typeNumber, type);
    QVERIFY(instrument.identity().serialNumber.isEmpty());
}

void TestSensorInstrument::identityAfterOpen_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("memory");
    QTest::newRow("CA-410") << int(Kind::Ca410) << "CA410" << "52001234" << false;
    QTest::newRow("CS-2000") << int(Kind::Cs2000) << "CS-2000" << "3009988" << false;
    QTest::newRow("PR-6xx") << int(Kind::Pr6xx) << "PR-6xx" << "60855443" << false;
    QTest::newRow("i1Display Pro") << int(Kind::I1d3) << "I1Display Pro" << I1D3_SIM_SERIAL << true;
    QTest::newRow("K-10") << int(Kind::K10) << "K-10" << "7100123" << true;
}

void TestSensorInstrument::identityAfterOpen()
{
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, serial);
    QFETCH(bool, memory);
    const QString port = prepare(Kind(kind));
    SensorInstrument instrument(typeOf(Kind(kind)), port);
    QVERIFY(instrument.identity().serialNumber.isEmpty());
    QVERIFY(!instrument.hasMatrixMemory());
    QString error;
    QVERIFY2(instrument.open(&error), qPrintable(error));
    const MatchingSession::Instrument identity = instrument.identity();
    QCOMPARE(identity.typeName, name);
    QCOMPARE(identity.typeNumber, typeOf(Kind(kind)));
    QCOMPARE(identity.serialNumber, serial);
    QCOMPARE(identity.port, port);
    QCOMPARE(instrument.hasMatrixMemory(), memory);

    // Closed, it still says what it was.
    instrument.close();
    QCOMPARE(instrument.identity().serialNumber, serial);
    QVERIFY(!instrument.hasMatrixMemory());
    QVERIFY(m_messages->shown().isEmpty());
}

void TestSensorInstrument::readingsFollowThePatch_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("CA-410 as the sensor") << int(Kind::Ca410);
    QTest::newRow("CS-2000 as the reference") << int(Kind::Cs2000);
    QTest::newRow("PR-6xx as the reference") << int(Kind::Pr6xx);
    QTest::newRow("i1Display Pro") << int(Kind::I1d3);
}

void TestSensorInstrument::readingsFollowThePatch()
{
    QFETCH(int, kind);
    const auto instrument = makeInstrument(Kind(kind));
    QString error;
    QVERIFY2(instrument->open(&error), qPrintable(error));
    // Values each instrument reports to the last digit.
    setPatch(Kind(kind), {{20.5, 41.25, 60.75}});
    QCOMPARE(components(instrument->read()), (QList<double>{20.5, 41.25, 60.75}));
    setPatch(Kind(kind), {{0.5, 0.25, 1.5}});
    QCOMPARE(components(instrument->read()), (QList<double>{0.5, 0.25, 1.5}));

    if (Kind(kind) == Kind::Cs2000) {
        // Without a source the CS-2000 reports what it is configured to see.
        Cs2000Emulator::Config config = m_cs2000->config();
        config.x = 11.25;
        config.y = 12.5;
        config.z = 13.75;
        m_cs2000->setConfig(config);
        m_cs2000->setReadingSource(nullptr);
        QCOMPARE(components(instrument->read()), (QList<double>{11.25, 12.5, 13.75}));
    }
}

void TestSensorInstrument::failedReadingIsMarked_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("CA-410 error reply") << int(Kind::Ca410);
    QTest::newRow("CS-2000 error reply") << int(Kind::Cs2000);
    QTest::newRow("PR-6xx error status") << int(Kind::Pr6xx);
    QTest::newRow("i1Display Pro library failure") << int(Kind::I1d3);
    QTest::newRow("K-10 library failure") << int(Kind::K10);
}

void TestSensorInstrument::failedReadingIsMarked()
{
    QFETCH(int, kind);
    const auto instrument = makeInstrument(Kind(kind));
    QString error;
    QVERIFY2(instrument->open(&error), qPrintable(error));
    setPatch(Kind(kind), {{10.0, 20.0, 30.0}});
    failReadings(Kind(kind));
    const RepeatStatistics::Xyz reading = instrument->read();
    QVERIFY2(RepeatStatistics::isFailed(reading),
             qPrintable(QStringLiteral("%1 %2 %3").arg(reading[0]).arg(reading[1]).arg(reading[2])));
}

void TestSensorInstrument::measuringTimeIsWaited()
{
    // A driver reporting no value, or a value that is no number, has no reading.
    ScriptedSensor* driver = nullptr;
    SensorInstrument instrument(7, QString::fromStdString(m_ca410.portName()), [&driver] {
        driver = new ScriptedSensor;
        return driver;
    });
    QString error;
    QVERIFY2(instrument.open(&error), qPrintable(error));
    QVERIFY(driver);
    driver->setMeasureDelay(300);
    driver->queueReading(CColor(1.0, 2.0, 3.0));
    driver->queueReading(CColor(std::nan(""), 2.0, 3.0));
    driver->queueReading(CColor(1.0, INFINITY, 3.0));
    driver->queueReading(noDataColor);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(components(instrument.read()), (QList<double>{1.0, 2.0, 3.0}));
    QVERIFY2(clock.elapsed() >= 300, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(driver->startCalls.load(), 1);
    driver->setMeasureDelay(0);
    for (int i = 0; i < 3; ++i)
        QVERIFY(RepeatStatistics::isFailed(instrument.read()));
    QCOMPARE(driver->colorCalls.load(), 4);
}

// Whether the thread of this process is blocked: in a wait, not running.
static bool threadIsWaiting(long tid)
{
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    // The state follows the name in parentheses.
    const int after = text.lastIndexOf(')');
    return after > 0 && text.mid(after + 2, 1) == "S";
}

void TestSensorInstrument::cancelEndsTheMeasuringTime()
{
    ScriptedSensor* driver = nullptr;
    SensorInstrument instrument(7, QString::fromStdString(m_ca410.portName()), [&driver] {
        driver = new ScriptedSensor;
        driver->setMeasureDelay(60000);
        return driver;
    });
    QString error;
    QVERIFY2(instrument.open(&error), qPrintable(error));

    std::atomic<long> tid{0};
    RepeatStatistics::Xyz reading{};
    std::thread reader([&] {
        tid = long(::syscall(SYS_gettid));
        reading = instrument.read();
    });
    // Started, and asleep in the wait for the measuring time: the cancel must
    // wake it, not merely be found before it.
    QTRY_VERIFY_WITH_TIMEOUT(driver->startCalls.load() == 1 && tid.load() && threadIsWaiting(tid.load()), 10000);
    QElapsedTimer clock;
    clock.start();
    instrument.cancel();
    reader.join();
    const qint64 took = clock.elapsed();
    QVERIFY2(took <= kCancelBoundMs, qPrintable(QStringLiteral("the cancel took %1 ms").arg(took)));
    QVERIFY(RepeatStatistics::isFailed(reading));
    // Nothing is collected for a reading cut short.
    QCOMPARE(driver->colorCalls.load(), 0);
}

void TestSensorInstrument::cancelEndsASlowReading_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fault");
    // The instrument says how long it measures; the wait for it is the run's.
    QTest::newRow("CS-2000 measuring for a minute") << int(Kind::Cs2000) << "MEAS,1" << "minute";
    // The driver's own wait on the line.
    QTest::newRow("CS-2000 silent on the readout") << int(Kind::Cs2000) << "MEDR,2,0,01" << "MEDR,2,0,01";
    QTest::newRow("PR-6xx silent on the reading") << int(Kind::Pr6xx) << "M2" << "M2";
}

void TestSensorInstrument::cancelEndsASlowReading()
{
    QFETCH(int, kind);
    QFETCH(QString, command);
    QFETCH(QString, fault);
    const auto instrument = makeInstrument(Kind(kind));
    QString error;
    QVERIFY2(instrument->open(&error), qPrintable(error));
    setPatch(Kind(kind), {{30.5, 40.0, 50.25}});
    const auto commands = [&] {
        return Kind(kind) == Kind::Cs2000 ? m_cs2000->commands() : m_pr6xx->commands();
    };
    const auto waitFor = [&](size_t count) {
        return Kind(kind) == Kind::Cs2000 ? m_cs2000->waitForCommands(count, 10s)
                                          : m_pr6xx->waitForCommands(count, 10s);
    };
    if (fault == QLatin1String("minute")) {
        Cs2000Emulator::Config config = m_cs2000->config();
        config.measureSeconds = 60;
        m_cs2000->setConfig(config);
    } else if (Kind(kind) == Kind::Cs2000) {
        m_cs2000->setFault(fault.toStdString(), Cs2000Emulator::Injected{Cs2000Emulator::Fault::Silence});
    } else {
        m_pr6xx->setFault(fault.toStdString(), Pr6xxEmulator::Injected{Pr6xxEmulator::Fault::Silence});
    }

    std::vector<std::string> before = commands();
    const auto sent = [&] {
        const std::vector<std::string> now = commands();
        return std::find(now.begin() + std::ptrdiff_t(before.size()), now.end(), command.toStdString()) != now.end();
    };
    RepeatStatistics::Xyz reading{};
    std::thread reader([&] { reading = instrument->read(); });
    // The command the reading is stuck after is in.
    for (size_t count = before.size() + 1; !sent() && waitFor(count); ++count) {
    }
    const bool reached = sent();
    QElapsedTimer clock;
    clock.start();
    instrument->cancel();
    reader.join();
    const qint64 took = clock.elapsed();
    QVERIFY(reached);
    QVERIFY2(took <= kCancelBoundMs, qPrintable(QStringLiteral("the cancel took %1 ms").arg(took)));
    QVERIFY(RepeatStatistics::isFailed(reading));

    // Cancelled, the next reading does not wait either.
    clock.restart();
    QVERIFY(RepeatStatistics::isFailed(instrument->read()));
    QVERIFY2(clock.elapsed() <= kCancelBoundMs, qPrintable(QString::number(clock.elapsed())));

    // Resumed, the instrument reads again.
    if (Kind(kind) == Kind::Cs2000) {
        m_cs2000->clearFaults();
        Cs2000Emulator::Config config = m_cs2000->config();
        config.measureSeconds = 0;
        m_cs2000->setConfig(config);
    } else {
        m_pr6xx->clearFaults();
    }
    instrument->resume();
    QCOMPARE(components(instrument->read()), (QList<double>{30.5, 40.0, 50.25}));
}

void TestSensorInstrument::storeMatrixInTheInstrument_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<QString>("text");
    const QString none;
    QTest::newRow("i1Display Pro keeps it") << int(Kind::I1d3) << 3 << QByteArray() << none;
    QTest::newRow("i1Display Pro last slot") << int(Kind::I1d3) << 17 << QByteArray() << none;
    QTest::newRow("K-10 keeps it") << int(Kind::K10) << 40 << QByteArray() << none;
    QTest::newRow("K-10 last slot") << int(Kind::K10) << 95 << QByteArray() << none;
    QTest::newRow("i1Display Pro refuses the write")
        << int(Kind::I1d3) << 3 << QByteArray("i1d3SaveCalfile")
        << "The I1Display Pro refused to store the matrix at index 3.";
    QTest::newRow("i1Display Pro storage disabled")
        << int(Kind::I1d3) << 3 << QByteArray("disabled") << "The I1Display Pro refused to store the matrix at index 3.";
    QTest::newRow("i1Display Pro slot it does not have")
        << int(Kind::I1d3) << 18 << QByteArray() << "The I1Display Pro refused to store the matrix at index 18.";
    QTest::newRow("i1Display Pro list fails")
        << int(Kind::I1d3) << 5 << QByteArray("i1d3GetCallist")
        << "The I1Display Pro does not list the matrix written at index 5.";
    QTest::newRow("i1Display Pro read-back fails")
        << int(Kind::I1d3) << 5 << QByteArray("i1d3GetCalfile")
        << "The matrix written at index 5 could not be read back from the I1Display Pro.";
    QTest::newRow("K-10 refuses the write") << int(Kind::K10) << 40 << QByteArray("k10SaveCalibrationMatrix")
                                            << "The K-10 refused to store the matrix at index 40.";
    QTest::newRow("K-10 list fails") << int(Kind::K10) << 40 << QByteArray("k10DeviceGetList")
                                     << "The K-10 does not list the matrix written at index 40.";
    QTest::newRow("K-10 read-back fails") << int(Kind::K10) << 40 << QByteArray("k10GetCalibrationMatrix")
                                          << "The matrix written at index 40 could not be read back from the K-10.";
    QTest::newRow("index outside every instrument") << int(Kind::K10) << 96 << QByteArray()
                                                    << "The K-10 keeps no matrix at index 96.";
    QTest::newRow("negative index") << int(Kind::I1d3) << -1 << QByteArray()
                                    << "The I1Display Pro keeps no matrix at index -1.";
}

void TestSensorInstrument::storeMatrixInTheInstrument()
{
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(QByteArray, fault);
    QFETCH(QString, text);
    const auto instrument = makeInstrument(Kind(kind));
    QString error;
    QVERIFY2(instrument->open(&error), qPrintable(error));
    QVERIFY(instrument->hasMatrixMemory());
    if (fault == "disabled")
        i1d3(I1D3_SIM_SET_USR_ENABLED, 0);
    else if (!fault.isEmpty() && Kind(kind) == Kind::I1d3)
        i1d3(I1D3_SIM_FAIL, 1, fault.constData(), I1D3_ERR_COMMS);
    else if (!fault.isEmpty())
        QCOMPARE(k10("fail " + fault + " 7"), 0);

    const Matrix3x3 matrix = sampleMatrix();
    error.clear();
    const bool stored = instrument->storeMatrix(index, QStringLiteral("Matched"), matrix, &error);
    QCOMPARE(error, text);
    QCOMPARE(stored, text.isEmpty());
    if (!stored)
        return;

    // What the instrument keeps, seen by a driver of its own.
    instrument->close();
    const std::unique_ptr<CSensor> check(SensorTable::row(typeOf(Kind(kind))).create());
    QVERIFY(check->init(QString::fromStdString(m_silent ? m_silent->devicePath() : std::string())));
    MatrixStore* const store = check->matrixStore();
    QVERIFY(store);
    const QStringList list = store->GetCalList();
    const int position = list.indexOf(QStringLiteral("MAT[%1]_Matched").arg(index));
    QVERIFY2(position >= 0, qPrintable(list.join(QLatin1Char(','))));
    const Calfile back = store->GetCalfile(position);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            QCOMPARE(back(r, c), matrix[size_t(r)][size_t(c)]);
    }
    check->release();
}

void TestSensorInstrument::readBackIsCompared_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("text");
    enum { None, Single, Thousandth, Billionth, OtherSlot, ShortName, OtherName, Unnamed };
    QTest::newRow("kept as given") << int(None) << QString();
    // An instrument keeping single precision rounds, and that is no difference.
    QTest::newRow("kept in single precision") << int(Single) << QString();
    QTest::newRow("off by a billionth") << int(Billionth) << QString();
    QTest::newRow("off by a thousandth")
        << int(Thousandth)
        << "The matrix read back from index 7 of the I1Display Pro differs from the one written: "
           "row 2, column 3 reads -0.0113 instead of -0.0123.";
    QTest::newRow("kept at another index") << int(OtherSlot)
                                           << "The I1Display Pro does not list the matrix written at index 7.";
    QTest::newRow("name cut short") << int(ShortName) << QString();
    QTest::newRow("another name") << int(OtherName)
                                  << "The matrix read back from index 7 of the I1Display Pro is named Other, not Matched.";
    QTest::newRow("name lost") << int(Unnamed)
                               << "The matrix written at index 7 could not be read back from the I1Display Pro.";
}

void TestSensorInstrument::readBackIsCompared()
{
    QFETCH(int, change);
    QFETCH(QString, text);
    enum { None, Single, Thousandth, Billionth, OtherSlot, ShortName, OtherName, Unnamed };
    SensorInstrument instrument(4, QString(), [change] {
        auto* driver = new MemorySensor;
        driver->alter = [change](Calfile& calfile) {
            switch (change) {
            case Single:
                for (int r = 0; r < 3; ++r) {
                    for (int c = 0; c < 3; ++c)
                        calfile.SetData(r, c, double(float(calfile(r, c))));
                }
                break;
            case Thousandth: calfile.SetData(1, 2, calfile(1, 2) + 0.001); break;
            case Billionth: calfile.SetData(2, 2, calfile(2, 2) + 1e-9); break;
            case OtherSlot: calfile.SetId(calfile.GetId() + 1); break;
            case ShortName: calfile.SetName(calfile.GetName().left(3)); break;
            case OtherName: calfile.SetName(QStringLiteral("Other")); break;
            case Unnamed: calfile.SetName(QString()); break;
            default: break;
            }
        };
        return driver;
    });
    QString error;
    QVERIFY2(instrument.open(&error), qPrintable(error));
    QVERIFY(instrument.hasMatrixMemory());
    const bool stored = instrument.storeMatrix(7, QStringLiteral("Matched"), sampleMatrix(), &error);
    QCOMPARE(error, text);
    QCOMPARE(stored, text.isEmpty());
}

void TestSensorInstrument::instrumentWithoutMemoryStoresNothing()
{
    const auto instrument = makeInstrument(Kind::Cs2000);
    QString error;
    QVERIFY(!instrument->storeMatrix(3, QStringLiteral("Matched"), sampleMatrix(), &error));
    QCOMPARE(error, QStringLiteral("The CS-2000 is not open."));
    QVERIFY2(instrument->open(&error), qPrintable(error));
    QVERIFY(!instrument->hasMatrixMemory());
    QVERIFY(!instrument->storeMatrix(3, QStringLiteral("Matched"), sampleMatrix(), &error));
    QCOMPARE(error, QStringLiteral("The CS-2000 keeps no matrices in its memory."));
}

QTEST_GUILESS_MAIN(TestSensorInstrument)
#include "tst_sensorinstrument.moc"
