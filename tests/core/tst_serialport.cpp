#include "monitoremulator.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

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

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void openRefusesWhatIsNoTerminal();
    void openTakesExclusiveUse();
    void lineSettings_data();
    void lineSettings();
    void unsupportedBaudRateKeepsTheOldOne();
    void writesAndReads();
    void readsWaitNoLongerThanTheTimeout();
    void flushDiscardsReceivedBytes();
    void closedPortRefusesEverything();
    void usableFromAnotherThread();
};


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
    MonitorEmulator device;
    QVERIFY(device.start());
    const QString path = QString::fromStdString(device.devicePath());

    SerialPort first(path);
    QVERIFY(first.open());
    QVERIFY(first.open()); // already open: still fine

#ifdef TIOCGEXCL
    // Other programs are kept out by the terminal itself.
    const int fd = ::open(device.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    int exclusive = 0;
    QCOMPARE(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    ::close(fd);
    QVERIFY(exclusive != 0);
#endif

    SerialPort second(path);
    QVERIFY(!second.open());
    first.close();
    QVERIFY(second.open());
}

void TestSerialPort::lineSettings_data()
{
    QTest::addColumn<bool>("beforeOpen");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<uint>("cflags");
    QTest::addColumn<uint>("iflags");

    QTest::newRow("monitor 9600 8N2 after open")
        << false << 9600 << int(SerialPort::Data8) << int(SerialPort::ParityNone)
        << int(SerialPort::TwoStop) << int(SerialPort::FlowOff) << uint(B9600) << uint(CS8 | CSTOPB)
        << 0u;
    QTest::newRow("CR 115200 8N1 before open")
        << true << 115200 << int(SerialPort::Data8) << int(SerialPort::ParityNone)
        << int(SerialPort::OneStop) << int(SerialPort::FlowOff) << uint(B115200) << uint(CS8) << 0u;
    // A pseudo-terminal keeps 8 data bits without parity whatever it is told,
    // so only those can be checked here.
    QTest::newRow("38400 8N2 hardware flow")
        << false << 38400 << int(SerialPort::Data8) << int(SerialPort::ParityNone)
        << int(SerialPort::TwoStop) << int(SerialPort::FlowHardware) << uint(B38400)
        << uint(CS8 | CSTOPB | CRTSCTS) << 0u;
    QTest::newRow("4800 8N1 xon/xoff before open")
        << true << 4800 << int(SerialPort::Data8) << int(SerialPort::ParityNone)
        << int(SerialPort::OneStop) << int(SerialPort::FlowXonXoff) << uint(B4800) << uint(CS8)
        << uint(IXON | IXOFF);
}

void TestSerialPort::lineSettings()
{
    QFETCH(bool, beforeOpen);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(uint, speed);
    QFETCH(uint, cflags);
    QFETCH(uint, iflags);

    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    const auto configure = [&] {
        QVERIFY(port.setBaudRate(baud));
        QVERIFY(port.setDataBits(SerialPort::DataBits(dataBits)));
        QVERIFY(port.setParity(SerialPort::Parity(parity)));
        QVERIFY(port.setStopBits(SerialPort::StopBits(stopBits)));
        QVERIFY(port.setFlowControl(SerialPort::FlowControl(flow)));
    };
    if (beforeOpen)
        configure();
    QVERIFY(port.open());
    if (!beforeOpen)
        configure();

    const termios tio = settingsOf(device.devicePath());
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

void TestSerialPort::unsupportedBaudRateKeepsTheOldOne()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());
    QVERIFY(port.setBaudRate(19200));
    QVERIFY(!port.setBaudRate(12345));
    QCOMPARE(port.baudRate(), 19200);
    const termios tio = settingsOf(device.devicePath());
    QCOMPARE(uint(cfgetospeed(&tio)), uint(B19200));
}

void TestSerialPort::writesAndReads()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());

    QCOMPARE(port.write(QByteArray("OK00,00500\r")), qint64(11));
    QVERIFY(device.waitForReplies(1, 2s));
    QCOMPARE(device.replies().at(0).line, std::string("OK00,00500"));

    QVERIFY(device.sendRaw("abc"));
    QVERIFY(port.waitForReadyRead(2000));
    QTRY_COMPARE_WITH_TIMEOUT(port.bytesAvailable(), qint64(3), 2000);
    char c = 0;
    QVERIFY(port.getChar(&c));
    QCOMPARE(c, 'a');
    port.setTimeout(1000);
    QCOMPARE(port.read(16), QByteArray("bc"));
}

void TestSerialPort::readsWaitNoLongerThanTheTimeout()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());
    port.setTimeout(100);

    QElapsedTimer clock;
    clock.start();
    char c = 0;
    QVERIFY(!port.getChar(&c));
    QVERIFY(clock.elapsed() < 50); // never waits

    clock.restart();
    char data[8];
    QCOMPARE(port.read(data, sizeof data), qint64(0));
    QVERIFY(clock.elapsed() >= 90);
    QVERIFY(clock.elapsed() < 2000);

    clock.restart();
    QVERIFY(!port.waitForReadyRead(100));
    QVERIFY(clock.elapsed() >= 90);
    QVERIFY(clock.elapsed() < 2000);
}

void TestSerialPort::flushDiscardsReceivedBytes()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());
    QVERIFY(device.sendRaw("stale"));
    QTRY_COMPARE_WITH_TIMEOUT(port.bytesAvailable(), qint64(5), 2000);
    QVERIFY(port.flush());
    QCOMPARE(port.bytesAvailable(), qint64(0));
    char c = 0;
    QVERIFY(!port.getChar(&c));
}

void TestSerialPort::closedPortRefusesEverything()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());
    port.close();
    QVERIFY(!port.isOpen());
    char c = 0;
    QVERIFY(!port.getChar(&c));
    QCOMPARE(port.read(&c, 1), qint64(-1));
    QCOMPARE(port.write(QByteArray("x")), qint64(-1));
    QVERIFY(!port.waitForReadyRead(10));
    QVERIFY(!port.flush());
    QCOMPARE(port.bytesAvailable(), qint64(0));
}

void TestSerialPort::usableFromAnotherThread()
{
    MonitorEmulator device;
    QVERIFY(device.start());
    SerialPort port(QString::fromStdString(device.devicePath()));
    QVERIFY(port.open());

    // One thread writes replies while this one polls for requests, as the
    // alignment thread and the main thread may.
    constexpr int lines = 200;
    std::thread writer([&port] {
        for (int i = 0; i < lines; ++i)
            port.write(QByteArray("L") + QByteArray::number(i) + '\r');
    });
    QVERIFY(device.sendRaw(std::string(lines, 'r')));
    int read = 0;
    QDeadlineTimer deadline(5000);
    char c = 0;
    while (read < lines && !deadline.hasExpired()) {
        if (port.getChar(&c))
            ++read;
        else
            port.waitForReadyRead(50);
    }
    writer.join();
    QCOMPARE(read, lines);
    QVERIFY(device.waitForReplies(lines, 5s));
    const auto replies = device.replies();
    for (int i = 0; i < lines; ++i)
        QCOMPARE(replies.at(size_t(i)).line, "L" + std::to_string(i));
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
