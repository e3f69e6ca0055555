// The station's wire rate: off, every device answers at once; on, the serial
// devices take their line's time and the K-10 each reply's. The CS-2000 on its
// terminal, read through the program's own driver, is the world's reference.
#include "cs2000sensor.h"
#include "emulatedport.h"
#include "k10sensor.h"
#include "portlister.h"
#include "rawterminal.h"
#include "sensorlibrary.h"
#include "simulatedstation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QtTest>

#include <unistd.h>

#include <array>
#include <cmath>
#include <memory>

namespace {

using Instrument = SimulatedWorld::Instrument;

constexpr int kListed = 4;
constexpr int kFirstSlot = 60;

} // namespace

class TestSimulatedStation : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void serialLinesKeepTheirTimeOnlyAtWireRate_data();
    void serialLinesKeepTheirTimeOnlyAtWireRate();
    void k10RepliesTakeTheirTimeOnlyAtWireRate_data();
    void k10RepliesTakeTheirTimeOnlyAtWireRate();
    void referenceInstrumentIsOfferedWhileTheStationRuns();
    void referenceInstrumentReadsTheWorldsReference_data();
    void referenceInstrumentReadsTheWorldsReference();

private:
    int k10(const QByteArray& command);
    // Instrument milliseconds the K-10 spends listing kListed matrices.
    int k10ListTime();

    std::unique_ptr<SimulatedStation> m_station;
    QLibrary m_k10;
};

void TestSimulatedStation::init()
{
    m_station = std::make_unique<SimulatedStation>(QStringLiteral(STANDIN_DIR));
}

void TestSimulatedStation::cleanup()
{
    m_station.reset();
}

int TestSimulatedStation::k10(const QByteArray& command)
{
    if (!m_k10.isLoaded()) {
        m_k10.setFileName(QDir(QStringLiteral(STANDIN_DIR)).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10"))));
        if (!m_k10.load())
            return -2;
    }
    using Control = int32_t (*)(const char*);
    const auto control = reinterpret_cast<Control>(m_k10.resolve("k10SimControl"));
    return control ? control(command.constData()) : -2;
}

int TestSimulatedStation::k10ListTime()
{
    K10Sensor sensor;
    if (!sensor.init(m_station->sensorPort(Instrument::K10)))
        return -1;
    const int before = k10("clock");
    const int listed = sensor.GetCalList().size();
    const int spent = k10("clock") - before;
    sensor.release();
    return listed == kListed ? spent : -1;
}

void TestSimulatedStation::serialLinesKeepTheirTimeOnlyAtWireRate_data()
{
    QTest::addColumn<int>("instrument");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("bitsPerCharacter");
    // The CA-410 talks 38400 baud 7E2; the CRs 115200 baud 8N1.
    QTest::newRow("CA-410") << int(Instrument::CA410) << QByteArray("COM,1\r") << 38400 << 11;
    QTest::newRow("CR-100") << int(Instrument::CR100) << QByteArray("RC Model\r") << 115200 << 10;
    QTest::newRow("CR-250") << int(Instrument::CR250) << QByteArray("RC Model\r") << 115200 << 10;
}

void TestSimulatedStation::serialLinesKeepTheirTimeOnlyAtWireRate()
{
    QFETCH(int, instrument);
    QFETCH(QByteArray, command);
    QFETCH(int, baud);
    QFETCH(int, bitsPerCharacter);
    QVERIFY(!m_station->wireRate());
    m_station->setWireRate(true);
    QVERIFY(m_station->wireRate());
    QString error;
    QVERIFY2(m_station->start(&error), qPrintable(error));

    const int fd = openRawTerminal(QStringLiteral("/dev/%1").arg(m_station->sensorPort(Instrument(instrument))).toStdString());
    QVERIFY(fd >= 0);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::write(fd, command.constData(), size_t(command.size())), ssize_t(command.size()));
    const QByteArray reply = QByteArray::fromStdString(readUntilAny(fd, "\r\n", 5000));
    const qint64 elapsedNs = clock.nsecsElapsed();
    ::close(fd);
    QVERIFY2(reply.startsWith("OK"), reply.constData());
    // The command crosses the line, then the reply: no sooner than both.
    const qint64 wireNs = qint64(command.size() + reply.size()) * bitsPerCharacter * 1000000000LL / baud;
    QVERIFY2(elapsedNs >= wireNs, qPrintable(QStringLiteral("%1 ns, the line takes %2 ns").arg(elapsedNs).arg(wireNs)));
}

void TestSimulatedStation::k10RepliesTakeTheirTimeOnlyAtWireRate_data()
{
    QTest::addColumn<bool>("setBeforeStart");
    QTest::newRow("set after start") << false;
    QTest::newRow("set before start") << true;
}

void TestSimulatedStation::k10RepliesTakeTheirTimeOnlyAtWireRate()
{
    QFETCH(bool, setBeforeStart);
    if (setBeforeStart)
        m_station->setWireRate(true);
    QString error;
    QVERIFY2(m_station->start(&error), qPrintable(error));
    for (int i = 0; i < kListed; ++i)
        QCOMPARE(k10(QByteArrayLiteral("store ") + QByteArray::number(kFirstSlot + i) + " M 1 0 0 0 1 0 0 0 1"), 0);
    // The station and this test load the one library, so they steer one
    // simulated instrument; instrument time is counted, real time is cut short.
    QCOMPARE(k10("scale 0.01"), 0);

    if (!setBeforeStart) {
        QCOMPARE(k10ListTime(), 0);
        m_station->setWireRate(true);
    }
    // A list of 99 matrices takes about 7 s on the instrument, one reply each.
    const int atWireRate = k10ListTime();
    QVERIFY2(atWireRate >= kListed * 60 && atWireRate <= kListed * 80, qPrintable(QString::number(atWireRate)));
    QCOMPARE(atWireRate % kListed, 0);

    m_station->setWireRate(false);
    QCOMPARE(k10ListTime(), 0);
    for (int i = 0; i < kListed; ++i)
        QCOMPARE(k10(QByteArrayLiteral("clear ") + QByteArray::number(kFirstSlot + i)), 0);
}

void TestSimulatedStation::referenceInstrumentIsOfferedWhileTheStationRuns()
{
    const QStringList before = PortLister::extraPorts();
    QString error;
    QVERIFY2(m_station->start(&error), qPrintable(error));
    const QString port = m_station->referencePort();
    QVERIFY(port.startsWith(QLatin1String("pts/")));
    QVERIFY(!before.contains(port));
    QVERIFY(PortLister::extraPorts().contains(port));
    int listed = 0;
    for (const SimulatedStation::Device& device : m_station->devices()) {
        if (device.port == port) {
            QVERIFY2(device.name.contains(QLatin1String("CS-2000")), qPrintable(device.name));
            ++listed;
        }
    }
    QCOMPARE(listed, 1);
    // Every port is another device's.
    QVERIFY(port != m_station->displayPort());
    for (int i = 0; i < SimulatedWorld::kInstrumentCount; ++i)
        QVERIFY(port != m_station->sensorPort(Instrument(i)));
    m_station.reset();
    QCOMPARE(PortLister::extraPorts(), before);
}

void TestSimulatedStation::referenceInstrumentReadsTheWorldsReference_data()
{
    QTest::addColumn<int>("technology");
    QTest::addColumn<int>("r");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("b");
    QTest::newRow("white on the white-LED LCD") << int(DisplayTechnology::Kind::WhiteLedLcd) << 255 << 255 << 255;
    QTest::newRow("red on the RGB OLED") << int(DisplayTechnology::Kind::RgbOled) << 255 << 0 << 0;
    QTest::newRow("dark grey on the white OLED") << int(DisplayTechnology::Kind::WhiteOled) << 26 << 26 << 26;
    QTest::newRow("sky on the wide-gamut LCD") << int(DisplayTechnology::Kind::WideGamutLcd) << 98 << 122 << 157;
}

void TestSimulatedStation::referenceInstrumentReadsTheWorldsReference()
{
    QFETCH(int, technology);
    QFETCH(int, r);
    QFETCH(int, g);
    QFETCH(int, b);
    QString error;
    QVERIFY2(m_station->start(&error), qPrintable(error));
    SimulatedWorld& world = m_station->world();
    world.setDisplayTechnology(DisplayTechnology::Kind(technology));
    world.setScreenPatch(std::array<int, 3>{{r, g, b}});
    const Xyz expected = world.referenceReading();

    // The driver opens the numbered device; the link leads it to the station's terminal.
    EmulatedPort port;
    QVERIFY(port.isValid());
    QVERIFY(port.connect(QStringLiteral("/dev/%1").arg(m_station->referencePort()).toStdString()));
    CS2000Sensor sensor;
    sensor.setDevicePattern(port.pattern());
    sensor.setReplyDeadline(5000);
    QVERIFY(sensor.init(m_station->referencePort()));
    QVERIFY(sensor.startMeasure() > 0);
    // It measured what was shown when it started, whatever is shown by the readout.
    world.setScreenPatch(std::array<int, 3>{{0, 0, 255}});
    const CColor read = sensor.GetColor();
    sensor.release();
    QVERIFY(!read.IsNoData());
    for (int i = 0; i < 3; ++i) {
        // The readout keeps four significant digits.
        QVERIFY2(std::fabs(read[i] - expected[size_t(i)]) <= 6e-4 * std::fabs(expected[size_t(i)]),
                 qPrintable(QStringLiteral("channel %1: %2 read, %3 in the world").arg(i).arg(read[i]).arg(expected[size_t(i)])));
    }
}

QTEST_GUILESS_MAIN(TestSimulatedStation)
#include "tst_simulatedstation.moc"
