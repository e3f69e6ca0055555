// The CA-410 device operations against the emulated instrument.
#include "ca410dev.h"
#include "emulatorbench.h"

#include <QtTest>

#include <cmath>
#include <cstdlib>

namespace {

Ca410Emulator::Channel wrgbChannel(const std::string& name)
{
    Ca410Emulator::Channel c;
    c.calType = 2;
    c.name = name;
    c.target = {{{95, 100, 108}, {41, 21, 2}, {36, 72, 12}, {18, 7, 95}}};
    c.measure = {{{94, 99, 107}, {40, 20, 1}, {35, 71, 11}, {17, 6, 94}}};
    c.date = {{2026, 12, 6, 18, 0, 0}};
    return c;
}

// A TDR reply of the given number of fields for channel 5, display mode 7.
std::string tdrReply(int fields)
{
    std::string data = "OK00,CH05,P1,0,0,CA-410,2,Panel     ,0,7,0,0,0";
    for (int i = 12; i < fields; ++i)
        data += "," + std::to_string(i);
    return data + "\r";
}

} // namespace

class TstCa410Dev : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void createIdentifiesTheInstrument();
    void probeKeepsOnlyCa410s();
    void firmwareInfoFields();
    void settingsAreCheckedAndKept();
    void configReadsEverySetting();
    void ranges();
    void measureReadings_data();
    void measureReadings();
    void measureFollowsTheRecordsDisplayMode();
    void slowOperationsHaveTheirOwnBudgets();
    void userCalibrationOperations();
    void channelListKeepsWrgbChannels();
    void channelListFailuresRestoreTheLogThreshold();
    void calfileChecksTheRecord();

private:
    QStringList listed() const
    {
        QStringList items;
        for (const ca410_calitem* item = m_dev->calitems; item; item = item->next)
            items << QString("%1=%2").arg(item->channel).arg(item->name);
        return items;
    }

    Ca410Emulator m_emulator;
    ca410_dev* m_dev = nullptr;
    std::unique_ptr<LogCapture> m_log;
};

void TstCa410Dev::initTestCase()
{
    QVERIFY(m_emulator.start());
    m_dev = ca410_dev_create(m_emulator.devicePath().c_str());
    QVERIFY(m_dev);
}

void TstCa410Dev::cleanupTestCase()
{
    ca410_dev_release(m_dev);
}

void TstCa410Dev::init()
{
    startCase(m_emulator, m_log);
}

void TstCa410Dev::cleanup()
{
    m_log.reset();
    ca410_free_list(m_dev);
    for (int ch = 1; ch <= 99; ++ch)
        m_emulator.setChannel(ch, Ca410Emulator::Channel{});
}

void TstCa410Dev::createIdentifiesTheInstrument()
{
    QCOMPARE(std::string(m_dev->name), std::string("CA-410"));
    QCOMPARE(m_dev->init, 0);
    QVERIFY(m_dev->ser && m_dev->ser->fd != -1);

    Ca410Emulator other;
    QVERIFY(other.start());
    other.setIdentity("CA-310", "CA-310", "1.00", "1");
    QVERIFY(!ca410_dev_create(other.devicePath().c_str()));
    QVERIFY(contains(m_log->errorText, "[ca410_dev_create] get Model len="));

    // A short refusal ends the exchange at once instead of after its 2 s.
    other.addFault(Fault::Error, "IDO,", 10);
    const int64_t start = msec_time();
    QVERIFY(!ca410_dev_create(other.devicePath().c_str()));
    QVERIFY(msec_time() - start < 1500);

    // The identity may come without its carriage return.
    other.setIdentity("CA-410", "CA-410", "1.20", "51000001");
    other.addFault(Fault::Raw, "IDO,", 0, 1, "OK00,CA-410,0,CA-410");
    ca410_dev* dev = ca410_dev_create(other.devicePath().c_str());
    QVERIFY(dev);
    ca410_dev_release(dev);

    QVERIFY(!ca410_dev_create("/dev/h7-no-such-port"));
    QVERIFY(contains(m_log->errorText, "[ca410_dev_create]: ser_com_setport err\n"));
    QVERIFY(!ca410_dev_create(nullptr));
}

void TstCa410Dev::probeKeepsOnlyCa410s()
{
    Ca410Emulator second;
    Ca410Emulator other;
    QVERIFY(second.start() && other.start());
    other.addFault(Fault::Error, "IDO,", 10, -1);
    const std::string a = m_emulator.devicePath(), b = second.devicePath(), c = other.devicePath();
    const char* paths[] = {a.c_str(), c.c_str(), "/dev/h7-no-such-port", b.c_str()};

    // The record's own port is open exclusively: close it for the probe.
    ser_com_close(m_dev->ser);
    char* names[4] = {};
    int32_t count = -1;
    QCOMPARE(ca410_dev_probe(paths, 4, names, 4, &count), 0);
    QCOMPARE(count, 2);
    QCOMPARE(std::string(names[0]), a);
    QCOMPARE(std::string(names[1]), b);
    QVERIFY(!names[2]);
    free(names[0]);
    free(names[1]);
    names[0] = names[1] = nullptr;

    // No more than max names are stored.
    QCOMPARE(ca410_dev_probe(paths, 4, names, 1, &count), 0);
    QCOMPARE(count, 1);
    QVERIFY(!names[1]);
    free(names[0]);
    QCOMPARE(ser_com_setport(m_dev->ser, 3, 10, 3, 2, 3), 0);

    QCOMPARE(ca410_dev_scan(nullptr, 4, &count), -1);
    QCOMPARE(ca410_dev_scan(names, 0, &count), -1);
    QVERIFY(contains(m_log->errorText, "[ca410_dev_scan]: invalid args\n"));
    // The host's own ports: whatever is there, the scan completes.
    char* found[8] = {};
    QCOMPARE(ca410_dev_scan(found, 8, &count), 0);
    QVERIFY(count >= 0 && count <= 8);
    for (char* name : found)
        free(name);
}

void TstCa410Dev::firmwareInfoFields()
{
    // The model's blank padding is removed; over-long fields are cut to their room.
    const auto fields = [this] { return QStringList({m_dev->model, m_dev->vn, m_dev->sn}); };
    m_emulator.setIdentity("CA-410", "CA-410", "1.20.0000", "51000001");
    QCOMPARE(ca410_get_firmware_info(m_dev), 0);
    QCOMPARE(fields(), QStringList({"CA-410", "1.20.0000", "51000001"}));
    m_emulator.setIdentity("CA-410", "CA-410 PROBE MODEL X", "1.20.0000.123456", "5100000123");
    QCOMPARE(ca410_get_firmware_info(m_dev), 0);
    QCOMPARE(fields(), QStringList({"CA-410 PROBE MO", "1.20.0000.123", "51000001"}));

    m_emulator.addFault(Fault::Raw, "IDO,", 0, 1, "OK00,CA-410,0,CA-410\r");
    QCOMPARE(ca410_get_firmware_info(m_dev), 52);
    QCOMPARE(std::string(m_dev->sn), std::string("51000001"));  // the last good read stays
    m_emulator.addFault(Fault::Error, "IDO,", 10);
    QCOMPARE(ca410_get_firmware_info(m_dev), 19);
    QCOMPARE(ca410_get_firmware_info(nullptr), 50);
    QVERIFY(contains(m_log->errorText, "[ca410_get_firmware_info]: invalide args\n"));
}

void TstCa410Dev::settingsAreCheckedAndKept()
{
    struct Refused {
        int index;
        int value;
        const char* text;
        int32_t code;
    };
    const Refused refused[] = {
        {1, 4, nullptr, 37},   {9, 4, "1234567", 37},  {3, 5, "", 37},      {3, 5, "A,B", 37},
        {3, 5, "A\rMDD,1,5", 37}, {1, 4, "6\r0", 37}, {12, 101, nullptr, 37}, {8, 1, nullptr, 19},
        {16, 0, nullptr, 50},
    };
    for (const Refused& r : refused)
        QVERIFY2(ca410_set_istate(m_dev, r.index, r.value, r.text) == r.code, std::to_string(r.index).c_str());
    QVERIFY(m_emulator.commands().empty());
    QVERIFY(contains(m_log->errorText, "[ca410_set_istate]: [SCS,] invalid args, [(null)], need 1-6 bytes\n"));
    QVERIFY(contains(m_log->errorText, "[ca410_set_istate]: id=[15]  cmd=[0] [temperature shift] not accessable\n"));

    const struct {
        int index;
        int value;
        const char* text;
        const char* sent;
    } accepted[] = {{1, 4, "60", "SCS,4,60"}, {2, 7, nullptr, "MCH,1,7"}, {3, 5, "ABCDEFGHIJKL", "IDS,01,05,ABCDEFGHIJ"},
                    {6, 10, nullptr, "DPR,10"}, {12, 100, nullptr, "TDS,100"}, {13, 0, nullptr, "ZRC"}};
    for (const auto& a : accepted) {
        QCOMPARE(ca410_set_istate(m_dev, a.index, a.value, a.text), 0);
        QCOMPARE(m_emulator.commands().back(), std::string(a.sent));
    }
    // The record keeps what was set.
    QCOMPARE(QList<int>({m_dev->sync_mode, m_dev->channel, m_dev->probe_display, m_dev->trigger_delay}),
             QList<int>({4, 7, 10, 100}));

    // A refused change leaves the record as it was.
    m_emulator.addFault(Fault::Error, "MDS,", 10);
    m_dev->display_mode = 7;
    QCOMPARE(ca410_set_istate(m_dev, 0, 1, nullptr), 19);
    QCOMPARE(int(m_dev->display_mode), 7);
    QVERIFY(contains(m_log->errorText, "[ca410_set_istate]: cmd (MDS,) err, 0x13\n"));
}

void TstCa410Dev::configReadsEverySetting()
{
    m_emulator.setSetting(0, "7");
    m_emulator.setSetting(1, "0");
    m_emulator.setSetting(3, "08");     // a leading zero reads as octal: 0
    m_emulator.setSetting(12, "35");    // only the first character is the probe
    m_emulator.setSetting(15, "-1.5");
    m_emulator.setSetting(28, "59.94");
    m_emulator.setSetting(23, "2");
    QCOMPARE(ca410_get_config(m_dev), 0);
    QCOMPARE(QList<int>({m_dev->display_mode, m_dev->channel, m_dev->probe_output, m_dev->zero_cal_status}),
             QList<int>({7, 0, 3, 2}));
    QCOMPARE(m_dev->temperature_shift, -1.5);
    QCOMPARE(m_dev->internal_freq, 59.94);
    // The external frequency is asked only in external sync mode.
    auto asked = [this](const std::string& cmd) {
        const auto c = m_emulator.commands();
        return std::count(c.begin(), c.end(), cmd);
    };
    QCOMPARE(asked("STR,16"), 0);
    QCOMPARE(int(m_emulator.commands().size()), 15);
    QVERIFY(contains(m_log->errorText, "[ca410_get_config]: External Frequent need 2(Sync Mode), current = [0]\n"));

    m_emulator.setSetting(1, "2");
    QCOMPARE(ca410_get_config(m_dev), 0);  // sync mode is read before index 9
    QCOMPARE(asked("STR,16"), 1);

    m_emulator.addFault(Fault::Error, "STR,7", 10);
    QCOMPARE(ca410_get_config(m_dev), 19);
    QVERIFY(contains(m_log->errorText, "[ca410_get_config]: id = [5], [measurement speed] err, 19\n"));
    m_emulator.addFault(Fault::Raw, "STR,0", 0, 1, "OK00\r");
    QCOMPARE(ca410_get_state(m_dev, 0), 52);
    QVERIFY(contains(m_log->errorText, "[ca410_get_state]: STR,0  received invalid data\n"));
    QCOMPARE(ca410_get_config(nullptr), 50);
}

void TstCa410Dev::ranges()
{
    // Flicker ranges end at 4, colour ranges at 6.
    QCOMPARE(ca410_set_range(m_dev, 1, 0, 5), 37);
    QCOMPARE(ca410_set_range(m_dev, 0, 0, 7), 37);
    QVERIFY(m_emulator.commands().empty());
    QVERIFY(contains(m_log->errorText, "[ca410_set_range]: invalid set = [5], need [1:4]or[1:6]\n"));

    QCOMPARE(ca410_set_range(m_dev, 0, 1, 6), 0);
    QCOMPARE(ca410_set_range(m_dev, 1, 0, 4), 0);
    QCOMPARE(ca410_get_range(m_dev, 0), 0);
    QCOMPARE(ca410_get_range(m_dev, 1), 0);
    QCOMPARE(QList<int>({m_dev->color_range_mode, m_dev->color_range, m_dev->flicker_range_mode, m_dev->flicker_range}),
             QList<int>({1, 6, 0, 4}));
    m_emulator.addFault(Fault::Raw, "RGR,", 0, 1, "OK00,1\r");
    QCOMPARE(ca410_get_range(m_dev, 0), 52);
}

void TstCa410Dev::measureReadings_data()
{
    QTest::addColumn<int>("mode");        // the parameter of MES
    QTest::addColumn<int>("error");       // the ER number the instrument answers with; 0: none
    QTest::addColumn<int>("times");       // how many times it does
    QTest::addColumn<QByteArray>("raw");  // a reply of its own instead of the reading
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("sent");  // MES commands sent
    QTest::addColumn<QString>("logged");
    QTest::newRow("reading") << 1 << 0 << 0 << QByteArray() << 0 << 1 << "";
    // Over the range once: the repeat answers. Twice: given up after the repeat.
    QTest::newRow("over range once") << 1 << 22 << 1 << QByteArray() << 0 << 2
                                     << "[ca410_measure]: out of range, try again\n";
    QTest::newRow("over range twice") << 1 << 22 << 2 << QByteArray() << 23 << 2 << "[ca410_measure]: MES cmd err, 0x17\n";
    QTest::newRow("refused") << 1 << 10 << 1 << QByteArray() << 19 << 1
                             << "[ca410_measure]: check zero calibration or command error\n";
    // The short record of "MES,2" lacks the fields of a full reading.
    QTest::newRow("short record") << 2 << 0 << 0 << QByteArray() << 48 << 1 << "";
    // x, y, Lv of display mode 0 are no X, Y, Z; a missing or non-numeric
    // value is no reading.
    const auto other = [](const char* name, const char* raw, const char* logged) {
        QTest::newRow(name) << 1 << 0 << 0 << QByteArray(raw) << 48 << 1 << logged;
    };
    other("too few fields", "OK00,P1,7,9,9,9,0\r", "[ca410_measure]: parse [P1,7,9,9,9,0] err\n");
    other("display mode 0", "OK00,P1,0,0.3127,0.3290,100.0000,0.0000,0\r", "[ca410_measure]: get disp_mode 0 != 7\n");
    other("empty value", "OK00,P1,7,95.0500,,108.8800,0.0000,0\r", "");
    other("letters for a value", "OK00,P1,7,95.0500,abc,108.8800,0.0000,0\r",
          "[ca410_measure]: parse [P1,7,95.0500,abc,108.8800,0.0000,0] err\n");
    other("letters after the mode", "OK00,P1,7x,95.0500,100.5000,108.8800,0.0000,0\r", "");
    other("nan", "OK00,P1,7,95.0500,100.5000,nan,0.0000,0\r", "");
}

void TstCa410Dev::measureReadings()
{
    QFETCH(int, mode);
    QFETCH(int, error);
    QFETCH(int, times);
    QFETCH(QByteArray, raw);
    QFETCH(int, result);
    QFETCH(int, sent);
    QFETCH(QString, logged);
    m_emulator.setSetting(23, "2");
    m_emulator.setSetting(0, "7");
    m_dev->display_mode = 7;
    m_emulator.setMeasurement(10.5, 20.25, 30.125);
    if (error)
        m_emulator.addFault(Fault::Error, "MES,", error, times);
    if (!raw.isEmpty())
        m_emulator.addFault(Fault::Raw, "MES,", 0, 1, raw.toStdString());
    double xyz[3] = {-1, -1, -1};
    QCOMPARE(ca410_measure(m_dev, mode, xyz), result);
    QCOMPARE(m_emulator.commands(), std::vector<std::string>(size_t(sent), "MES," + std::to_string(mode)));
    // Only a reading fills the output.
    QCOMPARE(values(xyz), result == 0 ? QString("10.5,20.25,30.125") : QString("-1,-1,-1"));
    QVERIFY2(contains(m_log->errorText, logged.toStdString()), m_log->errorText.c_str());
}

void TstCa410Dev::measureFollowsTheRecordsDisplayMode()
{
    m_emulator.setSetting(23, "2");
    double xyz[3] = {-1, -1, -1};
    QCOMPARE(ca410_measure(m_dev, 3, xyz), 37);
    QVERIFY(m_emulator.commands().empty());
    // The record's display mode is the one asked for.
    m_emulator.setSetting(0, "0");
    m_dev->display_mode = 0;
    m_emulator.setMeasurement(40, 50, 10);
    QCOMPARE(ca410_measure(m_dev, 1, xyz), 0);
    QCOMPARE(values(xyz), QString("0.4,0.5,50"));
    m_dev->display_mode = 7;
    QCOMPARE(ca410_measure(m_dev, 1, xyz), 48);
}

void TstCa410Dev::slowOperationsHaveTheirOwnBudgets()
{
    // Zero calibration has 6 s, a measurement 3 s; other exchanges only 1 s.
    // A slow answer inside the budget is taken; one after it ends the
    // exchange near the budget's end, and is waited out by the next one.
    m_emulator.setSetting(23, "2");
    m_emulator.setSetting(0, "7");
    m_dev->display_mode = 7;
    const struct {
        const char* prefix;
        int budget;
    } operations[] = {{"ZRC", 6000}, {"MES,", 3000}};
    for (const auto& op : operations) {
        auto run = [&] {
            return op.budget == 6000 ? ca410_set_istate(m_dev, 13, 0, nullptr) : ca410_measure(m_dev, 1, nullptr);
        };
        m_emulator.addFault(Fault::Slow, op.prefix, 1500);
        QVERIFY2(run() == 0, op.prefix);
        m_emulator.addFault(Fault::Slow, op.prefix, op.budget + 200);
        const int64_t start = msec_time();
        QVERIFY2(run() == 38, op.prefix);
        const int64_t took = msec_time() - start;
        QVERIFY2(took >= op.budget && took <= op.budget * 6 / 5,
                 qPrintable(QString("%1 took %2 ms").arg(op.prefix).arg(took)));
    }
}

void TstCa410Dev::userCalibrationOperations()
{
    const double white[3] = {95.0, 100.0, 108.5};
    const double bad[3] = {1.0, NAN, 1.0};
    const double huge[3] = {1e300, 1.0, 1.0};
    QCOMPARE(ca410_ch_enter(m_dev, 5, 2026, 12, 6, 24), 37);
    QCOMPARE(ca410_ch_enter(m_dev, 5, 2026, 12, 0, 1), 37);
    QCOMPARE(ca410_set_cal_target(m_dev, 0, 2, white), 37);
    QCOMPARE(ca410_set_cal_target(m_dev, 0, 7, bad), 37);
    QCOMPARE(ca410_set_cal_target(m_dev, 0, 7, huge), 37);
    QVERIFY(m_emulator.commands().empty());

    m_emulator.setSetting(23, "2");
    m_emulator.setSetting(0, "7");
    m_dev->display_mode = 7;
    m_emulator.setMeasurement(94, 99, 107);
    QCOMPARE(ca410_calmode_set(m_dev, 1), 0);
    QCOMPARE(int(m_dev->calmode), 1);
    QCOMPARE(m_emulator.calibrationMode(), 1);
    QCOMPARE(ca410_measure(m_dev, 1, nullptr), 0);
    QCOMPARE(ca410_set_cal_target(m_dev, 0, 7, white), 0);
    QCOMPARE(m_emulator.commands().back(), std::string("UWT,7,95.000000,100.000000,108.500000"));
    const double red[3] = {41, 21, 2};
    const double green[3] = {36, 72, 12};
    const double blue[3] = {18.25, 7.5, 95.125};
    const double* const others[] = {red, green, blue};
    for (int colour = 1; colour <= 3; ++colour) {
        QCOMPARE(ca410_measure(m_dev, 1, nullptr), 0);
        QCOMPARE(ca410_set_cal_target(m_dev, colour, 7, others[colour - 1]), 0);
    }
    QCOMPARE(m_emulator.commands().back(), std::string("UBL,7,18.250000, 7.500000,95.125000"));
    QCOMPARE(ca410_ch_enter(m_dev, 5, 2026, 1, 6, 9), 0);
    QCOMPARE(m_emulator.commands().back(), std::string("ETR,5,2026,1,6,9,00,00"));
    QCOMPARE(m_emulator.channel(5).calType, 2);

    m_emulator.addFault(Fault::Error, "URD,", 6);
    QCOMPARE(ca410_set_cal_target(m_dev, 1, 7, white), 18);
    QVERIFY(contains(m_log->errorText, "[ca410_set_cal_target]: URD, cmd err, 0x12\n"));
}

void TstCa410Dev::channelListKeepsWrgbChannels()
{
    m_emulator.setChannel(3, wrgbChannel("CAL A"));
    m_emulator.setChannel(12, wrgbChannel(""));
    m_emulator.setChannel(40, wrgbChannel("X"));
    Ca410Emulator::Channel other = wrgbChannel("MATRIX");
    other.calType = 1;
    m_emulator.setChannel(20, other);

    // The scan runs at threshold 6 at most and puts the caller's back.
    clog_set_debug(glog, 8);
    QCOMPARE(ca410_get_callist(m_dev), 0);
    QCOMPARE(glog->debug_level, 8);
    QVERIFY(!contains(m_log->debugText, "[ca_command]: send"));
    QVERIFY(contains(m_log->debugText, "[ca410_get_callist]: total WRGB channel count = [3], took ["));
    QCOMPARE(int(m_emulator.commands().size()), 99);
    QCOMPARE(m_emulator.commands()[41], std::string("TDR,42,1,7"));
    QCOMPARE(listed(), QStringList({"3=CAL A", "12=CH12", "40=X"}));
    QCOMPARE(int(m_dev->calitem_count), 3);
    QVERIFY(contains(m_log->debugText, "[ca410_get_calist]: ch12 no username, reset to [CH12]\n"));
    QVERIFY(contains(m_log->debugText, "[ca410_get_calist]: add ch=[40] name=[X] calfile_num = [3]\n"));

    QCOMPARE(ca410_free_list(m_dev), 0);
    QVERIFY(!m_dev->calitems);
    QCOMPARE(int(m_dev->calitem_count), 0);
}

void TstCa410Dev::channelListFailuresRestoreTheLogThreshold()
{
    m_emulator.setChannel(2, wrgbChannel("A"));
    clog_set_debug(glog, 8);

    // A failing exchange ends the scan; what was found stays in the record.
    m_emulator.addFault(Fault::Error, "TDR,5,", 10);
    QCOMPARE(ca410_get_callist(m_dev), 19);
    QCOMPARE(glog->debug_level, 8);
    QVERIFY(!contains(m_log->debugText, "[ca_command]: send"));
    QCOMPARE(int(m_dev->calitem_count), 1);
    QVERIFY(contains(m_log->errorText, "[ca410_get_callist]: TDR cmd err, 0x13\n"));

    // A record for another channel; new nodes go after the ones held.
    m_emulator.setChannel(4, wrgbChannel("B"));
    m_emulator.addFault(Fault::WrongChannel, "TDR,6,");
    QCOMPARE(ca410_get_callist(m_dev), 48);
    QCOMPARE(glog->debug_level, 8);
    QVERIFY(contains(m_log->errorText, "[ca410_get_callist]: get channel num [7] != [6]\n"));
    QCOMPARE(listed(), QStringList({"2=A", "2=A", "4=B"}));

    m_emulator.addFault(Fault::Raw, "TDR,1,", 0, 1, "OK00,C\r");
    QCOMPARE(ca410_get_callist(m_dev), 48);
    QCOMPARE(glog->debug_level, 8);
    QCOMPARE(ca410_get_callist(nullptr), 50);
}

void TstCa410Dev::calfileChecksTheRecord()
{
    m_emulator.setChannel(12, wrgbChannel(""));
    ca410_calfile file{};
    file.channel = -7;
    QCOMPARE(ca410_get_calfile(m_dev, 12, 5, &file), 37);
    QCOMPARE(ca410_get_calfile(m_dev, 100, 7, &file), 37);
    QCOMPARE(ca410_ch_info(m_dev, 12, 2), 37);
    QVERIFY(m_emulator.commands().empty());

    QCOMPARE(ca410_get_calfile(m_dev, 12, 7, &file), 0);
    QCOMPARE(m_emulator.commands().back(), std::string("TDR,12,1,7"));
    QCOMPARE(std::string(file.name), std::string("CH12"));
    QCOMPARE(QList<int>({file.channel, file.cal_type, file.display_mode}), QList<int>({12, 2, 7}));
    QCOMPARE(file.target[2][1], 72.0);
    QCOMPARE(file.measure[3][2], 94.0);
    QCOMPARE(ca410_get_calfile(m_dev, 12, 7, nullptr), 0);
    QCOMPARE(ca410_ch_info(m_dev, 12, 7), 0);

    // Records that answer for something else, or too little, change nothing.
    struct Bad {
        Fault fault;
        std::string raw;
        int mode;
        const char* logged;
    };
    const Bad bad[] = {
        {Fault::WrongChannel, "", 7, "[ca410_get_calfile]: get ch 13 != 12\n"},
        {Fault::Raw, "OK00,CH12,P1,0,0,CA-410,2,A,0,0,1,2,3\r", 7, "[ca410_get_calfile]: parse 12 item < 41 \n"},
        {Fault::WrongChannel, "", 0, "[ca410_get_calfile]: get ch 13 != 12\n"},
        {Fault::Raw, "OK00,CH12" + tdrReply(41).substr(9), 0, "[ca410_get_calfile]: get disp_mode 7 != 0\n"},
    };
    for (const Bad& b : bad) {
        file.channel = -7;
        m_emulator.addFault(b.fault, "TDR,", 0, 1, b.raw);
        QCOMPARE(ca410_get_calfile(m_dev, 12, b.mode, &file), 48);
        QCOMPARE(file.channel, -7);
        QVERIFY2(contains(m_log->errorText, b.logged), m_log->errorText.c_str());
    }

    // 41 fields are a complete record; the 42nd (the last date part) may be missing.
    clog_set_debug(glog, 6);
    m_emulator.addFault(Fault::Raw, "TDR,", 0, 1, tdrReply(41));
    QCOMPARE(ca410_get_calfile(m_dev, 5, 7, &file), 0);
    QCOMPARE(std::string(file.name), std::string("Panel"));
    QCOMPARE(file.measure[3][2], 35.0);
    QVERIFY(contains(m_log->debugText, "[ca410_get_calfile]: date: [36:37:38:39:40:]\n"));
    m_emulator.addFault(Fault::Raw, "TDR,", 0, 1, tdrReply(40));
    QCOMPARE(ca410_get_calfile(m_dev, 5, 7, &file), 48);
    m_emulator.addFault(Fault::Raw, "TDR,", 0, 1, tdrReply(40));
    QCOMPARE(ca410_ch_info(m_dev, 5, 7), 48);
    QVERIFY(contains(m_log->errorText, "[ca410_ch_info]: parse return data err\n"));
}

QTEST_APPLESS_MAIN(TstCa410Dev)
#include "tst_ca410dev.moc"
