#include "colordockwidget.h"
#include "crxxxemulator.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "sensortable.h"
#include "uitest.h"
#include "windowprobe.h"

#include <QLabel>
#include <QPushButton>

using namespace std::chrono_literals;

// The whole program as a user drives it, with an emulated CR-250 and an emulated
// display on pseudo-terminals named on the command line.
class TestMainWindowEmulated : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void measuresAndServesTheDisplay();

private:
    ScratchHome m_home;
};

void TestMainWindowEmulated::initTestCase()
{
    m_home.setUp();
    QVERIFY(QDir::setCurrent(m_home.dir.path()));
}

void TestMainWindowEmulated::measuresAndServesTheDisplay()
{
    CrxxxEmulator instrument(CrxxxEmulator::cr250());
    MonitorEmulator display;
    QVERIFY(instrument.start());
    QVERIFY(display.start());
    const QString instrumentPort = QString::fromStdString(instrument.portName());
    const QString displayPort = QString::fromStdString(display.portName());
    // What "Lumaserve --port pts/N --port pts/M" does.
    PortLister::setExtraPorts({QStringLiteral("/dev/") + instrumentPort, displayPort});

    // The window's own sensor factory, the table's, not the probe's scripted one.
    WindowProbe probe;
    RecordingMessenger& messages = probe.messages;
    probe.window = std::make_unique<MainWindow>();
    probe.window->controller()->setSensorFactory(&SensorTable::createForWindow);
    probe.window->show();
    MainWindow& window = *probe.window;
    auto* sensorPorts = probe.child<QComboBox>(QStringLiteral("sensorPortCombo"));
    auto* monitorPorts = probe.child<QComboBox>(QStringLiteral("monitorPortCombo"));
    QCOMPARE(monitorPorts->findText(displayPort), probe.portIndex(displayPort));

    QCOMPARE(probe.child<QComboBox>(QStringLiteral("typeCombo"))->findText(QStringLiteral("CR100/CR250")), 13);
    probe.choose(QStringLiteral("typeCombo"), 13);
    QVERIFY(sensorPorts->isEnabled());
    probe.choose(QStringLiteral("sensorPortCombo"), sensorPorts->findText(instrumentPort));
    QVERIFY(probe.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    probe.choose(QStringLiteral("monitorPortCombo"), monitorPorts->findText(displayPort));
    QVERIFY(probe.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY2(messages.shown().isEmpty(), qPrintable(messages.shown().value(0).text));

    // A single reading reaches the value window through the identity matrix.
    probe.action(QStringLiteral("S&ingle measure"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(window.valueWindow()->valueText(1), QStringLiteral("21.260"), 5000);
    QCOMPARE(window.valueWindow()->valueText(0), QStringLiteral("41.240"));
    QCOMPARE(window.valueWindow()->valueText(2), QStringLiteral("1.930"));

    probe.action(QStringLiteral("A&lignment"))->trigger();
    QCOMPARE(window.statusText(), QStringLiteral("Alignment..."));
    QTRY_VERIFY_WITH_TIMEOUT(window.controller()->isServingAlignment(), 3000);
    display.request("MES,1");
    QVERIFY(display.waitForReplies(1, 5s));
    QVERIFY(display.replies().back().line.rfind("OK00,", 0) == 0);
    display.request("MDR,1");
    QVERIFY(display.waitForReplies(2, 5s));
    QCOMPARE(display.replies().back().line, std::string("OK01,041.240;021.260;001.930"));

    QVERIFY(!window.close());
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("Alignment is on.")});

    messages.queueAnswer(Messenger::Yes);
    probe.action(QStringLiteral("Stop&l"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(window.statusText(), QStringLiteral("Ready."), 5000);
    QCOMPARE(window.controller()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    probe.window.reset();
    PortLister::setExtraPorts({});
}

LUMASERVE_UI_TEST_MAIN(TestMainWindowEmulated)

#include "tst_mainwindowemulated.moc"
