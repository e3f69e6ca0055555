#include "ptydevice.h"
#include "rawterminal.h"

#include <QtTest>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// Answers every line ending in CR with "ACK:<line>\r".
class EchoDevice final : public PtyDevice
{
public:
    explicit EchoDevice(const Line& line)
        : PtyDevice(line)
    {
    }
    ~EchoDevice() override { stop(); }

protected:
    void received(const std::string& bytes) override
    {
        for (char ch : bytes) {
            if (ch != '\r') {
                m_pending += ch;
                continue;
            }
            send("ACK:" + m_pending + '\r');
            m_pending.clear();
        }
    }

private:
    std::string m_pending; // only the device's own thread receives
};

} // namespace

class TestPtyDevice : public QObject
{
    Q_OBJECT

private slots:
    void characterTimeFollowsTheFraming();
    void pacedTransfersKeepTheirWireTime();
};

void TestPtyDevice::characterTimeFollowsTheFraming()
{
    // 7E2: start, seven data, parity and two stop bits.
    const PtyDevice::Line ca410{38400, 7, PtyDevice::Line::Even, 2};
    QCOMPARE(ca410.bitsPerCharacter(), 11);
    QCOMPARE(ca410.characterTime().count(), qint64(1000000000LL * 11 / 38400));
    // A 237-byte channel record is 67.9 ms on this line.
    QCOMPARE(ca410.wireTime(237).count(), qint64(237LL * 11 * 1000000000 / 38400));
    const PtyDevice::Line display{9600, 8, PtyDevice::Line::None, 2};
    QCOMPARE(display.bitsPerCharacter(), 11);
    QCOMPARE(PtyDevice::Line().bitsPerCharacter(), 10);
}

void TestPtyDevice::pacedTransfersKeepTheirWireTime()
{
    const PtyDevice::Line line{38400, 7, PtyDevice::Line::Even, 2};
    EchoDevice device(line);
    QVERIFY(device.start());
    device.setPaced(true);
    const int fd = openRawTerminal(device.devicePath());
    QVERIFY(fd >= 0);
    const auto msOf = [](std::chrono::nanoseconds t) { return t.count() / 1e6; };
    // On a busy machine a thread may wake late, never early: the quickest of
    // a few tries is what the pacing itself gives.
    const int tries = 3;

    // The device's own bytes: a long reply trickles out at the character rate.
    const std::string reply = std::string(236, 'R') + '\r';
    double tookMs = 1e9;
    for (int i = 0; i < tries; ++i) {
        QElapsedTimer clock;
        clock.start();
        std::thread sender([&] { device.send(reply); });
        const std::string got = readUntilAny(fd, "\r", 2000);
        tookMs = std::min(tookMs, clock.nsecsElapsed() / 1e6);
        sender.join();
        QCOMPARE(got, reply);
    }
    const double wireMs = msOf(line.wireTime(reply.size()));
    // Never early by more than one burst; late by at most a tenth.
    QVERIFY2(tookMs > wireMs - 1.0 && tookMs < wireMs * 1.1,
             qPrintable(QStringLiteral("%1 ms for %2 ms of wire time").arg(tookMs).arg(wireMs)));

    // A command is handled when its last character has arrived, the answer
    // comes after the processing time and takes its own wire time.
    device.setProcessingTime(std::chrono::milliseconds(10));
    const std::string command = std::string(50, 'C') + '\r';
    double exchangeMs = 1e9;
    for (int i = 0; i < tries; ++i) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, command.data(), command.size()), ssize_t(command.size()));
        const std::string answer = readUntilAny(fd, "\r", 2000);
        exchangeMs = std::min(exchangeMs, clock.nsecsElapsed() / 1e6);
        QCOMPARE(answer, "ACK:" + command);
    }
    // The benchmarks count the line's traffic by what the device took in.
    QCOMPARE(device.bytesReceived(), size_t(tries) * command.size());
    const double expectedMs = msOf(line.wireTime(command.size())) + 10.0 + msOf(line.wireTime(command.size() + 4));
    QVERIFY2(exchangeMs > expectedMs - 1.0 && exchangeMs < expectedMs * 1.1,
             qPrintable(QStringLiteral("%1 ms for %2 ms of line and processing time").arg(exchangeMs).arg(expectedMs)));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestPtyDevice)
#include "tst_ptydevice.moc"
