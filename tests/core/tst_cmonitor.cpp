#include "cmonitor.h"
#include "monitoremulator.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

// The monitor link against an emulated display on a real pseudo-terminal.
class TestCMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensWithTheMonitorLineSettings();
    void initFailsOnAMissingPort();
    void commandSequences_data();
    void commandSequences();
    void lineSplitAcrossReads();
    void overflowKeepsTheLast31Bytes();
    void skipCommandDiscardsEverything();
    void flushBufferDropsPortAndRing();
    void findBufCommandSlides();
    void repliesReachTheMonitor();
    void scriptedBurstsArePolledInOrder();

private:
    // Sends bytes from the display and waits until the port has them all, so
    // that the next readCommand() drains them in one go.
    bool deliver(const std::string& bytes);

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

bool TestCMonitor::deliver(const std::string& bytes)
{
    const qint64 expected = monitor->bytesWaiting() + qint64(bytes.size());
    if (!display->sendRaw(bytes))
        return false;
    QDeadlineTimer deadline(2000);
    while (monitor->bytesWaiting() < expected) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(1);
    }
    return true;
}

void TestCMonitor::opensWithTheMonitorLineSettings()
{
    QVERIFY(monitor->GetInit());
    termios tio{};
    const int fd = ::open(display->devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    QCOMPARE(uint(cfgetospeed(&tio)), uint(B9600));
    QCOMPARE(uint(tio.c_cflag & CSIZE), uint(CS8));
    QVERIFY(tio.c_cflag & CSTOPB);
    QVERIFY(!(tio.c_cflag & PARENB));
    QVERIFY(!(tio.c_cflag & CRTSCTS));
    QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));
    QCOMPARE(monitor->bufAvailable(), 32);

    monitor->release();
    QVERIFY(!monitor->GetInit());
    // Closed: reading finds nothing and writing reports the failure.
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(!monitor->writeInstrument(QStringLiteral("OK00,00500\r")));
}

void TestCMonitor::initFailsOnAMissingPort()
{
    CMonitor other;
    QVERIFY(!other.init(QStringLiteral("/dev/lumaserve-no-such-port")));
    QVERIFY(!other.GetInit());
}

void TestCMonitor::commandSequences_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("MDR,1") << QByteArray("MDR,1\r") << QList<int>{3, 0} << QByteArray();
    QTest::newRow("MES,0") << QByteArray("MES,0\r") << QList<int>{2, 0} << QByteArray();
    QTest::newRow("leading CRs") << QByteArray("\r\rMES,1\r") << QList<int>{1, 0} << QByteArray();
    QTest::newRow("lower case") << QByteArray("mes,1\r") << QList<int>{0, 0} << QByteArray();
    QTest::newRow("short line") << QByteArray("MES\r") << QList<int>{0, 0} << QByteArray();
    QTest::newRow("two in one read")
        << QByteArray("MES,1\rMDR,1\r") << QList<int>{1, 3, 0} << QByteArray();
    QTest::newRow("sixth character starts a line")
        << QByteArray("MES,10\r") << QList<int>{1, 0, 0} << QByteArray();
    // The LF after each CR is skipped with it, so no request is lost.
    QTest::newRow("CR LF endings")
        << QByteArray("MES,1\r\nMDR,1\r\n") << QList<int>{1, 3, 0} << QByteArray();
    QTest::newRow("LF inside a line")
        << QByteArray("MES\n,1\r") << QList<int>{0, 0, 0} << QByteArray();
}

void TestCMonitor::commandSequences()
{
    QFETCH(QByteArray, received);
    QFETCH(QList<int>, codes);
    QFETCH(QByteArray, left);

    QVERIFY(deliver(received.toStdString()));
    QList<int> got;
    for (int i = 0; i < codes.size(); ++i)
        got.append(monitor->readCommand());
    QCOMPARE(got, codes);
    QCOMPARE(monitor->bufferedBytes(), left);
}

void TestCMonitor::lineSplitAcrossReads()
{
    QVERIFY(deliver("MES,"));
    QCOMPARE(monitor->readCommand(), 0);
    QCOMPARE(monitor->bufferedBytes(), QByteArray("MES,"));
    QVERIFY(!monitor->BufHasCommand());
    QCOMPARE(monitor->bufAvailable(), 28);

    QVERIFY(deliver("1"));
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(deliver("\r"));
    QVERIFY(monitor->BufHasCommand() == false); // not drained yet
    QCOMPARE(monitor->readCommand(), 1);
    QCOMPARE(monitor->readCommand(), 0);
    QCOMPARE(monitor->bufAvailable(), 32);
}

void TestCMonitor::overflowKeepsTheLast31Bytes()
{
    // The first nine bytes hold a whole request that must be lost.
    const std::string lost = "MES,1\rQQQ";
    const std::string kept = "abcdefghijklmno\rMDR,1\rMES,0\rzz\r";
    QCOMPARE(lost.size() + kept.size(), size_t(40));
    QVERIFY(deliver(lost + kept));

    QCOMPARE(monitor->readCommand(), 0); // "abcde"
    QCOMPARE(monitor->bufferedBytes(), QByteArray::fromStdString(kept.substr(5)));
    QList<int> codes;
    for (int i = 0; i < 6; ++i)
        codes.append(monitor->readCommand());
    QCOMPARE(codes, (QList<int>{0, 0, 3, 2, 0, 0}));
    QCOMPARE(monitor->bufAvailable(), 32);
}

void TestCMonitor::skipCommandDiscardsEverything()
{
    QVERIFY(deliver("MES,1\r"));
    monitor->skipCommand();
    QVERIFY(monitor->bufferedBytes().isEmpty());
    QCOMPARE(monitor->readCommand(), 0);

    // Stored and waiting bytes alike.
    QVERIFY(deliver("MES,"));
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(deliver("1\rMDR,1\r"));
    monitor->skipCommand();
    QCOMPARE(monitor->readCommand(), 0);
}

void TestCMonitor::flushBufferDropsPortAndRing()
{
    QVERIFY(deliver("MES,"));
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(deliver("1\rMDR,1\r"));
    monitor->flushBuffer();
    QCOMPARE(monitor->bytesWaiting(), qint64(0));
    QCOMPARE(monitor->bufAvailable(), 32);
    QCOMPARE(monitor->readCommand(), 0);

    // A request after the flush is served normally.
    QVERIFY(deliver("MDR,1\r"));
    QCOMPARE(monitor->readCommand(), 3);
}

void TestCMonitor::findBufCommandSlides()
{
    // An incomplete first line keeps the rest unparsed in the ring.
    QVERIFY(deliver("ab"));
    QCOMPARE(monitor->readCommand(), 0);
    QVERIFY(deliver("\rXMES,1\r12MDR,1\rxyz\rMES\r"));
    QCOMPARE(monitor->readCommand(), 0); // "ab"

    QCOMPARE(monitor->findBufCommand(), 1);  // XMES,1
    QCOMPARE(monitor->findBufCommand(), 3);  // 12MDR,1
    QCOMPARE(monitor->findBufCommand(), 0);  // xyz: nothing, stops on its CR
    QCOMPARE(monitor->bufferedBytes(), QByteArray("\rMES\r"));
    QCOMPARE(monitor->findBufCommand(), 0);  // too short for a command
    QCOMPARE(monitor->bufferedBytes(), QByteArray("\r"));
    QCOMPARE(monitor->findBufCommand(), 0);
    QCOMPARE(monitor->bufAvailable(), 32);
    QVERIFY(!monitor->BufHasCommand());
}

void TestCMonitor::repliesReachTheMonitor()
{
    QVERIFY(monitor->writeInstrument(QStringLiteral("OK00,00500\r")));
    QVERIFY(monitor->writeInstrument(QStringLiteral("OK01,012.346;1234.500;-01.500\r")));
    QVERIFY(display->waitForReplies(2, 2s));
    const auto replies = display->replies();
    QCOMPARE(replies.at(0).line, std::string("OK00,00500"));
    QCOMPARE(replies.at(1).line, std::string("OK01,012.346;1234.500;-01.500"));
    QVERIFY(replies.at(0).atMs <= replies.at(1).atMs);
}

void TestCMonitor::scriptedBurstsArePolledInOrder()
{
    // Polled without pause, as the alignment thread does: every request of a
    // burst is found, in order, and each is answered.
    display->play({{0, display->line("MES,1")},
                   {20, display->line("MDR,1") + display->line("MES,0")},
                   {20, "noise\r"},
                   {10, display->line("MES,1")}});
    QList<int> codes;
    QDeadlineTimer deadline(5000);
    while (codes.size() < 4 && !deadline.hasExpired()) {
        const int code = monitor->readCommand();
        if (code == 0) {
            QTest::qWait(1);
            continue;
        }
        codes.append(code);
        monitor->writeInstrument(QStringLiteral("OK00,%1\r").arg(code, 5, 10, QLatin1Char('0')));
    }
    QCOMPARE(codes, (QList<int>{1, 3, 2, 1}));
    QVERIFY(display->waitForScript(2s));
    QVERIFY(display->waitForReplies(4, 2s));
    const auto replies = display->replies();
    const auto sent = display->sentTimes();
    QCOMPARE(replies.at(0).line, std::string("OK00,00001"));
    QCOMPARE(replies.at(3).line, std::string("OK00,00001"));
    // Each reply arrives after the request it answers went out.
    QVERIFY(replies.at(0).atMs >= sent.at(0));
    QVERIFY(replies.at(1).atMs >= sent.at(1));
    QVERIFY(replies.at(3).atMs >= sent.at(3));
}

QTEST_GUILESS_MAIN(TestCMonitor)
#include "tst_cmonitor.moc"
