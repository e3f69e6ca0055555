#include "calibratedialog.h"
#include "crmodes.h"
#include "crxxxemulator.h"
#include "csensor.h"
#include "measure.h"
#include "recordingmessenger.h"
#include "sensordlg.h"
#include "sensortable.h"
#include "silentstoresensor.h"
#include "uitest.h"
#include "waitbounds.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <memory>

namespace {

using Fault = CrxxxEmulator::Fault;

// The CR driver's reply deadline: long beside the stall and cancel bounds.
constexpr int kCrDeadlineMs = 3000;
constexpr int kCrType = 13;
constexpr int kK10Type = 5;

// Every text a dialog shows in its line edits, combo boxes and tables, by
// object name: what a cancelled job must leave as it was.
QStringList shownTexts(const QWidget* dialog)
{
    QStringList texts;
    for (const QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
        // A combo box's own editor is read through the combo box.
        if (!qobject_cast<QComboBox*>(edit->parent()))
            texts << edit->objectName() + QLatin1Char('=') + edit->text();
    }
    for (const QComboBox* combo : dialog->findChildren<QComboBox*>()) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        texts << QStringLiteral("%1=%2@%3").arg(combo->objectName(), items.join(QLatin1Char('|')))
                     .arg(combo->currentIndex());
    }
    for (const QTableWidget* table : dialog->findChildren<QTableWidget*>()) {
        for (int r = 0; r < table->rowCount(); ++r) {
            for (int c = 0; c < table->columnCount(); ++c)
                texts << QStringLiteral("%1(%2,%3)=%4").arg(table->objectName()).arg(r).arg(c).arg(table->item(r, c)->text());
        }
    }
    return texts;
}

// A controller whose sensor is the silent store or a CR driver on an emulator,
// opened as the window opens it.
struct Rig {
    explicit Rig(const QString& instrumentModel)
    {
        controller.SetMatrix(sampleMatrix());
        if (instrumentModel.startsWith(QLatin1String("CR-"))) {
            cr = std::make_unique<CrxxxEmulator>(instrumentModel == QLatin1String("CR-100") ? CrxxxEmulator::cr100()
                                                                                            : CrxxxEmulator::cr250());
            if (!cr->start())
                return;
            controller.setSensorFactory([](int type) {
                CSensor* created = SensorTable::createForWindow(type);
                if (created && created->crModes())
                    created->crModes()->setReadDeadline(kCrDeadlineMs);
                return created;
            });
            opened = controller.initSensor(kCrType, QString::fromStdString(cr->devicePath()));
            cr->clearCommands();
        } else {
            controller.setSensorFactory([](int) { return new SilentStoreSensor; });
            opened = controller.initSensor(kK10Type, QStringLiteral("ttySILENT"));
            store = qobject_cast<SilentStoreSensor*>(controller.currentSensor());
        }
    }

    // Declared before the controller, so that it outlives it.
    RecordingMessenger messages;
    std::unique_ptr<CrxxxEmulator> cr;
    Measure controller;
    SilentStoreSensor* store = nullptr; // owned by the controller
    bool opened = false;
};

// A dialog shown and active, so that Esc reaches it as the user's key does.
bool showActive(QWidget* dialog)
{
    dialog->show();
    QApplication::setActiveWindow(dialog);
    return QTest::qWaitForWindowActive(dialog);
}

template <typename T>
T* child(const QWidget* dialog, const char* name)
{
    return dialog->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestDialogsBusy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void init() { m_home.enterWorkDir(); }

    void featuresDialogKeepsGoingAndCancelEndsTheWait_data();
    void featuresDialogKeepsGoingAndCancelEndsTheWait();
    void escapeClosesAnIdleDialog();
    void frequencyTypedWhileWaitingGoesWithTheCancel();
    void closingTheDialogLeavesTheJobToAnswer();
    void calibrateDialogCancelsItsReading_data();
    void calibrateDialogCancelsItsReading();

private:
    ScratchHome m_home;
};

void TestDialogsBusy::featuresDialogKeepsGoingAndCancelEndsTheWait_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<bool>("byKey");
    QTest::addColumn<QString>("what");
    const QList<QPair<QString, QString>> jobs = {
        {QStringLiteral("ScanList"), QStringLiteral("Reading the list of stored matrices")},
        {QStringLiteral("ReadOut"), QStringLiteral("Reading a stored matrix")},
        {QStringLiteral("WriteIn"), QStringLiteral("Writing a matrix")},
        {QStringLiteral("Delete"), QStringLiteral("Deleting a matrix")},
        {QStringLiteral("CR-250 speed"), QStringLiteral("Changing the instrument's mode")},
        {QStringLiteral("CR-100 calibration mode"), QStringLiteral("Changing the instrument's mode")},
    };
    for (const auto& job : jobs) {
        QTest::newRow(qPrintable(job.first + QStringLiteral(", Cancel button"))) << job.first << false << job.second;
        QTest::newRow(qPrintable(job.first + QStringLiteral(", Esc"))) << job.first << true << job.second;
    }
}

void TestDialogsBusy::featuresDialogKeepsGoingAndCancelEndsTheWait()
{
    QFETCH(QString, job);
    QFETCH(bool, byKey);
    QFETCH(QString, what);
    const bool crJob = job.startsWith(QLatin1String("CR-"));
    Rig rig(crJob ? job.left(6) : QString());
    QVERIFY(rig.opened);
    SensorDlg dialog(rig.controller.currentSensor(), &rig.controller);
    QVERIFY(showActive(&dialog));
    auto* bar = child<QWidget>(&dialog, "instrumentWaitBar");
    auto* cancel = child<QPushButton>(&dialog, "cancelButton");
    QVERIFY(bar && cancel);
    QVERIFY(!bar->isVisible());

    // The controls that send to the instrument, and what needs none.
    QList<QWidget*> controls;
    if (crJob) {
        for (const char* name : {"syncModeBox", "speedBox", "calibModeBox", "calibValueBox"}) {
            if (QWidget* w = child<QWidget>(&dialog, name))
                controls << w;
        }
    } else {
        for (const char* name : {"scanButton", "readButton", "writeButton", "fileListBox"})
            controls << child<QWidget>(&dialog, name);
        // An entry to read, listed while the instrument still answers.
        child<QPushButton>(&dialog, "scanButton")->click();
        QTRY_COMPARE(child<QComboBox>(&dialog, "fileListBox")->currentText(), SilentStoreSensor::kListed);
        QTRY_VERIFY(!rig.controller.isInstrumentBusy());
        auto* table = child<QTableWidget>(&dialog, "matrixTable");
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                table->item(r, c)->setText(QString::number(r * 3 + c));
        }
        child<QLineEdit>(&dialog, "matrixNameEdit")->setText(QStringLiteral("typed"));
        child<QLineEdit>(&dialog, "matrixIndexEdit")->setText(QStringLiteral("7"));
        rig.store->setSilent(true);
    }
    const QStringList before = shownTexts(&dialog);
    const int crCommands = crJob ? int(rig.cr->commands().size()) : 0;
    const int storeCalls = crJob ? 0 : rig.store->calls();

    StallProbe probe;

    probe.start();
    if (job == QLatin1String("ScanList")) {
        child<QPushButton>(&dialog, "scanButton")->click();
    } else if (job == QLatin1String("ReadOut")) {
        child<QPushButton>(&dialog, "readButton")->click();
    } else if (job == QLatin1String("WriteIn")) {
        child<QPushButton>(&dialog, "writeButton")->click();
    } else if (job == QLatin1String("Delete")) {
        dialog.doCalDel();
    } else if (job == QLatin1String("CR-250 speed")) {
        rig.cr->setFault("SM Speed", Fault::Silence);
        auto* speed = child<QComboBox>(&dialog, "speedBox");
        speed->setCurrentIndex(speed->currentIndex() == 0 ? 1 : 0);
    } else {
        rig.cr->setFault("SM UserCalibMode", Fault::Silence);
        child<QComboBox>(&dialog, "calibModeBox")->setCurrentIndex(1);
    }
    if (crJob)
        QTRY_VERIFY_WITH_TIMEOUT(int(rig.cr->commands().size()) > crCommands, 3000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(rig.store->calls() > storeCalls, 3000);
    // The dialog went on while the instrument took the call.
    VERIFY_NO_STALL(probe);
    if (!crJob)
        QTRY_VERIFY_WITH_TIMEOUT(rig.store->isWaiting(), 3000);
    QVERIFY(rig.controller.isInstrumentBusy());
    QVERIFY(bar->isVisible());
    QCOMPARE(child<QLabel>(&dialog, "waitLabel")->text(), QStringLiteral("Waiting for the instrument: %1").arg(what));
    for (QWidget* control : qAsConst(controls))
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    const QStringList selectors = shownTexts(&dialog);

    if (!crJob) {
        // The controller's matrix needs no instrument: it still reads and
        // writes at once.
        QVERIFY(child<QPushButton>(&dialog, "curWriteButton")->isEnabled());
        child<QPushButton>(&dialog, "curWriteButton")->click();
        QCOMPARE(rig.controller.correctionMatrix()(2, 1), 7.0);
        // Another job is refused with the controller's words.
        dialog.doCalScan();
        QCOMPARE(rig.messages.texts(), QStringList{rig.controller.waitingText()});
        rig.messages.clear();
    }

    QElapsedTimer clock;
    clock.start();
    if (byKey)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        cancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.controller.isInstrumentBusy(), 1000);
    VERIFY_CANCEL_IN_TIME(clock);
    VERIFY_NO_STALL(probe);

    // Esc ended the wait, not the dialog; nothing the job would have shown is.
    QVERIFY(dialog.isVisible());
    QVERIFY(!bar->isVisible());
    for (QWidget* control : qAsConst(controls))
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(rig.messages.boxes(), QStringList());
    // A selector keeps the user's choice, as when the instrument refuses it.
    QCOMPARE(shownTexts(&dialog), crJob ? selectors : before);
    if (!crJob)
        return;
    // The instrument still takes the next change; the cancelled one sent
    // nothing after the command left unanswered. Each command of the next
    // change has been answered, so everything sent before it is recorded.
    std::vector<std::string> expected = rig.cr->commands();
    QVERIFY(expected.size() > size_t(crCommands));
    // What was sent before, and the command left unanswered.
    expected.resize(size_t(crCommands) + 1);
    rig.cr->clearFaults();
    if (job == QLatin1String("CR-250 speed")) {
        child<QComboBox>(&dialog, "speedBox")->setCurrentIndex(2);
        expected.push_back("SM Speed 2");
        QTRY_VERIFY_WITH_TIMEOUT(rig.cr->hasReceived("SM Speed 2"), 3000);
    } else {
        const int matrix = rig.controller.currentSensor()->crModes()->getMatrixIndex();
        dialog.doChgCalibMode(1);
        expected.push_back("SM UserCalibMode 1");
        expected.push_back("SM Matrix " + std::to_string(matrix));
        QTRY_COMPARE_WITH_TIMEOUT(child<QComboBox>(&dialog, "calibValueBox")->currentIndex(), matrix, 3000);
    }
    QTRY_VERIFY(!rig.controller.isInstrumentBusy());
    QCOMPARE(rig.cr->commands(), expected);
    QCOMPARE(rig.messages.boxes(), QStringList());
}

void TestDialogsBusy::escapeClosesAnIdleDialog()
{
    Rig rig{QString()};
    QVERIFY(rig.opened);
    SensorDlg dialog(rig.controller.currentSensor(), &rig.controller);
    QVERIFY(showActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestDialogsBusy::frequencyTypedWhileWaitingGoesWithTheCancel()
{
    Rig rig(QStringLiteral("CR-250"));
    QVERIFY(rig.opened);
    SensorDlg dialog(rig.controller.currentSensor(), &rig.controller);
    QVERIFY(showActive(&dialog));
    auto* freq = child<QLineEdit>(&dialog, "freqEdit");
    QVERIFY(!freq->isReadOnly());
    freq->clear();
    QTRY_VERIFY(!rig.controller.isInstrumentBusy());
    rig.cr->clearCommands();

    // The first digit waits for the instrument's range; the second is held.
    rig.cr->setFault("RC MinSyncFreq", Fault::Silence);
    QTest::keyClicks(freq, QStringLiteral("1"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.cr->hasReceived("RC MinSyncFreq"), 3000);
    QTest::keyClicks(freq, QStringLiteral("5"));
    child<QPushButton>(&dialog, "cancelButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.controller.isInstrumentBusy(), 1000);

    // The next change is the next thing the instrument hears.
    rig.cr->clearFaults();
    child<QComboBox>(&dialog, "speedBox")->setCurrentIndex(2);
    QTRY_VERIFY_WITH_TIMEOUT(rig.cr->hasReceived("SM Speed 2"), 3000);
    QTRY_VERIFY(!rig.controller.isInstrumentBusy());
    QCOMPARE(rig.cr->commands(), (std::vector<std::string>{"RC MinSyncFreq", "SM Speed 2"}));
    QCOMPARE(freq->text(), QStringLiteral("15"));
    QCOMPARE(rig.messages.boxes(), QStringList());
}

void TestDialogsBusy::closingTheDialogLeavesTheJobToAnswer()
{
    Rig rig{QString()};
    QVERIFY(rig.opened);
    auto dialog = std::make_unique<SensorDlg>(rig.controller.currentSensor(), &rig.controller);
    QVERIFY(showActive(dialog.get()));
    auto* table = child<QTableWidget>(dialog.get(), "matrixTable");
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            table->item(r, c)->setText(QStringLiteral("1"));
    }
    child<QLineEdit>(dialog.get(), "matrixNameEdit")->setText(QStringLiteral("closed"));
    child<QLineEdit>(dialog.get(), "matrixIndexEdit")->setText(QStringLiteral("4"));
    rig.store->setSilent(true);
    child<QPushButton>(dialog.get(), "writeButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.store->isWaiting(), 3000);
    dialog->reject();
    dialog.reset();

    // Still waited for, and the window's status says so, until it answers.
    QVERIFY(rig.controller.isInstrumentBusy());
    QCOMPARE(rig.controller.instrumentWaitText(), QStringLiteral("Writing a matrix"));
    QSignalSpy answered(&rig.controller, &Measure::requestFinished);
    rig.store->answer();
    QVERIFY(answered.wait(3000));
    QCOMPARE(answered.at(0).at(1).value<Measure::RequestResult>(), Measure::RequestResult::Succeeded);
    // Saved, but the dialog that would have said so and listed it again is gone.
    QCOMPARE(rig.messages.boxes(), QStringList());
    QCOMPARE(rig.store->calls(), 1);
    QVERIFY(!rig.controller.isInstrumentBusy());
}

void TestDialogsBusy::calibrateDialogCancelsItsReading_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Esc") << true;
}

void TestDialogsBusy::calibrateDialogCancelsItsReading()
{
    QFETCH(bool, byKey);
    Rig rig(QStringLiteral("CR-250"));
    QVERIFY(rig.opened);
    CalibrateDialog dialog(&rig.controller);
    QVERIFY(showActive(&dialog));
    auto* measureButton = child<QPushButton>(&dialog, "measureButton");
    auto* bar = child<QWidget>(&dialog, "instrumentWaitBar");
    QVERIFY(measureButton && bar);
    child<QRadioButton>(&dialog, "greenButton")->click();
    // A first reading, which the cancelled one must leave on show.
    measureButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!child<QTableWidget>(&dialog, "sensorTable")->item(1, 0)->text().isEmpty(), 5000);
    QTRY_VERIFY(measureButton->isEnabled());
    const QStringList before = shownTexts(&dialog);

    rig.cr->setFault("M", Fault::Silence);
    rig.cr->clearCommands();
    StallProbe probe;
    probe.start();
    measureButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(rig.cr->hasReceived("M"), 3000);
    VERIFY_NO_STALL(probe);
    QVERIFY(bar->isVisible());
    QVERIFY(!measureButton->isEnabled());

    QElapsedTimer clock;
    clock.start();
    if (byKey)
        QTest::keyClick(&dialog, Qt::Key_Escape);
    else
        child<QPushButton>(&dialog, "cancelButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.controller.isInstrumentBusy(), 1000);
    VERIFY_CANCEL_IN_TIME(clock);
    VERIFY_NO_STALL(probe);
    QVERIFY(dialog.isVisible());
    QVERIFY(!bar->isVisible());
    QTRY_VERIFY(measureButton->isEnabled());
    QCOMPARE(shownTexts(&dialog), before);
    QCOMPARE(rig.messages.boxes(), QStringList());
}

LUMASERVE_UI_TEST_MAIN(TestDialogsBusy)

#include "tst_dialogsbusy.moc"
