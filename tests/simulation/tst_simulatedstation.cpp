// The station's wire rate: off, every device answers at once; on, the serial
// devices take their line's time and the K-10 each reply's.
#include "k10sensor.h"
#include "rawterminal.h"
#include "sensorlibrary.h"
#include "simulatedstation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLibrary>
#include <QtTest>

#include <unistd.h>

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

QTEST_GUILESS_MAIN(TestSimulatedStation)
#include "tst_simulatedstation.moc"
