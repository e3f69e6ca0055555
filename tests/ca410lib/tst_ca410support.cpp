// Logging, clocks and number conversions of the CA-410 library.
#include "logcapture.h"
#include "mlink_ca410.h"

#include <QtTest>

#include <cmath>
#include <cstring>

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
    void threeByteFloatRefusesWhatItCannotHold();
    void ieee754Patterns();
};

void TstCa410Support::firstClockReadingIsZeroAndClocksAdvance()
{
    QCOMPARE(msec_time(), int64_t(0));
    const double u0 = usec_time();
    QVERIFY(u0 >= 0.0 && u0 < 1000.0);
    QCOMPARE(msec_sleep(30), 0);
    const int64_t ms = msec_time();
    QVERIFY2(ms >= 29 && ms < 1000, qPrintable(QString::number(ms)));
    const double u1 = usec_time();
    QVERIFY(u1 - u0 >= 29000.0);
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
    QVERIFY(log.errorText.empty());

    // The error channel ignores both thresholds and the level passed.
    clog_set_debug(glog, 0);
    clog_set_verb(glog, 0);
    cloge(glog, 0, "e%s\n", "0");
    cloge(glog, 9, "e%s\n", "9");
    QCOMPARE(log.errorText, std::string("e0\ne9\n"));

    // Negative thresholds silence everything but errors; comparisons are signed.
    clog_set_debug(glog, -1);
    clogd(glog, 0, "never\n");
    QCOMPARE(log.debugText, std::string("d5\n"));

    // A null record is accepted everywhere and does nothing.
    QCOMPARE(clogd(nullptr, 0, "x"), 0);
    QCOMPARE(clogv(nullptr, 0, "x"), 0);
    QCOMPARE(cloge(nullptr, 0, "x"), 0);
    QCOMPARE(clog_set_debug(nullptr, 3), 0);
    QCOMPARE(clog_set_verb(nullptr, 3), 0);
}

void TstCa410Support::recordsAreCountedAndFreed()
{
    int context = 0;
    clog *made = new_clog(nullptr, 2, 3, &context, default_v_log, default_v_log);
    QVERIFY(made);
    QCOMPARE(made->ref_count, 1);
    QCOMPARE(made->verbosity, 2);
    QCOMPARE(made->debug_level, 3);
    QCOMPARE(made->context, static_cast<void *>(&context));
    // Sinks passed by the caller are not installed.
    QVERIFY(made->verb_sink == default_v_log);
    QVERIFY(made->debug_sink == default_de_log);
    QVERIFY(made->error_sink == default_de_log);

    QCOMPARE(new_clog(made, 7, 7, nullptr), made);
    QCOMPARE(made->ref_count, 2);
    QCOMPARE(made->debug_level, 3);
    QCOMPARE(new_clog_default(made), made);
    QCOMPARE(made->ref_count, 3);
    QCOMPARE(clog_del(made), 0);
    QCOMPARE(clog_del(made), 0);
    QCOMPARE(made->ref_count, 1);
    QCOMPARE(clog_del(made), 0);  // freed here; the sanitizer build checks the rest
    QCOMPARE(clog_del(nullptr), 0);

    clog *fresh = new_clog_default(nullptr);
    QVERIFY(fresh && fresh->verbosity == 0 && fresh->debug_level == 0 && !fresh->context);
    clog_del(fresh);

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
    data[16] = 'x';
    data[17] = 0x0d;
    data[18] = 0x80;
    data[19] = 'z';
    QCOMPARE(dump_bytes(glog, "rx ", data, 0x10, 20), 0);
    const std::string expected =
        "rx 0010: 41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  ABCDEFGHIJKLMNOP\n"
        "rx 0020: 78 0d 80 7a" + std::string(12 * 3, ' ') + "  x..z\n";
    QCOMPARE(log.debugText, expected);

    // Level 0 is still gated by a negative threshold, and a null prefix is empty.
    log.clear();
    dump_bytes(glog, nullptr, data, 0, 1);
    QCOMPARE(log.debugText, std::string("0000: 41") + std::string(15 * 3, ' ') + "  A\n");
    log.clear();
    clog_set_debug(glog, -1);
    dump_bytes(glog, "", data, 0, 20);
    QVERIFY(log.debugText.empty());

    // An over-long prefix is cut, never overrunning the line.
    clog_set_debug(glog, 0);
    const std::string prefix(500, 'p');
    dump_bytes(glog, prefix.c_str(), data, 0, 16);
    QVERIFY(log.debugText.size() < 200);
    QVERIFY(log.debugText.size() > 64 + 16 * 3);
}

void TstCa410Support::threeByteFloats_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("b0");
    QTest::addColumn<int>("b1");
    QTest::addColumn<int>("b2");
    // Worked by hand: mantissa / 32768 * 2^exponent.
    QTest::newRow("1.0") << 1.0 << 0x40 << 0x00 << 0x01;
    QTest::newRow("-1.0") << -1.0 << 0xC0 << 0x00 << 0x01;
    QTest::newRow("0.3") << 0.3 << 0x26 << 0x66 << 0x00;  // mantissa 9830, exponent 0
    QTest::newRow("-2.5") << -2.5 << 0xD0 << 0x00 << 0x02;
    QTest::newRow("0.25") << 0.25 << 0x40 << 0x00 << 0xFF;  // exponent -1 stored as 255
    QTest::newRow("zero") << 0.0 << 0x00 << 0x00 << 0x00;
    // 0.99999 rounds the mantissa up to 32768, which is halved into the next exponent.
    QTest::newRow("carry") << 0.99999 << 0x40 << 0x00 << 0x01;
}

void TstCa410Support::threeByteFloats()
{
    QFETCH(double, value);
    QFETCH(int, b0);
    QFETCH(int, b1);
    QFETCH(int, b2);
    uint8_t b[3] = {0xAA, 0xAA, 0xAA};
    QCOMPARE(Float2Bytes3Buf(b, value), 0);
    QCOMPARE(int(b[0]), b0);
    QCOMPARE(int(b[1]), b1);
    QCOMPARE(int(b[2]), b2);
    // Decoding gives the value back to the 15-bit mantissa's precision.
    QVERIFY(std::fabs(Bytes3Buf2Float(b) - value) <= std::fabs(value) / 16384.0);
}

void TstCa410Support::threeByteFloatRefusesWhatItCannotHold()
{
    uint8_t b[3] = {1, 2, 3};
    QCOMPARE(Float2Bytes3Buf(b, INFINITY), -1);
    QCOMPARE(Float2Bytes3Buf(b, NAN), -1);
    QCOMPARE(Float2Bytes3Buf(b, 1e300), -1);  // exponent beyond 128
    QCOMPARE(int(b[0]), 1);
    QCOMPARE(int(b[2]), 3);
    QCOMPARE(Float2Bytes3Buf(nullptr, 1.0), -1);
    QVERIFY(std::isnan(Bytes3Buf2Float(nullptr)));
    // Exponent byte 128 stays +128, 129 is -127.
    const uint8_t big[3] = {0x40, 0x00, 0x80};
    QCOMPARE(Bytes3Buf2Float(big), std::ldexp(0.5, 128));
    const uint8_t small[3] = {0x40, 0x00, 0x81};
    QCOMPARE(Bytes3Buf2Float(small), std::ldexp(0.5, -127));
}

void TstCa410Support::ieee754Patterns()
{
    QCOMPARE(IEEE754todouble(0x3F800000u), 1.0);
    QCOMPARE(IEEE754todouble(0xC0200000u), -2.5);
    QCOMPARE(IEEE754todouble(0x00000001u), std::ldexp(1.0, -149));  // smallest subnormal
    QVERIFY(std::isinf(IEEE754todouble(0x7F800000u)) && IEEE754todouble(0xFF800000u) < 0);
    QVERIFY(std::isnan(IEEE754todouble(0x7FC00000u)));

    QCOMPARE(doubletoIEEE754(1.0), 0x3F800000u);
    QCOMPARE(doubletoIEEE754(-2.5), 0xC0200000u);
    QCOMPARE(doubletoIEEE754(-0.0), 0u);  // the sign comes from value < 0
    // The mantissa is truncated, not rounded: 0.1 gives ...CC where a float has ...CD.
    QCOMPARE(doubletoIEEE754(0.1), 0x3DCCCCCCu);
    QCOMPARE(doubletoIEEE754(1e39), 0x7F800000u);
    QCOMPARE(doubletoIEEE754(-1e39), 0xFF800000u);
    QCOMPARE(doubletoIEEE754(std::ldexp(1.0, -149)), 0x00000001u);
    QCOMPARE(doubletoIEEE754(std::ldexp(1.0, -126)), 0x00800000u);
    // Just below a power of two must not borrow the next exponent.
    QCOMPARE(doubletoIEEE754(std::nextafter(2.0, 0.0)), 0x3FFFFFFFu);

    QCOMPARE(IEEE754_64todouble(0x3FF0000000000000ull), 1.0);
    QCOMPARE(IEEE754_64todouble(0xC004000000000000ull), -2.5);
    QCOMPARE(IEEE754_64todouble(0x0000000000000001ull), std::ldexp(1.0, -1074));
    QVERIFY(std::isinf(IEEE754_64todouble(0x7FF0000000000000ull)));
}

QTEST_APPLESS_MAIN(TstCa410Support)
#include "tst_ca410support.moc"
