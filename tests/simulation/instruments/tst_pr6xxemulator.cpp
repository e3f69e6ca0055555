// The PR-6xx emulator looking at a spectrum, over its pseudo-terminal as the
// program's driver talks to it.
#include "emulatortext.h"
#include "pr6xxemulator.h"
#include "pr6xxscmd.h"
#include "rawterminal.h"
#include "spectroradiometer.h"
#include "spectrum.h"

#include <QtTest>

#include <cmath>
#include <functional>
#include <string>

using namespace std::chrono_literals;

namespace {

constexpr int kTimeoutMs = 5000;

// Bytes until `lines` line ends have come, or the deadline.
std::string readLines(int fd, int lines, int timeoutMs)
{
    std::string got;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < lines && clock.elapsed() < timeoutMs; ++i)
        got += readUntilAny(fd, "\n", int(timeoutMs - clock.elapsed()));
    return got;
}

bool writeAll(int fd, const std::string& bytes)
{
    return ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
}

// Neither smooth nor symmetric, so that a value read at the wrong wavelength
// or interpolated wrongly differs; a little light everywhere, so that the
// first value, and where it begins, counts too.
Spectrum testSpectrum(double scale)
{
    Spectrum spd = Spectrum::gaussian(452.0, 21.0) * (0.8 * scale)
                   + Spectrum::skewedGaussian(531.0, 38.0, 1.6) * (1.3 * scale)
                   + Spectrum::gaussian(631.0, 3.5) * (2.1 * scale) + Spectrum::constant(0.0173 * scale);
    return spd;
}

bool near(double value, double expected, double relative)
{
    return std::fabs(value - expected) <= relative * std::max(std::fabs(expected), 1e-6);
}

} // namespace

class TestPr6xxEmulator : public QObject
{
    Q_OBJECT

private slots:
    void spectrumReplyCarriesTheSource_data();
    void spectrumReplyCarriesTheSource();
    void readingIsTheSourcesXyz_data();
    void readingIsTheSourcesXyz();
    void spectrumIsRefusedWithoutASource();

private:
    // Starts the emulator in remote mode with the far end opened raw.
    bool open(Pr6xxEmulator& emulator, int* fd);
    // Sends the command to an emulator looking at the source (none: no
    // source given) and reads the reply with read; false when the emulator
    // could not be reached.
    bool exchange(const Spectrum* source, const char* command, const std::function<std::string(int)>& read,
                  std::string* reply);
    static void addScales();
};

bool TestPr6xxEmulator::open(Pr6xxEmulator& emulator, int* fd)
{
    Pr6xxEmulator::Config config;
    config.measureMs = 0;
    emulator.setConfig(config);
    emulator.setPaced(false);
    if (!emulator.start())
        return false;
    *fd = openRawTerminal(emulator.devicePath());
    if (*fd < 0 || !writeAll(*fd, "PHOTO"))
        return false;
    const std::string banner = " REMOTE MODE";
    std::string got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < banner.size() && clock.elapsed() < kTimeoutMs)
        got += readUntilAny(*fd, "E", int(kTimeoutMs - clock.elapsed()));
    return got == banner && emulator.remoteMode();
}

bool TestPr6xxEmulator::exchange(const Spectrum* source, const char* command,
                                 const std::function<std::string(int)>& read, std::string* reply)
{
    Pr6xxEmulator emulator;
    if (source)
        emulator.setSpectrumSource([light = *source] { return light; });
    int fd = -1;
    const bool opened = open(emulator, &fd);
    if (opened && writeAll(fd, command))
        *reply = read(fd);
    if (fd >= 0)
        ::close(fd);
    return opened;
}

void TestPr6xxEmulator::addScales()
{
    QTest::addColumn<double>("scale");
    QTest::newRow("bright") << 1.0;
    QTest::newRow("dim") << 0.0021;
}

void TestPr6xxEmulator::spectrumReplyCarriesTheSource_data()
{
    addScales();
}

void TestPr6xxEmulator::spectrumReplyCarriesTheSource()
{
    QFETCH(double, scale);
    const Spectrum source = testSpectrum(scale);
    std::string reply;
    QVERIFY(exchange(
        &source, "M5\r", [](int fd) { return readLines(fd, PR6xxSCmd::ValueCount, kTimeoutMs); }, &reply));

    PR6xxSCmd command("M5", 0);
    QVERIFY2(command.handler(QByteArray::fromStdString(reply)), reply.c_str());
    QVERIFY(QByteArray::fromStdString(reply).endsWith("\r\n"));
    for (int i = 0; i < PR6xxSCmd::ValueCount; ++i) {
        const double nm = 380.0 + 400.0 * i / (PR6xxSCmd::ValueCount - 1);
        const double expected = source.valueAt(nm);
        QVERIFY2(std::fabs(command.values()[size_t(i)] - expected) <= 1e-5 * (source.peakValue() + 1e-3),
                 qPrintable(QStringLiteral("%1 nm: %2, expected %3")
                                .arg(nm)
                                .arg(double(command.values()[size_t(i)]))
                                .arg(expected)));
    }
    // The narrow red line makes the nearest whole nanometre's sample differ
    // from the interpolated value, so that taking it would have been seen.
    double largest = 0.0;
    for (int i = 0; i < PR6xxSCmd::ValueCount; ++i) {
        const double nm = 380.0 + 400.0 * i / (PR6xxSCmd::ValueCount - 1);
        largest = std::max(largest, std::fabs(source.valueAt(nm) - source.valueAt(std::round(nm))));
    }
    QVERIFY(largest > 1e-3 * source.peakValue());
}

void TestPr6xxEmulator::readingIsTheSourcesXyz_data()
{
    addScales();
}

void TestPr6xxEmulator::readingIsTheSourcesXyz()
{
    QFETCH(double, scale);
    const Spectrum source = testSpectrum(scale);
    std::string reply;
    QVERIFY(exchange(&source, "M2\r", [](int fd) { return readUntilAny(fd, "\n", kTimeoutMs); }, &reply));

    const Spectroradiometer radiometer;
    QVERIFY(radiometer.isValid());
    const Vec3 expected = radiometer.xyz(source);
    const QStringList fields = QString::fromStdString(reply).trimmed().split(QLatin1Char(','));
    QCOMPARE(fields.size(), 5);
    QCOMPARE(fields.at(0), QStringLiteral("00000"));
    for (int i = 0; i < 3; ++i) {
        double value = 0.0;
        QVERIFY2(EmulatorText::toDouble(fields.at(i + 2).toStdString(), &value), reply.c_str());
        // Four significant digits on the line.
        QVERIFY2(near(value, expected[size_t(i)], 1e-3),
                 qPrintable(QStringLiteral("%1: %2, expected %3").arg(i).arg(value).arg(expected[size_t(i)])));
    }
    // Not the configured reading.
    QVERIFY(!near(expected[1], Pr6xxEmulator::Config().y, 1e-2));
}

void TestPr6xxEmulator::spectrumIsRefusedWithoutASource()
{
    std::string reply;
    QVERIFY(exchange(nullptr, "M5\r", [](int fd) { return readUntilAny(fd, "\n", kTimeoutMs); }, &reply));
    PR6xxSCmd command("M5", 0);
    QVERIFY(!command.handler(QByteArray::fromStdString(reply)));
    QVERIFY2(command.errorCode() != 0, reply.c_str());
    QVERIFY2(reply.size() == 7 && reply.compare(5, 2, "\r\n") == 0, reply.c_str());
}

QTEST_GUILESS_MAIN(TestPr6xxEmulator)

#include "tst_pr6xxemulator.moc"
