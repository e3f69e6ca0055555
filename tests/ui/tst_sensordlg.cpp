#include "ca410sensor.h"
#include "crxxxcensor.h"
#include "crxxxemulator.h"
#include "i1d3sensor.h"
#include "k10sensor.h"
#include "measure.h"
#include "mlink_i1d3.h"
#include "recordingmessenger.h"
#include "sensordlg.h"
#include "sensorlibrary.h"
#include "uitest.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLibrary>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <memory>

namespace {

const QString kI1d3Dir = QStringLiteral(I1D3_STANDIN_DIR);
const QString kK10Dir = QStringLiteral(K10_STANDIN_DIR);
const QString kName19 = QStringLiteral("Panel-19-characters");
// What the drivers store of it: 18 characters and the record's terminating zero.
const QString kStoredName = kName19.left(18);

// Values a user types, with the decimal point whatever the locale.
const char* const kTyped[3][3] = {
    {"1.025", "-0.0125", "0.5"},
    {"0.003", "0.98765", "0"},
    {"-0.25", "0.0625", "1.125"},
};

// Whether a matrix, a stored record or the dialog's table holds what was typed.
template <typename M>
bool asTyped(const M& m)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (m(r, c) != QByteArray(kTyped[r][c]).toDouble())
                return false;
        }
    }
    return true;
}

// The features dialog of one sensor, looked at through its widgets' names.
struct Dialog {
    Dialog(CSensor* sensor, Measure* controller_)
        : dialog(std::make_unique<SensorDlg>(sensor, controller_))
        , controller(controller_)
    {
    }

    // The instrument thread's answer to what the dialog asked of it, and to
    // what that answer asked in turn.
    void settle() const { QTRY_VERIFY_WITH_TIMEOUT(!controller->isInstrumentBusy(), 5000); }
    void click(const char* name) const
    {
        button(name)->click();
        settle();
    }

    template <typename T>
    T* child(const char* name) const
    {
        return dialog->findChild<T*>(QString::fromLatin1(name));
    }
    QLineEdit* edit(const char* name) const { return child<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return child<QComboBox>(name); }
    QPushButton* button(const char* name) const { return child<QPushButton>(name); }
    QTableWidget* table() const { return child<QTableWidget>("matrixTable"); }
    QString cell(int r, int c) const { return table()->item(r, c)->text(); }
    double operator()(int r, int c) const { return cell(r, c).toDouble(); }

    // Every cell as the user types it, or emptied.
    void typeMatrix(bool empty = false) const
    {
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                table()->item(r, c)->setText(empty ? QString() : QString::fromLatin1(kTyped[r][c]));
        }
    }
    // The name and index a user types, then "WriteIn".
    void write(const QString& name, const QString& index) const
    {
        edit("matrixNameEdit")->setText(name);
        edit("matrixIndexEdit")->setText(index);
        click("writeButton");
    }
    QStringList items(const char* comboName) const
    {
        QStringList list;
        QComboBox* box = combo(comboName);
        for (int i = 0; i < box->count(); ++i)
            list << box->itemText(i);
        return list;
    }

    std::unique_ptr<SensorDlg> dialog;
    Measure* controller;
};

} // namespace

class TestSensorDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void i1d3WriteInChecksEveryInput();
    void i1d3WrittenMatrixReadsBackAsTyped();
    void i1d3ReadOutWithoutAnEntryDoesNothing();
    void i1d3WithoutUserStorageKeepsTheControllersMatrix();
    void k10WritesDeletesAndReadsBack();
    void cr100CalibrationAndSyncModes();
    void cr250SpeedAndFrequency();
    void ca410ShowsItsIdentityOnly();
    void cellStillBeingEditedIsWhatIsWritten_data();
    void cellStillBeingEditedIsWhatIsWritten();

private:
    int64_t i1d3Sim(i1d3_sim_op op, int64_t value = 0, const char* function = nullptr, int32_t code = 0);
    int k10Sim(const QByteArray& command) { return k10Control(command.constData()); }
    std::unique_ptr<CRXXXCensor> openCr(const CrxxxEmulator::Config& config);

    QLibrary i1d3Library;
    QLibrary k10Library;
    int32_t (*i1d3Control)(i1d3_sim_request*) = nullptr;
    int32_t (*k10Control)(const char*) = nullptr;
    std::unique_ptr<RecordingMessenger> messages;
    std::unique_ptr<Measure> controller;
    std::unique_ptr<CrxxxEmulator> crDevice;
    // The i1Display Pro stand-in, opened afresh for each test.
    std::unique_ptr<I1d3Sensor> i1d3;
};

int64_t TestSensorDlg::i1d3Sim(i1d3_sim_op op, int64_t value, const char* function, int32_t code)
{
    i1d3_sim_request request = {};
    request.op = op;
    request.value = value;
    request.code = code;
    if (function)
        qstrncpy(request.function, function, sizeof(request.function));
    if (i1d3Control(&request) != I1D3_OK)
        qWarning("the simulated i1Display Pro refused a request");
    return request.value;
}

std::unique_ptr<CRXXXCensor> TestSensorDlg::openCr(const CrxxxEmulator::Config& config)
{
    crDevice = std::make_unique<CrxxxEmulator>(config);
    if (!crDevice->start())
        return nullptr;
    auto sensor = std::make_unique<CRXXXCensor>();
    sensor->setReadDeadline(5000);
    if (!sensor->init(QString::fromStdString(crDevice->devicePath())))
        return nullptr;
    crDevice->clearCommands();
    return sensor;
}

void TestSensorDlg::initTestCase()
{
    i1d3Library.setFileName(QDir(kI1d3Dir).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3"))));
    QVERIFY2(i1d3Library.load(), qPrintable(i1d3Library.errorString()));
    i1d3Control = reinterpret_cast<int32_t (*)(i1d3_sim_request*)>(i1d3Library.resolve("i1d3SimControl"));
    QVERIFY(i1d3Control);
    k10Library.setFileName(QDir(kK10Dir).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10"))));
    QVERIFY2(k10Library.load(), qPrintable(k10Library.errorString()));
    k10Control = reinterpret_cast<int32_t (*)(const char*)>(k10Library.resolve("k10SimControl"));
    QVERIFY(k10Control);
}

void TestSensorDlg::init()
{
    SensorLibrary::setExtraDirectories({kI1d3Dir, kK10Dir});
    i1d3Sim(I1D3_SIM_RESET);
    QCOMPARE(k10Sim("reset"), 0);
    messages = std::make_unique<RecordingMessenger>();
    controller = std::make_unique<Measure>();
    controller->SetMatrix(sampleMatrix());
    // Without user storage the instrument opens as such; that test opens its own.
    if (QTest::currentTestFunction() != QByteArray("i1d3WithoutUserStorageKeepsTheControllersMatrix")) {
        i1d3 = std::make_unique<I1d3Sensor>();
        QVERIFY(i1d3->init(QString()));
    }
}

void TestSensorDlg::cleanup()
{
    i1d3.reset();
    controller.reset();
    crDevice.reset();
    messages.reset();
    SensorLibrary::setExtraDirectories({});
}

void TestSensorDlg::i1d3WriteInChecksEveryInput()
{
    Dialog d(i1d3.get(), controller.get());
    QVERIFY(d.child<QGroupBox>("calibrationGroup"));
    QCOMPARE(d.edit("serialEdit")->text(), QStringLiteral(I1D3_SIM_SERIAL));
    QCOMPARE(d.edit("portEdit")->text(), QStringLiteral("USB"));
    QCOMPARE(d.combo("storageBox")->currentText(), QStringLiteral("Enabled"));
    QVERIFY(!d.combo("storageBox")->isEnabled());
    // The 25-character hint is held to the name's limit.
    QCOMPARE(d.edit("matrixNameEdit")->text(), QStringLiteral("Maxmum Name Size 19"));
    QVERIFY(d.edit("matrixIndexEdit")->text().isEmpty());

    // The index takes digits only, at most two of them here.
    QTest::keyClicks(d.edit("matrixIndexEdit"), QStringLiteral("-x4a72"));
    QCOMPARE(d.edit("matrixIndexEdit")->text(), QStringLiteral("47"));

    struct Case {
        QString name;
        QString index;
        int emptyRow; // -1: the table is complete
        int emptyCol;
        QString message;
    };
    const Case cases[] = {
        {QString(), "5", -1, -1, "Invalid Matrix Name and Index"},
        {kName19, QString(), -1, -1, "Invalid Matrix Name and Index"},
        {kName19, "96", -1, -1, "Invalid Matrix Index 96, [0,95] acceptable"},
        {kName19, "5", 1, 2, "Invalid Matrix value at row2 col3"},
        // The instrument keeps slots 0 to 17; the driver refuses the rest.
        {kName19, "18", -1, -1, "Save Matrix18  Panel-19-characters, err"},
        {QStringLiteral("far"), "95", -1, -1, "Save Matrix95  far, err"},
    };
    for (const Case& c : cases) {
        messages->clear();
        d.typeMatrix();
        if (c.emptyRow >= 0)
            d.table()->item(c.emptyRow, c.emptyCol)->setText(QString());
        d.write(c.name, c.index);
        QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Critical Error: ") + c.message});
        QCOMPARE(i1d3Sim(I1D3_SIM_CALLS, 0, "i1d3SaveCalfile"), 0);
    }

    // A freshly opened dialog's table fails at its first cell.
    Dialog fresh(i1d3.get(), controller.get());
    messages->clear();
    fresh.write(QStringLiteral("fresh"), QStringLiteral("3"));
    QCOMPARE(messages->texts(), QStringList{QStringLiteral("Invalid Matrix value at row1 col1")});
    QCOMPARE(i1d3Sim(I1D3_SIM_CALLS, 0, "i1d3SaveCalfile"), 0);
}

void TestSensorDlg::i1d3WrittenMatrixReadsBackAsTyped()
{
    Dialog d(i1d3.get(), controller.get());
    d.typeMatrix();
    // The box comes once the wait is over: a wait left on show behind it
    // could not be cancelled, nor the list read again.
    bool waitOnShow = true;
    messages->setWhenShown([&d, &waitOnShow](const RecordingMessenger::Shown&) {
        waitOnShow = !d.child<QWidget>("instrumentWaitBar")->isHidden();
    });
    d.write(kName19, QStringLiteral("7"));
    messages->setWhenShown({});
    QVERIFY(!waitOnShow);
    QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Warning Infomation: Matrix7 Panel-19-characters Saved")});
    // Answered with OK, the list is read again.
    QCOMPARE(d.items("fileListBox"), QStringList({"MAT[7]_" + kStoredName}));

    d.typeMatrix(true);
    d.edit("matrixNameEdit")->clear();
    d.edit("matrixIndexEdit")->clear();
    d.click("readButton");
    QCOMPARE(messages->shown().size(), 1);
    QCOMPARE(d.edit("matrixNameEdit")->text(), kStoredName);
    QCOMPARE(d.edit("matrixIndexEdit")->text(), QStringLiteral("7"));
    QVERIFY(asTyped(d));
    QCOMPARE(d.cell(0, 1), QStringLiteral("-0.012500"));
    // Read back by the driver from the instrument itself, not from the table.
    QVERIFY(asTyped(i1d3->GetCalfile(0)));
}

void TestSensorDlg::i1d3ReadOutWithoutAnEntryDoesNothing()
{
    Dialog d(i1d3.get(), controller.get());
    d.typeMatrix();
    const QString name = d.edit("matrixNameEdit")->text();

    // Not scanned yet: the blank entry names nothing.
    QCOMPARE(d.items("fileListBox"), QStringList({" "}));
    d.click("readButton");
    // Scanned, and the instrument holds nothing.
    d.click("scanButton");
    QCOMPARE(d.combo("fileListBox")->count(), 0);
    d.click("readButton");
    QVERIFY(messages->shown().isEmpty());

    // An entry the instrument then fails to read is reported with its name.
    i1d3_sim_request store = {};
    store.op = I1D3_SIM_STORE;
    store.value = 3;
    qstrncpy(store.name, "stored", sizeof(store.name));
    QCOMPARE(i1d3Control(&store), I1D3_OK);
    d.click("scanButton");
    QCOMPARE(d.items("fileListBox"), QStringList({"MAT[3]_stored"}));
    i1d3Sim(I1D3_SIM_FAIL, 1, "i1d3GetCalfile", I1D3_ERR_COMMS);
    d.click("readButton");
    QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Warning I1Display Pro: Error in Read file MAT[3]_stored")});
    QCOMPARE(d.edit("matrixNameEdit")->text(), name);
}

void TestSensorDlg::i1d3WithoutUserStorageKeepsTheControllersMatrix()
{
    i1d3Sim(I1D3_SIM_SET_USR_ENABLED, 0);
    I1d3Sensor sensor;
    QVERIFY(sensor.init(QString()));
    QCOMPARE(sensor.getUsrEnabled(), 0);
    Dialog d(&sensor, controller.get());
    QCOMPARE(d.combo("storageBox")->currentText(), QStringLiteral("Disabled"));
    for (const char* name : {"scanButton", "readButton", "writeButton"})
        QVERIFY2(!d.button(name)->isEnabled(), name);
    QVERIFY(!d.combo("fileListBox")->isEnabled());
    QVERIFY(d.button("curReadButton")->isEnabled());
    QVERIFY(d.button("curWriteButton")->isEnabled());

    d.button("curReadButton")->click();
    QCOMPARE(d.cell(0, 2), QStringLiteral("-0.12500"));
    QCOMPARE(d.cell(2, 0), QStringLiteral("0.03125"));

    QSignalSpy changes(controller.get(), &Measure::matrixChanged);
    d.table()->item(1, 2)->setText(QString());
    d.button("curWriteButton")->click();
    QCOMPARE(messages->texts(), QStringList{QStringLiteral("Invalid Matrix value at row2 col3")});
    QCOMPARE(changes.size(), 0);
    QCOMPARE(controller->correctionMatrix(), sampleMatrix());
}

void TestSensorDlg::k10WritesDeletesAndReadsBack()
{
    K10Sensor sensor;
    QVERIFY(sensor.init(QStringLiteral("/dev/ttyK10SIM")));
    Dialog d(&sensor, controller.get());
    QVERIFY(!d.combo("storageBox"));
    QVERIFY(d.button("scanButton")->isEnabled());

    // Three digits here, so 100 can be typed, and is refused.
    d.typeMatrix();
    d.write(kName19, QStringLiteral("100"));
    QCOMPARE(messages->texts(), QStringList{QStringLiteral("Invalid Matrix Index 100, [0,95] acceptable")});
    QCOMPARE(k10Sim("calls k10SaveCalibrationMatrix"), 0);

    messages->clear();
    d.write(kName19, QStringLiteral("42"));
    QCOMPARE(k10Sim("stored 42"), 1);
    QCOMPARE(d.items("fileListBox"), QStringList({"MAT[42]_" + kStoredName}));
    d.typeMatrix(true);
    d.click("readButton");
    QCOMPARE(messages->shown().size(), 1);
    QVERIFY(asTyped(d));

    // The instrument refusing the write.
    messages->clear();
    QCOMPARE(k10Sim("fail k10SaveCalibrationMatrix 6"), 0);
    d.typeMatrix();
    d.write(QStringLiteral("full"), QStringLiteral("43"));
    QCOMPARE(messages->texts(), QStringList{QStringLiteral("Save Matrix43  full, err")});
    QCOMPARE(k10Sim("stored 43"), 0);

    // Deleting: every check, then the slot emptied and the list read again.
    const QList<QPair<QString, QString>> refused = {
        {QString(), QStringLiteral("Invalid Matrix Index")},
        {QStringLiteral("96"), QStringLiteral("Invalid Matrix Index 96, need [0,95]")},
        {QStringLiteral("41"), QStringLiteral("Delete Matrix41, err")},
    };
    for (const auto& indexAndMessage : refused) {
        messages->clear();
        d.edit("matrixIndexEdit")->setText(indexAndMessage.first);
        d.dialog->doCalDel();
        d.settle();
        QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Critical Error: ") + indexAndMessage.second});
    }
    QCOMPARE(k10Sim("stored 42"), 1);
    QCOMPARE(k10Sim("store 5 other 1 0 0 0 1 0 0 0 1"), 0);
    messages->clear();
    d.edit("matrixIndexEdit")->setText(QStringLiteral("42"));
    d.dialog->doCalDel();
    d.settle();
    QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Warning Infomation: Matrix42 Deleted")});
    QCOMPARE(k10Sim("stored 42"), 0);
    QCOMPARE(d.items("fileListBox"), QStringList({"MAT[5]_other"}));
}

void TestSensorDlg::cr100CalibrationAndSyncModes()
{
    std::unique_ptr<CRXXXCensor> sensor = openCr(CrxxxEmulator::cr100());
    QVERIFY(sensor);
    Dialog d(sensor.get(), controller.get());
    QVERIFY(!d.child<QGroupBox>("calibrationGroup"));
    QVERIFY(!d.combo("speedBox"));
    QCOMPARE(d.edit("serialEdit")->text(), QStringLiteral("10012345"));
    QCOMPARE(d.edit("portEdit")->text(), sensor->getPortName());
    QVERIFY(crDevice->commands().empty());

    // Calibration mode 0 has no values; modes 1 and 2 offer the matrices and the
    // matches, the instrument's own choice current. Filling a list passes
    // through other entries; none of them may reach the instrument, where each
    // would select another matrix on the way.
    QCOMPARE(d.items("calibModeBox"), QStringList({"Factory", "User1", "User2"}));
    QCOMPARE(d.combo("calibValueBox")->count(), 0);
    using Commands = std::vector<std::string>;
    const auto sent = [this, &d] {
        d.settle();
        const Commands commands = crDevice->commands();
        crDevice->clearCommands();
        return commands;
    };
    const int matrix = sensor->getMatrixIndex();
    d.combo("calibModeBox")->setCurrentIndex(1);
    d.settle();
    QCOMPARE(d.items("calibValueBox"), QStringList({"Panel A", "Panel B"}));
    QCOMPARE(d.combo("calibValueBox")->currentIndex(), matrix);
    QCOMPARE(sent(), (Commands{"SM UserCalibMode 1", "SM Matrix " + std::to_string(matrix)}));
    d.combo("calibValueBox")->setCurrentIndex(1 - matrix);
    d.settle();
    QCOMPARE(sent(), Commands{"SM Matrix " + std::to_string(1 - matrix)});
    const int match = sensor->getMatchIndex();
    d.combo("calibModeBox")->setCurrentIndex(2);
    d.settle();
    QCOMPARE(d.items("calibValueBox"), QStringList({"Match 1", "Match 2", "Match 3"}));
    QCOMPARE(d.combo("calibValueBox")->currentIndex(), match);
    QCOMPARE(sent(), (Commands{"SM UserCalibMode 2", "SM Match " + std::to_string(match)}));
    d.combo("calibModeBox")->setCurrentIndex(1);
    d.settle();
    QCOMPARE(sent(), (Commands{"SM UserCalibMode 1", "SM Matrix " + std::to_string(1 - matrix)}));
    d.combo("calibModeBox")->setCurrentIndex(0);
    d.settle();
    QCOMPARE(d.combo("calibValueBox")->count(), 0);
    QCOMPARE(sensor->getCalibMode(), 0);

    // The frequency can be edited in sync mode 2 only.
    QCOMPARE(sensor->getSyncMode(), 1);
    QVERIFY(d.edit("freqEdit")->isReadOnly());
    d.combo("syncModeBox")->setCurrentIndex(2);
    d.settle();
    QVERIFY(crDevice->hasReceived("SM SyncMode 2"));
    QVERIFY(!d.edit("freqEdit")->isReadOnly());
    d.combo("syncModeBox")->setCurrentIndex(0);
    QVERIFY(d.edit("freqEdit")->isReadOnly());
    d.settle();
    QCOMPARE(sensor->getSyncMode(), 0);
    QVERIFY(messages->shown().isEmpty());
}

void TestSensorDlg::cr250SpeedAndFrequency()
{
    std::unique_ptr<CRXXXCensor> sensor = openCr(CrxxxEmulator::cr250());
    QVERIFY(sensor);
    Dialog d(sensor.get(), controller.get());
    QVERIFY(!d.combo("calibModeBox"));
    QVERIFY(!d.edit("freqEdit")->isReadOnly());
    QCOMPARE(d.edit("freqEdit")->text(), QString::number(sensor->getSyncFreq()));
    QCOMPARE(d.combo("speedBox")->currentText(), QStringLiteral("Fast"));
    QVERIFY(crDevice->commands().empty());

    d.combo("speedBox")->setCurrentIndex(2);
    d.settle();
    QVERIFY(crDevice->hasReceived("SM Speed 2"));

    d.edit("freqEdit")->setText(QStringLiteral("120"));
    d.settle();
    QVERIFY(crDevice->hasReceived("SM SyncFreq 120"));

    // Typed key by key while the instrument answers the first digit: the
    // text typed last follows once it has, and what came between is skipped.
    d.edit("freqEdit")->clear();
    d.settle();
    crDevice->clearCommands();
    QTest::keyClicks(d.edit("freqEdit"), QStringLiteral("135"));
    QVERIFY(controller->isSensorBusy());
    d.settle();
    QStringList frequencies;
    for (const std::string& command : crDevice->commands()) {
        if (command.rfind("SM SyncFreq ", 0) == 0)
            frequencies << QString::fromStdString(command);
    }
    QCOMPARE(frequencies.size(), 2);
    QCOMPARE(frequencies.last(), QStringLiteral("SM SyncFreq 135"));
    QCOMPARE(sensor->getSyncFreq(), 135);
}

void TestSensorDlg::ca410ShowsItsIdentityOnly()
{
    CA410Sensor sensor;
    Dialog d(&sensor, controller.get());
    QVERIFY(d.child<QGroupBox>("featuresGroup"));
    QCOMPARE(d.dialog->findChildren<QGroupBox*>().size(), 1);
    QCOMPARE(d.dialog->findChildren<QComboBox*>().size(), 0);
    QCOMPARE(d.dialog->findChildren<QLineEdit*>().size(), 3);
    // Slots of parts it does not have do nothing.
    d.dialog->doCalScan();
    d.dialog->doCalRead();
    d.dialog->doCalWrite();
    d.dialog->doCurWrite();
    QVERIFY(messages->shown().isEmpty());
    QCOMPARE(controller->correctionMatrix(), sampleMatrix());
}

void TestSensorDlg::cellStillBeingEditedIsWhatIsWritten_data()
{
    QTest::addColumn<bool>("toInstrument");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    // The first cell is left downwards, the others upwards or to the left.
    QTest::newRow("WriteIn, first cell") << true << 0 << 0;
    QTest::newRow("WriteIn, middle cell") << true << 1 << 1;
    QTest::newRow("MatrixWrite, first row") << false << 0 << 2;
    QTest::newRow("MatrixWrite, last cell") << false << 2 << 2;
}

void TestSensorDlg::cellStillBeingEditedIsWhatIsWritten()
{
    QFETCH(bool, toInstrument);
    QFETCH(int, row);
    QFETCH(int, col);

    Dialog d(i1d3.get(), controller.get());
    d.dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(d.dialog.get()));
    d.typeMatrix();
    QTableWidgetItem* item = d.table()->item(row, col);
    item->setText(QStringLiteral("7"));
    d.edit("matrixNameEdit")->setText(QStringLiteral("edited"));
    d.edit("matrixIndexEdit")->setText(QStringLiteral("4"));

    // The user types into the cell and presses the button without leaving it.
    d.table()->setCurrentCell(row, col);
    d.table()->editItem(item);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    QVERIFY(d.table()->isAncestorOf(editor));
    editor->selectAll();
    QTest::keyClicks(editor, QString::fromLatin1(kTyped[row][col]));
    QCOMPARE(item->text(), QStringLiteral("7"));
    d.click(toInstrument ? "writeButton" : "curWriteButton");

    QCOMPARE(item->text(), QString::fromLatin1(kTyped[row][col]));
    if (toInstrument) {
        QVERIFY(asTyped(i1d3->GetCalfile(0)));
    } else {
        QVERIFY(messages->shown().isEmpty());
        QVERIFY(asTyped(controller->correctionMatrix()));
    }
}

LUMASERVE_UI_TEST_MAIN(TestSensorDlg)

#include "tst_sensordlg.moc"
