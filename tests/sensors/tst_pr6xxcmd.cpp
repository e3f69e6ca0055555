#include "pr6xxcmd.h"
#include "pr6xxdcmd.h"
#include "pr6xxmcmd.h"
#include "pr6xxscmd.h"

#include <QtTest>

// How the PR-6xx command objects judge and decode replies. A reply without a
// five-digit status is no answer: nothing arrived, or noise did.
class TestPR6xxCmd : public QObject
{
    Q_OBJECT

private slots:
    void status_data();
    void status();
    void plainCommand_data();
    void plainCommand();
    void serialNumber_data();
    void serialNumber();
    void reading_data();
    void reading();
    void spectrum();
    void dump();
};

void TestPR6xxCmd::status_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("status");
    QTest::newRow("success") << QByteArray("00000,1\r\n") << 0;
    QTest::newRow("error") << QByteArray("00019\r\n") << 19;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("four digits") << QByteArray("0000") << -1;
    QTest::newRow("letter") << QByteArray("0000a\r\n") << -1;
    QTest::newRow("blank") << QByteArray(" 0000\r\n") << -1;
    QTest::newRow("sign") << QByteArray("-0001\r\n") << -1;
    QTest::newRow("banner") << QByteArray(" REMOTE MODE") << -1;
}

void TestPR6xxCmd::status()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, status);
    QCOMPARE(PR6xxCmd::status(reply), status);
}

void TestPR6xxCmd::plainCommand_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("success") << QByteArray("00000\r\n") << true;
    QTest::newRow("no line end") << QByteArray("00000,0") << false;
    QTest::newRow("error status") << QByteArray("00001\r\n") << false;
    QTest::newRow("too short") << QByteArray("0000\r\n").left(5) << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

void TestPR6xxCmd::plainCommand()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    PR6xxCmd cmd(QByteArrayLiteral("SU1\r"), 7);
    QCOMPARE(cmd.handler(reply), accepted);
}

void TestPR6xxCmd::serialNumber_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("serial") << QByteArray("00000,60812345\r\n") << true << 0
                            << QByteArray("60812345");
    QTest::newRow("short serial ends at the line end") << QByteArray("00000,6081\r\n") << true
                                                       << 0 << QByteArray("6081");
    QTest::newRow("error status") << QByteArray("00001,60812345\r\n") << false << 1
                                  << QByteArray();
    QTest::newRow("nothing arrived") << QByteArray() << false << -1 << QByteArray();
    QTest::newRow("noise") << QByteArray("?#~ noise ~#?\r\n") << false << -1 << QByteArray();
}

void TestPR6xxCmd::serialNumber()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QFETCH(int, code);
    QFETCH(QByteArray, result);
    PR6xxMCmd cmd(QByteArrayLiteral("D110\r"), 16);
    QCOMPARE(cmd.handler(reply), accepted);
    QCOMPARE(cmd.errorCode(), code);
    QCOMPARE(cmd.result(), result);
}

void TestPR6xxCmd::reading_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("code");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("z");

    QTest::newRow("39 bytes") << QByteArray("00000,0,9.505e+01,1.000e+02,1.089e+02\r\n") << true
                              << 0 << 95.05f << 100.0f << 108.9f;
    QTest::newRow("other units") << QByteArray("00000,17,4.1e+01,2.1e+01,1.9e+00\r\n") << true
                                 << 0 << 41.0f << 21.0f << 1.9f;
    QTest::newRow("error status") << QByteArray("00006,0,9.505e+01,1.000e+02,1.089e+02\r\n")
                                  << false << 6 << 0.0f << 0.0f << 0.0f;
    // A success status without the values is no reading, and neither is silence.
    QTest::newRow("values missing") << QByteArray("00000\r\n") << false << 0 << 0.0f << 0.0f
                                    << 0.0f;
    QTest::newRow("third value missing") << QByteArray("00000,0,1.5,2.5\r\n") << false << 0
                                         << 1.5f << 2.5f << 0.0f;
    QTest::newRow("nothing arrived") << QByteArray() << false << -1 << 0.0f << 0.0f << 0.0f;
    QTest::newRow("noise") << QByteArray("?#~ noise ~#?\r\n") << false << -1 << 0.0f << 0.0f
                           << 0.0f;
}

void TestPR6xxCmd::reading()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QFETCH(int, code);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, z);
    PR6xxDCmd cmd(QByteArrayLiteral("M2\r"), 39);
    QCOMPARE(cmd.handler(reply), accepted);
    QCOMPARE(cmd.errorCode(), code);
    QCOMPARE(cmd.x(), x);
    QCOMPARE(cmd.y(), y);
    QCOMPARE(cmd.z(), z);
}

void TestPR6xxCmd::spectrum()
{
    QByteArray reply = "00000,0\r\n";
    for (int i = 0; i < PR6xxSCmd::ValueCount; ++i)
        reply += QByteArray::number(0.25 * i) + "\r\n";

    PR6xxSCmd cmd(QByteArrayLiteral("D5\r"), reply.size());
    // The values start at position 8, after "00000,0" and its CR.
    QVERIFY(cmd.handler(reply.left(8) + reply.mid(9)));
    QCOMPARE(cmd.values().front(), 0.0f);
    QCOMPARE(cmd.values()[1], 0.25f);
    QCOMPARE(cmd.values().back(), 31.75f);

    PR6xxSCmd few(QByteArrayLiteral("D5\r"), reply.size());
    QVERIFY(!few.handler("00000,0\n1\r\n2\r\n"));
    QCOMPARE(few.values().front(), 0.0f);
    QVERIFY(!few.handler("00003" + reply.mid(5)));
    QCOMPARE(few.errorCode(), 3);
    QVERIFY(!few.handler(QByteArray()));
}

void TestPR6xxCmd::dump()
{
    const PR6xxCmd serial(QByteArrayLiteral("D110\r"), 16);
    QCOMPARE(serial.dumpText("00000,A b\r\n"),
             QByteArray("CMD:D110[0xd]\nRSP:00000,A[0x20]b[0xd][0xa]\n"));
    QCOMPARE(serial.dumpText(QByteArray()), QByteArray("CMD:D110[0xd]\n"));
    QCOMPARE(serial.dumpText(QByteArray("\xff", 1)), QByteArray("CMD:D110[0xd]\nRSP:[0xff]\n"));
    const PR6xxCmd empty(QByteArray(), 7);
    QVERIFY(empty.dumpText("00000\r\n").isEmpty());
}

QTEST_GUILESS_MAIN(TestPR6xxCmd)
#include "tst_pr6xxcmd.moc"
