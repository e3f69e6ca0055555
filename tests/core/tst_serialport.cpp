#include "monitoremulator.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace std::chrono_literals;

namespace {

// The terminal's settings as another program on the same device sees them.
termios settingsOf(const std::string& path)
{
    termios tio{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        ::tcgetattr(fd, &tio);
        ::close(fd);
    }
    return tio;
}

} // namespace

// Each test has an emulated device on a pseudo-terminal and a port not yet opened on it.
class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openRefusesWhatIsNoTerminal();
    void openTakesExclusiveUse();
    void lineSettings_data();
    void lineSettings();
    void writesReadsAndFlushes();
    void readsWaitNoLongerThanTheTimeout();
    void closedPortRefusesEverything();
    void usableFromAnotherThread();
    void closeFromAnotherThreadEndsAReadAtOnce();
    void devicePathOfAPort_data();
    void devicePathOfAPort();

private:
    std::unique_ptr<MonitorEmulator> device;
    std::unique_ptr<SerialPort> port;
};

void TestSerialPort::init()
{
    device = std::make_unique<MonitorEmulator>();
    QVERIFY(device->start());
    port = std::make_unique<SerialPort>(QString::fromStdString(device->devicePath()));
}

void TestSerialPort::cleanup()
{
    port.reset();
    device.reset();
}

void TestSerialPort::openRefusesWhatIsNoTerminal()
{
    SerialPort missing(QStringLiteral("/dev/lumaserve-no-such-port"));
    QVERIFY(!missing.open());
    QVERIFY(!missing.isOpen());
    QVERIFY(!missing.errorString().isEmpty());

    SerialPort notATerminal(QStringLiteral("/dev/null"));
    QVERIFY(!notATerminal.open());
    QVERIFY(!notATerminal.isOpen());
}

void TestSerialPort::openTakesExclusiveUse()
{
    QVERIFY(port->open());
    QVERIFY(port->open()); // already open: still fine

#ifdef TIOCGEXCL
    // Other programs are kept out by the terminal itself.
    const int fd = ::open(device->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int exclusive = 0;
    QCOMPARE(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    ::close(fd);
    QVERIFY(exclusive != 0);
#endif

    SerialPort second(port->portName());
    QVERIFY(!second.open());
    port->close();
    QVERIFY(second.open());
}

void TestSerialPort::lineSettings_data()
{
    QTest::addColumn<bool>("beforeOpen");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("cflags");
    QTest::addColumn<uint>("iflags");

    // A pseudo-terminal keeps 8 data bits without parity whatever it is told,
    // so only those are asked for here.
    QTest::newRow("monitor 9600 8N2 after open") << false << 9600 << int(SerialPort::TwoStop)
        << int(SerialPort::FlowOff) << uint(B9600) << uint(CS8 | CSTOPB) << 0u;
    QTest::newRow("CR 115200 8N1 before open") << true << 115200 << int(SerialPort::OneStop)
        << int(SerialPort::FlowOff) << uint(B115200) << uint(CS8) << 0u;
    QTest::newRow("38400 8N2 hardware flow") << false << 38400 << int(SerialPort::TwoStop)
        << int(SerialPort::FlowHardware) << uint(B38400) << uint(CS8 | CSTOPB | CRTSCTS) << 0u;
    QTest::newRow("4800 8N1 xon/xoff before open") << true << 4800 << int(SerialPort::OneStop)
        << int(SerialPort::FlowXonXoff) << uint(B4800) << uint(CS8) << uint(IXON | IXOFF);
}

void TestSerialPort::lineSettings()
{
    QFETCH(bool, beforeOpen);
    QFETCH(int, baud);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(uint, speed);
    QFETCH(uint, cflags);
    QFETCH(uint, iflags);

    const auto configure = [&] {
        QVERIFY(port->setBaudRate(baud));
        QVERIFY(port->setDataBits(SerialPort::Data8));
        QVERIFY(port->setParity(SerialPort::ParityNone));
        QVERIFY(port->setStopBits(SerialPort::StopBits(stopBits)));
        QVERIFY(port->setFlowControl(SerialPort::FlowControl(flow)));
    };
    if (beforeOpen)
        configure();
    QVERIFY(port->open());
    if (!beforeOpen)
        configure();
    // A rate the terminal does not know keeps the one set.
    QVERIFY(!port->setBaudRate(12345));
    QCOMPARE(port->baudRate(), baud);

    const termios tio = settingsOf(device->devicePath());
    QCOMPARE(uint(cfgetospeed(&tio)), speed);
    QCOMPARE(uint(cfgetispeed(&tio)), speed);
    const tcflag_t cmask = CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS;
    QCOMPARE(uint(tio.c_cflag & cmask), cflags);
    QCOMPARE(uint(tio.c_iflag & (INPCK | IXON | IXOFF)), iflags);
    // Raw: no echo, no line editing, no CR/LF translation.
    QCOMPARE(uint(tio.c_lflag & (ECHO | ICANON | ISIG)), 0u);
    QCOMPARE(uint(tio.c_iflag & (ICRNL | INLCR | IGNCR)), 0u);
    QCOMPARE(uint(tio.c_oflag & OPOST), 0u);
}

void TestSerialPort::writesReadsAndFlushes()
{
    QVERIFY(port->open());
    QCOMPARE(port->write(QByteArray("OK00,00500\r")), qint64(11));
    QVERIFY(device->waitForReplies(1, 2s));
    QCOMPARE(device->replies().at(0).line, std::string("OK00,00500"));

    QVERIFY(device->sendRaw("abc"));
    QVERIFY(port->waitForReadyRead(2000));
    QTRY_COMPARE_WITH_TIMEOUT(port->bytesAvailable(), qint64(3), 2000);
    char c = 0;
    QVERIFY(port->getChar(&c));
    QCOMPARE(c, 'a');
    port->setTimeout(1000);
    QCOMPARE(port->read(16), QByteArray("bc"));

    // Received bytes nobody has read are discarded.
    QVERIFY(device->sendRaw("stale"));
    QTRY_COMPARE_WITH_TIMEOUT(port->bytesAvailable(), qint64(5), 2000);
    QVERIFY(port->flush());
    QCOMPARE(port->bytesAvailable(), qint64(0));
    QVERIFY(!port->getChar(&c));
}

void TestSerialPort::readsWaitNoLongerThanTheTimeout()
{
    QVERIFY(port->open());
    port->setTimeout(100);

    QElapsedTimer clock;
    clock.start();
    char c = 0;
    QVERIFY(!port->getChar(&c));
    QVERIFY(clock.elapsed() < 50); // never waits

    clock.restart();
    char data[8];
    QCOMPARE(port->read(data, sizeof data), qint64(0));
    QVERIFY(clock.elapsed() >= 90);
    QVERIFY(clock.elapsed() < 2000);

    clock.restart();
    QVERIFY(!port->waitForReadyRead(100));
    QVERIFY(clock.elapsed() >= 90);
    QVERIFY(clock.elapsed() < 2000);
}

void TestSerialPort::closedPortRefusesEverything()
{
    QVERIFY(port->open());
    port->close();
    QVERIFY(!port->isOpen());
    char c = 0;
    QVERIFY(!port->getChar(&c));
    QCOMPARE(port->read(&c, 1), qint64(-1));
    QCOMPARE(port->write(QByteArray("x")), qint64(-1));
    QVERIFY(!port->waitForReadyRead(10));
    QVERIFY(!port->flush());
    QCOMPARE(port->bytesAvailable(), qint64(0));
}

void TestSerialPort::usableFromAnotherThread()
{
    QVERIFY(port->open());
    // One thread writes replies while this one polls for requests, as the
    // alignment thread and the main thread may.
    constexpr int lines = 200;
    std::thread writer([this] {
        for (int i = 0; i < lines; ++i)
            port->write(QByteArray("L") + QByteArray::number(i) + '\r');
    });
    QVERIFY(device->sendRaw(std::string(lines, 'r')));
    int read = 0;
    QDeadlineTimer deadline(5000);
    char c = 0;
    while (read < lines && !deadline.hasExpired()) {
        if (port->getChar(&c))
            ++read;
        else
            port->waitForReadyRead(50);
    }
    writer.join();
    QCOMPARE(read, lines);
    QVERIFY(device->waitForReplies(lines, 5s));
    const auto replies = device->replies();
    for (int i = 0; i < lines; ++i)
        QCOMPARE(replies.at(size_t(i)).line, "L" + std::to_string(i));
}

void TestSerialPort::closeFromAnotherThreadEndsAReadAtOnce()
{
    QVERIFY(port->open());
    port->setTimeout(10000);
    // A driver's reply loop: read until the port is gone.
    std::atomic<bool> reading{false};
    QElapsedTimer sinceClose;
    std::atomic<qint64> endedAfter{-1};
    std::thread reader([&] {
        char data[8];
        while (port->isOpen()) {
            reading.store(true);
            port->read(data, sizeof data);
        }
        endedAfter.store(sinceClose.elapsed());
    });
    QTRY_VERIFY(reading.load());
    // Give the read time to reach its wait; closing before it would pass without
    // showing anything.
    QTest::qWait(50);
    sinceClose.start();
    port->close();
    const qint64 closeTook = sinceClose.elapsed();
    reader.join();
    QVERIFY2(closeTook < 500, qPrintable(QString::number(closeTook)));
    QVERIFY2(endedAfter.load() < 500, qPrintable(QString::number(endedAfter.load())));

    // The wake-up left behind does not cut the next open's waits short.
    QVERIFY(port->open());
    port->setTimeout(100);
    QElapsedTimer clock;
    clock.start();
    char c;
    QCOMPARE(port->read(&c, 1), qint64(0));
    QVERIFY(clock.elapsed() >= 90);
}

void TestSerialPort::devicePathOfAPort_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("name as the window lists it") << "ttyACM0" << "/dev/ttyACM0";
    QTest::newRow("name below /dev") << "pts/3" << "/dev/pts/3";
    // A link a udev rule keeps is reopened by that name, not by what it leads to.
    QTest::newRow("full path") << "/dev/serial/by-id/usb-probe" << "/dev/serial/by-id/usb-probe";
    QTest::newRow("path outside /dev") << "/tmp/h9a/ttyACM3" << "/tmp/h9a/ttyACM3";
}

void TestSerialPort::devicePathOfAPort()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QCOMPARE(SerialPort::devicePath(name), path);
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
