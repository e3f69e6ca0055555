// The window while the alignment service may hold the instruments: a display
// unplugged during alignment, a service that is still stopping, and the
// commands that must wait for it.
#include "alignmentprofile.h"
#include "cmonitor.h"
#include "devicelink.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "uitest.h"
#include "windowprobe.h"

#include <QLabel>
#include <QTableWidget>

using namespace std::chrono_literals;

namespace {

const QString kFakePort = QStringLiteral("ttyFAKE0");

// A main window whose controller hands out scripted sensors, with an emulated
// display offered under a link that outlives it.
struct Rig : WindowProbe {
    explicit Rig(const QString& dir)
        : displayLink(dir + QStringLiteral("/display")), display(std::make_unique<MonitorEmulator>())
    {
        displayReady = display->start() && pointLinkAt(displayLink, *display);
        PortLister::setExtraPorts({kFakePort, displayLink});
        openWindow();
    }

    ~Rig()
    {
        window.reset();
        PortLister::setExtraPorts({});
    }

    bool connectAll() const
    {
        choose(QStringLiteral("typeCombo"), 7);
        choose(QStringLiteral("sensorPortCombo"), portIndex(kFakePort));
        choose(QStringLiteral("monitorPortCombo"), portIndex(displayLink));
        return displayReady && measure()->currentSensor() && measure()->currentMonitor()
               && measure()->currentMonitor()->GetInit();
    }

    bool startAligning() const
    {
        window->doAlignment();
        return QTest::qWaitFor([this] { return measure()->isServingAlignment(); }, 3000);
    }

    const QString displayLink;
    std::unique_ptr<MonitorEmulator> display;
    bool displayReady = false;
};

} // namespace

class TestMainWindowAlignment : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void init() { m_home.enterWorkDir(); }

    void unpluggedDisplayIsSaidAndAlignmentSwitchesOff();
    void stoppingIsSaidByRefusalsAndByAClose();
    void profilesAreRefusedWhileAligning();
    void onePortIsNeverBothSensorAndMonitor();

private:
    ScratchHome m_home;
};

void TestMainWindowAlignment::unpluggedDisplayIsSaidAndAlignmentSwitchesOff()
{
    Rig rig(m_home.work);
    QVERIFY(rig.connectAll());
    QVERIFY(rig.startAligning());
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));

    // Unplugged: the status bar and a box say so, not only the grey picture.
    rig.display.reset();
    QVERIFY(QFile::remove(rig.displayLink));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled(), 3000);
    QTRY_COMPARE(rig.messages.shown().size(), 1);
    const auto box = rig.messages.shown().at(0);
    QCOMPARE(box.icon, Messenger::Icon::Warning);
    QCOMPARE(box.title, QStringLiteral("Monitor"));
    QVERIFY2(box.text.contains(rig.displayLink), qPrintable(box.text));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Display unplugged: waiting for it to come back..."));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    // Plugged in again: served again, and the status bar says so.
    rig.display = std::make_unique<MonitorEmulator>();
    QVERIFY(rig.display->start());
    QVERIFY(pointLinkAt(rig.displayLink, *rig.display));
    QTRY_COMPARE_WITH_TIMEOUT(rig.window->statusText(), QStringLiteral("Alignment..."), 3000);
    rig.display->request("MES,1");
    QVERIFY(rig.display->waitForReplies(1, 3s));

    // Unplugged again, for good: switching off works, and the window closes.
    rig.display.reset();
    QVERIFY(QFile::remove(rig.displayLink));
    QTRY_COMPARE_WITH_TIMEOUT(rig.messages.shown().size(), 2, 3000);
    rig.messages.clear();
    QVERIFY(!rig.window->close());
    rig.messages.queueAnswer(Messenger::Yes);
    rig.action(QStringLiteral("Stop&l"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(rig.window->statusText(), QStringLiteral("Ready."), 1000);
    QCOMPARE(rig.messages.texts().count(QStringLiteral("Connect Sensor and Monitor First!")), 0);
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(rig.action(QStringLiteral("A&lignment")));
    QVERIFY(rig.window->close());
}

void TestMainWindowAlignment::stoppingIsSaidByRefusalsAndByAClose()
{
    const QString stopping = QStringLiteral("Warning Warning: Alignment is stopping. Try again when it has stopped.");
    Rig rig(m_home.work);
    QVERIFY(rig.connectAll());
    // An instrument call that nothing interrupts, as inside an outside library.
    rig.sensor->setStartDuration(1500);
    QVERIFY(rig.startAligning());
    rig.display->request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Stopping);
    QVERIFY(rig.window->statusText().startsWith(QStringLiteral("Stopping alignment")));

    // Every refusal says what the status bar says, not that alignment is on.
    rig.messages.clear();
    rig.window->doSingleMeasure();
    rig.window->doPortscan();
    rig.window->doCalibrate();
    rig.window->showSensorDlg();
    rig.window->doNewProfile();
    rig.choose(QStringLiteral("typeCombo"), 13);
    rig.choose(QStringLiteral("sensorPortCombo"), 0);
    rig.choose(QStringLiteral("monitorPortCombo"), 0);
    QCOMPARE(rig.messages.shown().size(), 8);
    QCOMPARE(rig.messages.boxes().count(stopping), 8);
    QVERIFY(rig.measure()->currentMonitor());
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Stopping);

    // A close is not refused with a box but put off, and the status bar says so.
    rig.messages.clear();
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(rig.window->statusText(),
             QStringLiteral("Stopping alignment: the window will close when it has stopped..."));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isVisible(), 5000);
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestMainWindowAlignment::profilesAreRefusedWhileAligning()
{
    const double firstValues[] = {2.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    const double secondValues[] = {0.5, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 4.0};
    const Matrix first(firstValues, 3, 3);
    const Matrix second(secondValues, 3, 3);
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), first).write(QStringLiteral("first.alg")));
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), second).write(QStringLiteral("second.alg")));
    Rig rig(m_home.work);
    QVERIFY(rig.connectAll());
    auto* profiles = rig.child<QComboBox>(QStringLiteral("profileCombo"));
    auto* table = rig.child<QTableWidget>(QStringLiteral("matrixTable"));
    const int firstIndex = profiles->findText(QStringLiteral("first"));
    const int secondIndex = profiles->findText(QStringLiteral("second"));
    QVERIFY(firstIndex > 0 && secondIndex > 0);
    rig.choose(QStringLiteral("profileCombo"), firstIndex);
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QVERIFY(rig.messages.shown().isEmpty());

    QVERIFY(rig.startAligning());
    // From the panel's list, and through Open: refused, nothing else changes.
    rig.choose(QStringLiteral("profileCombo"), secondIndex);
    rig.window->doNewProfile();
    const QString on = QStringLiteral("Warning Warning: Alignment is on.");
    QCOMPARE(rig.messages.boxes(), (QStringList{on, on}));
    QVERIFY(rig.dialogs.asked().isEmpty());
    QCOMPARE(profiles->currentIndex(), firstIndex);
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2.00000"));
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("1.00000"));
    // What the panel shows is what the display gets.
    rig.display->request("MDR,1");
    QVERIFY(rig.display->waitForReplies(1, 3s));
    QCOMPARE(rig.display->replies().at(0).line, std::string("OK01,002.000;002.000;003.000"));

    // Switched off, both are taken again.
    rig.messages.clear();
    rig.stopAligning();
    rig.choose(QStringLiteral("profileCombo"), secondIndex);
    QVERIFY(rig.measure()->correctionMatrix() == second);
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("4.00000"));
    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("first.alg")));
    rig.window->doNewProfile();
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QCOMPARE(rig.dialogs.asked(), QStringList{QStringLiteral("Open profile")});
    QCOMPARE(rig.messages.shown().size(), 1);
}

void TestMainWindowAlignment::onePortIsNeverBothSensorAndMonitor()
{
    Rig rig(m_home.work);
    QVERIFY(rig.displayReady);
    auto* sensorPorts = rig.child<QComboBox>(QStringLiteral("sensorPortCombo"));
    auto* monitorPorts = rig.child<QComboBox>(QStringLiteral("monitorPortCombo"));
    const int linePort = rig.portIndex(rig.displayLink);

    // The sensor on the line, then the monitor on it too.
    rig.choose(QStringLiteral("typeCombo"), 7);
    rig.choose(QStringLiteral("sensorPortCombo"), linePort);
    QVERIFY(rig.measure()->currentSensor()->getIsOpen());
    rig.choose(QStringLiteral("monitorPortCombo"), linePort);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Monitor"));
    QVERIFY2(rig.messages.shown().at(0).text.contains(rig.displayLink), qPrintable(rig.messages.shown().at(0).text));
    QCOMPARE(monitorPorts->currentIndex(), 0);
    QVERIFY(!rig.measure()->currentMonitor());
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    rig.messages.clear();
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.messages.texts().count(QStringLiteral("Connect Sensor and Monitor First!")), 1);

    // The sensor moved to a port of its own, the monitor on the line, then
    // the sensor back onto the line.
    rig.choose(QStringLiteral("sensorPortCombo"), rig.portIndex(kFakePort));
    rig.choose(QStringLiteral("monitorPortCombo"), linePort);
    QVERIFY(rig.measure()->currentMonitor() && rig.measure()->currentMonitor()->GetInit());
    ScriptedSensor* const kept = rig.sensor;
    rig.messages.clear();
    rig.choose(QStringLiteral("sensorPortCombo"), linePort);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Sensor"));
    QVERIFY2(rig.messages.shown().at(0).text.contains(rig.displayLink), qPrintable(rig.messages.shown().at(0).text));
    QCOMPARE(sensorPorts->currentIndex(), rig.portIndex(kFakePort));
    QCOMPARE(rig.measure()->currentSensor(), kept);
    QVERIFY(kept->getIsOpen());
    QCOMPARE(rig.measure()->getSensorPortPath(), QStringLiteral("/dev/") + kFakePort);
}

LUMASERVE_UI_TEST_MAIN(TestMainWindowAlignment)

#include "tst_mainwindowalignment.moc"
