#include "sensormatchingdialog.h"

#include "alignmentprofile.h"
#include "certificate.h"
#include "certificatefiles.h"
#include "chromaticityplot.h"
#include "chromaticityview.h"
#include "commandpatchsource.h"
#include "csensor.h"
#include "dialogprovider.h"
#include "matrix.h"
#include "measure.h"
#include "messenger.h"
#include "patchset.h"
#include "portlister.h"
#include "requestedpatchsource.h"
#include "screenpatchwindow.h"
#include "sensorinstrument.h"
#include "sensortable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString kProfileFilter = QStringLiteral("Profiles (*.alg)");
const QString kPatchFilter = QStringLiteral("Patch sets (*.csv)");
const QString kSessionFileName = QStringLiteral("session.json");

enum PatchColumn { PatchName, PatchRed, PatchGreen, PatchBlue, PatchUse, PatchProgress, PatchColumns };
enum MethodColumn { MethodName, MethodMean, MethodMaxUv, MethodMaxXy, MethodVerdict, MethodRecommended, MethodColumns };

bool hasPort(int type)
{
    return SensorTable::row(type).connection == SensorConnection::SerialPort;
}

QString typeName(int type)
{
    return QString::fromLatin1(SensorTable::row(type).name);
}

// Four decimals: the tolerance is given in thousandths; a figure that could
// not be worked out is a dash, never "nan".
QString figure(double value)
{
    return std::isfinite(value) ? QString::number(value, 'f', 4) : QStringLiteral("-");
}

QTableWidgetItem* cell(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QTableWidget* makeTable(const QStringList& headers, const QString& objectName, QWidget* parent)
{
    auto* table = new QTableWidget(0, headers.size(), parent);
    table->setObjectName(objectName);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setTabKeyNavigation(false);
    table->setWordWrap(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

Matrix toMatrix(const Matrix3x3& m)
{
    Matrix out(0.0, 3, 3);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            out(r, c) = m[size_t(r)][size_t(c)];
    }
    return out;
}

} // namespace

SensorMatchingDialog::SensorMatchingDialog(Measure* measure, QWidget* parent)
    : QDialog(parent)
    , m_measure(measure)
    , m_factory([](int type, QString port) -> std::unique_ptr<MatchingInstrument> {
        if (!SensorInstrument::hasDriver(type))
            return nullptr;
        return std::make_unique<SensorInstrument>(type, std::move(port));
    })
{
    setWindowTitle(tr("Sensor matching"));
    // The patch asked for comes from the run's thread.
    qRegisterMetaType<MatchingPatch>();

    QWidget* sensorGroup = nullptr;
    QWidget* referenceGroup = nullptr;
    m_sensor = makeInstrumentGroup(tr("Sensor"), QStringLiteral("sensor"), &sensorGroup);
    m_reference = makeInstrumentGroup(tr("Reference"), QStringLiteral("reference"), &referenceGroup);
    // Two instruments on two ports: the reference starts on the second one.
    if (m_reference.port->count() > 2)
        m_reference.port->setCurrentIndex(2);

    auto* runGroup = new QGroupBox(tr("Patches"), this);
    m_sourceCombo = new QComboBox(runGroup);
    m_sourceCombo->setObjectName(QStringLiteral("sourceCombo"));
    m_sourceCombo->addItem(tr("Screen"), int(PatchSourceKind::Screen));
    m_sourceCombo->addItem(tr("Pattern command"), int(PatchSourceKind::Command));
    m_sourceCombo->addItem(tr("Operator confirms each patch"), int(PatchSourceKind::Operator));
    m_screenCombo = new QComboBox(runGroup);
    m_screenCombo->setObjectName(QStringLiteral("screenCombo"));
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (int i = 0; i < screens.size(); ++i) {
        const QRect geometry = screens.at(i)->geometry();
        const QString name = screens.at(i)->name();
        const QString size = tr("%1 x %2").arg(geometry.width()).arg(geometry.height());
        m_screenCombo->addItem(name.isEmpty() ? tr("%1 (%2)").arg(i).arg(size)
                                              : tr("%1: %2 (%3)").arg(i).arg(name, size),
                               i);
    }
    m_commandEdit = new QLineEdit(runGroup);
    m_commandEdit->setObjectName(QStringLiteral("commandEdit"));
    m_commandEdit->setPlaceholderText(tr("Command run for each patch; %r %g %b are its levels (0-255)"));
    m_settleSpin = new QDoubleSpinBox(runGroup);
    m_settleSpin->setObjectName(QStringLiteral("settleSpin"));
    m_settleSpin->setRange(0.0, 30.0);
    m_settleSpin->setDecimals(1);
    m_settleSpin->setSingleStep(0.1);
    m_settleSpin->setValue(CommandPatchSource::kDefaultSettleMs / 1000.0);
    m_settleSpin->setSuffix(tr(" s"));
    m_repeatsSpin = new QSpinBox(runGroup);
    m_repeatsSpin->setObjectName(QStringLiteral("repeatsSpin"));
    m_repeatsSpin->setRange(1, 100);
    m_repeatsSpin->setValue(3);
    m_toleranceSpin = new QDoubleSpinBox(runGroup);
    m_toleranceSpin->setObjectName(QStringLiteral("toleranceSpin"));
    m_toleranceSpin->setDecimals(4);
    m_toleranceSpin->setRange(0.0001, 0.1);
    m_toleranceSpin->setSingleStep(0.0005);
    m_toleranceSpin->setValue(Certificate::kDefaultTolerance);
    m_patchFileEdit = new QLineEdit(runGroup);
    m_patchFileEdit->setObjectName(QStringLiteral("patchFileEdit"));
    m_patchFileEdit->setPlaceholderText(tr("The standard set"));
    m_patchFileButton = new QPushButton(tr("Browse..."), runGroup);
    m_patchFileButton->setObjectName(QStringLiteral("patchFileButton"));
    m_outputEdit = new QLineEdit(QDir::toNativeSeparators(QDir::current().filePath(QStringLiteral("sensor-matching"))),
                                 runGroup);
    m_outputEdit->setObjectName(QStringLiteral("outputEdit"));
    m_outputButton = new QPushButton(tr("Browse..."), runGroup);
    m_outputButton->setObjectName(QStringLiteral("outputButton"));
    m_memoryCheck = new QCheckBox(tr("Write to instrument memory at index"), runGroup);
    m_memoryCheck->setObjectName(QStringLiteral("memoryCheck"));
    m_memorySpin = new QSpinBox(runGroup);
    m_memorySpin->setObjectName(QStringLiteral("memorySpin"));
    m_memorySpin->setRange(0, 255);
    m_memorySpin->setValue(1);

    const auto row = [runGroup](QWidget* first, QWidget* second) {
        auto* line = new QHBoxLayout;
        line->addWidget(first, 1);
        line->addWidget(second);
        return line;
    };
    auto* runLayout = new QGridLayout(runGroup);
    runLayout->addWidget(new QLabel(tr("Shown by:"), runGroup), 0, 0);
    runLayout->addWidget(m_sourceCombo, 0, 1);
    runLayout->addWidget(new QLabel(tr("Screen:"), runGroup), 0, 2);
    runLayout->addWidget(m_screenCombo, 0, 3);
    runLayout->addWidget(new QLabel(tr("Command:"), runGroup), 1, 0);
    runLayout->addWidget(m_commandEdit, 1, 1, 1, 3);
    runLayout->addWidget(new QLabel(tr("Repeats:"), runGroup), 2, 0);
    runLayout->addWidget(m_repeatsSpin, 2, 1);
    runLayout->addWidget(new QLabel(tr("Settle:"), runGroup), 2, 2);
    runLayout->addWidget(m_settleSpin, 2, 3);
    runLayout->addWidget(new QLabel(tr("Tolerance (xy):"), runGroup), 3, 0);
    runLayout->addWidget(m_toleranceSpin, 3, 1);
    runLayout->addLayout(row(m_memoryCheck, m_memorySpin), 3, 2, 1, 2);
    runLayout->addWidget(new QLabel(tr("Patch file:"), runGroup), 4, 0);
    runLayout->addLayout(row(m_patchFileEdit, m_patchFileButton), 4, 1, 1, 3);
    runLayout->addWidget(new QLabel(tr("Output directory:"), runGroup), 5, 0);
    runLayout->addLayout(row(m_outputEdit, m_outputButton), 5, 1, 1, 3);
    runLayout->setColumnStretch(1, 1);
    runLayout->setColumnStretch(3, 1);

    m_patchTable = makeTable({tr("Patch"), tr("R"), tr("G"), tr("B"), tr("Use"), tr("Progress")},
                             QStringLiteral("patchTable"), this);
    m_methodTable = makeTable({tr("Method"), tr("Validation mean \u0394u\u2032v\u2032"), tr("Max \u0394u\u2032v\u2032"),
                               tr("Max \u0394xy"), tr("Verdict"), tr("Recommended")},
                              QStringLiteral("methodTable"), this);
    // Every method in view without scrolling: there are only four.
    m_methodTable->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    {
        const int rows = int(Certificate::standardMethods().size());
        const int rowHeight = m_methodTable->verticalHeader()->defaultSectionSize();
        m_methodTable->setFixedHeight(m_methodTable->horizontalHeader()->sizeHint().height() + rows * rowHeight
                                      + 2 * m_methodTable->frameWidth());
    }
    m_methodTable->setSelectionMode(QAbstractItemView::SingleSelection);
    // Beside the patches, the errors of a method: a glance shows whether they
    // point one way (a sensor the method could not straighten) or scatter.
    auto* diagramPane = new QWidget(this);
    m_diagramLabel = new QLabel(diagramPane);
    m_diagramLabel->setObjectName(QStringLiteral("diagramLabel"));
    // Long method names wrap rather than widen the pane.
    m_diagramLabel->setWordWrap(true);
    m_diagram = new ChromaticityView(diagramPane);
    m_diagram->setObjectName(QStringLiteral("matchingDiagram"));
    auto* diagramLayout = new QVBoxLayout(diagramPane);
    diagramLayout->setContentsMargins(0, 0, 0, 0);
    diagramLayout->addWidget(m_diagramLabel);
    diagramLayout->addWidget(m_diagram, 1);
    // The diagram beside both tables, the method table's choice next to the
    // errors it shows; beside the patch table alone it would be a strip.
    auto* tablePane = new QWidget(this);
    auto* tableLayout = new QVBoxLayout(tablePane);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->addWidget(m_patchTable, 1);
    tableLayout->addWidget(m_methodTable);
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("tableSplitter"));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(tablePane);
    splitter->addWidget(diagramPane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({840, 360});

    m_resultLabel = new QLabel(this);
    m_resultLabel->setObjectName(QStringLiteral("resultLabel"));
    m_resultLabel->setWordWrap(true);

    m_startButton = new QPushButton(tr("Start"), this);
    m_startButton->setObjectName(QStringLiteral("startButton"));
    m_cancelButton = new QPushButton(tr("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_saveButton = new QPushButton(tr("Save profile..."), this);
    m_saveButton->setObjectName(QStringLiteral("saveButton"));
    m_closeButton = new QPushButton(tr("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("closeButton"));
    // Enter in a field must not start a run or close the dialog.
    for (QPushButton* button : {m_startButton, m_cancelButton, m_saveButton, m_closeButton})
        button->setAutoDefault(false);

    auto* instruments = new QHBoxLayout;
    instruments->addWidget(sensorGroup);
    instruments->addWidget(referenceGroup);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_startButton);
    buttons->addWidget(m_cancelButton);
    buttons->addStretch();
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(instruments);
    layout->addWidget(runGroup);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_resultLabel);
    layout->addLayout(buttons);

    m_settings = {m_sensor.type,     m_sensor.port,  m_reference.type, m_reference.port, m_sourceCombo,
                  m_screenCombo,     m_commandEdit,  m_settleSpin,     m_repeatsSpin,    m_toleranceSpin,
                  m_patchFileEdit,   m_patchFileButton, m_outputEdit,  m_outputButton,   m_memoryCheck,
                  m_memorySpin};

    connect(m_sensor.type, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SensorMatchingDialog::typeChosen);
    connect(m_reference.type, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SensorMatchingDialog::typeChosen);
    connect(m_sourceCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SensorMatchingDialog::sourceChosen);
    connect(m_memoryCheck, &QCheckBox::toggled, m_memorySpin, &QWidget::setEnabled);
    connect(m_patchFileButton, &QPushButton::clicked, this, [this] {
        const QString file = DialogProvider::current().openFileName(this, tr("Patch set"), QDir::currentPath(),
                                                                    kPatchFilter);
        if (!file.isEmpty())
            m_patchFileEdit->setText(QDir::toNativeSeparators(file));
    });
    connect(m_outputButton, &QPushButton::clicked, this, [this] {
        const QString dir = DialogProvider::current().directory(this, tr("Output directory"), m_outputEdit->text());
        if (!dir.isEmpty())
            m_outputEdit->setText(QDir::toNativeSeparators(dir));
    });
    connect(m_methodTable, &QTableWidget::itemSelectionChanged, this, &SensorMatchingDialog::showMethodDiagram);
    connect(m_startButton, &QPushButton::clicked, this, &SensorMatchingDialog::start);
    connect(m_cancelButton, &QPushButton::clicked, this, &SensorMatchingDialog::cancel);
    connect(m_saveButton, &QPushButton::clicked, this, &SensorMatchingDialog::saveProfile);
    connect(m_closeButton, &QPushButton::clicked, this, &SensorMatchingDialog::reject);

    // Modal to the window that opened it, as the other dialogs of the menu:
    // the window's own instruments stay as they are while the run uses ports.
    setWindowModality(Qt::WindowModal);
    typeChosen();
    sourceChosen();
    setRunning(false);
    fillPatchTable(PatchSet::defaultSet().patches());
    showMethodDiagram();
    resize(1200, 900);
}

SensorMatchingDialog::~SensorMatchingDialog()
{
    // The run waits for its threads; nothing it sends on the way may reach
    // the half-destroyed dialog.
    if (m_run) {
        m_run->disconnect(this);
        m_run.reset();
    }
    closePrompt();
}

std::vector<int> SensorMatchingDialog::offeredTypes()
{
    std::vector<int> types;
    for (const SensorTypeRow& row : SensorTable::rows()) {
        if (row.create)
            types.push_back(row.type);
    }
    return types;
}

bool SensorMatchingDialog::keepsMatrices(int type)
{
    // Asked of a driver that has not opened its instrument: the driver says
    // what it can do without it, and no list of types needs keeping here.
    const SensorTypeRow& row = SensorTable::row(type);
    if (!row.create)
        return false;
    const std::unique_ptr<CSensor> driver(row.create());
    return driver && driver->matrixStore() != nullptr;
}

SensorMatchingDialog::InstrumentControls SensorMatchingDialog::makeInstrumentGroup(const QString& title,
                                                                                   const QString& prefix,
                                                                                   QWidget** group)
{
    auto* box = new QGroupBox(title, this);
    box->setObjectName(prefix + QStringLiteral("Group"));
    InstrumentControls controls;
    controls.type = new QComboBox(box);
    controls.type->setObjectName(prefix + QStringLiteral("TypeCombo"));
    for (int type : offeredTypes())
        controls.type->addItem(typeName(type), type);
    controls.port = new QComboBox(box);
    controls.port->setObjectName(prefix + QStringLiteral("PortCombo"));
    controls.port->addItem(QString());
    controls.port->addItems(PortLister::availablePorts());
    if (controls.port->count() > 1)
        controls.port->setCurrentIndex(1);
    controls.state = new QLabel(tr("Idle"), box);
    controls.state->setObjectName(prefix + QStringLiteral("StateLabel"));
    controls.state->setWordWrap(true);
    auto* form = new QFormLayout(box);
    form->addRow(tr("Type:"), controls.type);
    form->addRow(tr("Port:"), controls.port);
    form->addRow(tr("State:"), controls.state);
    *group = box;
    return controls;
}

void SensorMatchingDialog::setInstrumentFactory(InstrumentFactory factory)
{
    m_factory = std::move(factory);
}

bool SensorMatchingDialog::isRunning() const
{
    return m_run && m_run->isRunning();
}

int SensorMatchingDialog::chosenType(const InstrumentControls& controls) const
{
    return controls.type->currentData().toInt();
}

QString SensorMatchingDialog::chosenPort(const InstrumentControls& controls) const
{
    return hasPort(chosenType(controls)) ? controls.port->currentText() : QString();
}

void SensorMatchingDialog::typeChosen()
{
    const bool running = isRunning();
    for (const InstrumentControls* controls : {&m_sensor, &m_reference})
        controls->port->setEnabled(!running && hasPort(chosenType(*controls)));
    // Only a sensor that keeps matrices of its own can take one.
    const bool memory = keepsMatrices(chosenType(m_sensor));
    m_memoryCheck->setEnabled(!running && memory);
    if (!memory)
        m_memoryCheck->setChecked(false);
    m_memorySpin->setEnabled(!running && memory && m_memoryCheck->isChecked());
}

void SensorMatchingDialog::sourceChosen()
{
    const auto kind = PatchSourceKind(m_sourceCombo->currentData().toInt());
    const bool running = isRunning();
    m_screenCombo->setEnabled(!running && kind == PatchSourceKind::Screen);
    m_commandEdit->setEnabled(!running && kind == PatchSourceKind::Command);
    // The operator says when the patch is up; the others need time to reach its level.
    m_settleSpin->setEnabled(!running && kind != PatchSourceKind::Operator);
}

QString SensorMatchingDialog::refusal() const
{
    if (m_measure && m_measure->isAlignmentBusy())
        return tr("Alignment is on. Switch it off before matching sensors.");
    const int sensorType = chosenType(m_sensor);
    const int referenceType = chosenType(m_reference);
    const QString sensorPort = chosenPort(m_sensor);
    const QString referencePort = chosenPort(m_reference);
    if (hasPort(sensorType) && sensorPort.isEmpty())
        return tr("Choose the sensor's port.");
    if (hasPort(referenceType) && referencePort.isEmpty())
        return tr("Choose the reference's port.");
    if (!sensorPort.isEmpty() && !referencePort.isEmpty() && Measure::samePort(sensorPort, referencePort))
        return tr("The reference cannot be on the sensor's port %1: each instrument needs a port of its own.")
            .arg(referencePort);
    if (!hasPort(sensorType) && sensorType == referenceType)
        return tr("The sensor and the reference cannot both be the one %1.").arg(typeName(sensorType));
    if (m_measure) {
        for (const QString& port : {sensorPort, referencePort}) {
            if (port.isEmpty())
                continue;
            if (m_measure->isSensorPort(port))
                return tr("%1 is the port of the window's own sensor. Choose another port, or let go of the "
                          "window's sensor first (Portscan).")
                    .arg(port);
            if (m_measure->isMonitorPort(port))
                return tr("%1 is the port of the display under alignment. Choose another port.").arg(port);
        }
        const CSensor* own = m_measure->currentSensor();
        if (own && own->getIsOpen() && !hasPort(m_measure->getSensorType())) {
            for (int type : {sensorType, referenceType}) {
                if (type == m_measure->getSensorType())
                    return tr("The window's own sensor is the %1. Let go of it first (Portscan).").arg(typeName(type));
            }
        }
    }
    return QString();
}

bool SensorMatchingDialog::loadPatches(std::vector<MatchingPatch>* patches)
{
    const QString file = m_patchFileEdit->text().trimmed();
    if (file.isEmpty()) {
        *patches = PatchSet::defaultSet().patches();
        return true;
    }
    PatchSet set;
    QString error;
    if (!set.read(QDir::fromNativeSeparators(file), &error)) {
        Messenger::warning(this, tr("Sensor matching"),
                           tr("The patch file %1 cannot be used: %2").arg(file, error));
        return false;
    }
    *patches = set.patches();
    return true;
}

void SensorMatchingDialog::start()
{
    if (isRunning())
        return;
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        Messenger::warning(this, tr("Sensor matching"), refused);
        return;
    }
    MatchingRun::Settings settings;
    if (!loadPatches(&settings.patches))
        return;
    settings.repeats = m_repeatsSpin->value();
    settings.tolerance = m_toleranceSpin->value();
    const int sensorType = chosenType(m_sensor);
    const int referenceType = chosenType(m_reference);
    if (m_memoryCheck->isEnabled() && m_memoryCheck->isChecked()) {
        settings.memoryIndex = m_memorySpin->value();
        // Kept by the instrument, which may hold only plain letters.
        settings.memoryName = QStringLiteral("Matched to %1").arg(typeName(referenceType));
    }
    const QString settingsError = MatchingRun::checkSettings(settings);
    if (!settingsError.isEmpty()) {
        Messenger::warning(this, tr("Sensor matching"), settingsError);
        return;
    }

    const QString outputDir = QDir::fromNativeSeparators(m_outputEdit->text().trimmed());
    if (outputDir.isEmpty() || !QDir().mkpath(outputDir)) {
        Messenger::warning(this, tr("Sensor matching"),
                           tr("The output directory %1 cannot be made.").arg(m_outputEdit->text()));
        return;
    }
    settings.sessionFile = QDir(outputDir).filePath(kSessionFileName);

    const auto kind = PatchSourceKind(m_sourceCombo->currentData().toInt());
    QScreen* screen = nullptr;
    if (kind == PatchSourceKind::Screen) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        const int index = m_screenCombo->currentData().toInt();
        if (index < 0 || index >= screens.size()) {
            Messenger::warning(this, tr("Sensor matching"), tr("The screen chosen is gone. Choose another."));
            return;
        }
        screen = screens.at(index);
    }
    const QString command = m_commandEdit->text().trimmed();
    if (kind == PatchSourceKind::Command) {
        QString commandError;
        if (CommandPatchSource::commandLine(command, MatchingPatch(), &commandError).isEmpty()) {
            Messenger::warning(this, tr("Sensor matching"),
                               tr("The pattern command cannot be run: %1")
                                   .arg(commandError.isEmpty() ? tr("there is none") : commandError));
            return;
        }
    }

    std::unique_ptr<MatchingInstrument> sensor = m_factory ? m_factory(sensorType, chosenPort(m_sensor)) : nullptr;
    std::unique_ptr<MatchingInstrument> reference =
        m_factory ? m_factory(referenceType, chosenPort(m_reference)) : nullptr;
    if (!sensor || !reference) {
        Messenger::warning(this, tr("Sensor matching"), tr("The program has no driver for the %1.")
                                                           .arg(typeName(sensor ? referenceType : sensorType)));
        return;
    }

    // The last run goes before the source it used.
    if (m_run) {
        m_run->disconnect(this);
        m_run.reset();
    }
    closePrompt();
    m_patchWindow.reset();
    m_requested = nullptr;
    m_source.reset();

    const int settleMs = qRound(m_settleSpin->value() * 1000.0);
    switch (kind) {
    case PatchSourceKind::Screen: {
        auto requested = std::make_unique<RequestedPatchSource>(settleMs);
        m_requested = requested.get();
        m_source = std::move(requested);
        m_patchWindow = std::make_unique<ScreenPatchWindow>(screen);
        m_patchWindow->attach(m_requested);
        connect(m_patchWindow.get(), &ScreenPatchWindow::cancelRequested, this, &SensorMatchingDialog::cancel);
        break;
    }
    case PatchSourceKind::Command:
        m_source = std::make_unique<CommandPatchSource>(command, settleMs);
        break;
    case PatchSourceKind::Operator: {
        // The operator says when the patch is up; nothing to settle after that.
        auto requested = std::make_unique<RequestedPatchSource>(0);
        m_requested = requested.get();
        m_source = std::move(requested);
        connect(m_requested, &RequestedPatchSource::patchRequested, this, &SensorMatchingDialog::askOperator);
        connect(m_requested, &RequestedPatchSource::finished, this, &SensorMatchingDialog::closePrompt);
        break;
    }
    }

    m_outputDir = outputDir;
    m_runSensorType = sensorType;
    m_memoryAsked = settings.memoryIndex.has_value();
    m_currentPatch = -1;
    fillPatchTable(settings.patches);
    m_methodTable->setRowCount(0);
    m_resultLabel->clear();
    m_sensor.state->setText(tr("Idle"));
    m_reference.state->setText(tr("Idle"));

    m_run = std::make_unique<MatchingRun>(std::move(sensor), std::move(reference), m_source.get(), settings);
    connect(m_run.get(), &MatchingRun::instrumentStateChanged, this, &SensorMatchingDialog::showInstrumentState);
    connect(m_run.get(), &MatchingRun::patchStarted, this, &SensorMatchingDialog::showPatchStarted);
    connect(m_run.get(), &MatchingRun::readingTaken, this, &SensorMatchingDialog::showReadingTaken);
    connect(m_run.get(), &MatchingRun::patchFinished, this, &SensorMatchingDialog::showPatchFinished);
    connect(m_run.get(), &MatchingRun::certificateUpdated, this, &SensorMatchingDialog::showCertificate);
    connect(m_run.get(), &MatchingRun::finished, this, &SensorMatchingDialog::runEnded);
    showMethodDiagram();
    if (!m_run->start()) {
        Messenger::warning(this, tr("Sensor matching"), tr("The run did not start."));
        m_run.reset();
        return;
    }
    setRunning(true);
}

void SensorMatchingDialog::cancel()
{
    if (!isRunning())
        return;
    m_cancelButton->setEnabled(false);
    m_resultLabel->setText(tr("Cancelling..."));
    m_run->cancel();
}

void SensorMatchingDialog::reject()
{
    // The dialog stays until the run has let go of both instruments.
    if (isRunning()) {
        m_closeWhenEnded = true;
        cancel();
        return;
    }
    QDialog::reject();
}

void SensorMatchingDialog::setRunning(bool running)
{
    for (QWidget* widget : qAsConst(m_settings))
        widget->setEnabled(!running);
    typeChosen();
    sourceChosen();
    m_startButton->setEnabled(!running);
    m_cancelButton->setEnabled(running);
    const std::optional<Certificate> certificate = m_run ? m_run->certificate() : std::nullopt;
    m_saveButton->setEnabled(!running && certificate && !certificate->recommended().isEmpty());
}

void SensorMatchingDialog::fillPatchTable(const std::vector<MatchingPatch>& patches)
{
    m_patchTable->setRowCount(int(patches.size()));
    for (int row = 0; row < int(patches.size()); ++row) {
        const MatchingPatch& patch = patches[size_t(row)];
        m_patchTable->setItem(row, PatchName, cell(patch.name));
        m_patchTable->setItem(row, PatchRed, cell(QString::number(patch.r)));
        m_patchTable->setItem(row, PatchGreen, cell(QString::number(patch.g)));
        m_patchTable->setItem(row, PatchBlue, cell(QString::number(patch.b)));
        m_patchTable->setItem(row, PatchUse, cell(patch.training ? tr("Training") : tr("Validation")));
        m_patchTable->setItem(row, PatchProgress, cell(QString()));
        // The patch's own colour beside its name, as the screen shows it.
        m_patchTable->item(row, PatchName)->setData(Qt::DecorationRole, QColor(patch.r, patch.g, patch.b));
    }
}

void SensorMatchingDialog::setProgress(int row, const QString& text)
{
    if (QTableWidgetItem* item = m_patchTable->item(row, PatchProgress))
        item->setText(text);
}

void SensorMatchingDialog::showInstrumentState(MatchingSession::Role role, MatchingRun::InstrumentState state,
                                               const QString& text)
{
    QString name;
    switch (state) {
    case MatchingRun::InstrumentState::Idle:
        name = tr("Idle");
        break;
    case MatchingRun::InstrumentState::Opening:
        name = tr("Opening...");
        break;
    case MatchingRun::InstrumentState::Ready:
        name = tr("Ready");
        break;
    case MatchingRun::InstrumentState::Reading:
        name = tr("Reading...");
        break;
    case MatchingRun::InstrumentState::Failed:
        name = tr("Failed");
        break;
    case MatchingRun::InstrumentState::Closed:
        name = tr("Closed");
        break;
    }
    QLabel* label = role == MatchingSession::Role::Sensor ? m_sensor.state : m_reference.state;
    // The run says what the instrument does in its own words; a failure is
    // named as one. An instrument at rest needs no more than the state.
    if (text.isEmpty() || state == MatchingRun::InstrumentState::Idle
        || state == MatchingRun::InstrumentState::Closed)
        label->setText(name);
    else
        label->setText(state == MatchingRun::InstrumentState::Failed ? tr("Failed: %1").arg(text) : text);
}

void SensorMatchingDialog::showPatchStarted(int index)
{
    m_currentPatch = index;
    setProgress(index, tr("Showing..."));
    if (QTableWidgetItem* item = m_patchTable->item(index, PatchName))
        m_patchTable->scrollToItem(item);
}

void SensorMatchingDialog::showReadingTaken(int index, int sensorAccepted, int referenceAccepted, int taken)
{
    const int repeats = m_repeatsSpin->value();
    setProgress(index, tr("Sensor %1/%2, reference %3/%2 (%4 taken)")
                           .arg(sensorAccepted)
                           .arg(repeats)
                           .arg(referenceAccepted)
                           .arg(taken));
}

void SensorMatchingDialog::showPatchFinished(int index)
{
    const QTableWidgetItem* item = m_patchTable->item(index, PatchProgress);
    const QString readings = item ? item->text() : QString();
    setProgress(index, readings.isEmpty() ? tr("Done") : tr("Done: %1").arg(readings));
    if (m_currentPatch == index)
        m_currentPatch = -1;
}

void SensorMatchingDialog::showCertificate()
{
    const std::optional<Certificate> certificate = m_run ? m_run->certificate() : std::nullopt;
    if (!certificate)
        return;
    const std::vector<Certificate::MethodResult>& methods = certificate->methods();
    m_methodTable->setRowCount(int(methods.size()));
    for (int row = 0; row < int(methods.size()); ++row) {
        const Certificate::MethodResult& method = methods[size_t(row)];
        const bool recommended = method.name == certificate->recommended();
        QString verdict;
        if (method.refused)
            verdict = tr("Refused: %1").arg(method.error);
        else
            verdict = method.passes ? tr("Pass") : tr("Fail");
        const QString texts[MethodColumns] = {
            method.name,
            method.refused ? QStringLiteral("-") : figure(method.validation.deltaUv.mean),
            method.refused ? QStringLiteral("-") : figure(method.validation.deltaUv.maximum),
            method.refused ? QStringLiteral("-") : figure(method.validation.deltaXy.maximum),
            verdict,
            recommended ? tr("Recommended") : QString(),
        };
        for (int column = 0; column < MethodColumns; ++column) {
            QTableWidgetItem* item = cell(texts[column]);
            QFont font = item->font();
            font.setBold(recommended);
            item->setFont(font);
            m_methodTable->setItem(row, column, item);
        }
    }
    showMethodDiagram();
}

void SensorMatchingDialog::showMethodDiagram()
{
    const std::optional<Certificate> certificate = m_run ? m_run->certificate() : std::nullopt;
    QString name;
    const QList<QTableWidgetItem*> chosen = m_methodTable->selectedItems();
    if (!chosen.isEmpty() && m_methodTable->item(chosen.first()->row(), MethodName))
        name = m_methodTable->item(chosen.first()->row(), MethodName)->text();
    else if (certificate)
        name = certificate->recommended();
    const Certificate::MethodResult* method = certificate ? certificate->method(name) : nullptr;
    const ChromaticityPlot plot = ChromaticityPlot::ofMethod(method);
    m_diagram->edit([&plot](ChromaticityDiagram& diagram) { plot.apply(diagram); });
    // The factor said here too: the diagram's own legend gives way on a small one.
    if (!method)
        m_diagramLabel->setText(tr("Chromaticity errors: none yet"));
    else if (plot.magnification() > 1.0)
        m_diagramLabel->setText(tr("Chromaticity errors: %1, drawn %2 times longer")
                                    .arg(method->name, QString::number(plot.magnification(), 'g', 4)));
    else
        m_diagramLabel->setText(tr("Chromaticity errors: %1").arg(method->name));
}

void SensorMatchingDialog::runEnded(MatchingRun::Outcome outcome, const QString& error)
{
    closePrompt();
    if (m_patchWindow)
        m_patchWindow->close();
    if (m_currentPatch >= 0) {
        setProgress(m_currentPatch, outcome == MatchingRun::Outcome::Cancelled ? tr("Cancelled")
                                                                              : tr("Stopped: %1").arg(error));
        m_currentPatch = -1;
    }
    showCertificate();

    QStringList result;
    switch (outcome) {
    case MatchingRun::Outcome::Completed:
        result << tr("Done.");
        break;
    case MatchingRun::Outcome::Stopped:
        result << tr("Stopped: %1").arg(error);
        break;
    case MatchingRun::Outcome::Cancelled:
        result << tr("Cancelled.");
        break;
    }
    const QString sessionFile = QDir::toNativeSeparators(QDir(m_outputDir).filePath(kSessionFileName));
    result << tr("Session: %1").arg(sessionFile);

    const std::optional<Certificate> certificate = m_run->certificate();
    QString certificateError;
    if (certificate) {
        // The page names both instruments and when the run began.
        const MatchingSession session = m_run->session();
        const CertificatePdf::Heading heading{session.instrument(MatchingSession::Role::Sensor),
                                              session.instrument(MatchingSession::Role::Reference),
                                              session.started()};
        if (CertificateFiles::write(*certificate, heading, m_outputDir, &certificateError))
            result << tr("Certificate: %1").arg(QDir::toNativeSeparators(m_outputDir));
        if (!certificate->recommended().isEmpty())
            result << (certificate->passes() ? tr("Recommended: %1, within the tolerance.")
                                             : tr("Recommended: %1, outside the tolerance."))
                          .arg(certificate->recommended());
    }
    if (m_memoryAsked && outcome == MatchingRun::Outcome::Completed) {
        result << (m_run->memoryStored() ? tr("The matrix was written to the sensor's memory and read back alike.")
                                         : tr("The matrix was not written to the sensor's memory: %1")
                                               .arg(m_run->memoryResult()));
    }
    m_resultLabel->setText(result.join(QLatin1Char('\n')));
    setRunning(false);

    // Told in a box as well: what went wrong must not pass unseen in a label.
    if (outcome == MatchingRun::Outcome::Stopped)
        Messenger::warning(this, tr("Sensor matching"), tr("The run stopped: %1").arg(error));
    if (!certificateError.isEmpty())
        Messenger::warning(this, tr("Sensor matching"), tr("The certificate was not written: %1").arg(certificateError));
    if (m_memoryAsked && outcome == MatchingRun::Outcome::Completed && !m_run->memoryStored())
        Messenger::warning(this, tr("Sensor matching"),
                           tr("The matrix was not written to the sensor's memory: %1").arg(m_run->memoryResult()));
    emit runFinished(outcome);
    if (m_closeWhenEnded) {
        m_closeWhenEnded = false;
        // Not from inside the run's signal.
        QTimer::singleShot(0, this, [this] { QDialog::reject(); });
    }
}

void SensorMatchingDialog::askOperator(const MatchingPatch& patch)
{
    closePrompt();
    auto* box = new QMessageBox(QMessageBox::Information, tr("Sensor matching"),
                                tr("Show %1 (%2, %3, %4) and press OK").arg(patch.name).arg(patch.r).arg(patch.g).arg(patch.b),
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("patchPrompt"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Not modal: the dialog's Cancel stays in reach while the operator works.
    box->setWindowModality(Qt::NonModal);
    RequestedPatchSource* source = m_requested;
    connect(box, &QMessageBox::finished, this, [source](int answer) {
        if (answer == QMessageBox::Ok)
            source->patchShown();
        else
            source->patchRefused(tr("The operator did not show the patch."));
    });
    m_prompt = box;
    box->show();
}

void SensorMatchingDialog::closePrompt()
{
    if (!m_prompt)
        return;
    QMessageBox* box = m_prompt;
    m_prompt.clear();
    // Taken down by the run, not answered by the operator.
    disconnect(box, nullptr, this, nullptr);
    box->close();
}

void SensorMatchingDialog::saveProfile()
{
    const std::optional<Certificate> certificate = m_run ? m_run->certificate() : std::nullopt;
    const Certificate::MethodResult* method = certificate ? certificate->method(certificate->recommended()) : nullptr;
    if (!method || method->refused) {
        Messenger::warning(this, tr("Save profile"), tr("No method is recommended: there is no matrix to save."));
        return;
    }
    const QString fileName = DialogProvider::current().saveFileName(this, tr("Save profile"), QDir::currentPath(),
                                                                    kProfileFilter);
    if (fileName.isEmpty())
        return;
    const QString serial = m_run->session().instrument(MatchingSession::Role::Sensor).serialNumber;
    const AlignmentProfile profile(m_runSensorType, serial, toMatrix(method->matrix));
    QString error;
    if (!profile.write(fileName, &error))
        Messenger::warning(this, tr("Save profile"),
                           tr("The profile %1 could not be saved: %2").arg(QDir::toNativeSeparators(fileName), error));
}
