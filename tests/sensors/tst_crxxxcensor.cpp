#include "components.h"
#include "crxxxcensor.h"
#include "crxxxemulator.h"
#include "recordingmessenger.h"
#include "scriptedserialdevice.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;
using Fault = CrxxxEmulator::Fault;

namespace {

// Short enough that the silent cases stay quick, long enough for a sanitized build.
constexpr int kDeadline = 400;

QStringList toQt(const std::vector<std::string>& names)
{
    QStringList list;
    for (const std::string& name : names)
        list.append(QString::fromStdString(name));
    return list;
}

} // namespace

// The CR-100/CR-250 driver against an emulated instrument on a pseudo-terminal.
class TestCRXXXCensor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void constructsClosed();
    void initReadsACr100();
    void initReadsACr250();
    void emptyListsAreNone();
    void currentNameOutsideItsList();
    void releaseAndInitAgain();
    void initFailures_data();
    void initFailures();
    void initFailsOnAPortThatDoesNotOpen();
    void overlongReplyIsRefusedAndTheLinkRecovers();
    void longestLineThatFits_data();
    void longestLineThatFits();
    void bareCrLfIsReadWithTheNextLine();
    void hungUpLineFailsAtOnce();
    void instrumentInMemory();
    void setters_data();
    void setters();
    void syncFrequencyIsClamped_data();
    void syncFrequencyIsClamped();
    void syncFrequencyRangeUnreadable();
    void reading();
    void failedReadings_data();
    void failedReadings();

private:
    // Starts an emulator with the configuration and points a new driver at
    // it; open() opens the driver too.
    bool prepare(const CrxxxEmulator::Config& config);
    bool open(const CrxxxEmulator::Config& config) { return prepare(config) && sensor->init(path()); }
    QString path() const { return QString::fromStdString(device->devicePath()); }

    std::unique_ptr<RecordingMessenger> messages;
    std::unique_ptr<CrxxxEmulator> device;
    std::unique_ptr<CRXXXCensor> sensor;
};

void TestCRXXXCensor::initTestCase()
{
    qRegisterMetaType<CColor>("CColor");
}

void TestCRXXXCensor::cleanup()
{
    sensor.reset();
    device.reset();
    messages.reset();
}

bool TestCRXXXCensor::prepare(const CrxxxEmulator::Config& config)
{
    messages = std::make_unique<RecordingMessenger>();
    device = std::make_unique<CrxxxEmulator>(config);
    if (!device->start())
        return false;
    sensor = std::make_unique<CRXXXCensor>();
    sensor->setReadDeadline(kDeadline);
    return true;
}

void TestCRXXXCensor::constructsClosed()
{
    CRXXXCensor fresh;
    QVERIFY(!fresh.getIsOpen());
    QCOMPARE(fresh.getSpectrum().GetStart(), 380);
    QCOMPARE(fresh.getSpectrum().GetEnd(), 780);
    QCOMPARE(fresh.getSpectrum().GetSamples().size(), 401);
    QCOMPARE(fresh.getReadDeadline(), 120000);
    QCOMPARE(fresh.startMeasure(), 100);
    QCOMPARE(fresh.getMeasureDelay(), 0);
}

void TestCRXXXCensor::initReadsACr100()
{
    const CrxxxEmulator::Config config = CrxxxEmulator::cr100();
    QVERIFY(open(config));
    QVERIFY(sensor->getIsOpen());
    QVERIFY(messages->shown().isEmpty());
    QCOMPARE(sensor->getPortName(), path());
    QCOMPARE(sensor->getSerialNumber(), QString::fromStdString(config.id));
    QCOMPARE(sensor->getModel(), QStringLiteral("CR-100"));
    QCOMPARE(sensor->getName(), QStringLiteral("CR-100"));

    // Exactly the CR-100's queries, in order: no speeds, and no sync frequency
    // outside manual sync.
    QCOMPARE(device->commands(),
             (std::vector<std::string>{"RC ID", "RC Model", "RC UserCalibMode", "RS UserCalibMode", "RC Matrix",
                                       "RS Matrix", "RC Match", "RS Match", "RC SyncMode", "RS SyncMode"}));

    QCOMPARE(sensor->getCalibModeList(), toQt(config.calibModes));
    QCOMPARE(sensor->getCalibMode(), 0); // "Factory"
    QCOMPARE(sensor->getMatrixList(), toQt(config.matrices));
    QCOMPARE(sensor->getMatrixIndex(), config.matrix);
    QCOMPARE(sensor->getMatchList(), toQt(config.matches));
    QCOMPARE(sensor->getMatchIndex(), config.match);
    QCOMPARE(sensor->getSyncModeList(), toQt(config.syncModes));
    QCOMPARE(sensor->getSyncMode(), 1); // "Auto"
    QCOMPARE(sensor->getSyncFreq(), 0);
    QVERIFY(sensor->getSpeedList().isEmpty());
}

void TestCRXXXCensor::initReadsACr250()
{
    const CrxxxEmulator::Config config = CrxxxEmulator::cr250();
    QVERIFY(open(config));
    QCOMPARE(sensor->getModel(), QStringLiteral("CR-250"));
    QCOMPARE(sensor->getSerialNumber(), QString::fromStdString(config.id));
    QCOMPARE(device->commands(),
             (std::vector<std::string>{"RC ID", "RC Model", "RC Speed", "RS Speed", "RC SyncMode",
                                       "RS SyncMode", "RS SyncFreq"}));
    QCOMPARE(sensor->getSpeedList(), toQt(config.speeds));
    QCOMPARE(sensor->getSpeedMode(), 1); // "Fast"
    QCOMPARE(sensor->getSyncMode(), 2);  // "Manual"
    QCOMPARE(sensor->getSyncFreq(), 59); // 59.94 Hz, cut to whole hertz
    QVERIFY(sensor->getCalibModeList().isEmpty());
    QVERIFY(sensor->getMatrixList().isEmpty());
    QVERIFY(sensor->getMatchList().isEmpty());

    // Open already: init sends nothing, whatever the port.
    device->clearCommands();
    QVERIFY(sensor->init(QStringLiteral("/dev/lumaserve-no-such-port")));
    QVERIFY(device->commands().empty());
    QCOMPARE(sensor->getPortName(), path());
}

void TestCRXXXCensor::emptyListsAreNone()
{
    CrxxxEmulator::Config config = CrxxxEmulator::cr100();
    config.matrices.clear();
    config.matches.clear();
    config.syncMode = "Manual";
    config.syncFreq = 120.0;
    QVERIFY(open(config));
    QVERIFY(sensor->getMatrixList().isEmpty());
    QCOMPARE(sensor->getMatrixIndex(), 0);
    QVERIFY(sensor->getMatchList().isEmpty());
    QCOMPARE(sensor->getMatchIndex(), 0);
    QVERIFY(!device->hasReceived("RS Matrix"));
    QVERIFY(!device->hasReceived("RS Match"));
    QCOMPARE(sensor->getSyncFreq(), 120);
}

void TestCRXXXCensor::currentNameOutsideItsList()
{
    CrxxxEmulator::Config config = CrxxxEmulator::cr100();
    config.calibMode = "Retired";
    config.syncMode = "Unknown";
    QVERIFY(open(config));
    // No valid position: the field keeps the list's length.
    QCOMPARE(sensor->getCalibMode(), sensor->getCalibModeList().size());
    QCOMPARE(sensor->getSyncMode(), sensor->getSyncModeList().size());
}

void TestCRXXXCensor::releaseAndInitAgain()
{
    const CrxxxEmulator::Config config = CrxxxEmulator::cr100();
    QVERIFY(open(config));
    sensor->release();
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(sensor->getCalibModeList().isEmpty());
    QVERIFY(sensor->getMatrixList().isEmpty());
    QVERIFY(sensor->getMatchList().isEmpty());
    QVERIFY(sensor->getSyncModeList().isEmpty());
    QCOMPARE(sensor->getMatrixIndex(), config.matrix); // indices stay
    QVERIFY(sensor->GetColor().IsNoData());            // closed port

    QVERIFY(sensor->init(path()));
    QCOMPARE(sensor->getCalibModeList(), toQt(config.calibModes));
    QCOMPARE(sensor->getSyncModeList(), toQt(config.syncModes));
}

void TestCRXXXCensor::initFailures_data()
{
    QTest::addColumn<bool>("cr250");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("code");

    QTest::newRow("ID with three parts") << false << "RC ID" << int(Fault::MissingValue) << "";
    QTest::newRow("ID refused") << false << "RC ID" << int(Fault::ErrorReply) << "-100";
    QTest::newRow("model silent") << true << "RC Model" << int(Fault::Silence) << "";
    QTest::newRow("model garbage") << false << "RC Model" << int(Fault::Garbage) << "";
    QTest::newRow("calib list cut short")
        << false << "RC UserCalibMode" << int(Fault::CutShort) << "";
    QTest::newRow("current calib mode refused")
        << false << "RS UserCalibMode" << int(Fault::ErrorReply) << "-101";
    QTest::newRow("matrix list silent") << false << "RC Matrix" << int(Fault::Silence) << "";
    QTest::newRow("matrix number refused") << false << "RS Matrix" << int(Fault::ErrorReply) << "-1";
    QTest::newRow("match list cut short") << false << "RC Match" << int(Fault::CutShort) << "";
    QTest::newRow("match number silent") << false << "RS Match" << int(Fault::Silence) << "";
    QTest::newRow("speed list refused") << true << "RC Speed" << int(Fault::ErrorReply) << "-1";
    QTest::newRow("speed current cut") << true << "RS Speed" << int(Fault::CutShort) << "";
    QTest::newRow("sync list cut short") << true << "RC SyncMode" << int(Fault::CutShort) << "";
    QTest::newRow("sync mode without value")
        << false << "RS SyncMode" << int(Fault::MissingValue) << "";
    QTest::newRow("manual frequency refused")
        << true << "RS SyncFreq" << int(Fault::ErrorReply) << "-1";
    QTest::newRow("manual frequency no number")
        << true << "RS SyncFreq" << int(Fault::BadValue) << "";
}

void TestCRXXXCensor::initFailures()
{
    QFETCH(bool, cr250);
    QFETCH(QString, command);
    QFETCH(int, fault);
    QFETCH(QString, code);

    QVERIFY(prepare(cr250 ? CrxxxEmulator::cr250() : CrxxxEmulator::cr100()));
    device->setFault(command.toStdString(), Fault(fault), code.toStdString());

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!sensor->init(path()));
    // A silent or broken instrument costs at most one read deadline.
    QVERIFY2(clock.elapsed() < kDeadline + 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!sensor->getIsOpen());
    QVERIFY(sensor->getPortName().isEmpty());
    QCOMPARE(messages->shown().size(), 1);
    QCOMPARE(messages->shown().at(0).icon, Messenger::Icon::Warning);
    QCOMPARE(messages->shown().at(0).text, QStringLiteral("CRXXX Hardware Information Read Error"));
    // Nothing is asked after the failing command.
    QCOMPARE(device->commands().back(), command.toStdString());
}

void TestCRXXXCensor::initFailsOnAPortThatDoesNotOpen()
{
    RecordingMessenger recorder;
    CRXXXCensor fresh;
    QVERIFY(!fresh.init(QStringLiteral("/dev/lumaserve-no-such-port")));
    QVERIFY(!fresh.getIsOpen());
    QCOMPARE(recorder.shown().size(), 1);
    QCOMPARE(recorder.shown().at(0).title, QStringLiteral("CR100/CR250"));
    QCOMPARE(recorder.shown().at(0).text,
             QStringLiteral("Can't open /dev/lumaserve-no-such-port!"));
}

void TestCRXXXCensor::overlongReplyIsRefusedAndTheLinkRecovers()
{
    QVERIFY(prepare(CrxxxEmulator::cr250()));
    device->setFault("RC ID", Fault::Overlong, "", 1);
    QVERIFY(!sensor->init(path()));
    QCOMPARE(messages->shown().size(), 1);
    QVERIFY(sensor->getLastReply().isEmpty());
    // The rest of the long line was consumed: the next attempt is in step.
    QVERIFY(sensor->init(path()));
    QCOMPARE(sensor->getModel(), QStringLiteral("CR-250"));
}

void TestCRXXXCensor::longestLineThatFits_data()
{
    QTest::addColumn<int>("lineLength"); // without CR LF
    QTest::addColumn<bool>("accepted");

    const int room = CRXXXCensor::LineBufferSize - 2;
    QTest::newRow("CR LF fill the buffer") << room << true;
    QTest::newRow("CR on the last byte, LF beyond") << room + 1 << false;
    QTest::newRow("CR beyond the buffer") << room + 2 << false;
    QTest::newRow("far beyond") << 4 * room << false;
}

void TestCRXXXCensor::longestLineThatFits()
{
    QFETCH(int, lineLength);
    QFETCH(bool, accepted);

    QVERIFY(open(CrxxxEmulator::cr250()));
    CrxxxEmulator::Config config = device->config();
    const std::string prefix = "OK:0:RC ID:";
    config.id = std::string(size_t(lineLength) - prefix.size(), '7');
    device->setConfig(config);

    QCOMPARE(sensor->doCmd(QStringLiteral("RC ID\r")), accepted);
    QCOMPARE(sensor->getLastReply().size(), accepted ? lineLength : 0);
    // Refused or not, the following exchange is in step.
    QVERIFY(sensor->doCmd(QStringLiteral("RC Model\r")));
    QCOMPARE(sensor->getLastReply(), QStringLiteral("OK:0:RC Model:CR-250"));
}

void TestCRXXXCensor::bareCrLfIsReadWithTheNextLine()
{
    QVERIFY(open(CrxxxEmulator::cr100()));
    device->setFault("RC ID", Fault::LeadingCrLf, "", 1);
    // The reply no longer begins with "OK", but it is read whole, not as an empty line.
    QVERIFY(!sensor->doCmd(QStringLiteral("RC ID\r")));
    QCOMPARE(sensor->getLastReply(),
             QStringLiteral("\r\nOK:0:RC ID:") + QString::fromStdString(device->config().id));
    QVERIFY(sensor->doCmd(QStringLiteral("RC Model\r")));
}

void TestCRXXXCensor::hungUpLineFailsAtOnce()
{
    QVERIFY(open(CrxxxEmulator::cr250()));
    sensor->setReadDeadline(20000);
    device->stop();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(sensor->readline().isEmpty());
    QVERIFY(sensor->GetColor().IsNoData());
    QVERIFY(!sensor->setSyncMode(0));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestCRXXXCensor::instrumentInMemory()
{
    // Not a path: the port finds the instrument registered under it.
    const QString name = QStringLiteral("scripted:cr250");
    const auto instrument = std::make_shared<ScriptedSerialDevice>(
        QList<QByteArray>{"OK:RC:ID:CR250-0042\r\n", "OK:RC:Model:CR-250\r\n", "OK:RC:Speed:2\r\n",
                          "0,Normal\r\n", "1,Fast\r\n", "OK:RS:Speed:Fast\r\n", "OK:RC:SyncMode:0\r\n",
                          "OK:RS:SyncMode:None\r\n", "OK:M\r\n", "OK:RM:XYZ:95.05,100.0,108.88\r\n",
                          "OK:M\r\n", "OK:RM:XYZ:95"},
        '\r');
    struct Registration {
        QString name;
        ~Registration() { SerialPort::setDevice(name, nullptr); }
    } registration{name};
    SerialPort::setDevice(name, instrument);

    messages = std::make_unique<RecordingMessenger>();
    sensor = std::make_unique<CRXXXCensor>();
    // Far longer than the test may take: a wait really waited out fails it.
    sensor->setReadDeadline(30000);
    QVERIFY(sensor->init(name));
    QCOMPARE(sensor->getModel(), QStringLiteral("CR-250"));
    QCOMPARE(sensor->getSerialNumber(), QStringLiteral("CR250-0042"));
    QCOMPARE(sensor->getSpeedList(), (QStringList{QStringLiteral("Normal"), QStringLiteral("Fast")}));
    QCOMPARE(sensor->getSpeedMode(), 1);

    const CColor reading = sensor->GetColor();
    QCOMPARE(components(reading), (QList<double>{95.05, 100.0, 108.88}));
    QCOMPARE(instrument->written(),
             QByteArray("RC ID\rRC Model\rRC Speed\rRS Speed\rRC SyncMode\rRS SyncMode\rM\rRM XYZ\r"));

    // The instrument goes away in the middle of its last reply: the driver's
    // wait for the rest ends at once, with a failed reading.
    QElapsedTimer clock;
    clock.start();
    const CColor failed = sensor->GetColor();
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(failed.IsNoData());
    QCOMPARE(instrument->repliesLeft(), 0);
    QVERIFY(messages->shown().isEmpty());
}

// A setting the driver sends to the instrument, and where it keeps it.
struct Setting {
    bool (CRXXXCensor::*set)(int);
    int (CRXXXCensor::*get)() const;
};
Q_DECLARE_METATYPE(Setting)

void TestCRXXXCensor::setters_data()
{
    QTest::addColumn<bool>("cr250");
    QTest::addColumn<Setting>("setting");
    QTest::addColumn<int>("good");
    QTest::addColumn<int>("bad");
    QTest::addColumn<QString>("command");

    QTest::newRow("calibration mode") << false << Setting{&CRXXXCensor::setCalibMode, &CRXXXCensor::getCalibMode}
                                      << 2 << 7 << "SM UserCalibMode";
    QTest::newRow("matrix") << false << Setting{&CRXXXCensor::setCalibMatrix, &CRXXXCensor::getMatrixIndex} << 2
                            << 9 << "SM Matrix";
    QTest::newRow("match") << false << Setting{&CRXXXCensor::setCalibMatch, &CRXXXCensor::getMatchIndex} << 3 << 8
                           << "SM Match";
    QTest::newRow("sync mode") << true << Setting{&CRXXXCensor::setSyncMode, &CRXXXCensor::getSyncMode} << 0 << 5
                               << "SM SyncMode";
    QTest::newRow("speed") << true << Setting{&CRXXXCensor::setSpeedMode, &CRXXXCensor::getSpeedMode} << 2 << 3
                           << "SM Speed";
}

void TestCRXXXCensor::setters()
{
    QFETCH(bool, cr250);
    QFETCH(Setting, setting);
    QFETCH(int, good);
    QFETCH(int, bad);
    QFETCH(QString, command);

    QVERIFY(open(cr250 ? CrxxxEmulator::cr250() : CrxxxEmulator::cr100()));
    CRXXXCensor& s = *sensor;
    device->clearCommands();
    QVERIFY((s.*setting.set)(good));
    QCOMPARE((s.*setting.get)(), good);
    QCOMPARE(device->commands(),
             std::vector<std::string>{QStringLiteral("%1 %2").arg(command).arg(good).toStdString()});

    // The instrument refuses a value out of its range: the field keeps its value.
    QVERIFY(!(s.*setting.set)(bad));
    QCOMPARE((s.*setting.get)(), good);

    // A silent instrument fails the setter within the deadline.
    device->setFault(command.toStdString(), Fault::Silence);
    QVERIFY(!(s.*setting.set)(good == 0 ? 1 : 0));
    QCOMPARE((s.*setting.get)(), good);
}

void TestCRXXXCensor::syncFrequencyIsClamped_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("sent");

    // The emulated range is 10 Hz to 240 Hz.
    QTest::newRow("below the minimum") << 3 << 10;
    QTest::newRow("negative") << -50 << 10;
    QTest::newRow("at the minimum") << 10 << 10;
    QTest::newRow("inside") << 75 << 75;
    QTest::newRow("at the maximum") << 240 << 240;
    QTest::newRow("above the maximum") << 1000 << 240;
}

void TestCRXXXCensor::syncFrequencyIsClamped()
{
    QFETCH(int, asked);
    QFETCH(int, sent);

    QVERIFY(open(CrxxxEmulator::cr250()));
    device->clearCommands();
    QVERIFY(sensor->setSynFreq(asked));
    QCOMPARE(sensor->getSyncFreq(), sent);
    QCOMPARE(device->commands(),
             (std::vector<std::string>{"RC MinSyncFreq", "RC MaxSyncFreq",
                                       "SM SyncFreq " + std::to_string(sent)}));
    QCOMPARE(device->config().syncFreq, double(sent));
}

void TestCRXXXCensor::syncFrequencyRangeUnreadable()
{
    QVERIFY(open(CrxxxEmulator::cr250()));
    const int before = sensor->getSyncFreq();

    device->setFault("RC MaxSyncFreq", Fault::ErrorReply, "-1", 1);
    QVERIFY(!sensor->setSynFreq(100));
    device->setFault("RC MinSyncFreq", Fault::Silence, "", 1);
    QVERIFY(!sensor->setSynFreq(100));
    device->setFault("RC MinSyncFreq", Fault::BadValue, "", 1);
    QVERIFY(!sensor->setSynFreq(100));
    device->setFault("SM SyncFreq", Fault::ErrorReply, "-1", 1);
    QVERIFY(!sensor->setSynFreq(100));

    QCOMPARE(sensor->getSyncFreq(), before);
    QCOMPARE(device->config().syncFreq, CrxxxEmulator::cr250().syncFreq);
}

void TestCRXXXCensor::reading()
{
    const CrxxxEmulator::Config config = CrxxxEmulator::cr100();
    QVERIFY(open(config));
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    const CColor before = sensor->getLastColor();
    device->clearCommands();

    const CColor c = sensor->GetColor();
    QCOMPARE(device->commands(), (std::vector<std::string>{"M", "RM XYZ"}));
    QCOMPARE(components(c), (QList<double>{config.x, config.y, config.z}));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<CColor>()[1], config.y);
    // The reading travels in the result only.
    QCOMPARE(sensor->getLastColor()[0], before[0]);

    // A probe looking at something that changes: each reading sees the next value.
    int taken = 0;
    device->setReadingSource([&taken] {
        ++taken;
        return std::array<double, 3>{{12.5 * taken, 20.25, 3.125}};
    });
    QCOMPARE(components(sensor->GetColor()), (QList<double>{12.5, 20.25, 3.125}));
    QCOMPARE(sensor->GetColor()[0], 25.0);
    QCOMPARE(taken, 2);
    // Without a source the configured values come back.
    device->setReadingSource(nullptr);
    QCOMPARE(components(sensor->GetColor()), (QList<double>{config.x, config.y, config.z}));
    QCOMPARE(taken, 2);
}

void TestCRXXXCensor::failedReadings_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("dark");

    QTest::newRow("too dark -304") << "M" << int(Fault::ErrorReply) << "-304" << true;
    QTest::newRow("too dark -305") << "M" << int(Fault::ErrorReply) << "-305" << true;
    QTest::newRow("other error") << "M" << int(Fault::ErrorReply) << "-300" << false;
    QTest::newRow("measure silent") << "M" << int(Fault::Silence) << "" << false;
    QTest::newRow("measure garbage") << "M" << int(Fault::Garbage) << "" << false;
    QTest::newRow("measure cut short") << "M" << int(Fault::CutShort) << "" << false;
    QTest::newRow("XYZ refused") << "RM XYZ" << int(Fault::ErrorReply) << "-304" << false;
    QTest::newRow("XYZ silent") << "RM XYZ" << int(Fault::Silence) << "" << false;
    QTest::newRow("XYZ without value") << "RM XYZ" << int(Fault::MissingValue) << "" << false;
    QTest::newRow("XYZ no numbers") << "RM XYZ" << int(Fault::BadValue) << "" << false;
    QTest::newRow("XYZ overlong") << "RM XYZ" << int(Fault::Overlong) << "" << false;
}

void TestCRXXXCensor::failedReadings()
{
    QFETCH(QString, command);
    QFETCH(int, fault);
    QFETCH(QString, code);
    QFETCH(bool, dark);

    QVERIFY(open(CrxxxEmulator::cr250()));
    QSignalSpy spy(sensor.get(), &CSensor::colorChanged);
    device->setFault(command.toStdString(), Fault(fault), code.toStdString(), 1);

    const CColor c = sensor->GetColor();
    if (dark) {
        QCOMPARE(components(c), (QList<double>{0.0, 0.0, 0.0}));
        QVERIFY(!device->hasReceived("RM XYZ"));
    } else {
        QVERIFY(c.IsNoData());
    }
    QCOMPARE(spy.count(), 0);

    // The next reading is sound again.
    const CColor next = sensor->GetColor();
    QCOMPARE(next[1], device->config().y);
    QCOMPARE(spy.count(), 1);
}

QTEST_GUILESS_MAIN(TestCRXXXCensor)
#include "tst_crxxxcensor.moc"
