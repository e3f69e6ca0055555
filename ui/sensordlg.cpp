#include "sensordlg.h"

#include "calfile.h"
#include "crmodes.h"
#include "csensor.h"
#include "instrumentwaitbar.h"
#include "instrumentworker.h"
#include "matrixstore.h"
#include "measure.h"
#include "messenger.h"
#include "plainnumber.h"
#include "printabletext.h"
#include "sensortable.h"

#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace {

constexpr int kMaxNameLength = 19;
constexpr int kSyncModeWithFrequency = 2;
constexpr int kCalibModeMatrix = 1;
constexpr int kCalibModeMatch = 2;

const QString kCrPrefix = QStringLiteral("CR-");

QLineEdit* readOnlyField(const QString& text, int minimumWidth, const QString& objectName, QWidget* parent)
{
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(objectName);
    field->setReadOnly(true);
    field->setMinimumWidth(minimumWidth);
    return field;
}

QComboBox* comboBox(const QString& objectName, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(objectName);
    return box;
}

QPushButton* button(const QString& text, const QString& objectName, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(objectName);
    return b;
}

// On the instrument thread, between the steps of a job: a cancelled job sends
// nothing more to the instrument.
bool jobCancelled()
{
    const InstrumentWorker::Job* job = InstrumentWorker::currentJob();
    return job && job->isCancelled();
}

// What a calibration-mode change leaves selected, read on the instrument thread.
struct CalibValues {
    QStringList list;
    int index = -1;
};

} // namespace

SensorDlg::SensorDlg(CSensor* sensor_, Measure* controller_, QWidget* parent)
    : QDialog(parent)
    , sensor(sensor_)
    , controller(controller_)
{
    const QString name = sensor->getName();
    // The table's names of the i1Display Pro and the K-10; a CR driver names
    // itself after the model it reads.
    if (name == strSensors[4])
        i1d3 = sensor->matrixStore();
    else if (name == strSensors[5])
        k10 = sensor->matrixStore();
    else if (name.startsWith(kCrPrefix))
        cr = sensor->crModes();

    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(20, 20, 20, 20);

    auto* features = new QGroupBox(tr("Sensor Features:"), this);
    features->setObjectName(QStringLiteral("featuresGroup"));
    auto* grid = new QGridLayout(features);
    serialEdit = readOnlyField(PrintableText::from(sensor->getSerialNumber()), 150, QStringLiteral("serialEdit"), features);
    firmwareEdit = readOnlyField(PrintableText::from(sensor->getFirmwareVersion()), 100, QStringLiteral("firmwareEdit"), features);
    portEdit = readOnlyField(sensor->getHasComPort() ? sensor->getPortName() : tr("USB"), 150,
                             QStringLiteral("portEdit"), features);
    // One row each, so that the instrument's mode rows below share no cell.
    grid->addWidget(new QLabel(tr("SN :"), features), 0, 0);
    grid->addWidget(serialEdit, 0, 1, 1, 4);
    grid->addWidget(new QLabel(tr("FW :"), features), 1, 0);
    grid->addWidget(firmwareEdit, 1, 1, 1, 4);
    grid->addWidget(new QLabel(tr("Port :"), features), 2, 0);
    grid->addWidget(portEdit, 2, 1, 1, 4);
    if (cr)
        buildCrSelectors(grid);
    layout->addWidget(features);

    if (store())
        buildCalibrationGroup(layout);

    // The main window's Cancel is out of reach while this dialog is open.
    layout->addWidget(new InstrumentWaitBar(controller, this));
    setLayout(layout);

    connect(controller, &Measure::instrumentBusyChanged, this, &SensorDlg::updateInstrumentControls);
    connect(controller, &Measure::requestFinished, this,
            [this](Measure::Request, Measure::RequestResult result) {
                // The user stopped waiting: a frequency typed meanwhile goes
                // too; otherwise it follows now that the instrument is free.
                if (result == Measure::RequestResult::Cancelled)
                    heldFrequency.reset();
                else if (!controller->isSensorBusy())
                    sendHeldFrequency();
            });
    updateInstrumentControls();
}

SensorDlg::~SensorDlg() = default;

void SensorDlg::buildCalibrationGroup(QVBoxLayout* layout)
{
    auto* group = new QGroupBox(tr("Calibration File:"), this);
    group->setObjectName(QStringLiteral("calibrationGroup"));
    auto* grid = new QGridLayout(group);

    fileListBox = comboBox(QStringLiteral("fileListBox"), group);
    matrixNameEdit = new QLineEdit(group);
    matrixNameEdit->setObjectName(QStringLiteral("matrixNameEdit"));
    matrixNameEdit->setMaxLength(kMaxNameLength);
    matrixNameEdit->setText(tr("Maxmum Name Size 19 bytes"));
    matrixIndexEdit = new QLineEdit(group);
    matrixIndexEdit->setObjectName(QStringLiteral("matrixIndexEdit"));
    matrixIndexEdit->setMaxLength(3);
    matrixTable = new QTableWidget(3, 3, group);
    matrixTable->setObjectName(QStringLiteral("matrixTable"));
    matrixTable->horizontalHeader()->hide();
    matrixTable->verticalHeader()->hide();
    matrixTable->setFixedSize(302, 92);
    // The nine cells fill the fixed size, with no scroll bar taking the room of
    // a cell.
    matrixTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    matrixTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    matrixTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    matrixTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            matrixTable->setItem(r, c, new QTableWidgetItem(QString()));
    }
    QPushButton* scanButton = button(tr("ScanList"), QStringLiteral("scanButton"), group);
    QPushButton* readButton = button(tr("ReadOut"), QStringLiteral("readButton"), group);
    QPushButton* writeButton = button(tr("WriteIn"), QStringLiteral("writeButton"), group);
    QPushButton* curReadButton = button(tr("MatrixRead"), QStringLiteral("curReadButton"), group);
    QPushButton* curWriteButton = button(tr("MatrixWrite"), QStringLiteral("curWriteButton"), group);
    connect(scanButton, &QPushButton::clicked, this, &SensorDlg::doCalScan);
    connect(readButton, &QPushButton::clicked, this, &SensorDlg::doCalRead);
    connect(writeButton, &QPushButton::clicked, this, &SensorDlg::doCalWrite);
    connect(curReadButton, &QPushButton::clicked, this, &SensorDlg::doCurRead);
    connect(curWriteButton, &QPushButton::clicked, this, &SensorDlg::doCurWrite);

    if (i1d3) {
        const int usrEnabled = i1d3->getUsrEnabled();
        qDebug("sensordlg   i1d3 usren=%d\n", usrEnabled);
        storageBox = comboBox(QStringLiteral("storageBox"), group);
        storageBox->addItems({tr("Disabled"), tr("Enabled")});
        storageBox->setCurrentIndex(usrEnabled ? 1 : 0);
        storageBox->setEnabled(false); // shows the state, cannot change it
        fileListBox->addItem(QStringLiteral(" "));
        matrixIndexEdit->setInputMask(QStringLiteral("99"));
        matrixIndexEdit->clear();

        grid->addWidget(new QLabel(tr("UserStorage:"), group), 0, 0);
        grid->addWidget(storageBox, 0, 1, 1, 3);
        grid->addWidget(new QLabel(tr("File List:"), group), 2, 0);
        grid->addWidget(fileListBox, 2, 1, 1, 3);
        grid->addWidget(new QLabel(tr("Matrix Name:"), group), 4, 0);
        grid->addWidget(matrixNameEdit, 4, 1, 1, 3);
        grid->addWidget(new QLabel(tr("Matrix Index:"), group), 6, 0);
        grid->addWidget(matrixIndexEdit, 6, 1, 1, 3);
        grid->addWidget(matrixTable, 8, 0, 1, 4);
        grid->addWidget(new QLabel(tr("Meter:"), group), 9, 0);
        grid->addWidget(scanButton, 9, 1);
        grid->addWidget(readButton, 9, 2);
        grid->addWidget(writeButton, 9, 3);
        grid->addWidget(new QLabel(tr("Profile:"), group), 11, 0);
        grid->addWidget(curReadButton, 11, 2);
        grid->addWidget(curWriteButton, 11, 3);

        // Without user storage the instrument refuses every stored-matrix call;
        // the controller's matrix does not depend on it.
        if (usrEnabled == 0) {
            for (QWidget* w : std::initializer_list<QWidget*>{fileListBox, scanButton, readButton, writeButton})
                w->setEnabled(false);
        } else {
            instrumentControls << fileListBox << scanButton << readButton << writeButton;
        }
    } else {
        fileListBox->setMinimumWidth(150);
        matrixNameEdit->setMinimumWidth(200);
        matrixIndexEdit->setMinimumWidth(100);
        matrixIndexEdit->setInputMask(QStringLiteral("999"));
        matrixIndexEdit->clear();

        grid->addWidget(new QLabel(tr("File List:"), group), 0, 0);
        grid->addWidget(fileListBox, 0, 1, 1, 3);
        grid->addWidget(new QLabel(tr("Matrix Name:"), group), 2, 0);
        grid->addWidget(matrixNameEdit, 2, 1, 1, 3);
        grid->addWidget(new QLabel(tr("Matrix Index:"), group), 3, 0);
        grid->addWidget(matrixIndexEdit, 3, 1, 1, 3);
        grid->addWidget(matrixTable, 5, 0, 1, 4);
        grid->addWidget(new QLabel(tr("Meter:"), group), 6, 0);
        grid->addWidget(scanButton, 6, 1);
        grid->addWidget(readButton, 6, 2);
        grid->addWidget(writeButton, 6, 3);
        grid->addWidget(new QLabel(tr("Profile:"), group), 8, 0);
        grid->addWidget(curReadButton, 8, 2);
        grid->addWidget(curWriteButton, 8, 3);
        instrumentControls << fileListBox << scanButton << readButton << writeButton;
    }

    layout->addSpacing(20);
    layout->addWidget(group);
    layout->addSpacing(20);
}

void SensorDlg::buildCrSelectors(QGridLayout* grid)
{
    QWidget* features = grid->parentWidget();

    syncModeBox = comboBox(QStringLiteral("syncModeBox"), features);
    syncModeBox->addItems(cr->getSyncModeList());
    syncModeBox->setCurrentIndex(cr->getSyncMode());
    connect(syncModeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SensorDlg::doChgSyncMode);
    grid->addWidget(new QLabel(tr("Sync Mode:"), features), 3, 0);
    grid->addWidget(syncModeBox, 3, 1, 1, 3);
    instrumentControls << syncModeBox;

    freqEdit = new QLineEdit(features);
    freqEdit->setObjectName(QStringLiteral("freqEdit"));
    freqEdit->setStyleSheet(QStringLiteral("QLineEdit {border: 2px solid gray;}"));
    freqEdit->setReadOnly(true);
    if (cr->getSyncMode() == kSyncModeWithFrequency) {
        freqEdit->setReadOnly(false);
        freqEdit->setText(QString::number(cr->getSyncFreq()));
    }
    connect(freqEdit, &QLineEdit::textChanged, this, &SensorDlg::doChgSyncFreq);
    grid->addWidget(new QLabel(QString(), features), 4, 0);
    grid->addWidget(new QLabel(tr("Freq(Hz):"), features), 4, 1);
    grid->addWidget(freqEdit, 4, 2, 1, 2);

    if (sensor->getName() == QLatin1String("CR-100")) {
        calibModeBox = comboBox(QStringLiteral("calibModeBox"), features);
        calibModeBox->addItems(cr->getCalibModeList());
        calibModeBox->setCurrentIndex(cr->getCalibMode());
        connect(calibModeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &SensorDlg::doChgCalibMode);
        grid->addWidget(new QLabel(tr("CalibMode:"), features), 5, 0);
        grid->addWidget(calibModeBox, 5, 1, 1, 3);

        calibValueBox = comboBox(QStringLiteral("calibValueBox"), features);
        if (cr->getCalibMode() == kCalibModeMatrix) {
            calibValueBox->addItems(cr->getMatrixList());
            calibValueBox->setCurrentIndex(cr->getMatrixIndex());
        } else if (cr->getCalibMode() == kCalibModeMatch) {
            calibValueBox->addItems(cr->getMatchList());
            calibValueBox->setCurrentIndex(cr->getMatchIndex());
        }
        connect(calibValueBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &SensorDlg::doChgCalibValue);
        grid->addWidget(new QLabel(tr("CalibValue:"), features), 6, 0);
        grid->addWidget(calibValueBox, 6, 1, 1, 3);
        instrumentControls << calibModeBox << calibValueBox;
    } else if (sensor->getName() == QLatin1String("CR-250")) {
        speedBox = comboBox(QStringLiteral("speedBox"), features);
        speedBox->addItems(cr->getSpeedList());
        speedBox->setCurrentIndex(cr->getSpeedMode());
        connect(speedBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &SensorDlg::doChgSpeedMode);
        grid->addWidget(new QLabel(tr("Speed:"), features), 5, 0);
        grid->addWidget(speedBox, 5, 1, 1, 3);
        instrumentControls << speedBox;
    }
}

void SensorDlg::updateInstrumentControls()
{
    const bool idle = !controller->isSensorBusy();
    for (QWidget* control : qAsConst(instrumentControls))
        control->setEnabled(idle);
}

// ---- CR selectors -----------------------------------------------------------

void SensorDlg::sendCrChange(std::function<void()> change)
{
    // Results are not shown: a setter that fails leaves the driver's setting,
    // and the selector the user's choice.
    controller->runInstrumentJob(
        tr("Changing the instrument's mode"),
        [change] {
            change();
            return QVariant();
        },
        this, {});
}

void SensorDlg::doChgSyncMode(int mode)
{
    if (!cr)
        return;
    CrModes* modes = cr;
    sendCrChange([modes, mode] { modes->setSyncMode(mode); });
    freqEdit->setReadOnly(mode != kSyncModeWithFrequency);
}

void SensorDlg::doChgSyncFreq(const QString& text)
{
    if (!cr)
        return;
    int hz = 0;
    if (!parsePlainInt(text, &hz))
        hz = 0;
    // Typing goes on while the instrument answers the last digit: the
    // latest text follows once it has.
    if (controller->isSensorBusy()) {
        heldFrequency = hz;
        return;
    }
    CrModes* modes = cr;
    // The driver clamps it to the instrument's range.
    sendCrChange([modes, hz] { modes->setSynFreq(hz); });
}

void SensorDlg::sendHeldFrequency()
{
    if (!heldFrequency || !cr)
        return;
    const int hz = *heldFrequency;
    heldFrequency.reset();
    CrModes* modes = cr;
    sendCrChange([modes, hz] { modes->setSynFreq(hz); });
}

void SensorDlg::doChgCalibMode(int mode)
{
    if (!cr || !calibValueBox)
        return;
    CrModes* modes = cr;
    auto values = std::make_shared<CalibValues>();
    controller->runInstrumentJob(
        tr("Changing the instrument's mode"),
        [modes, mode, values] {
            modes->setCalibMode(mode);
            if (jobCancelled())
                return QVariant();
            if (mode == kCalibModeMatrix) {
                values->index = modes->getMatrixIndex();
                modes->setCalibMatrix(values->index);
                values->list = modes->getMatrixList();
            } else if (mode == kCalibModeMatch) {
                values->index = modes->getMatchIndex();
                modes->setCalibMatch(values->index);
                values->list = modes->getMatchList();
            }
            return QVariant();
        },
        this,
        [this, mode, values](const QVariant&) {
            if (mode != 0 && mode != kCalibModeMatrix && mode != kCalibModeMatch)
                return;
            // Refilled without passing the intermediate selections to the
            // instrument: each would select another matrix there on the way.
            const QSignalBlocker blocker(calibValueBox);
            calibValueBox->clear();
            if (mode != 0) {
                calibValueBox->addItems(values->list);
                calibValueBox->setCurrentIndex(values->index);
            }
        });
}

void SensorDlg::doChgCalibValue(int index)
{
    if (!cr || index < 0)
        return;
    CrModes* modes = cr;
    // The mode as the driver has it, on the thread that changes it.
    sendCrChange([modes, index] {
        if (modes->getCalibMode() == kCalibModeMatrix)
            modes->setCalibMatrix(index);
        else if (modes->getCalibMode() == kCalibModeMatch)
            modes->setCalibMatch(index);
    });
}

void SensorDlg::doChgSpeedMode(int mode)
{
    if (!cr)
        return;
    CrModes* modes = cr;
    sendCrChange([modes, mode] { modes->setSpeedMode(mode); });
}

// ---- Stored matrices --------------------------------------------------------

void SensorDlg::showError(const QString& text)
{
    Messenger::critical(this, tr("Error"), text);
}

void SensorDlg::doCalScan()
{
    if (store())
        scanList(false);
}

void SensorDlg::scanList(bool keepWhenEmpty)
{
    MatrixStore* matrices = store();
    controller->runInstrumentJob(
        tr("Reading the list of stored matrices"), [matrices] { return QVariant(matrices->GetCalList()); },
        this, [this, keepWhenEmpty](const QVariant& result) {
            const QStringList list = result.toStringList();
            if (list.isEmpty() && keepWhenEmpty)
                return;
            fileListBox->clear();
            if (!list.isEmpty()) {
                fileListBox->addItems(list);
                fileListBox->setCurrentIndex(0);
            }
        });
}

void SensorDlg::doCalRead()
{
    MatrixStore* matrices = store();
    if (!matrices)
        return;
    // The blank entry of a dialog not scanned yet names no matrix either.
    const QString current = fileListBox->currentText();
    if (fileListBox->count() == 0 || current.trimmed().isEmpty())
        return;
    const int position = fileListBox->currentIndex();
    const QString title = sensor->getName();
    auto cal = std::make_shared<Calfile>();
    controller->runInstrumentJob(
        tr("Reading a stored matrix"),
        [matrices, position, cal] {
            *cal = matrices->GetCalfile(position);
            return QVariant();
        },
        this, [this, cal, current, title](const QVariant&) {
            if (cal->GetName().isEmpty()) {
                Messenger::warning(nullptr, title, tr("Error in Read file %1").arg(current));
                return;
            }
            qDebug() << "doCalRead :" << cal->GetName();
            matrixNameEdit->setText(cal->GetName());
            matrixIndexEdit->setText(QString::number(cal->GetId()));
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c)
                    matrixTable->item(r, c)->setText(QString::number((*cal)(r, c), 'f', 6));
            }
        });
}

void SensorDlg::commitPendingEdit(int row, int col)
{
    QTableWidgetItem* item = matrixTable->item(row, col);
    if (!item || !item->isSelected())
        return;
    // Leaving the cell commits what is being typed into it.
    int toRow = row - 1;
    int toCol = col;
    if (row == 0) {
        toRow = col == 0 ? 1 : 0;
        toCol = col == 0 ? 0 : col - 1;
    }
    qDebug("mattable item(%d,%d) is seleced\n", row, col);
    qDebug("mattable item(%d, %d) --> item(%d, %d)\n", row, col, toRow, toCol);
    matrixTable->setCurrentCell(toRow, toCol);
}

void SensorDlg::doCalWrite()
{
    MatrixStore* matrices = store();
    if (!matrices)
        return;
    Calfile record;
    const QString indexText = matrixIndexEdit->text();
    const QString name = matrixNameEdit->text();
    if (indexText.isEmpty() || name.isEmpty()) {
        showError(tr("Invalid Matrix Name and Index"));
        return;
    }
    if (name.length() > kMaxNameLength) {
        showError(tr("Matrix Name length > 19 bytes"));
        return;
    }
    record.SetName(name);

    int index = 0;
    if (!parsePlainInt(indexText, &index)) {
        showError(tr("Invalid Matrix Index %1").arg(indexText));
        return;
    }
    if (index < 0 || index > Calfile::kMaxSlot) {
        showError(tr("Invalid Matrix Index %1, [0,95] acceptable").arg(index));
        return;
    }
    record.SetId(index);

    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            commitPendingEdit(r, c);
            const QString text = matrixTable->item(r, c)->text();
            double value = 0.0;
            if (!parsePlainDouble(text, &value)) {
                showError(tr("Invalid Matrix value at row%1 col%2").arg(r + 1).arg(c + 1));
                return;
            }
            record.SetData(r, c, value);
            qDebug("doCalSave: mat[%d][%d] [%s] --> %f", r, c, qPrintable(text), value);
        }
    }

    controller->runInstrumentJob(
        tr("Writing a matrix"), [matrices, record] { return QVariant(matrices->SaveCalfile(record)); }, this,
        [this, index, name](const QVariant& result) {
            if (result.toInt() != 0) {
                showError(tr("Save Matrix%1  %2, err").arg(index).arg(name));
                return;
            }
            const Messenger::Button answer =
                Messenger::current().show(this, Messenger::Icon::Warning, tr("Infomation"),
                                          tr("Matrix%1 %2 Saved").arg(index).arg(name), Messenger::Ok,
                                          Messenger::Ok);
            if (answer == Messenger::Ok) {
                qDebug("doCalSave OK, Scan list again");
                scanList(true);
            }
        });
}

void SensorDlg::doCalDel()
{
    if (!k10)
        return;
    const QString indexText = matrixIndexEdit->text();
    if (indexText.isEmpty()) {
        showError(tr("Invalid Matrix Index"));
        return;
    }
    int index = 0;
    if (!parsePlainInt(indexText, &index)) {
        showError(tr("Invalid Matrix Index %1").arg(indexText));
        return;
    }
    if (index < 0 || index > Calfile::kMaxSlot) {
        showError(tr("Invalid Matrix Index %1, need [0,95]").arg(index));
        return;
    }
    MatrixStore* matrices = k10;
    controller->runInstrumentJob(
        tr("Deleting a matrix"), [matrices, index] { return QVariant(matrices->DelCalfile(index)); }, this,
        [this, index](const QVariant& result) {
            if (result.toInt() != 0) {
                showError(tr("Delete Matrix%1, err").arg(index));
                return;
            }
            const Messenger::Button answer =
                Messenger::current().show(this, Messenger::Icon::Warning, tr("Infomation"),
                                          tr("Matrix%1 Deleted").arg(index), Messenger::Ok, Messenger::Ok);
            if (answer == Messenger::Ok) {
                qDebug("doCalDel OK, Scan list again");
                scanList(true);
            }
        });
}

// ---- The controller's matrix ------------------------------------------------

void SensorDlg::doCurRead()
{
    if (!matrixTable)
        return;
    const Matrix current = controller->correctionMatrix();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (QTableWidgetItem* item = matrixTable->item(r, c))
                item->setText(QStringLiteral("%1").arg(current(r, c), 5, 'f', 5));
        }
    }
}

void SensorDlg::doCurWrite()
{
    if (!matrixTable)
        return;
    Matrix m = Matrix::IdentityMatrix(3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            commitPendingEdit(r, c);
            double value = 0.0;
            if (!parsePlainDouble(matrixTable->item(r, c)->text(), &value)) {
                showError(tr("Invalid Matrix value at row%1 col%2").arg(r + 1).arg(c + 1));
                return;
            }
            m(r, c) = value;
            qDebug("Curwrite mat[%d][%d]=%f", r, c, value);
        }
    }
    controller->SetMatrix(m);
}
