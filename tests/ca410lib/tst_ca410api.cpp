// The exported device interface: result codes, call order and the rule that
// outputs are written only on success, against the emulated instrument.
#include "ca410dev.h"
#include "emulatorbench.h"

#include <QtTest>

#include <clocale>
#include <cstdio>
#include <cstring>

class TstCa410Api : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { ca410DeviceRelease(m_dev); }
    void init();
    void cleanup() { m_log.reset(); }

    void openChecksAndSetsLevels();
    void measuringNeedsInitAndZeroCalibration();
    void initMapsEachStepsFailure();
    void outputsOnlyOnSuccess();
    void channelListIsTheCallersCopy();
    void userCalibrationCodes();
    void userCalibrationRoundTrip_data();
    void userCalibrationRoundTrip();
    void resetNeedsANewInit();
    void releasedAndUnknownHandlesCountAsMissing();
    void openAfterALateIdentification();

private:
    Ca410Emulator m_emulator;
    ca410_dev* m_dev = nullptr;
    std::unique_ptr<LogCapture> m_log;
};

void TstCa410Api::initTestCase()
{
    QVERIFY(m_emulator.start());
    QCOMPARE(ca410DeviceOpen(&m_dev, m_emulator.devicePath().c_str(), 0), 0);
    QVERIFY(m_dev);
}

void TstCa410Api::init()
{
    startCase(m_emulator, m_log);
    m_emulator.setZeroCalibrationResult("2");
}

void TstCa410Api::openChecksAndSetsLevels()
{
    ca410_dev* handle = reinterpret_cast<ca410_dev*>(&m_log);
    QCOMPARE(ca410DeviceOpen(nullptr, m_emulator.devicePath().c_str(), 6), 37);
    QCOMPARE(ca410DeviceOpen(&handle, nullptr, 6), 37);
    clog_set_verb(glog, 2);
    QCOMPARE(ca410DeviceOpen(&handle, "/dev/h7-no-such-port", 0), 40);
    QCOMPARE(glog->debug_level, 0);  // level 0 keeps both thresholds
    QCOMPARE(glog->verbosity, 2);
    QCOMPARE(ca410DeviceOpen(&handle, "/dev/h7-no-such-port", 12), 40);
    QCOMPARE(glog->debug_level, 8);
    QCOMPARE(glog->verbosity, 8);
    QVERIFY(contains(m_log->debugText, "[ca410DeviceOpen]: log level 8\n"));
    QVERIFY(contains(m_log->errorText, "[ca410DeviceOpen]: ca410_dev_create err\n"));
    QCOMPARE(handle, reinterpret_cast<ca410_dev*>(&m_log));
}

void TstCa410Api::measuringNeedsInitAndZeroCalibration()
{
    double xyz[3] = {-1, -1, -1};
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 50);
    QCOMPARE(ca410MeasureXYZ(nullptr, xyz), 50);
    QVERIFY(m_emulator.commands().empty());
    QCOMPARE(xyz[0], -1.0);

    // Initialised, but the instrument reports the zero calibration not done.
    m_emulator.setZeroCalibrationResult("1");
    QCOMPARE(ca410DeviceInit(m_dev), 0);
    m_emulator.clearCommands();
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 50);
    QVERIFY(m_emulator.commands().empty());
    ca410Stat stat{};
    QCOMPARE(ca410GetDeviceStat(m_dev, &stat), 0);
    QCOMPARE(stat.zero_cal, 0);

    m_emulator.setZeroCalibrationResult("2");
    QCOMPARE(ca410BlackCalibration(m_dev), 0);
    QCOMPARE(ca410GetDeviceStat(m_dev, &stat), 0);  // the status is what the last read saw
    QCOMPARE(stat.zero_cal, 1);
    m_emulator.setMeasurement(1.25, 2.5, 3.75);
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 0);
    QCOMPARE(values(xyz), QString("1.25,2.5,3.75"));

    m_emulator.addFault(Fault::Error, "ZRC", 21);
    QCOMPARE(ca410BlackCalibration(m_dev), 42);
}

void TstCa410Api::initMapsEachStepsFailure()
{
    const struct {
        const char* prefix;
        int number;
        int32_t code;
    } steps[] = {
        {"IDO,", 10, 51}, {"RST,", 10, 46}, {"ZRC", 21, 42}, {"STR,", 10, 47}, {"RGR,", 10, 26}, {"MDS,", 10, 54},
    };
    for (const auto& step : steps) {
        m_emulator.addFault(Fault::Error, step.prefix, step.number);
        QVERIFY2(ca410DeviceInit(m_dev) == step.code, step.prefix);
    }
    QVERIFY(contains(m_log->errorText, "[ca410DeviceInit]: zero calibration err, 0x16\n"));
    QVERIFY(contains(m_log->errorText, "[ca410DevoceInit]: reset measure setting err, 0x13\n"));

    // Information on a handle not yet initialised runs the initialisation, and
    // passes its failure on.
    ca410_dev* fresh = nullptr;
    Ca410Emulator second;
    QVERIFY(second.start());
    QCOMPARE(ca410DeviceOpen(&fresh, second.devicePath().c_str(), 0), 0);
    ca410Info info;
    memset(&info, 'q', sizeof info);
    second.addFault(Fault::Error, "ZRC", 21);
    QCOMPARE(ca410GetDeviceInfo(fresh, &info), 42);
    QCOMPARE(ca410GetDeviceInfo(nullptr, &info), 51);
    QCOMPARE(info.product_name[0], 'q');
    second.clearCommands();
    QCOMPARE(ca410GetDeviceInfo(fresh, &info), 0);
    QCOMPARE(second.commands().front() + " " + second.commands().back(), std::string("IDO,0,1 MDS,7"));
    QCOMPARE(QStringList({info.product_name, info.serial_number, info.firmware_version}),
             QStringList({"CA-410", "51000001", "1.20.0000"}));
    QCOMPARE(info.product_name[16], 'q');  // only 16 bytes of each field are written
    second.clearCommands();
    QCOMPARE(ca410GetDeviceInfo(fresh, &info), 0);
    QVERIFY(second.commands().empty());
    QCOMPARE(ca410DeviceRelease(fresh), 0);
}

void TstCa410Api::outputsOnlyOnSuccess()
{
    QCOMPARE(ca410DeviceInit(m_dev), 0);
    double xyz[3] = {-1, -1, -1};
    m_emulator.addFault(Fault::Error, "MES,", 24);
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 55);
    QCOMPARE(xyz[0], -1.0);
    QCOMPARE(ca410MeasureXYZ(m_dev, nullptr), 37);
    // A reading of another kind is refused by the device layer; here only its code counts.
    m_emulator.addFault(Fault::Raw, "MES,", 0, 1, "OK00,P1,0,0.3127,0.3290,100.0000,0.0000,0\r");
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 55);
    QCOMPARE(xyz[0], -1.0);
    QVERIFY(contains(m_log->errorText, "[ca410MeasureXYZ]: ca410_measure err, 0x30\n"));

    ca410Stat stat{-1, -1, -1};
    m_emulator.addFault(Fault::Error, "STR,", 10);
    QCOMPARE(ca410GetDeviceStat(m_dev, &stat), 47);
    QCOMPARE(stat.channel, -1);
    QCOMPARE(ca410GetDeviceStat(m_dev, nullptr), 37);

    QCOMPARE(ca410SetChannel(m_dev, 100), 37);
    QCOMPARE(ca410SetMeasureSpeed(m_dev, 4), 37);
    m_emulator.addFault(Fault::Error, "FSC,", 10);
    QCOMPARE(ca410SetMeasureSpeed(m_dev, 2), 19);  // the setting's own code
    QCOMPARE(ca410SetChannel(m_dev, 9), 0);
    QCOMPARE(ca410SetMeasureSpeed(m_dev, 3), 0);
    QCOMPARE(ca410GetDeviceStat(m_dev, &stat), 0);
    QCOMPARE(QList<int>({stat.channel, stat.measure_speed, stat.zero_cal}), QList<int>({9, 3, 1}));

    ca410Calfile file{};
    file.channel = -1;
    QCOMPARE(ca410GetCalfile(m_dev, 100, &file), 37);
    m_emulator.addFault(Fault::WrongChannel, "TDR,");
    QCOMPARE(ca410GetCalfile(m_dev, 4, &file), 48);
    QCOMPARE(file.channel, -1);
    QCOMPARE(ca410GetCalfile(m_dev, 4, nullptr), 0);

    QCOMPARE(ca410DeleteCalfile(m_dev, 100), 37);
    m_emulator.addFault(Fault::Error, "MDD,", 16);
    QCOMPARE(ca410DeleteCalfile(m_dev, 4), 1);
    QVERIFY(contains(m_log->errorText, "[ca410DeleteCalfile]: ca410_ch_reset err, 0x14\n"));
    m_emulator.addFault(Fault::Error, "RST,", 10);
    QCOMPARE(ca410DeviceReset(m_dev), 46);
    QCOMPARE(ca410DeviceReset(m_dev), 0);
}

void TstCa410Api::channelListIsTheCallersCopy()
{
    Ca410Emulator::Channel channel;
    channel.calType = 2;
    channel.name = "CAL A";
    m_emulator.setChannel(3, channel);

    // A failing scan leaves the caller's outputs alone, the handle its partial list.
    ca410_calitem* list = reinterpret_cast<ca410_calitem*>(&m_log);
    int32_t count = -1;
    m_emulator.addFault(Fault::Error, "TDR,5,", 10);
    QCOMPARE(ca410GetCallist(m_dev, &list, &count), 44);
    QCOMPARE(ca410GetCallist(nullptr, &list, &count), 44);
    QCOMPARE(list, reinterpret_cast<ca410_calitem*>(&m_log));
    QCOMPARE(count, -1);

    // The next call drops the handle's old list first: channel 3 is deleted
    // now, and no stale copy of it comes back.
    QCOMPARE(ca410DeleteCalfile(m_dev, 3), 0);
    QCOMPARE(ca410GetCallist(m_dev, &list, &count), 0);
    QVERIFY(!list);
    QCOMPARE(count, 0);
    QCOMPARE(ca410DeleteCallist(&list), 0);
    QCOMPARE(ca410DeleteCallist(nullptr), 0);
}

void TstCa410Api::userCalibrationCodes()
{
    QCOMPARE(ca410DeviceInit(m_dev), 0);
    const double target[3] = {95, 100, 108};
    double measured[3] = {-1, -1, -1};
    QCOMPARE(ca410WRGBCalibWhite(m_dev, nullptr, measured), 37);
    QCOMPARE(ca410WRGBCalibBlue(m_dev, nullptr, measured), 37);
    const struct {
        int32_t (*step)(ca410_dev*, const double*, double*);
        const char* prefix;
        int number;
        int32_t code;
    } failures[] = {{ca410WRGBCalibWhite, "MDS,", 10, 54}, {ca410WRGBCalibWhite, "UCS,", 10, 47},
                    {ca410WRGBCalibWhite, "MES,", 24, 17}, {ca410WRGBCalibWhite, "UWT,", 6, 18},
                    {ca410WRGBCalibGreen, "MES,", 24, 17}, {ca410WRGBCalibRed, "URD,", 6, 18}};
    for (const auto& f : failures) {
        m_emulator.addFault(Fault::Error, f.prefix, f.number);
        QVERIFY2(f.step(m_dev, target, measured) == f.code, f.prefix);
    }
    QCOMPARE(measured[0], -1.0);
    QVERIFY(contains(m_log->errorText, "[ca410WRGBCalibRed]: ca410_set_cal_target err, 0x12\n"));
    // Entering a channel needs all four colours.
    QCOMPARE(ca410WRGBCalibWhite(m_dev, target, measured), 0);
    QCOMPARE(ca410WRGBCalibEnd(m_dev, 7, "A", 2026, 1, 1, 0), 18);
    for (auto step : {ca410WRGBCalibRed, ca410WRGBCalibGreen, ca410WRGBCalibBlue})
        QCOMPARE(step(m_dev, target, measured), 0);

    m_emulator.clearCommands();
    const struct {
        int channel;
        const char* name;
        int date[4];
    } refused[] = {{0, "A", {2026, 1, 1, 0}},    {100, "A", {2026, 1, 1, 0}}, {7, "A", {1999, 1, 1, 0}},
                   {7, "A", {2026, 13, 1, 0}},   {7, "A", {2026, 1, 32, 0}},  {7, "A", {2026, 1, 1, 24}},
                   {7, "A,B", {2026, 1, 1, 0}}};
    for (const auto& r : refused)
        QCOMPARE(ca410WRGBCalibEnd(m_dev, r.channel, r.name, r.date[0], r.date[1], r.date[2], r.date[3]), 37);
    // The channel message has no line end of its own.
    QVERIFY(contains(m_log->errorText, "[ca410WRGBCalibEnd]: invalid args of calib channel 100, need [1:99]["));
    QVERIFY(m_emulator.commands().empty());

    m_emulator.addFault(Fault::Error, "ETR,", 16);
    QCOMPARE(ca410WRGBCalibEnd(m_dev, 7, "A", 2026, 1, 1, 0), 18);
    // No name, or an empty one, names the channel after its number; long names are cut.
    const struct {
        int channel;
        const char* name;
        const char* sent;
    } named[] = {{7, "", "IDS,01,07,CH07"}, {8, nullptr, "IDS,01,08,CH08"}, {9, "A very long name", "IDS,01,09,A very lon"}};
    for (const auto& n : named) {
        QCOMPARE(ca410WRGBCalibEnd(m_dev, n.channel, n.name, 2026, 1, 1, 0), 0);
        QCOMPARE(m_emulator.commands().back(), std::string(n.sent));
    }
    // Naming is only logged when it fails: the calibration is stored.
    m_emulator.addFault(Fault::Error, "IDS,", 10);
    QCOMPARE(ca410WRGBCalibEnd(m_dev, 10, "B", 2026, 1, 1, 0), 0);
    QVERIFY(contains(m_log->errorText, "[ca410WRBGCalibEnd]: set channel name err, 0x13\n"));
    QCOMPARE(m_emulator.channel(10).calType, 2);
}

void TstCa410Api::userCalibrationRoundTrip_data()
{
    QTest::addColumn<bool>("german");
    QTest::newRow("C locale") << false;
    // As a Qt program does with the user's language; the library must not care.
    QTest::newRow("German locale") << true;
}

void TstCa410Api::userCalibrationRoundTrip()
{
    QFETCH(bool, german);
    struct Restore {
        ~Restore() { setlocale(LC_ALL, "C"); }
    } restore;
    if (german) {
        if (!setlocale(LC_ALL, "de_DE.UTF-8") && !setlocale(LC_ALL, "de_DE.utf8"))
            QSKIP("The de_DE.UTF-8 locale is not installed (scripts/install-deps.sh generates it)");
        // Only a decimal comma makes this row mean anything.
        char probe[16];
        snprintf(probe, sizeof probe, "%.1f", 1.5);
        QCOMPARE(std::string(probe), std::string("1,5"));
    }
    QCOMPARE(ca410DeviceInit(m_dev), 0);
    m_emulator.setSetting(15, "-1.5");   // temperature shift
    m_emulator.setSetting(28, "59.94");  // internal sync frequency
    ca410Stat stat{};
    QCOMPARE(ca410GetDeviceStat(m_dev, &stat), 0);
    QCOMPARE(m_dev->temperature_shift, -1.5);
    QCOMPARE(m_dev->internal_freq, 59.94);

    m_emulator.clearCommands();
    const double targets[4][3] = {{95.05, 100.5, 108.88}, {41.24, 21.26, 1.93}, {35.76, 71.52, 11.92},
                                  {18.05, 7.22, 95.05}};
    const double seen[4][3] = {{94.5, 99.25, 107.75}, {40.5, 20.75, 1.5}, {35.25, 70.5, 11.25}, {17.5, 6.75, 94.5}};
    int32_t (*const steps[4])(ca410_dev*, const double*, double*) = {ca410WRGBCalibWhite, ca410WRGBCalibRed,
                                                                     ca410WRGBCalibGreen, ca410WRGBCalibBlue};
    for (int c = 0; c < 4; ++c) {
        m_emulator.setMeasurement(seen[c][0], seen[c][1], seen[c][2]);
        double measured[3] = {};
        QCOMPARE(steps[c](m_dev, targets[c], measured), 0);
        QCOMPARE(values(measured), values(seen[c]));
    }
    // Display mode X, Y, Z and user calibration mode first; then each colour
    // is measured in the full format before its target is given.
    const std::vector<std::string> expected = {
        "MDS,7", "UCS,1", "MES,1", "UWT,7,95.050000,100.500000,108.880000", "MES,1", "URD,7,41.240000,21.260000, 1.930000",
        "MES,1", "UGR,7,35.760000,71.520000,11.920000", "MES,1", "UBL,7,18.050000, 7.220000,95.050000",
    };
    QCOMPARE(m_emulator.commands(), expected);
    QCOMPARE(ca410WRGBCalibEnd(m_dev, 12, "Panel", 2026, 5, 20, 9), 0);

    // The instrument kept each target with the reading taken just before it,
    // and both read back through the interface.
    ca410Calfile file{};
    QCOMPARE(ca410GetCalfile(m_dev, 12, &file), 0);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(values(file.target[c]), values(targets[c]));
        QCOMPARE(values(file.measure[c]), values(seen[c]));
    }
}

void TstCa410Api::resetNeedsANewInit()
{
    m_emulator.setMeasurement(95.05, 100.5, 108.88);
    m_emulator.clearCommands();
    QCOMPARE(ca410DeviceInit(m_dev), 0);
    // The initialisation resets the measurement settings (type 2).
    QCOMPARE(m_emulator.commands().at(1), std::string("RST,0,2"));
    double xyz[3] = {-1, -1, -1};
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 0);
    QCOMPARE(m_emulator.commands().back(), std::string("MES,1"));

    m_emulator.clearCommands();
    QCOMPARE(ca410DeviceReset(m_dev), 0);
    QCOMPARE(m_emulator.commands(), std::vector<std::string>({"RST,0,2"}));
    QCOMPARE(m_emulator.setting(0), std::string("0"));  // the instrument shows x, y, Lv again
    // The handle no longer mirrors the instrument: measuring needs a new init,
    // and is refused without a word to the instrument.
    xyz[0] = -1;
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 50);
    QCOMPARE(xyz[0], -1.0);
    QCOMPARE(m_emulator.commands().size(), size_t(1));
    // Measuring below the interface sees the x, y, Lv reading and refuses it.
    QCOMPARE(ca410_measure(m_dev, 1, xyz), 48);
    QCOMPARE(xyz[0], -1.0);

    QCOMPARE(ca410DeviceInit(m_dev), 0);
    QCOMPARE(ca410MeasureXYZ(m_dev, xyz), 0);
    QCOMPARE(values(xyz), QString("95.05,100.5,108.88"));
}

void TstCa410Api::releasedAndUnknownHandlesCountAsMissing()
{
    Ca410Emulator other;
    QVERIFY(other.start());
    ca410_dev* released = nullptr;
    QCOMPARE(ca410DeviceOpen(&released, other.devicePath().c_str(), 0), 0);
    QCOMPARE(ca410DeviceInit(released), 0);
    QCOMPARE(ca410DeviceRelease(released), 0);
    // A pointer the library never handed out, full of what a stale record
    // might hold.
    alignas(8) unsigned char junk[512];
    std::memset(junk, 0xff, sizeof junk);
    ca410_dev* const unknown = reinterpret_cast<ca410_dev*>(junk);

    const double target[3] = {1, 2, 3};
    for (ca410_dev* dev : {released, unknown}) {
        double xyz[3] = {-1, -1, -1};
        ca410Info info{};
        ca410Stat stat{};
        ca410Calfile calfile{};
        ca410_calitem* list = nullptr;
        int32_t count = -1;
        QCOMPARE(ca410DeviceInit(dev), 51);
        QCOMPARE(ca410DeviceReset(dev), 46);
        QCOMPARE(ca410GetDeviceInfo(dev, &info), 51);
        QCOMPARE(ca410GetDeviceStat(dev, &stat), 47);
        QCOMPARE(ca410SetChannel(dev, 3), ca410SetChannel(nullptr, 3));
        QCOMPARE(ca410SetMeasureSpeed(dev, 1), ca410SetMeasureSpeed(nullptr, 1));
        QVERIFY(ca410SetChannel(dev, 3) != 0);
        QCOMPARE(ca410BlackCalibration(dev), 42);
        QCOMPARE(ca410MeasureXYZ(dev, xyz), 50);
        QCOMPARE(ca410GetCallist(dev, &list, &count), 44);
        QCOMPARE(ca410GetCalfile(dev, 4, &calfile), ca410GetCalfile(nullptr, 4, &calfile));
        QVERIFY(ca410GetCalfile(dev, 4, &calfile) != 0);
        QCOMPARE(ca410DeleteCalfile(dev, 4), 1);
        QCOMPARE(ca410WRGBCalibWhite(dev, target, xyz), 54);
        for (auto step : {ca410WRGBCalibRed, ca410WRGBCalibGreen, ca410WRGBCalibBlue})
            QCOMPARE(step(dev, target, xyz), 17);
        QCOMPARE(ca410WRGBCalibEnd(dev, 5, "x", 2024, 1, 2, 3), 18);
        QCOMPARE(ca410DeviceRelease(dev), 0);
        QCOMPARE(xyz[0], -1.0);
        QVERIFY(!list);
        QCOMPARE(count, -1);
    }
    // The live handle is unaffected.
    QCOMPARE(ca410DeviceInit(m_dev), 0);
}

void TstCa410Api::openAfterALateIdentification()
{
    // The identification answered after its 2 s and in two pieces: the head
    // before the next open sets the port up, the tail during its exchange.
    Ca410Emulator emulator;
    QVERIFY(emulator.start());
    const std::string path = emulator.devicePath();
    emulator.setSplitPause(500);
    emulator.addFault(Fault::LateSplit, "IDO,", 2050);
    ca410_dev* dev = nullptr;
    QCOMPARE(ca410DeviceOpen(&dev, path.c_str(), 0), 40);
    QCOMPARE(ca410DeviceOpen(&dev, path.c_str(), 0), 0);
    QVERIFY(dev);
    QCOMPARE(ca410DeviceInit(dev), 0);
    for (int patch = 2; patch <= 3; ++patch) {
        showPatch(emulator, patch);
        double xyz[3] = {-1, -1, -1};
        QCOMPARE(ca410MeasureXYZ(dev, xyz), 0);
        QCOMPARE(values(xyz), patchValues(patch));
    }
    QCOMPARE(ca410DeviceRelease(dev), 0);
}

QTEST_APPLESS_MAIN(TstCa410Api)
#include "tst_ca410api.moc"
