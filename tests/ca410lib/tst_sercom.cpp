// The serial transport against real pseudo-terminal peers.
#include "emulatorbench.h"
#include "ptydevice.h"
#include "replyscheduler.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// A peer that keeps what it receives and answers "PING\r" with "PONG\r".
class Peer : public PtyDevice
{
public:
    ~Peer() override { stop(); }
    bool waitFor(const std::string& text, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_text.find(text) != std::string::npos; });
    }

protected:
    void received(const std::string& bytes) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_text += bytes;
        }
        m_changed.notify_all();
        if (bytes.find("PING\r") != std::string::npos)
            send("PONG\r");
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_text;
};

// Waits until the port has bytes to read, so a test never races the peer.
bool waitReadable(const ser_com* port)
{
    pollfd pfd{port->fd, POLLIN, 0};
    return poll(&pfd, 1, 2000) == 1 && (pfd.revents & POLLIN);
}

} // namespace

class TstSerCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { ser_com_del(m_port); }

    void settingsAreAppliedAndKept();
    void illegalSettingsCloseThePort();
    void missingAndClosedPortsAreFatal();
    void readStopsAtTheChunkHoldingTheTerminator();
    void readCountsTerminatorsAndBytes();
    void countZeroReadRunsToItsBudget();
    void tooSmallBufferIsRefusedWithoutReading();
    void exchangeDrainsStaleInput();
    void drainEndsOnALineThatNeverFallsSilent();
    void drainReadsOnWhileStaleBytesKeepComing();
    void drainDiscardsABegunLineThroughItsEnd_data();
    void drainDiscardsABegunLineThroughItsEnd();
    void writeReturnsWhenThePeerStopsReading();
    void hangUpIsReportedAtOnce();
    void logTexts();
    void serialPathsListCallOutDevices();
    void baudProbeTriesEveryRateAndCloses();

private:
    Peer m_peer;
    ser_com* m_port = nullptr;
};

void TstSerCom::initTestCase()
{
    QVERIFY(m_peer.start());
    m_port = new_ser_com(m_peer.devicePath().c_str());
    QVERIFY(m_port && m_port->fd == -1);
    QCOMPARE(ser_com_setport(m_port, 3, 10, 3, 2, 3), 0);
    QCOMPARE(ser_com_is_open(m_port), 1);
}

void TstSerCom::settingsAreAppliedAndKept()
{
    // A pseudo-terminal forces 8 data bits without parity; the stop bits, the
    // handshake, input parity checking, the speed and the read timing stay.
    termios tio{};
    QCOMPARE(tcgetattr(m_port->fd, &tio), 0);
    QVERIFY((tio.c_cflag & CSTOPB) && (tio.c_cflag & CRTSCTS) && (tio.c_iflag & INPCK));
    QCOMPARE(cfgetospeed(&tio), speed_t(B38400));
    // Reads return what is there rather than waiting for 64 bytes or a pause.
    QCOMPARE(int(tio.c_cc[VMIN]), 0);
    QCOMPARE(int(tio.c_cc[VTIME]), 0);

    // Zero keeps a stored code; anything else replaces it, without reopening.
    const int fd = m_port->fd;
    QCOMPARE(ser_com_setport(m_port, 0, 7, 0, 0, 0), 0);
    QCOMPARE(m_port->fd, fd);
    QVERIFY(m_port->flow == 3 && m_port->baud == 7 && m_port->parity == 3 && m_port->stop == 2 && m_port->word == 3);
    QCOMPARE(tcgetattr(m_port->fd, &tio), 0);
    QCOMPARE(cfgetispeed(&tio), speed_t(B9600));
    QVERIFY(tio.c_cflag & CRTSCTS);

    QCOMPARE(ser_com_setport(m_port, 2, 10, 1, 1, 4), 0);
    QCOMPARE(tcgetattr(m_port->fd, &tio), 0);
    QVERIFY(!(tio.c_cflag & CRTSCTS) && !(tio.c_cflag & CSTOPB) && !(tio.c_iflag & INPCK));
    QVERIFY((tio.c_iflag & IXON) && (tio.c_iflag & IXOFF));
    QCOMPARE(int(tio.c_cc[VSTART]), 0x11);
    QCOMPARE(int(tio.c_cc[VSTOP]), 0x13);
    QCOMPARE(ser_com_setport(m_port, 3, 10, 3, 2, 3), 0);
}

void TstSerCom::illegalSettingsCloseThePort()
{
    LogCapture log(0);
    ser_com* port = new_ser_com(m_peer.devicePath().c_str());
    // Nothing stored yet: a stop code of 0 is the one setting error that gives -1.
    QCOMPARE(ser_com_setport(port, 3, 10, 3, 0, 3), -1);
    QCOMPARE(ser_com_is_open(port), 0);
    QVERIFY(contains(log.errorText, "[ser_com_setport_ex]: illegal stop bits 0\n"));
    // 14400 has a code but no speed.
    QCOMPARE(ser_com_setport(port, 3, 8, 3, 2, 3), SER_COM_FATAL);
    QVERIFY(port->fd == -1 && port->is_open == 0);
    QVERIFY(contains(log.errorText, "[ser_com_setport_ex]: illegal baud rate! (0x8)\n"));
    // The object stays usable: legal settings open it again.
    QCOMPARE(ser_com_setport(port, 0, 10, 0, 0, 0), 0);
    QCOMPARE(ser_com_is_open(port), 1);
    ser_com_close(port);
    QVERIFY(port->fd == -1 && port->is_open == 0);
    // Zeros everywhere reopen it with the kept codes.
    QCOMPARE(ser_com_setport(port, 0, 0, 0, 0, 0), 0);
    ser_com_del(port);
    // A flow code never set is illegal.
    port = new_ser_com(m_peer.devicePath().c_str());
    QCOMPARE(ser_com_setport(port, 0, 10, 3, 2, 3), SER_COM_FATAL);
    QCOMPARE(port->fd, -1);
    ser_com_del(port);
}

void TstSerCom::missingAndClosedPortsAreFatal()
{
    LogCapture log(0);
    ser_com* port = new_ser_com("/dev/h6-no-such-port");
    QCOMPARE(ser_com_setport(port, 3, 10, 3, 2, 3), SER_COM_FATAL);
    QVERIFY(contains(log.errorText, "[ser_com_setport_ex] open /dev/h6-no-such-port, err "));
    char buffer[16];
    int32_t got = 5;
    QCOMPARE(ser_com_read(port, buffer, sizeof buffer, &got, "\r", 1, 50), SER_COM_FATAL);
    QCOMPARE(got, 0);
    QCOMPARE(ser_com_write_read_ex(port, "x", 0, buffer, sizeof buffer, &got, "\r", 1, 50, 1), SER_COM_FATAL);
    QCOMPARE(ser_com_write(nullptr, "x", 0, 50), SER_COM_FATAL);
    QCOMPARE(ser_com_setport(nullptr, 3, 10, 3, 2, 3), SER_COM_FATAL);
    QVERIFY(contains(log.errorText, "[ser_com_write]  dev not init\n") && contains(log.errorText, "[ser_com_read] dev not init\n"));
    ser_com_del(port);
}

void TstSerCom::readStopsAtTheChunkHoldingTheTerminator()
{
    QVERIFY(m_peer.send("OK00,1\rNEXT"));
    QVERIFY(waitReadable(m_port));
    char buffer[64];
    int32_t got = 0;
    const int64_t start = msec_time();
    QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, "\r", 1, 2000), 0);
    QVERIFY2(msec_time() - start < 1000, "the read waited for more than the terminator");
    // The chunk is kept whole, bytes after the terminator included.
    QVERIFY(got >= 7 && buffer[got] == '\0');
    QCOMPARE(std::string(buffer, 7), std::string("OK00,1\r"));
    if (got < 11)
        QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, nullptr, 11 - got, 2000), 0);
}

void TstSerCom::readCountsTerminatorsAndBytes()
{
    // Two terminators over two chunks: the first chunk alone does not end the read.
    char buffer[64];
    int32_t got = 0;
    std::thread later([this] {
        m_peer.send("a;b");
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        m_peer.send("c\n");
    });
    QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, ";\n", 2, 2000), 0);
    later.join();
    QCOMPARE(std::string(buffer), std::string("a;bc\n"));
    QCOMPARE(got, 5);

    // A byte count adds chunks up; a full buffer also ends a read, zero-terminated.
    QVERIFY(m_peer.send("12"));
    QVERIFY(waitReadable(m_port));
    QVERIFY(m_peer.send("345678"));
    QCOMPARE(ser_com_read(m_port, buffer, 6, &got, nullptr, 8, 2000), 0);
    QCOMPARE(std::string(buffer), std::string("12345"));
    QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, nullptr, 3, 2000), 0);
    QCOMPARE(std::string(buffer), std::string("678"));
}

void TstSerCom::countZeroReadRunsToItsBudget()
{
    LogCapture log(0);
    QVERIFY(m_peer.send("xyz"));
    QVERIFY(waitReadable(m_port));
    char buffer[64];
    int32_t got = 0;
    const int64_t start = msec_time();
    QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, nullptr, 0, 80), SER_COM_TIMEOUT);
    QVERIFY(msec_time() - start >= 79 && msec_time() - start < 1000);
    // What arrived stays in the buffer.
    QCOMPARE(got, 3);
    QCOMPARE(std::string(buffer), std::string("xyz"));
    QVERIFY(contains(log.errorText, "[ser_com_read]: took "));
}

void TstSerCom::tooSmallBufferIsRefusedWithoutReading()
{
    QVERIFY(m_peer.send("AB\r"));
    QVERIFY(waitReadable(m_port));
    char tiny[2] = {'q', 'q'};
    int32_t got = 9;
    QCOMPARE(ser_com_read(m_port, tiny, sizeof tiny, &got, "\r", 1, 100), SER_COM_FATAL);
    QVERIFY(got == 0 && tiny[0] == 'q');
    QCOMPARE(ser_com_read(m_port, nullptr, 64, &got, "\r", 1, 100), SER_COM_FATAL);
    // The bytes are still there for a proper read.
    char buffer[16];
    QCOMPARE(ser_com_read(m_port, buffer, sizeof buffer, &got, "\r", 1, 2000), 0);
    QCOMPARE(std::string(buffer), std::string("AB\r"));
}

void TstSerCom::exchangeDrainsStaleInput()
{
    QVERIFY(m_peer.send("STALE REPLY\r"));
    QVERIFY(waitReadable(m_port));
    char buffer[64];
    int32_t got = 0;
    LogCapture log(8);
    QCOMPARE(ser_com_write_read_ex(m_port, "PING\r", 0, buffer, sizeof buffer, &got, "\r", 1, 1000, 1), 0);
    QCOMPARE(std::string(buffer), std::string("PONG\r"));
    // The drain is quiet, and the threshold is back afterwards.
    QCOMPARE(glog->debug_level, 8);
    QVERIFY(log.debugText.find("STALE") == std::string::npos);
    QVERIFY(log.debugText.find("[ser_com_write]  write 5 bytes\n") != std::string::npos);
    QVERIFY(log.errorText.empty());

    // A few character times of silence end the drain of a quiet line; the
    // quickest of a few exchanges shows it, whatever else the machine is doing.
    double quickestMs = 1e9;
    for (int i = 0; i < 3; ++i) {
        const double start = usec_time();
        QCOMPARE(ser_com_write_read_ex(m_port, "PING\r", 0, buffer, sizeof buffer, &got, "\r", 1, 1000, 1), 0);
        quickestMs = std::min(quickestMs, (usec_time() - start) / 1000.0);
        QCOMPARE(std::string(buffer), std::string("PONG\r"));
    }
    QVERIFY2(quickestMs < 10.0, qPrintable(QString::number(quickestMs)));
}

void TstSerCom::drainEndsOnALineThatNeverFallsSilent()
{
    LogCapture log(0);
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop.load()) {
            m_peer.send("noise");
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    char buffer[64];
    int32_t got = 0;
    const int64_t start = msec_time();
    const int32_t err = ser_com_write_read_ex(m_port, "HELLO\r", 0, buffer, sizeof buffer, &got, "\r", 1, 150, 1);
    const int64_t took = msec_time() - start;
    stop.store(true);
    noise.join();
    // The chatter holds no terminator, so the read fills up or times out; what
    // matters is that the exchange ends near its budget.
    QVERIFY2(took < 1500, qPrintable(QString::number(took)));
    QVERIFY(err == 0 || err == SER_COM_TIMEOUT);
    QVERIFY(m_peer.waitFor("HELLO\r", 1000));
    char drain[500];
    do
        ser_com_read(m_port, drain, sizeof drain, &got, nullptr, 500, 30);
    while (got > 0);
}

void TstSerCom::drainReadsOnWhileStaleBytesKeepComing()
{
    // A stray reply no exchange waits for, at 9600 baud: 60 characters take
    // 69 ms, so most of it arrives while the next exchange drains.
    const PtyDevice::Line line{9600, 7, PtyDevice::Line::Even, 2};
    m_peer.setSerialLine(line);
    m_peer.setPaced(true);
    QCOMPARE(ser_com_setport(m_port, 0, 7, 0, 0, 0), 0);
    std::thread stray([this] { m_peer.send(std::string(59, 'S') + "\r"); });
    QVERIFY(waitReadable(m_port));
    char buffer[64];
    int32_t got = 0;
    const int32_t err = ser_com_write_read_ex(m_port, "PING\r", 0, buffer, sizeof buffer, &got, "\r", 1, 1000, 1);
    stray.join();
    m_peer.setPaced(false);
    QCOMPARE(ser_com_setport(m_port, 0, 10, 0, 0, 0), 0);
    QCOMPARE(err, 0);
    QCOMPARE(std::string(buffer), std::string("PONG\r"));
}

void TstSerCom::drainDiscardsABegunLineThroughItsEnd_data()
{
    // A stray line no exchange knew of stops in the middle, as a USB serial
    // adapter may hold bytes back; the instrument takes 60 ms to answer.
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("5 ms pause") << 5;
    QTest::newRow("30 ms pause") << 30;
}

void TstSerCom::drainDiscardsABegunLineThroughItsEnd()
{
    QFETCH(int, pauseMs);
    Ca410Emulator instrument;
    QVERIFY(instrument.start());
    ser_com* port = openPort(instrument.devicePath());
    QVERIFY(port);
    instrument.setSetting(0, "7");
    instrument.addFault(Ca410Emulator::Fault::Slow, "STR,", 60);
    ReplyScheduler tail([&instrument](const std::string& bytes) { return instrument.send(bytes); });
    QVERIFY(instrument.send("OK00,P1,7,1.0000"));
    QVERIFY(waitReadable(port));
    tail.schedule(std::chrono::milliseconds(pauseMs), ",10.0000,100.0000,0.0000,0\r");
    char buffer[64];
    int32_t got = 0;
    const int32_t err = ser_com_write_read_ex(port, "STR,0\r", 0, buffer, sizeof buffer, &got, "\r", 1, 1000, 1);
    ser_com_del(port);
    QCOMPARE(err, 0);
    QCOMPARE(std::string(buffer), std::string("OK00,7\r"));
}

void TstSerCom::writeReturnsWhenThePeerStopsReading()
{
    // A bare pseudo-terminal whose master side is never read.
    int master = -1;
    int slave = -1;
    char name[128] = {};
    QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
    ser_com* port = new_ser_com(name);
    QCOMPARE(ser_com_setport(port, 1, 10, 1, 1, 4), 0);
    LogCapture log(0);
    const std::string big(1 << 20, 'w');
    const int64_t start = msec_time();
    QCOMPARE(ser_com_write(port, big.data(), static_cast<int32_t>(big.size()), 100), SER_COM_TIMEOUT);
    QVERIFY2(msec_time() - start < 1000, "the write outlasted its budget");
    QVERIFY(contains(log.errorText, "[ser_com_write] took "));
    // A negative length is refused rather than read as a huge one.
    QCOMPARE(ser_com_write(port, "abc", -1, 100), SER_COM_FATAL);
    ser_com_del(port);
    close(slave);
    close(master);
}

void TstSerCom::hangUpIsReportedAtOnce()
{
    auto peer = std::make_unique<Peer>();
    QVERIFY(peer->start());
    ser_com* port = new_ser_com(peer->devicePath().c_str());
    QCOMPARE(ser_com_setport(port, 3, 10, 3, 2, 3), 0);
    peer.reset();  // both ends of the peer close: the line hangs up
    LogCapture log(0);
    char buffer[64];
    const int64_t start = msec_time();
    QCOMPARE(ser_com_read(port, buffer, sizeof buffer, nullptr, "\r", 1, 3000), SER_COM_FATAL);
    QVERIFY(msec_time() - start < 1000);
    QVERIFY(contains(log.errorText, "[ser_com_read] poll return 0x"));
    ser_com_del(port);
}

void TstSerCom::logTexts()
{
    QCOMPARE(std::string(com2fix("A\rB")), std::string("A^MB"));
    QCOMPARE(std::string(com2fix("\x01\xe9")), std::string("^A\\351"));
    QCOMPARE(std::string(com2fix(nullptr)), std::string("(null)"));
    // Three results live at once.
    const char* a = com2fix("one");
    const char* b = com2fix("two");
    QCOMPARE(std::string(a) + b + com2fix("three"), std::string("onetwothree"));
    // Long texts are cut at 10000 characters, never mid-way through one.
    const std::string cut = com2fix(std::string(5000, '\x80').c_str());
    QCOMPARE(cut.size(), size_t(2500 * 4 + 3));
    QCOMPARE(cut.substr(cut.size() - 7), std::string("\\200..."));

    const std::string seventy(70, '\x11');
    const std::string hex = com2hex(seventy.data(), 70);
    QCOMPARE(hex.size(), size_t(64 * 3 - 1 + 3));
    QCOMPARE(hex.substr(0, 6) + hex.substr(hex.size() - 5), std::string("11 11 11..."));
    QCOMPARE(std::string(baud_rate_to_str(8)), std::string("14400"));
    QCOMPARE(std::string(baud_rate_to_str(15)), std::string("unknown"));
}

void TstSerCom::serialPathsListCallOutDevices()
{
    QCOMPARE(get_serial_path(nullptr, 4), -1);
    const std::string link = "/dev/cu.h6test-" + std::to_string(getpid());
    if (symlink(m_peer.devicePath().c_str(), link.c_str()) != 0)
        QSKIP("cannot add a call-out name under /dev here");
    char sentinel = 0;
    char* paths[256];
    std::fill(std::begin(paths), std::end(paths), &sentinel);
    const int32_t err = get_serial_path(paths, 256);
    char* one[2] = {&sentinel, &sentinel};
    const int32_t errOne = get_serial_path(one, 1);
    unlink(link.c_str());
    QCOMPARE(err, 0);
    QCOMPARE(errOne, 0);
    int found = 0;
    bool listed = false;
    for (; found < 256 && paths[found] != &sentinel; ++found) {
        listed = listed || link == paths[found];
        free(paths[found]);
    }
    QVERIFY(listed);
    // Entries beyond those found, and beyond max, are left as they were.
    QVERIFY(std::all_of(paths + found, std::end(paths), [&](char* p) { return p == &sentinel; }));
    QVERIFY(one[0] != &sentinel && one[1] == &sentinel);
    free(one[0]);
}

void TstSerCom::baudProbeTriesEveryRateAndCloses()
{
    Ca410Emulator emulator;
    QVERIFY(emulator.start());
    ser_com* port = new_ser_com(emulator.devicePath().c_str());
    QCOMPARE(ser_com_find_inst(port), 0);
    QCOMPARE(ser_com_is_open(port), 0);
    const auto commands = emulator.commands();
    QCOMPARE(commands.size(), size_t(11));
    QCOMPARE(commands.front() + commands.back(), std::string("COM,1COM,1"));
    QCOMPARE(port->baud, 1u);  // the last rate of the list: 110
    ser_com_del(port);
}

QTEST_APPLESS_MAIN(TstSerCom)
#include "tst_sercom.moc"
