#include "ptydevice.h"

#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>

namespace {

// Answers every line ending in CR with "ACK:<line>\r".
class EchoDevice final : public PtyDevice
{
public:
    ~EchoDevice() override { stop(); }

    std::string lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

protected:
    void received(const std::string& bytes) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (char ch : bytes) {
            if (ch != '\r') {
                m_pending += ch;
                continue;
            }
            m_lines += m_pending + '\n';
            send("ACK:" + m_pending + '\r');
            m_pending.clear();
        }
    }

private:
    mutable std::mutex m_mutex;
    std::string m_pending;
    std::string m_lines;
};

int openRaw(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fd;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Reads until `terminator` arrives or the deadline passes.
std::string readUntil(int fd, char terminator, int timeoutMs)
{
    std::string got;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0)
            continue;
        char ch = 0;
        if (::read(fd, &ch, 1) == 1) {
            got += ch;
            if (ch == terminator)
                break;
        }
    }
    return got;
}

} // namespace

class TestPtyDevice : public QObject
{
    Q_OBJECT

private slots:
    void servesAProgramOnTheTerminalSide();
    void survivesTheProgramClosingAndReopening();
};

void TestPtyDevice::servesAProgramOnTheTerminalSide()
{
    EchoDevice device;
    QVERIFY(device.start());
    QVERIFY(device.devicePath().rfind("/dev/pts/", 0) == 0);
    QCOMPARE(device.portName(), device.devicePath().substr(5));

    const int fd = openRaw(device.devicePath());
    QVERIFY(fd >= 0);
    // A command split over two writes is reassembled by the device.
    QCOMPARE(::write(fd, "MES", 3), ssize_t(3));
    QCOMPARE(::write(fd, ",1\r", 3), ssize_t(3));
    QCOMPARE(QString::fromStdString(readUntil(fd, '\r', 2000)), QStringLiteral("ACK:MES,1\r"));
    QCOMPARE(device.bytesReceived(), size_t(6));
    ::close(fd);
}

void TestPtyDevice::survivesTheProgramClosingAndReopening()
{
    EchoDevice device;
    QVERIFY(device.start());
    for (int round = 0; round < 2; ++round) {
        const int fd = openRaw(device.devicePath());
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, "A\r", 2), ssize_t(2));
        QCOMPARE(QString::fromStdString(readUntil(fd, '\r', 2000)), QStringLiteral("ACK:A\r"));
        ::close(fd);
    }
    QCOMPARE(QString::fromStdString(device.lines()), QStringLiteral("A\nA\n"));
    device.stop();
    QVERIFY(!device.isRunning());
}

QTEST_GUILESS_MAIN(TestPtyDevice)
#include "tst_ptydevice.moc"
