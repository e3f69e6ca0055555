#include "cmonitor.h"
#include "scriptedserialdevice.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <memory>

namespace {

// Not a path: only a registered device answers to these names.
const QString kInstrument = QStringLiteral("scripted:instrument");
const QString kDisplay = QStringLiteral("scripted:display");

// A wait far longer than any test may take: if it is really waited out, the
// elapsed-time checks fail (and ctest's time-out ends the run).
constexpr int kLongWait = 60000;
// What "at once" allows on a loaded machine under the sanitizers.
constexpr qint64 kAtOnceMs = 1000;

// Keeps a device registered for the test's duration.
class Registered
{
public:
    // A scripted device answering replies in turn, one per commandEnd written.
    Registered(const QString& name, const QList<QByteArray>& replies, char commandEnd = '\r')
        : m_name(name), m_device(std::make_shared<ScriptedSerialDevice>(replies, commandEnd))
    {
        SerialPort::setDevice(m_name, m_device);
    }
    ~Registered() { SerialPort::setDevice(m_name, nullptr); }
    Registered(const Registered&) = delete;
    Registered& operator=(const Registered&) = delete;
    ScriptedSerialDevice& device() const { return *m_device; }

private:
    QString m_name;
    std::shared_ptr<ScriptedSerialDevice> m_device;
};

// A port opened on a scripted instrument registered for it, whose reads would wait long.
struct ScriptedPort : Registered, SerialPort {
    explicit ScriptedPort(const QList<QByteArray>& replies, char commandEnd = '\r')
        : Registered(kInstrument, replies, commandEnd), SerialPort(kInstrument)
    {
        if (open())
            setTimeout(kLongWait);
    }
};

} // namespace

// The serial port talking to a device in memory instead of a terminal, and the
// monitor link through it.
class TestSerialPortDevice : public QObject
{
    Q_OBJECT

private slots:
    void opensOnlyWhileRegistered();
    void commandsGetTheirReplies();
    void waitWithoutCommandGetsTheNextReply();
    void emptyReplyIsATimeOut();
    void hangUpEndsEveryWaitAtOnce();
    void cancelledWaitsEndAtOnce();
    void monitorPollsTheDisplayUntilItHasGone();
};

void TestSerialPortDevice::opensOnlyWhileRegistered()
{
    SerialPort early(kInstrument);
    QVERIFY(!early.open()); // a name nothing answers to is opened as a file

    SerialPort port(kInstrument);
    {
        Registered instrument(kInstrument, {"OK\r\n"});
        QVERIFY(port.open());
        // Line settings are kept as for a terminal.
        QVERIFY(port.setBaudRate(115200));
        QVERIFY(!port.setBaudRate(12345));
        QCOMPARE(port.baudRate(), 115200);
    }
    // An open port keeps its device; a new one finds nothing under the name.
    QCOMPARE(port.write(QByteArray("RC ID\r")), qint64(6));
    port.setTimeout(kLongWait);
    QCOMPARE(port.read(16), QByteArray("OK\r\n"));
    SerialPort later(kInstrument);
    QVERIFY(!later.open());

    port.close();
    QVERIFY(!port.isOpen());
    QCOMPARE(port.write(QByteArray("x")), qint64(-1));
    char c = 0;
    QVERIFY(!port.getChar(&c));
}

void TestSerialPortDevice::commandsGetTheirReplies()
{
    ScriptedPort port({"first\r\n", "second\r\n", "stale\r\n", "fresh\r\n"});
    QVERIFY(port.isOpen());

    // Nothing is there before the first command.
    QCOMPARE(port.bytesAvailable(), qint64(0));
    char c = 0;
    QVERIFY(!port.getChar(&c));

    // Two commands in one write: two replies, in order, without waiting.
    QCOMPARE(port.write(QByteArray("A\rB")), qint64(3));
    QCOMPARE(port.bytesAvailable(), qint64(7));
    QCOMPARE(port.write(QByteArray("\r")), qint64(1));
    QCOMPARE(port.bytesAvailable(), qint64(15));
    QVERIFY(port.getChar(&c));
    QCOMPARE(c, 'f');
    QCOMPARE(port.read(4), QByteArray("irst"));
    QCOMPARE(port.read(64), QByteArray("\r\nsecond\r\n"));
    QCOMPARE(port.device().written(), QByteArray("A\rB\r"));
    QCOMPARE(port.device().repliesLeft(), 2);

    // A flush drops the rest of a reply half read.
    QCOMPARE(port.write(QByteArray("C\r")), qint64(2));
    QCOMPARE(port.read(2), QByteArray("st"));
    QVERIFY(port.flush());
    QCOMPARE(port.bytesAvailable(), qint64(0));
    QCOMPARE(port.write(QByteArray("D\r")), qint64(2));
    QCOMPARE(port.read(64), QByteArray("fresh\r\n"));
}

void TestSerialPortDevice::waitWithoutCommandGetsTheNextReply()
{
    // A device with commandEnd 0 answers every write; one that is only waited
    // on answers too, unasked, as an instrument that sends by itself.
    ScriptedPort port({"package", "banner"}, '\0');
    QCOMPARE(port.write(QByteArray("\rN5\r")), qint64(4));
    QCOMPARE(port.bytesAvailable(), qint64(7));
    QCOMPARE(port.read(64), QByteArray("package"));
    QVERIFY(port.waitForReadyRead(kLongWait));
    QCOMPARE(port.read(64), QByteArray("banner"));
}

void TestSerialPortDevice::emptyReplyIsATimeOut()
{
    ScriptedPort port({"", "late\r\n"});
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(port.write(QByteArray("M\r")), qint64(2));
    // The silence is one wait that times out, without the time passing.
    QCOMPARE(port.read(64), QByteArray());
    QVERIFY(!port.isHungUp());
    QCOMPARE(port.read(64), QByteArray("late\r\n"));
    QVERIFY(clock.elapsed() < kAtOnceMs);
}

void TestSerialPortDevice::hangUpEndsEveryWaitAtOnce()
{
    ScriptedPort port({"last\r\n"});
    QCOMPARE(port.write(QByteArray("A\r")), qint64(2));
    // Gone, but what it sent is still read.
    QCOMPARE(port.read(64), QByteArray("last\r\n"));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(port.waitForReadyRead(kLongWait));
    QVERIFY(port.isHungUp());
    char buffer[8];
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(-1));
    QVERIFY(port.errorString().contains(QStringLiteral("hung up")));
    char c = 0;
    QVERIFY(!port.getChar(&c));
    QCOMPARE(port.write(QByteArray("B\r")), qint64(-1));
    QVERIFY(clock.elapsed() < kAtOnceMs);

    // Opening it again clears the hang-up the port saw; the device stays gone.
    port.close();
    QVERIFY(port.open());
    QVERIFY(!port.isHungUp());
    QVERIFY(port.waitForReadyRead(kLongWait));
    QVERIFY(port.isHungUp());
}

void TestSerialPortDevice::cancelledWaitsEndAtOnce()
{
    ScriptedPort port({"reply\r\n"});
    port.cancelWaits();
    QVERIFY(port.waitForReadyRead(kLongWait));
    char buffer[8];
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(-1));
    // Called off, not gone: the reply is still to come.
    QVERIFY(!port.isHungUp());
    QCOMPARE(port.device().repliesLeft(), 1);
    port.resumeWaits();
    QCOMPARE(port.read(64), QByteArray("reply\r\n"));
}

void TestSerialPortDevice::monitorPollsTheDisplayUntilItHasGone()
{
    // What the display sends, in three bursts; the second cuts a line in two.
    Registered display(kDisplay, {"MES,1\r", "MD", "R,1\r\nMES,0\r"});
    CMonitor monitor;
    QVERIFY(monitor.init(kDisplay));
    QCOMPARE(monitor.portPath(), kDisplay);
    QCOMPARE(monitor.readCommand(), int(CMonitor::NoCommand));
    // The monitor's own writes reach the display.
    QVERIFY(monitor.writeInstrument(QStringLiteral("1.00,2.00,3.00\r")));
    QCOMPARE(display.device().written(), QByteArray("1.00,2.00,3.00\r"));

    QVERIFY(monitor.waitForData(kLongWait));
    QCOMPARE(monitor.readCommand(), int(CMonitor::StartMeasure));
    QVERIFY(!monitor.isHungUp());
    QVERIFY(monitor.waitForData(kLongWait));
    QCOMPARE(monitor.readCommand(), int(CMonitor::NoCommand)); // half a line
    QCOMPARE(monitor.bufferedBytes(), QByteArray("MD"));
    QVERIFY(monitor.waitForData(kLongWait));
    QCOMPARE(monitor.readCommand(), int(CMonitor::SendValue));
    QCOMPARE(monitor.readCommand(), int(CMonitor::StopMeasure));

    QElapsedTimer clock;
    clock.start();
    // The alignment thread's wait for the next request ends at once and the
    // thread sees the display has gone.
    QVERIFY(monitor.waitForData(kLongWait));
    QVERIFY(monitor.isHungUp());
    QCOMPARE(monitor.readCommand(), int(CMonitor::NoCommand));
    QVERIFY(clock.elapsed() < kAtOnceMs);
}

QTEST_GUILESS_MAIN(TestSerialPortDevice)
#include "tst_serialportdevice.moc"
