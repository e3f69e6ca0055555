#include "cs2000cmd.h"
#include "cs2000id.h"
#include "cs2000meas.h"
#include "cs2000ms.h"
#include "cs2000mv.h"
#include "cs2000mvf.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray bigEndian(float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((bits >> shift) & 0xff));
    return bytes;
}

} // namespace

// How the CS-2000 command objects judge and decode replies.
class TestCs2000Cmd : public QObject
{
    Q_OBJECT

private slots:
    void errorCodes();
    void measureTime_data();
    void measureTime();
    void decimalXyz_data();
    void decimalXyz();
    void binaryXyz();
    void identification_data();
    void identification();
    void spectrum();
};

void TestCs2000Cmd::errorCodes()
{
    Cs2000Cmd cmd(QByteArrayLiteral("MEAS,0\r\n"), 6);
    QCOMPARE(cmd.errorCode(), -1);
    QVERIFY(!cmd.handler("ER20\r\n"));
    QCOMPARE(cmd.errorCode(), 20);
    // A reply that is neither success nor error leaves the last code.
    QVERIFY(!cmd.handler("XR10\r\n"));
    QCOMPARE(cmd.errorCode(), 20);
    QVERIFY(!cmd.handler("ERxx\r\n"));
    QCOMPARE(cmd.errorCode(), 20);
    QVERIFY(!cmd.handler("ER10\r\n"));
    QCOMPARE(cmd.errorCode(), 10);
    QVERIFY(cmd.handler("OK00\r\n"));
    QCOMPARE(cmd.errorCode(), -1);
    QVERIFY(!cmd.handler(QByteArray()));
    QCOMPARE(cmd.errorCode(), -1);
}

void TestCs2000Cmd::measureTime_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("ms");

    QTest::newRow("five seconds") << QByteArray("OK00,005\r\n") << true << 5000;
    QTest::newRow("one second") << QByteArray("OK00,001\r\n") << true << 1000;
    QTest::newRow("no number") << QByteArray("OK00,abc\r\n") << true << 0;
    QTest::newRow("no comma") << QByteArray("OK00\r\n0000") << true << 0;
    QTest::newRow("absurd number stays in range") << QByteArray("OK00,9999999\r\n") << true
                                                  << 2147483 * 1000;
    // Refused replies leave the time of the reply before.
    QTest::newRow("error") << QByteArray("ER02\r\n0000") << false << 7000;
    QTest::newRow("noise") << QByteArray("0K00,003\r\n") << false << 7000;
}

void TestCs2000Cmd::measureTime()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QFETCH(int, ms);
    Cs2000MEAS cmd(QByteArrayLiteral("MEAS,1\r\n"), 10);
    QVERIFY(cmd.handler("OK00,007\r\n"));
    QCOMPARE(cmd.handler(reply), accepted);
    QCOMPARE(cmd.measureTime(), ms);
}

void TestCs2000Cmd::decimalXyz_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("z");

    QTest::newRow("exponents") << QByteArray("OK00,9.505e+01,1.000e+02,1.089e+02\r\n") << true
                               << 95.05f << 100.0f << 108.9f;
    QTest::newRow("plain and negative") << QByteArray("OK00,0.5,-2.25,1234\r\n") << true << 0.5f
                                        << -2.25f << 1234.0f;
    // Numbers before the fault are kept, as a scanf keeps them, but the reading
    // does not count.
    QTest::newRow("third missing") << QByteArray("OK00,1.5,2.5,\r\n") << false << 1.5f << 2.5f
                                   << 0.0f;
    QTest::newRow("no numbers") << QByteArray("OK00\r\n") << false << 0.0f << 0.0f << 0.0f;
    QTest::newRow("error") << QByteArray("ER10\r\n") << false << 0.0f << 0.0f << 0.0f;
}

void TestCs2000Cmd::decimalXyz()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, z);
    Cs2000MV cmd(QByteArrayLiteral("MEDR,2,0,01\r\n"), 36);
    QCOMPARE(cmd.handler(reply), accepted);
    QCOMPARE(cmd.x(), x);
    QCOMPARE(cmd.y(), y);
    QCOMPARE(cmd.z(), z);
}

void TestCs2000Cmd::binaryXyz()
{
    const QByteArray reply = "OK00," + bigEndian(95.047f) + ',' + bigEndian(-2.5f) + ','
        + bigEndian(1.0e-3f) + "\r\n";
    Cs2000MVF cmd(QByteArrayLiteral("MEDR\r\n"), reply.size());
    QVERIFY(cmd.handler(reply));
    QCOMPARE(cmd.x(), 95.047f);
    QCOMPARE(cmd.y(), -2.5f);
    QCOMPARE(cmd.z(), 1.0e-3f);

    // Too short to hold the third value: refused, and nothing is read beyond the end.
    Cs2000MVF cut(QByteArrayLiteral("MEDR\r\n"), 17);
    QVERIFY(!cut.handler(reply.left(17)));
    QCOMPARE(cut.x(), 0.0f);
    QVERIFY(!cut.handler("ER10\r\n"));
}

void TestCs2000Cmd::identification_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("third");

    QTest::newRow("long serial") << QByteArray("OK00,CS-2000,01,30012345\r\n") << true << "CS-2000"
                                 << "01" << "3001234";
    QTest::newRow("empty parts kept") << QByteArray("OK00,,01,AB\r\n") << true << "" << "01"
                                      << "AB";
    QTest::newRow("missing parts") << QByteArray("OK00,CS-2000\r\n") << true << "CS-2000" << ""
                                   << "";
    QTest::newRow("text ends at a zero byte")
        << QByteArray("OK00,A,B,1234\0\0\0\0\0\0\r\n", 22) << true << "A" << "B" << "1234";
    // Fields are taken from a refused reply too.
    QTest::newRow("error") << QByteArray("ER00,x,y,z\r\n") << false << "x" << "y" << "z";
}

void TestCs2000Cmd::identification()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, third);
    Cs2000ID cmd(QByteArrayLiteral("IDDR\r\n"), 26);
    QCOMPARE(cmd.handler(reply), accepted);
    QCOMPARE(cmd.firstField(), first);
    QCOMPARE(cmd.secondField(), second);
    QCOMPARE(cmd.thirdField(), third);
}

void TestCs2000Cmd::spectrum()
{
    QByteArray reply = "OK00";
    for (int i = 0; i < Cs2000MS::MaxValues; ++i)
        reply += ',' + QByteArray::number(0.5 * (i + 1));
    reply += "\r\n";

    // Mode 4 carries 101 values; any other mode 100, the last value untouched.
    Cs2000MS four(4, QByteArrayLiteral("MEDR,1\r\n"), reply.size());
    QVERIFY(four.handler(reply));
    QCOMPARE(four.values().front(), 0.5f);
    QCOMPARE(four.values().back(), 50.5f);
    Cs2000MS other(1, QByteArrayLiteral("MEDR,1\r\n"), reply.size());
    QVERIFY(other.handler(reply));
    QCOMPARE(other.values()[99], 50.0f);
    QCOMPARE(other.values()[100], 0.0f);

    // Fewer values leave the rest as they were.
    QVERIFY(four.handler("OK00,7,8\r\n"));
    QCOMPARE(four.values()[0], 7.0f);
    QCOMPARE(four.values()[1], 8.0f);
    QCOMPARE(four.values()[2], 1.5f);
    QVERIFY(!four.handler("ER10\r\n"));
    QCOMPARE(four.values()[0], 7.0f);
}

QTEST_GUILESS_MAIN(TestCs2000Cmd)
#include "tst_cs2000cmd.moc"
