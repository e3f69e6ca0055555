#include "cmonitor.h"
#include "monitoremulator.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

// The monitor link against an emulated display on a real pseudo-terminal.
class TestCMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithTheMonitorLineSettings();
    void commandSequences_data();
    void commandSequences();
    void findBufCommandSlides();

private:
    // Sends bytes from the display and waits until the port has them all, so
    // that the next readCommand() drains them in one go.
    bool deliver(const QByteArray& bytes);
    QList<int> readCommands(int count);

    MonitorEmulator* display = nullptr;
    CMonitor* monitor = nullptr;
};

void TestCMonitor::init()
{
    display = new MonitorEmulator;
    QVERIFY(display->start());
    monitor = new CMonitor;
    QVERIFY(monitor->init(QString::fromStdString(display->devicePath())));
}

void TestCMonitor::cleanup()
{
    delete monitor;
    monitor = nullptr;
    delete display;
    display = nullptr;
}

bool TestCMonitor::deliver(const QByteArray& bytes)
{
    const qint64 expected = monitor->bytesWaiting() + bytes.size();
    if (!display->sendRaw(bytes.toStdString()))
        return false;
    QDeadlineTimer deadline(2000);
    while (monitor->bytesWaiting() < expected) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

QList<int> TestCMonitor::readCommands(int count)
{
    QList<int> codes;
    for (int i = 0; i < count; ++i)
        codes.append(monitor->readCommand());
    return codes;
}

void TestCMonitor::opensWithTheMonitorLineSettings()
{
    QVERIFY(monitor->GetInit());
    termios tio{};
    const int fd = ::open(display->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    // 9600 baud, 8 data bits, no parity, two stop bits, no flow control.
    QCOMPARE(uint(cfgetospeed(&tio)), uint(B9600));
    QCOMPARE(uint(tio.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS)), uint(CS8 | CSTOPB));
    QCOMPARE(uint(tio.c_iflag & (IXON | IXOFF)), 0u);
    QCOMPARE(monitor->bufAvailable(), 32);

    monitor->release();
    QVERIFY(!monitor->GetInit());
    // Closed: reading finds nothing and writing reports the failure.
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(!monitor->writeInstrument(QStringLiteral("OK00,00500\r")));
    QVERIFY(!monitor->init(QStringLiteral("/dev/lumaserve-no-such-port")));
    QVERIFY(!monitor->GetInit());
}

void TestCMonitor::commandSequences_data()
{
    QTest::addColumn<QByteArrayList>("bursts");
    QTest::addColumn<QString>("then");
    // One readCommand() after each burst but the last, the rest after the last.
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QByteArray>("left");

    const auto row = [](const char* name, const QByteArrayList& bursts, const QList<int>& codes,
                        const QByteArray& left = QByteArray(), const char* then = "") {
        QTest::newRow(name) << bursts << QString::fromLatin1(then) << codes << left;
    };
    row("MDR,1", {"MDR,1\r"}, {3, 0});
    row("MES,0", {"MES,0\r"}, {2, 0});
    row("leading CRs", {"\r\rMES,1\r"}, {1, 0});
    row("lower case", {"mes,1\r"}, {0, 0});
    row("short line", {"MES\r"}, {0, 0});
    row("two in one read", {"MES,1\rMDR,1\r"}, {1, 3, 0});
    row("sixth character starts a line", {"MES,10\r"}, {1, 0, 0});
    // The LF after each CR is skipped with it, so no request is lost.
    row("CR LF endings", {"MES,1\r\nMDR,1\r\n"}, {1, 3, 0});
    row("LF inside a line", {"MES\n,1\r"}, {0, 0, 0});
    // An incomplete line waits in the ring for its CR.
    row("half a line", {"MES,"}, {0}, "MES,");
    row("line split across reads", {"MES,", "1", "\r"}, {0, 0, 1, 0});
    // The first nine bytes hold a whole request that must be lost.
    row("overflow keeps the last 31 bytes", {"MES,1\rQQQabcdefghijklmno\rMDR,1\rMES,0\rzz\r"},
        {0, 0, 0, 3, 2, 0, 0});
    // Stored and still waiting bytes alike are dropped.
    row("skip", {"MES,1\r"}, {0}, {}, "skip");
    row("skip stored and waiting", {"MES,", "1\rMDR,1\r"}, {0, 0}, {}, "skip");
    row("flush stored and waiting", {"MES,", "1\rMDR,1\r"}, {0, 0}, {}, "flush");
}

void TestCMonitor::commandSequences()
{
    QFETCH(QByteArrayList, bursts);
    QFETCH(QString, then);
    QFETCH(QList<int>, codes);
    QFETCH(QByteArray, left);

    QList<int> got;
    for (int i = 0; i < bursts.size(); ++i) {
        QVERIFY(deliver(bursts.at(i)));
        if (i + 1 < bursts.size())
            got += readCommands(1);
    }
    if (then == QLatin1String("skip"))
        monitor->skipCommand();
    else if (then == QLatin1String("flush"))
        monitor->flushBuffer();
    got += readCommands(codes.size() - got.size());
    QCOMPARE(got, codes);
    QCOMPARE(monitor->bufferedBytes(), left);
    QCOMPARE(monitor->bufAvailable(), 32 - left.size());
    QCOMPARE(monitor->bytesWaiting(), qint64(0));
    QVERIFY(!monitor->BufHasCommand());
    // A request afterwards is served normally.
    if (left.isEmpty()) {
        QVERIFY(deliver("MDR,1\r"));
        QCOMPARE(monitor->readCommand(), 3);
    }
}

void TestCMonitor::findBufCommandSlides()
{
    // An incomplete first line keeps the rest unparsed in the ring.
    QVERIFY(deliver("ab"));
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(deliver("\rXMES,1\r12MDR,1\rxyz\rMES\r"));
    QCOMPARE(monitor->readCommand(), 0); // "ab"

    QCOMPARE(monitor->findBufCommand(), 1); // XMES,1
    QCOMPARE(monitor->findBufCommand(), 3); // 12MDR,1
    QCOMPARE(monitor->findBufCommand(), 0); // xyz: nothing, stops on its CR
    QCOMPARE(monitor->bufferedBytes(), QByteArray("\rMES\r"));
    QCOMPARE(monitor->findBufCommand(), 0); // too short for a command
    QCOMPARE(monitor->bufferedBytes(), QByteArray("\r"));
    QCOMPARE(monitor->findBufCommand(), 0);
    QCOMPARE(monitor->bufAvailable(), 32);
}

QTEST_GUILESS_MAIN(TestCMonitor)
#include "tst_cmonitor.moc"
