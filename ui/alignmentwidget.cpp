#include "alignmentwidget.h"

#include "alignmentprofile.h"
#include "csensor.h"
#include "iconresources.h"
#include "measure.h"
#include "messenger.h"
#include "portlister.h"
#include "sensortable.h"

#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
const QString kProfileSuffix = QStringLiteral(".alg");
} // namespace

AlignmentWidget::AlignmentWidget(Measure* measureController, QWidget* parent)
    : QWidget(parent), measure(measureController)
{
    initIconResources();

    typeCombo = new QComboBox(this);
    typeCombo->setObjectName(QStringLiteral("typeCombo"));
    for (const QString& name : strSensors)
        typeCombo->addItem(name);
    sensorPortCombo = new QComboBox(this);
    sensorPortCombo->setObjectName(QStringLiteral("sensorPortCombo"));
    sensorPortCombo->setEnabled(false);
    profileCombo = new QComboBox(this);
    profileCombo->setObjectName(QStringLiteral("profileCombo"));
    monitorPortCombo = new QComboBox(this);
    monitorPortCombo->setObjectName(QStringLiteral("monitorPortCombo"));

    sensorButton = new QPushButton(this);
    sensorButton->setObjectName(QStringLiteral("sensorButton"));
    sensorButton->setIcon(QIcon(QStringLiteral(":/icons/resource/sensor.png")));
    sensorButton->setIconSize(QSize(55, 55));
    sensorButton->setStyleSheet(QStringLiteral("border: 0px"));
    sensorButton->setToolTip(tr("Sensor features"));
    sensorButton->setEnabled(false);
    monitorIcon = new QLabel(this);
    monitorIcon->setObjectName(QStringLiteral("monitorIcon"));
    monitorIcon->setPixmap(QPixmap(QStringLiteral(":/icons/resource/monitor.png")));
    monitorIcon->setEnabled(false);
    matrixIcon = new QLabel(this);
    matrixIcon->setObjectName(QStringLiteral("matrixIcon"));
    matrixIcon->setPixmap(QPixmap(QStringLiteral(":/icons/resource/matrix.png")));
    matrixIcon->setEnabled(false);

    matrixTable = new QTableWidget(3, 3, this);
    matrixTable->setObjectName(QStringLiteral("matrixTable"));
    matrixTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    matrixTable->horizontalHeader()->hide();
    matrixTable->verticalHeader()->hide();
    matrixTable->setFixedSize(302, 92);
    // The nine cells share the fixed size; no scrolling for three rows.
    matrixTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    matrixTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    matrixTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    matrixTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    matrixTable->setSelectionMode(QAbstractItemView::NoSelection);
    matrixTable->setFocusPolicy(Qt::NoFocus);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            matrixTable->setItem(r, c, new QTableWidgetItem(QString()));
    }

    auto* sensorBox = new QGroupBox(tr("Sensor"), this);
    auto* sensorGrid = new QGridLayout(sensorBox);
    sensorGrid->setContentsMargins(10, 10, 10, 10);
    sensorGrid->addWidget(new QLabel(tr("Type:"), sensorBox), 0, 0);
    sensorGrid->addWidget(typeCombo, 0, 1, 1, 2);
    sensorGrid->addWidget(new QLabel(tr("Port:"), sensorBox), 1, 0);
    sensorGrid->addWidget(sensorPortCombo, 1, 1, 1, 2);
    sensorGrid->addWidget(new QLabel(tr("Profile:"), sensorBox), 2, 0);
    sensorGrid->addWidget(profileCombo, 2, 1, 1, 2);
    sensorGrid->addWidget(sensorButton, 0, 3, 3, 1, Qt::AlignRight);

    auto* monitorBox = new QGroupBox(tr("Monitor"), this);
    auto* monitorGrid = new QGridLayout(monitorBox);
    monitorGrid->setContentsMargins(10, 10, 10, 10);
    monitorGrid->addWidget(new QLabel(tr("Port:"), monitorBox), 1, 0);
    monitorGrid->addWidget(monitorPortCombo, 1, 1, 1, 2);
    monitorGrid->addWidget(monitorIcon, 0, 3, 3, 1, Qt::AlignRight);

    auto* matrixBox = new QGroupBox(tr("Calibrate matrix:"), this);
    auto* matrixGrid = new QGridLayout(matrixBox);
    matrixGrid->addWidget(matrixTable, 0, 0, 1, 4);
    matrixGrid->addWidget(matrixIcon, 0, 4, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sensorBox);
    layout->addWidget(monitorBox);
    layout->addStretch(10);
    layout->addWidget(matrixBox);

    getPort();
    qDebug() << "portlist size = " << portList.size();
    for (int i = 0; i < portList.size(); ++i)
        qDebug() << QStringLiteral("portlist[%1]: [%2]").arg(i).arg(portList.at(i));
    sensorPortCombo->addItems(portList);
    monitorPortCombo->addItems(portList);
    redrawMatrix();

    // Activation comes only from the user, so entries selected below by code do
    // not re-enter these slots.
    connect(typeCombo, QOverload<int>::of(&QComboBox::activated), this, &AlignmentWidget::doTypeChang);
    connect(sensorPortCombo, QOverload<int>::of(&QComboBox::activated), this,
            &AlignmentWidget::doPortChang);
    connect(profileCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { doProfileChang(profileCombo->itemText(index)); });
    connect(sensorButton, &QPushButton::clicked, this, &AlignmentWidget::doSensorClick);
    connect(monitorPortCombo, QOverload<int>::of(&QComboBox::activated), this,
            &AlignmentWidget::doMonPortChg);
    connect(measure, &Measure::requestFinished, this, &AlignmentWidget::requestAnswered);
}

void AlignmentWidget::addBox(QWidget* box)
{
    // After the sensor's and the monitor's, above the stretch that keeps the
    // matrix at the bottom.
    auto* boxes = static_cast<QVBoxLayout*>(layout());
    boxes->insertWidget(2, box);
}

void AlignmentWidget::getPort()
{
    portList = QStringList{QString()};
    portList << PortLister::availablePorts();
}

bool AlignmentWidget::doPortscan()
{
    // A port that went away may be one of theirs: both are let go of first,
    // in one request.
    const bool sensorToo = sensorPortCombo->isEnabled() && measure->currentSensor();
    if (!releaseInstruments(sensorToo, measure->currentMonitor() != nullptr))
        return false;
    getPort();
    doMonPortUpdate();
    if (sensorToo) {
        sensorButton->setEnabled(false);
        redrawMatrix();
        profileCombo->clear();
    }
    doSenPortUpdate();
    return true;
}

bool AlignmentWidget::releaseInstruments(bool sensorToo, bool monitorToo)
{
    if (!sensorToo && !monitorToo)
        return true;
    return measure->requestRelease(sensorToo, monitorToo);
}

void AlignmentWidget::restoreChoice(QComboBox* combo, int lastIndex)
{
    // Going back is no new choice: the profile list would otherwise take it as one.
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(lastIndex);
}

void AlignmentWidget::requestAnswered(Measure::Request request, Measure::RequestResult result)
{
    const bool ok = result == Measure::RequestResult::Succeeded;
    if (request == Measure::Request::ConnectMonitor && monitorChoice) {
        monitorChoice = false;
        monitorIcon->setEnabled(ok);
        // A cancel is the user's own doing, no error.
        if (result == Measure::RequestResult::Failed)
            Messenger::warning(this, tr("Monitor"), tr("Connect Monitor Error!"));
        return;
    }
    if (request != Measure::Request::ConnectSensor || sensorChoice == SensorChoice::None)
        return;
    const SensorChoice choice = sensorChoice;
    sensorChoice = SensorChoice::None;
    const std::function<void()> then = std::move(afterSensorChoice);
    afterSensorChoice = nullptr;
    if (ok) {
        sensorButton->setEnabled(true);
        redrawMatrix();
        if (choice == SensorChoice::Type) {
            measure->SetMatrix(Matrix::IdentityMatrix(3));
            typeCombo->setCurrentIndex(choiceType);
        } else if (profileSerial.isEmpty()) {
            measure->SetMatrix(Matrix::IdentityMatrix(3));
        } else if (profileSerial != measure->currentSensor()->getSerialNumber()) {
            // The profile opened before belongs to another instrument: its matrix
            // must not correct this one.
            Messenger::critical(this, tr("Profile"), tr("Sensor SN Error!"));
            measure->SetMatrix(Matrix::IdentityMatrix(3));
        }
        initProfileCombox();
    }
    if (then)
        then();
}

void AlignmentWidget::doMonPortUpdate()
{
    if (measure->currentMonitor())
        releaseInstruments(false, true);
    monitorIcon->setEnabled(false);
    monitorPortCombo->clear();
    monitorPortCombo->addItems(portList);
    monitorPortCombo->setCurrentIndex(0);
    lastMonitorPortIndex = 0;
}

void AlignmentWidget::doSenPortUpdate()
{
    if (sensorPortCombo->isEnabled() && measure->currentSensor()) {
        releaseInstruments(true, false);
        sensorButton->setEnabled(false);
        redrawMatrix();
        profileCombo->clear();
    }
    sensorPortCombo->clear();
    sensorPortCombo->addItems(portList);
    sensorPortCombo->setCurrentIndex(0);
    lastSensorPortIndex = 0;
}

void AlignmentWidget::initProfileCombox()
{
    profileCombo->clear();
    profileCombo->addItem(QString());
    const QStringList files =
        QDir::current().entryList({QStringLiteral("*") + kProfileSuffix}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        profileCombo->addItem(file.left(file.size() - kProfileSuffix.size()));
}

void AlignmentWidget::resetProfileList()
{
    profileCombo->setCurrentIndex(0);
}

bool AlignmentWidget::sensorIsOpen() const
{
    const CSensor* sensor = measure->currentSensor();
    return sensor && sensor->getIsOpen();
}

void AlignmentWidget::openProfile(QString fileName)
{
    AlignmentProfile profile;
    switch (profile.read(fileName)) {
    case AlignmentProfile::ReadResult::CannotOpen:
        return;
    case AlignmentProfile::ReadResult::ParseError:
        Messenger::critical(this, tr("Profile"), tr("Parse Error!"));
        resetProfileList();
        return;
    case AlignmentProfile::ReadResult::Ok:
        break;
    }

    if (sensorIsOpen()) {
        if (profile.serialNumber() == measure->currentSensor()->getSerialNumber()) {
            measure->SetMatrix(profile.matrix());
            emit profileApplied(fileName);
        } else {
            Messenger::critical(this, tr("Profile"), tr("Sensor SN Error!"));
            resetProfileList();
        }
        return;
    }

    // No sensor yet: choose the profile's type, which opens a sensor without a
    // port at once; one with a port is opened when the user picks its port.
    doTypeChang(profile.sensorType());
    const auto apply = [this, profile, fileName] {
        if (sensorIsOpen() && measure->currentSensor()->getSerialNumber() != profile.serialNumber()) {
            Messenger::critical(this, tr("Profile"), tr("Sensor SN Error!"));
            resetProfileList();
            return;
        }
        profileSerial = profile.serialNumber();
        measure->SetMatrix(profile.matrix());
        emit profileApplied(fileName);
    };
    // The sensor of that type is on its way: the serial number is known when
    // it has answered.
    if (sensorChoice == SensorChoice::Type)
        afterSensorChoice = apply;
    else
        apply();
}

void AlignmentWidget::sensorTypeChanged(QString type)
{
    Q_UNUSED(type)
}

void AlignmentWidget::matrixChanged(Matrix m)
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double value = r < m.GetRows() && c < m.GetColumns() ? m(r, c) : 0.0;
            if (QTableWidgetItem* item = matrixTable->item(r, c))
                item->setText(QStringLiteral("%1").arg(value, 5, 'f', 5, QLatin1Char(' ')));
        }
    }
}

void AlignmentWidget::redrawMatrix()
{
    matrixChanged(measure->correctionMatrix());
}

void AlignmentWidget::doSensorPortChanged(int index)
{
    sensorPortCombo->setCurrentIndex(index);
}

void AlignmentWidget::doMonitorPortChanged(int index)
{
    monitorPortCombo->setCurrentIndex(index);
}

void AlignmentWidget::doSensorConnected(bool on)
{
    sensorButton->setEnabled(on);
    redrawMatrix();
}

void AlignmentWidget::doMonitorConnected(bool on)
{
    monitorIcon->setEnabled(on);
}

void AlignmentWidget::doAlignmentChanged(bool on)
{
    matrixIcon->setEnabled(on);
}

void AlignmentWidget::doSensorHasCom(bool on)
{
    sensorPortCombo->setEnabled(on);
}

bool AlignmentWidget::refuseWhileAligning(QComboBox* combo, int lastIndex)
{
    // Also while the service is still finishing an instrument call after being
    // switched off: it holds the sensor and the monitor until then.
    if (!measure->isAlignmentBusy())
        return false;
    // Switched off already but not yet let go of: "on" would contradict the
    // window's status bar.
    Messenger::warning(this, tr("Warning"),
                       measure->alignmentState() == Measure::AlignmentState::Stopping
                           ? tr("Alignment is stopping. Try again when it has stopped.")
                           : tr("Alignment is on."));
    restoreChoice(combo, lastIndex);
    return true;
}

bool AlignmentWidget::refuseSharedPort(QComboBox* combo, int lastIndex, bool shared, const QString& title,
                                       const QString& text)
{
    // One device cannot be both: the display would get the instrument's
    // commands, or the service would answer the instrument as a display.
    if (!shared)
        return false;
    Messenger::warning(this, title, text);
    restoreChoice(combo, lastIndex);
    return true;
}

void AlignmentWidget::doTypeChang(int type)
{
    if (refuseWhileAligning(typeCombo, lastTypeIndex))
        return;
    if (type < 0 || type >= kSensorTypeCount)
        return;
    const bool hadSensor = measure->currentSensor() != nullptr;
    // A type without a port opens at once, letting go of the sensor there
    // before; one with a port only lets go of it. Refused while the sensor is
    // busy, with the controller's box.
    const bool accepted = sensorHasCom[type] ? releaseInstruments(hadSensor, false)
                                             : measure->requestConnectSensor(type, QString());
    if (!accepted) {
        restoreChoice(typeCombo, lastTypeIndex);
        return;
    }
    if (hadSensor) {
        sensorButton->setEnabled(false);
        redrawMatrix();
        profileCombo->clear();
    }
    lastTypeIndex = typeCombo->currentIndex();
    sensorPortCombo->setCurrentIndex(0);
    lastSensorPortIndex = 0;

    if (!sensorHasCom[type]) {
        sensorPortCombo->setEnabled(false);
        sensorChoice = SensorChoice::Type;
        choiceType = type;
        return;
    }
    sensorPortCombo->setEnabled(true);
    typeCombo->setCurrentIndex(type);
}

void AlignmentWidget::doPortChang(int index)
{
    if (refuseWhileAligning(sensorPortCombo, lastSensorPortIndex))
        return;
    const bool choosesPort = index > 0 && index < portList.size();
    if (choosesPort
        && refuseSharedPort(sensorPortCombo, lastSensorPortIndex,
                            measure->isMonitorPort(portList.at(index)), tr("Sensor"),
                            tr("%1 is the monitor's port. The sensor needs a port of its own.")
                                .arg(portList.at(index))))
        return;
    const bool hadSensor = measure->currentSensor() != nullptr;
    if (choosesPort) {
        CSensor::setComPort(index - 1);
        qDebug() << "Alignment:: doPortChang :" << portList.at(index);
    }
    // The sensor there before is let go of by the request too.
    const bool accepted = choosesPort ? measure->requestConnectSensor(typeCombo->currentIndex(), portList.at(index))
                                      : releaseInstruments(hadSensor, false);
    if (!accepted) {
        restoreChoice(sensorPortCombo, lastSensorPortIndex);
        return;
    }
    if (hadSensor)
        profileCombo->clear();
    sensorButton->setEnabled(false);
    redrawMatrix();
    lastSensorPortIndex = sensorPortCombo->currentIndex();
    if (!choosesPort)
        return;
    lastTypeIndex = typeCombo->currentIndex();
    sensorChoice = SensorChoice::Port;
}

void AlignmentWidget::doMonPortChg(int index)
{
    qDebug() << "AlignmentWidget::doMonPortChg " << index;
    if (refuseWhileAligning(monitorPortCombo, lastMonitorPortIndex))
        return;
    const bool choosesPort = index > 0 && index < portList.size();
    if (choosesPort
        && refuseSharedPort(monitorPortCombo, lastMonitorPortIndex,
                            measure->isSensorPort(portList.at(index)), tr("Monitor"),
                            tr("%1 is the sensor's port. The monitor needs a port of its own.")
                                .arg(portList.at(index))))
        return;
    if (choosesPort)
        qDebug() << "Alignment:: doMonChg  " << portList.at(index);
    // A new link lets go of the one there before.
    const bool accepted = choosesPort ? measure->requestConnectMonitor(portList.at(index))
                                      : releaseInstruments(false, measure->currentMonitor() != nullptr);
    if (!accepted) {
        restoreChoice(monitorPortCombo, lastMonitorPortIndex);
        return;
    }
    monitorIcon->setEnabled(false);
    lastMonitorPortIndex = monitorPortCombo->currentIndex();
    monitorChoice = choosesPort;
}

void AlignmentWidget::doProfileChang(QString name)
{
    // The service keeps the matrix it took when alignment began: a profile
    // applied now would show numbers the display never gets.
    if (refuseWhileAligning(profileCombo, lastProfileIndex))
        return;
    lastProfileIndex = profileCombo->currentIndex();
    openProfile(name + kProfileSuffix);
}

void AlignmentWidget::doSensorClick()
{
    if (sensorButton->isEnabled())
        emit sensorClicked();
}
