#include "colordockwidget.h"
#include "crmodes.h"
#include "crxxxemulator.h"
#include "csensor.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "sensortable.h"
#include "serialport.h"
#include "uitest.h"
#include "waitbounds.h"
#include "windowprobe.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

using Fault = CrxxxEmulator::Fault;

// The CR driver's reply deadline here: long beside the stall and cancel bounds, short
// enough that a window waiting on its own thread fails quickly.
constexpr int kCrDeadlineMs = 2000;
const QString kConnecting = QStringLiteral("Connecting the sensor");
const QString kMeasuring = QStringLiteral("Measuring");

// The window with a CR250 on one port and a display on another; the CR
// driver is the window's own, with a short deadline.
struct Rig : WindowProbe {
    Rig()
    {
        ready = instrument.start() && display.start();
        instrumentPort = QString::fromStdString(instrument.portName());
        PortLister::setExtraPorts({QStringLiteral("/dev/") + instrumentPort,
                                   QString::fromStdString(display.portName())});
        window = std::make_unique<MainWindow>();
        window->controller()->setSensorFactory([](int type) {
            CSensor* created = SensorTable::createForWindow(type);
            if (created && created->crModes())
                created->crModes()->setReadDeadline(kCrDeadlineMs);
            return created;
        });
        window->show();
    }

    ~Rig()
    {
        window.reset();
        PortLister::setExtraPorts({});
    }

    // The user's choice, without waiting for the instrument's answer.
    void activate(const QString& comboName, int index) const
    {
        auto* combo = child<QComboBox>(comboName);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    int crPortIndex() const { return child<QComboBox>(QStringLiteral("sensorPortCombo"))->findText(instrumentPort); }

    void connectSensor() const
    {
        choose(QStringLiteral("typeCombo"), 13);
        choose(QStringLiteral("sensorPortCombo"), crPortIndex());
    }

    // A connect or a reading left waiting by the silent instrument.
    void startWaiting(bool reading)
    {
        if (reading) {
            connectSensor();
            QVERIFY(measure()->currentSensor() && measure()->currentSensor()->getIsOpen());
        } else {
            choose(QStringLiteral("typeCombo"), 13);
        }
        const std::string command = reading ? "M" : "RC ID";
        instrument.setFault(command, Fault::Silence);
        instrument.clearCommands();
        if (reading)
            action(QStringLiteral("S&ingle measure"))->trigger();
        else
            activate(QStringLiteral("sensorPortCombo"), crPortIndex());
        QTRY_VERIFY_WITH_TIMEOUT(instrument.hasReceived(command), 3000);
        QVERIFY(measure()->isInstrumentBusy());
    }

    QStringList values() const
    {
        QStringList shown;
        for (int i = 0; i < 3; ++i)
            shown << window->valueWindow()->valueText(i);
        return shown;
    }

    bool portIsFree() const
    {
        SerialPort port(Measure::devicePath(instrumentPort));
        const bool opened = port.open();
        port.close();
        return opened;
    }

    CrxxxEmulator instrument{CrxxxEmulator::cr250()};
    MonitorEmulator display;
    QString instrumentPort;
    bool ready = false;
};

QString refusal(const QString& what)
{
    return QStringLiteral("Waiting for the instrument: %1. Try again when it has answered, or cancel.").arg(what);
}

} // namespace

class TestMainWindowBusy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void init() { m_home.enterWorkDir(); }

    void waitingKeepsTheWindowGoingAndCancelEndsIt_data();
    void waitingKeepsTheWindowGoingAndCancelEndsIt();
    void closingWhileWaitingAsksFirst();
    void portscanLetsGoOfASlowSensorBesideTheWindow_data();
    void portscanLetsGoOfASlowSensorBesideTheWindow();

private:
    ScratchHome m_home;
};

void TestMainWindowBusy::waitingKeepsTheWindowGoingAndCancelEndsIt_data()
{
    QTest::addColumn<bool>("reading");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("connect, Cancel button") << false << false;
    QTest::newRow("connect, Esc") << false << true;
    QTest::newRow("reading, Cancel button") << true << false;
    QTest::newRow("reading, Esc") << true << true;
}

void TestMainWindowBusy::waitingKeepsTheWindowGoingAndCancelEndsIt()
{
    QFETCH(bool, reading);
    QFETCH(bool, byKey);
    Rig rig;
    QVERIFY(rig.ready);
    QVERIFY(rig.crPortIndex() > 0);
    QApplication::setActiveWindow(rig.window.get());
    QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
    QStringList before;
    if (reading) {
        // A first reading, which a cancelled one must leave on show.
        rig.connectSensor();
        rig.action(QStringLiteral("S&ingle measure"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.values().at(1).isEmpty(), 5000);
        rig.settle();
        before = rig.values();
    }
    auto* indicator = rig.child<QProgressBar>(QStringLiteral("busyIndicator"));
    auto* cancel = rig.child<QPushButton>(QStringLiteral("cancelButton"));
    QVERIFY(indicator && cancel);
    QVERIFY(!indicator->isVisible());
    QVERIFY(!cancel->isVisible());

    StallProbe probe;

    probe.start();
    rig.startWaiting(reading);
    if (QTest::currentTestFailed())
        return;
    const QString what = reading ? kMeasuring : kConnecting;
    QCOMPARE(rig.window->statusText(), QStringLiteral("Waiting for the instrument: %1").arg(what));
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->minimum(), 0);
    QCOMPARE(indicator->maximum(), 0);
    QVERIFY(cancel->isVisible());

    // Another command for the sensor is refused with the controller's words;
    // what needs no instrument still works.
    rig.messages.clear();
    rig.action(QStringLiteral("S&ingle measure"))->trigger();
    rig.window->doCalibrate();
    // The panel's lists go back to the sensor being waited for.
    rig.activate(QStringLiteral("typeCombo"), 4);
    rig.activate(QStringLiteral("sensorPortCombo"), 0);
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("typeCombo"))->currentIndex(), 13);
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("sensorPortCombo"))->currentIndex(), rig.crPortIndex());
    rig.action(QStringLiteral("&About"))->trigger();
    QCOMPARE(rig.messages.boxes(), (QStringList{QStringLiteral("Warning Single measure: ") + refusal(what),
                                                QStringLiteral("Warning Warning: ") + refusal(what),
                                                QStringLiteral("Warning Sensor: ") + refusal(what),
                                                QStringLiteral("Warning Warning: ") + refusal(what),
                                                QStringLiteral("Information Huelink Trimline: ")
                                                    + MainWindow::aboutText()}));
    const QSize bigger = rig.window->size() + QSize(40, 30);
    rig.window->resize(bigger);
    QTRY_COMPARE(rig.window->size(), bigger);
    QVERIFY(rig.measure()->isInstrumentBusy());
    rig.messages.clear();

    QElapsedTimer clock;
    clock.start();
    if (byKey)
        QTest::keyClick(rig.window.get(), Qt::Key_Escape);
    else
        cancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.measure()->isInstrumentBusy(), 1000);
    VERIFY_CANCEL_IN_TIME(clock);
    VERIFY_NO_STALL(probe);
    QVERIFY(!indicator->isVisible());
    QVERIFY(!cancel->isVisible());
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    // A cancel is the user's doing: no error box follows.
    QCOMPARE(rig.messages.boxes(), QStringList());

    if (reading) {
        QCOMPARE(rig.values(), before);
        QVERIFY(rig.measure()->currentSensor()->getIsOpen());
        return;
    }
    // Nothing is connected, and the port is free for the next attempt.
    QVERIFY(!rig.measure()->currentSensor() || !rig.measure()->currentSensor()->getIsOpen());
    QVERIFY(!rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QVERIFY(rig.portIsFree());
}

void TestMainWindowBusy::closingWhileWaitingAsksFirst()
{
    Rig rig;
    QVERIFY(rig.ready);
    rig.startWaiting(false);
    if (QTest::currentTestFailed())
        return;
    const QString question = QStringLiteral("Waiting for the instrument: %1.\nDo you want to stop waiting and close "
                                            "the window?")
                                 .arg(kConnecting);

    // No: the wait goes on, and the window stays.
    rig.messages.clear();
    rig.messages.queueAnswer(Messenger::No);
    QVERIFY(!rig.window->close());
    QCOMPARE(rig.messages.texts(), QStringList{question});
    QVERIFY(rig.messages.shown().at(0).buttons.testFlag(Messenger::No));
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.measure()->isInstrumentBusy());

    // Yes: cancelled, and closed once the instrument thread has answered.
    rig.messages.clear();
    rig.messages.queueAnswer(Messenger::Yes);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!rig.window->close());
    QCOMPARE(rig.messages.texts(), QStringList{question});
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isVisible(), 1000);
    VERIFY_CANCEL_IN_TIME(clock);
    QVERIFY(!rig.measure()->isInstrumentBusy());
    QVERIFY(rig.portIsFree());
    QCOMPARE(rig.messages.shown().size(), 1);
}

void TestMainWindowBusy::portscanLetsGoOfASlowSensorBesideTheWindow_data()
{
    QTest::addColumn<bool>("cancelled");
    QTest::newRow("answered") << false;
    QTest::newRow("cancelled meanwhile") << true;
}

// Portscan lets go of the sensor; a library closing its instrument takes a
// while, and cannot be interrupted: a Cancel is applied when it returns.
void TestMainWindowBusy::portscanLetsGoOfASlowSensorBesideTheWindow()
{
    QFETCH(bool, cancelled);
    const QString port = QStringLiteral("ttyFAKE0");
    PortLister::setExtraPorts({port});
    WindowProbe rig;
    rig.openWindow();
    rig.choose(QStringLiteral("typeCombo"), 7);
    rig.choose(QStringLiteral("sensorPortCombo"), rig.portIndex(port));
    const QPointer<ScriptedSensor> sensor = rig.sensor;
    QVERIFY(sensor && sensor->getIsOpen());
    sensor->setReleaseDuration(400);
    QSignalSpy finished(rig.measure(), &Measure::requestFinished);

    StallProbe probe;

    probe.start();
    rig.action(QStringLiteral("P&ortscan"))->trigger();
    // The lists are new at once; the sensor is let go of beside the window.
    QVERIFY(!rig.measure()->currentSensor());
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("sensorPortCombo"))->currentIndex(), 0);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Waiting for the instrument: Releasing the instruments"));
    if (cancelled) {
        auto* cancel = rig.child<QPushButton>(QStringLiteral("cancelButton"));
        cancel->click();
        // The library goes on letting go; the window says the cancel waits for it.
        QCOMPARE(rig.window->statusText(),
                 QStringLiteral("Cancelled. Waiting for the instrument to return: Releasing the instruments"));
        QVERIFY(!cancel->isEnabled());
    }
    QVERIFY(finished.wait(3000));
    QCOMPARE(finished.at(0).at(0).value<Measure::Request>(), Measure::Request::Release);
    QCOMPARE(finished.at(0).at(1).value<Measure::RequestResult>(),
             cancelled ? Measure::RequestResult::Cancelled : Measure::RequestResult::Succeeded);
    VERIFY_NO_STALL(probe);
    // Let go of either way: a release has nothing to take back.
    QVERIFY(!sensor);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QCOMPARE(rig.messages.boxes(), QStringList());
    rig.window.reset();
    PortLister::setExtraPorts({});
}

LUMASERVE_UI_TEST_MAIN(TestMainWindowBusy)

#include "tst_mainwindowbusy.moc"
