// Logging, clocks and number conversions of the CA-410 library.
#include "logcapture.h"
#include "mlink_ca410.h"

#include <QtTest>

#include <cmath>

class TstCa410Support : public QObject
{
    Q_OBJECT

private slots:
    // Must stay first: the clock's start is the first reading in the process.
    void firstClockReadingIsZeroAndClocksAdvance();
    void levelsGateEachChannel();
    void recordsAreCountedAndFreed();
    void dumpBytesFormatsLinesAndPadsTheLast();
    void threeByteFloats_data();
    void threeByteFloats();
    void threeByteFloatEdges();
    void ieee754Patterns();
};

void TstCa410Support::firstClockReadingIsZeroAndClocksAdvance()
{
    QCOMPARE(msec_time(), int64_t(0));
    const double u0 = usec_time();
    QCOMPARE(msec_sleep(30), 0);
    const int64_t ms = msec_time();
    QVERIFY2(ms >= 29 && ms < 1000, qPrintable(QString::number(ms)));
    QVERIFY(usec_time() - u0 >= 29000.0);
}

void TstCa410Support::levelsGateEachChannel()
{
    LogCapture log(5, 3);
    clogd(glog, 5, "d%d\n", 5);
    clogd(glog, 6, "d%d\n", 6);
    clogv(glog, 3, "v%d\n", 3);
    clogv(glog, 4, "v%d\n", 4);
    QCOMPARE(log.debugText, std::string("d5\n"));
    QCOMPARE(log.verbText, std::string("v3\n"));
    // The error channel ignores both thresholds and the level passed.
    clog_set_debug(glog, 0);
    clog_set_verb(glog, 0);
    cloge(glog, 0, "e%s\n", "0");
    cloge(glog, 9, "e%s\n", "9");
    QCOMPARE(log.errorText, std::string("e0\ne9\n"));
    // Comparisons are signed: a negative threshold silences level 0.
    clog_set_debug(glog, -1);
    clogd(glog, 0, "never\n");
    QCOMPARE(log.debugText, std::string("d5\n"));
    // A null record is accepted and does nothing.
    QCOMPARE(clogd(nullptr, 0, "x") + cloge(nullptr, 0, "x") + clog_set_debug(nullptr, 3), 0);
}

void TstCa410Support::recordsAreCountedAndFreed()
{
    int context = 0;
    clog* made = new_clog(nullptr, 2, 3, &context, default_v_log, default_v_log);
    QVERIFY(made && made->ref_count == 1 && made->verbosity == 2 && made->debug_level == 3);
    QCOMPARE(made->context, static_cast<void*>(&context));
    // Sinks passed by the caller are not installed.
    QVERIFY(made->verb_sink == default_v_log && made->debug_sink == default_de_log
            && made->error_sink == default_de_log);
    // Given a record, new_clog only counts another reference.
    QCOMPARE(new_clog(made, 7, 7, nullptr), made);
    QCOMPARE(new_clog_default(made), made);
    QVERIFY(made->ref_count == 3 && made->debug_level == 3);
    clog_del(made);
    clog_del(made);
    QCOMPARE(made->ref_count, 1);
    clog_del(made);  // freed here; the sanitizer build checks for leaks and misuse

    // The static record is never freed, even when its count runs out.
    QCOMPARE(glog, &default_log);
    const int32_t count = default_log.ref_count;
    for (int32_t i = 0; i <= count; ++i)
        clog_del(&default_log);
    default_log.ref_count = count;
    LogCapture log(1);
    clogd(glog, 1, "still here\n");
    QCOMPARE(log.debugText, std::string("still here\n"));
}

void TstCa410Support::dumpBytesFormatsLinesAndPadsTheLast()
{
    LogCapture log(0);
    uint8_t data[20];
    for (int i = 0; i < 16; ++i)
        data[i] = static_cast<uint8_t>('A' + i);
    const uint8_t tail[4] = {'x', 0x0d, 0x80, 'z'};
    std::copy(tail, tail + 4, data + 16);
    QCOMPARE(dump_bytes(glog, "rx ", data, 0x10, 20), 0);
    const std::string expected = "rx 0010: 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n"
                                 "rx 0020: 78 0d 80 7a"
                                 + std::string(12 * 3, ' ') + "  x..z\n";
    QCOMPARE(log.debugText, expected);
    // Offsets near the top of the range count on without overflowing.
    log.clear();
    QCOMPARE(dump_bytes(glog, "", data, INT32_MAX - 5, 20), 0);
    QVERIFY2(log.debugText.find("\n8000000a: 78 0d 80 7a") != std::string::npos, log.debugText.c_str());
    QCOMPARE(log.debugText.compare(0, 9, "7ffffffa:"), 0);
    // An over-long prefix is cut, never overrunning the line.
    log.clear();
    dump_bytes(glog, std::string(500, 'p').c_str(), data, 0, 16);
    QVERIFY(log.debugText.size() > 64 + 16 * 3 && log.debugText.size() < 200);
}

void TstCa410Support::threeByteFloats_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("b0");
    QTest::addColumn<int>("b1");
    QTest::addColumn<int>("b2");
    // Worked by hand: sign, mantissa / 32768 * 2^exponent.
    QTest::newRow("1.0") << 1.0 << 0x40 << 0x00 << 0x01;
    QTest::newRow("-1.0") << -1.0 << 0xC0 << 0x00 << 0x01;
    QTest::newRow("0.3") << 0.3 << 0x26 << 0x66 << 0x00;  // mantissa 9830, exponent 0
    QTest::newRow("-2.5") << -2.5 << 0xD0 << 0x00 << 0x02;
    QTest::newRow("0.25") << 0.25 << 0x40 << 0x00 << 0xFF;  // exponent -1 stored as 255
    QTest::newRow("zero") << 0.0 << 0x00 << 0x00 << 0x00;
    // 1.99999 / 2 * 32768 + 0.5 rounds to 32768: the mantissa is halved into
    // the next exponent (without that, 0x80 0x00 0x01 would read as -0.0).
    QTest::newRow("carry") << 1.99999 << 0x40 << 0x00 << 0x02;
    QTest::newRow("below carry") << 1.99996 << 0x7F << 0xFF << 0x01;
}

void TstCa410Support::threeByteFloats()
{
    QFETCH(double, value);
    QFETCH(int, b0);
    QFETCH(int, b1);
    QFETCH(int, b2);
    uint8_t b[3] = {0xAA, 0xAA, 0xAA};
    QCOMPARE(Float2Bytes3Buf(b, value), 0);
    QCOMPARE(QList<int>({b[0], b[1], b[2]}), QList<int>({b0, b1, b2}));
    // Decoding gives the value back to the 15-bit mantissa's precision.
    QVERIFY(std::fabs(Bytes3Buf2Float(b) - value) <= std::fabs(value) / 16384.0);
}

void TstCa410Support::threeByteFloatEdges()
{
    // Values the form cannot hold are refused and leave the bytes alone.
    uint8_t b[3] = {1, 2, 3};
    QCOMPARE(Float2Bytes3Buf(b, INFINITY), -1);
    QCOMPARE(Float2Bytes3Buf(b, NAN), -1);
    QCOMPARE(Float2Bytes3Buf(b, 1e300), -1);
    QCOMPARE(QList<int>({b[0], b[1], b[2]}), QList<int>({1, 2, 3}));
    QCOMPARE(Float2Bytes3Buf(nullptr, 1.0), -1);
    // Exponent byte 128 stays +128; 129 is -127.
    // Decoding is exact where the value is representable.
    const uint8_t one[3] = {0x40, 0x00, 0x01};
    const uint8_t minusOne[3] = {0xC0, 0x00, 0x01};
    QCOMPARE(Bytes3Buf2Float(one), 1.0);
    QCOMPARE(Bytes3Buf2Float(minusOne), -1.0);
    const uint8_t big[3] = {0x40, 0x00, 0x80};
    const uint8_t small[3] = {0x40, 0x00, 0x81};
    QCOMPARE(Bytes3Buf2Float(big), std::ldexp(0.5, 128));
    QCOMPARE(Bytes3Buf2Float(small), std::ldexp(0.5, -127));
}

void TstCa410Support::ieee754Patterns()
{
    QCOMPARE(IEEE754todouble(0xC0200000u), -2.5);
    QCOMPARE(IEEE754todouble(0x00000001u), std::ldexp(1.0, -149));  // smallest subnormal
    QVERIFY(std::isinf(IEEE754todouble(0xFF800000u)) && std::isnan(IEEE754todouble(0x7FC00000u)));

    QCOMPARE(doubletoIEEE754(1.0), 0x3F800000u);
    QCOMPARE(doubletoIEEE754(-2.5), 0xC0200000u);
    QCOMPARE(doubletoIEEE754(-0.0), 0u);  // the sign comes from value < 0
    // The mantissa is truncated, not rounded: 0.1 gives ...CC where a float has ...CD.
    QCOMPARE(doubletoIEEE754(0.1), 0x3DCCCCCCu);
    QCOMPARE(doubletoIEEE754(-1e39), 0xFF800000u);
    QCOMPARE(doubletoIEEE754(std::ldexp(1.0, -149)), 0x00000001u);
    // Just below a power of two must not borrow the next exponent.
    QCOMPARE(doubletoIEEE754(std::nextafter(2.0, 0.0)), 0x3FFFFFFFu);

    QCOMPARE(IEEE754_64todouble(0xC004000000000000ull), -2.5);
    QCOMPARE(IEEE754_64todouble(0x0000000000000001ull), std::ldexp(1.0, -1074));
}

QTEST_APPLESS_MAIN(TstCa410Support)
#include "tst_ca410support.moc"
