#include "mainwindow.h"

#include "alignmentwidget.h"
#include "calibratedialog.h"
#include "chromaticitydock.h"
#include "colordockwidget.h"
#include "csensor.h"
#include "dialogprovider.h"
#include "iconresources.h"
#include "instrumentwaitbar.h"
#include "linerecorder.h"
#include "messenger.h"
#include "recordsdock.h"
#include "sensordlg.h"
#include "sensormatchingdialog.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

namespace {
const QString kAlignmentIcon = QStringLiteral(":/icons/resource/alignment.png");
const QString kStopAlignmentIcon = QStringLiteral(":/icons/resource/stop_alignment.png");
const QString kProfileFilter = QStringLiteral("Profiles (*.alg)");
const QString kWindowStateKey = QStringLiteral("MainWindow/state");

// Where a library the drivers load would come from. Only looked up: loading it
// here would run its initialisers just to print a path.
QString libraryLocation(const QString& baseName)
{
    bool onSystemPath = false;
    const QString found = SensorLibrary::locate(baseName, &onSystemPath);
    if (found.isEmpty())
        return QString();
    const QString shown = QDir::toNativeSeparators(found);
    return onSystemPath ? QObject::tr("%1 (on the system's library path)").arg(shown) : shown;
}
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    initIconResources();
    setWindowIcon(QIcon(QStringLiteral(":/icons/resource/app.png")));

    colorDock = new ColorDockWidget(this);
    colorDock->setObjectName(QStringLiteral("colorDock"));
    colorDock->setAllowedAreas(Qt::LeftDockWidgetArea);
    colorDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                           | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::LeftDockWidgetArea, colorDock);
    colorDock->show();

    chromaticityDock = new ChromaticityDock(this);
    chromaticityDock->setObjectName(QStringLiteral("chromaticityDock"));
    chromaticityDock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    chromaticityDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                                  | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::LeftDockWidgetArea, chromaticityDock);
    splitDockWidget(colorDock, chromaticityDock, Qt::Horizontal);

    measure = new Measure(this);
    connect(measure, &Measure::colorChanged, colorDock, &ColorDockWidget::doColorChanged);
    // During alignment the trail is what the service sends the display: its
    // white on the way to the target.
    connect(measure, &Measure::colorChanged, chromaticityDock, &ChromaticityDock::doColorChanged);
    connect(measure, &Measure::alignmentRequestServed, chromaticityDock, &ChromaticityDock::doAlignmentRequestServed);
    connect(measure, &Measure::alignmentStateChanged, chromaticityDock, &ChromaticityDock::doAlignmentStateChanged);

    createActions();
    createToolBars();
    createStatusBar();

    alignment = new AlignmentWidget(measure, this);
    setCentralWidget(alignment);
    connect(measure, &Measure::matrixChanged, alignment, &AlignmentWidget::matrixChanged);
    connect(measure, &Measure::sensorConnected, alignment, &AlignmentWidget::doSensorConnected);
    connect(measure, &Measure::monitorConnected, alignment, &AlignmentWidget::doMonitorConnected);
    connect(alignment, &AlignmentWidget::sensorClicked, this, &MainWindow::showSensorDlg);
    // The service also changes state on its own: it finishes stopping after the
    // instrument call in progress, or stops when the display hangs up.
    connect(measure, &Measure::alignmentStateChanged, this, &MainWindow::showAlignmentState);
    // Only the monitor's picture would say it otherwise, and the user, unable to
    // tell why nothing is measured, would have to guess.
    connect(measure, &Measure::monitorHungUp, this, &MainWindow::showDisplayGone);
    connect(measure, &Measure::monitorReconnected, this, &MainWindow::showDisplayBack);
    connect(measure, &Measure::instrumentBusyChanged, this, &MainWindow::showInstrumentBusy);

    resize(960, 480);
    // Room for the diagram to be read; the panel needs less than it gets.
    resizeDocks({chromaticityDock}, {360}, Qt::Horizontal);
    setWindowTitle(tr("Huelink Trimline"));
    // The docks where the user left them last time.
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    restoreState(settings.value(kWindowStateKey).toByteArray());
    // The window's minimum size is what its layout needs: the panel's group
    // boxes and the value window's numbers whole. It follows the tool bars and
    // the dock as the user moves or hides them.
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // A window system that ignores the minimum-size hint (no window manager, a
    // tiling one, a resize sent by a tool) would leave the controls squeezed to
    // nothing: ask for the minimum again, once per such resize.
    const QSize wanted = event->size().expandedTo(minimumSize());
    if (wanted != event->size())
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(minimumSize())); });
}

MainWindow::~MainWindow()
{
    qDebug() << "~MainWindow start";
    // The controller stops the service and releases the instruments; nothing it
    // announces on the way may reach the half-destroyed window.
    measure->disconnect();
    delete measure;
    measure = nullptr;
    qDebug() << "~MainWindow end";
}

void MainWindow::createActions()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    openAct = new QAction(QIcon(QStringLiteral(":/icons/resource/new.png")), tr("&Open"), this);
    openAct->setShortcut(QKeySequence(tr("Ctrl+O")));
    connect(openAct, &QAction::triggered, this, &MainWindow::doNewProfile);
    saveAct = new QAction(QIcon(QStringLiteral(":/icons/resource/save.png")), tr("&Save"), this);
    saveAct->setShortcut(QKeySequence(tr("Ctrl+S")));
    connect(saveAct, &QAction::triggered, this, &MainWindow::doSaveProfile);
    saveAsAct = new QAction(QIcon(QStringLiteral(":/icons/resource/save.png")), tr("Save As"), this);
    saveAsAct->setShortcut(QKeySequence(tr("Ctrl+D")));
    connect(saveAsAct, &QAction::triggered, this, &MainWindow::doSaveAsProfile);
    quitAct = new QAction(tr("&Quit"), this);
    quitAct->setShortcut(QKeySequence(tr("Ctrl+X")));
    connect(quitAct, &QAction::triggered, this, &MainWindow::doQuit);
    fileMenu->addAction(openAct);
    fileMenu->addAction(saveAct);
    fileMenu->addAction(saveAsAct);
    fileMenu->addSeparator();
    fileMenu->addAction(quitAct);

    measureMenu = menuBar()->addMenu(tr("&Measure"));
    singleAct = new QAction(QIcon(QStringLiteral(":/icons/resource/single.png")), tr("S&ingle measure"), this);
    singleAct->setShortcut(QKeySequence(tr("Ctrl+I")));
    connect(singleAct, &QAction::triggered, this, &MainWindow::doSingleMeasure);
    alignmentAct = new QAction(QIcon(kAlignmentIcon), tr("A&lignment"), this);
    alignmentAct->setShortcut(QKeySequence(tr("Ctrl+L")));
    connect(alignmentAct, &QAction::triggered, this, &MainWindow::doAlignment);
    portscanAct = new QAction(QIcon(QStringLiteral(":/icons/resource/scan.png")), tr("P&ortscan"), this);
    portscanAct->setShortcut(QKeySequence(tr("Ctrl+P")));
    connect(portscanAct, &QAction::triggered, this, &MainWindow::doPortscan);
    measureMenu->addAction(singleAct);
    measureMenu->addAction(alignmentAct);

    viewMenu = menuBar()->addMenu(tr("&View"));
    fileToolBarAct = new QAction(tr("&File Tool bar"), this);
    fileToolBarAct->setCheckable(true);
    fileToolBarAct->setChecked(true);
    connect(fileToolBarAct, &QAction::triggered, this, &MainWindow::doToggleFileToolBar);
    measureToolBarAct = new QAction(tr("&Measure Tool bar"), this);
    measureToolBarAct->setCheckable(true);
    measureToolBarAct->setChecked(true);
    connect(measureToolBarAct, &QAction::triggered, this, &MainWindow::doToggleMeasureToolBar);
    statusBarAct = new QAction(tr("&Status bar"), this);
    statusBarAct->setCheckable(true);
    statusBarAct->setChecked(true);
    connect(statusBarAct, &QAction::triggered, this, &MainWindow::doToggleStatusBar);
    valueWindowAct = colorDock->toggleViewAction();
    chromaticityAct = chromaticityDock->toggleViewAction();
    viewMenu->addAction(fileToolBarAct);
    viewMenu->addAction(measureToolBarAct);
    viewMenu->addAction(statusBarAct);
    viewMenu->addSeparator();
    viewMenu->addAction(valueWindowAct);
    viewMenu->addAction(chromaticityAct);

    advanceMenu = menuBar()->addMenu(tr("A&dvance"));
    calibrateAct = new QAction(QIcon(QStringLiteral(":/icons/resource/matrix.png")), tr("Calib&rate"), this);
    calibrateAct->setShortcut(QKeySequence(tr("Ctrl+R")));
    connect(calibrateAct, &QAction::triggered, this, &MainWindow::doCalibrate);
    advanceMenu->addAction(calibrateAct);
    sensorMatchingAct = new QAction(tr("Sensor matching"), this);
    connect(sensorMatchingAct, &QAction::triggered, this, &MainWindow::doSensorMatching);
    advanceMenu->addAction(sensorMatchingAct);

    helpMenu = menuBar()->addMenu(tr("&Help"));
    aboutAct = new QAction(QIcon(QStringLiteral(":/icons/resource/Calibration1.png")), tr("&About"), this);
    aboutAct->setShortcut(QKeySequence(tr("Ctrl+A")));
    connect(aboutAct, &QAction::triggered, this, &MainWindow::doAbout);
    helpMenu->addAction(aboutAct);
}

void MainWindow::createToolBars()
{
    const auto makeToolBar = [this](const QString& title, const QString& name) {
        auto* bar = new QToolBar(title, this);
        bar->setObjectName(name);
        bar->setAllowedAreas(Qt::AllToolBarAreas);
        bar->setOrientation(Qt::Horizontal);
        addToolBar(Qt::TopToolBarArea, bar);
        return bar;
    };
    fileToolBar = makeToolBar(tr("File"), QStringLiteral("fileToolBar"));
    fileToolBar->addAction(openAct);
    fileToolBar->addAction(saveAct);
    measureToolBar = makeToolBar(tr("Measure"), QStringLiteral("measureToolBar"));
    measureToolBar->addAction(singleAct);
    measureToolBar->addAction(alignmentAct);
    measureToolBar->addAction(portscanAct);
    measureToolBar->addAction(calibrateAct);
    helpToolBar = makeToolBar(tr("Help"), QStringLiteral("helpToolBar"));
    helpToolBar->addAction(aboutAct);
}

void MainWindow::createStatusBar()
{
    statusLabel = new QLabel(tr("Ready."), this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setMinimumSize(100, 20);
    statusLabel->setFrameShape(QFrame::WinPanel);
    statusLabel->setFrameShadow(QFrame::Sunken);
    // Stretched: what the window waits for is a sentence, beside the busy bar and Cancel.
    statusBar()->addWidget(statusLabel, 1);

    // Shown only while the window waits for an instrument; the status line
    // says what for.
    waitBar = new InstrumentWaitBar(measure, this);
    waitBar->setTextVisible(false);
    statusBar()->addPermanentWidget(waitBar);
}

void MainWindow::showInstrumentBusy()
{
    // Two requests (sensor and monitor) may overlap: the controller knows
    // whether any is left.
    const bool busy = measure->isInstrumentBusy();
    if (busy) {
        statusLabel->setText(closeWhenAnswered ? tr("Stopping: the window will close when the instrument has answered...")
                                               : waitBar->text());
        return;
    }
    showAlignmentState(measure->alignmentState());
    if (closeWhenAnswered) {
        closeWhenAnswered = false;
        // Not from inside the controller's signal.
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

bool MainWindow::refuseWhileSensorBusy(const QString& title)
{
    if (!measure->isSensorBusy())
        return false;
    Messenger::warning(this, title, measure->waitingText());
    return true;
}

QString MainWindow::statusText() const
{
    return statusLabel->text();
}

LineRecorder* MainWindow::lineRecorder() const
{
    return recorder;
}

void MainWindow::setLineRecorder(LineRecorder* lineRecorder)
{
    if (!lineRecorder || recorder)
        return;
    recorder = lineRecorder;

    recordsDock = new RecordsDock(recorder, this);
    recordsDock->setAllowedAreas(Qt::AllDockWidgetAreas);
    recordsDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable
                             | QDockWidget::DockWidgetFloatable);
    // Below everything, as wide as the window: the table has many columns.
    addDockWidget(Qt::BottomDockWidgetArea, recordsDock);
    recordsAct = recordsDock->toggleViewAction();
    viewMenu->addAction(recordsAct);

    auto* unitBox = new QGroupBox(tr("Records"), alignment);
    unitBox->setObjectName(QStringLiteral("unitBox"));
    unitEdit = new QLineEdit(unitBox);
    unitEdit->setObjectName(QStringLiteral("unitEdit"));
    unitEdit->setPlaceholderText(tr("Scan the display's barcode"));
    unitLabel = new QLabel(unitBox);
    unitLabel->setObjectName(QStringLiteral("unitTakenLabel"));
    auto* unitGrid = new QGridLayout(unitBox);
    unitGrid->setContentsMargins(10, 10, 10, 10);
    unitGrid->addWidget(new QLabel(tr("Unit"), unitBox), 0, 0);
    unitGrid->addWidget(unitEdit, 0, 1);
    unitGrid->addWidget(unitLabel, 1, 0, 1, 2);
    alignment->addBox(unitBox);
    // A scanner types the unit and presses Enter.
    connect(unitEdit, &QLineEdit::returnPressed, this, [this] {
        if (!recorder || unitEdit->text().trimmed().isEmpty())
            return;
        recorder->setUnit(unitEdit->text());
        // Taken at once by a session open without one; otherwise kept for
        // the next display, and the field keeps it until then.
        if (!recorder->pendingUnit().isEmpty())
            unitLabel->setText(tr("%1 goes to the next display.").arg(recorder->pendingUnit()));
    });
    // Sessions name the profile whose matrix they were served with.
    connect(alignment, &AlignmentWidget::profileApplied, recorder,
            [this](const QString& fileName) { recorder->setProfileName(QFileInfo(fileName).fileName()); });
    connect(recorder, &LineRecorder::unitTaken, this, [this](const QString& unit) {
        unitEdit->clear();
        unitLabel->setText(tr("Unit %1 taken.").arg(unit));
    });

    // Not a box: the line goes on while the records wait for their database.
    recordsLabel = new QLabel(tr("Records: %1").arg(recorder->settings().location.displayName()), this);
    recordsLabel->setObjectName(QStringLiteral("recordsLabel"));
    // A long complaint is cut short here and read whole in the tool tip.
    recordsLabel->setMaximumWidth(480);
    statusBar()->addPermanentWidget(recordsLabel);
    connect(recorder, &LineRecorder::problem, this, [this](const QString& text) {
        recordsLabel->setText(tr("Records: %1").arg(text));
        recordsLabel->setToolTip(text);
    });
    connect(recorder, &LineRecorder::recovered, this, [this](const QString& text) {
        recordsLabel->setText(tr("Records: %1").arg(text));
        recordsLabel->setToolTip(text);
    });

    resize(width(), qMax(height(), 760));
    resizeDocks({recordsDock}, {300}, Qt::Vertical);
    // The records dock where the user left it last time, now that it exists.
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    restoreState(settings.value(kWindowStateKey).toByteArray());
}

QString MainWindow::aboutText()
{
    QStringList lines;
    lines << tr("Lumaserve %1").arg(QStringLiteral(LUMASERVE_VERSION));
    lines << tr("Qt %1 (built with %2)").arg(QString::fromLatin1(qVersion()),
                                             QStringLiteral(QT_VERSION_STR));
    lines << QString() << tr("Instrument libraries:");
    for (const SensorTypeRow& row : SensorTable::rows()) {
        if (!row.library)
            continue;
        const QString name = QString::fromLatin1(row.library);
        const QString location = libraryLocation(name);
        lines << (location.isEmpty() ? tr("%1: not found").arg(SensorLibrary::fileName(name))
                                     : tr("%1: %2").arg(SensorLibrary::fileName(name), location));
    }
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    lines << QString() << tr("Settings: %1").arg(QDir::toNativeSeparators(settings.fileName()));
    return lines.join(QLatin1Char('\n'));
}

bool MainWindow::refuseWhileAligning()
{
    switch (measure->alignmentState()) {
    case Measure::AlignmentState::Off:
        return false;
    case Measure::AlignmentState::On:
        Messenger::warning(this, tr("Warning"), tr("Alignment is on."));
        return true;
    case Measure::AlignmentState::Stopping:
        // Switched off already: "on" would contradict the status bar.
        Messenger::warning(this, tr("Warning"), tr("Alignment is stopping. Try again when it has stopped."));
        return true;
    }
    return true;
}

bool MainWindow::sensorIsConnected() const
{
    const CSensor* sensor = measure->currentSensor();
    return sensor && sensor->getIsOpen();
}

void MainWindow::doQuit()
{
    qDebug() << "MainWindow::doQuit() start";
    close();
    qDebug() << "MainWindow::doQuit() done";
}

void MainWindow::doAbout()
{
    Messenger::information(this, tr("Huelink Trimline"), aboutText());
}

void MainWindow::doToggleFileToolBar(bool on)
{
    fileToolBar->setVisible(on);
}

void MainWindow::doToggleMeasureToolBar(bool on)
{
    measureToolBar->setVisible(on);
}

void MainWindow::doToggleStatusBar(bool on)
{
    statusBar()->setVisible(on);
}

void MainWindow::doNewProfile()
{
    // The service keeps the matrix it took when alignment began: a profile
    // opened now would show numbers the display never gets.
    if (refuseWhileAligning() || refuseWhileSensorBusy(tr("Open Profile")))
        return;
    if (!sensorIsConnected()) {
        Messenger::warning(this, tr("Open Profile"), tr("No Sensor connected, Connect Sensor first,"));
        return;
    }
    const QString fileName = DialogProvider::current().openFileName(this, tr("Open profile"),
                                                                    QDir::currentPath(), kProfileFilter);
    alignment->openProfile(fileName);
}

void MainWindow::doSaveProfile()
{
    if (!sensorIsConnected()) {
        Messenger::warning(this, tr("Save"), tr("Connect Sensor first!"));
        return;
    }
    bool ok = false;
    const QString name = DialogProvider::current().text(this, tr("Input"), tr("ProfileName:"),
                                                        QString(), &ok);
    if (!ok || name.isEmpty())
        return;
    const QString fileName = name + QStringLiteral(".alg");
    // The save-file dialog of Save As asks before replacing; a typed name must too.
    if (QFileInfo::exists(fileName)
        && Messenger::current().show(this, Messenger::Icon::Warning, tr("Save"),
                                     tr("%1 already exists.\nDo you want to replace it?")
                                         .arg(QFileInfo(fileName).fileName()),
                                     Messenger::Buttons(Messenger::Yes | Messenger::No),
                                     Messenger::No)
               != Messenger::Yes)
        return;
    saveProfileAs(fileName);
}

void MainWindow::doSaveAsProfile()
{
    if (!sensorIsConnected()) {
        Messenger::warning(this, tr("Save"), tr("Connect Sensor first!"));
        return;
    }
    const QString fileName = DialogProvider::current().saveFileName(this, tr("Save profile"),
                                                                    QDir::currentPath(), kProfileFilter);
    if (!fileName.isEmpty())
        saveProfileAs(fileName);
}

void MainWindow::saveProfileAs(const QString& fileName)
{
    QString reason;
    if (!measure->saveProfile(fileName, &reason)) {
        Messenger::warning(this, tr("Save"),
                           tr("The profile %1 could not be saved: %2")
                               .arg(QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath()),
                                    reason));
    }
}

void MainWindow::doSingleMeasure()
{
    if (refuseWhileAligning())
        return;
    // Answered by the controller's colorChanged; refused, with its box, while
    // the sensor is busy.
    measure->requestSingleMeasure();
}

void MainWindow::doAlignment()
{
    switch (measure->alignmentState()) {
    case Measure::AlignmentState::Stopping:
        Messenger::warning(this, tr("Warning"),
                           tr("Alignment is stopping: the instrument has not answered yet."));
        return;
    case Measure::AlignmentState::On:
        if (Messenger::current().show(this, Messenger::Icon::Warning, QString(),
                                      tr("Do you want to stop alignment now?"),
                                      Messenger::Buttons(Messenger::Yes | Messenger::No),
                                      Messenger::NoButton)
            != Messenger::Yes)
            return;
        break;
    case Measure::AlignmentState::Off:
        break;
    }
    measure->doAlignment();
    // Also on a refusal, which changes no state and so sends no signal.
    showAlignmentState(measure->alignmentState());
}

void MainWindow::showAlignmentState(Measure::AlignmentState state)
{
    switch (state) {
    case Measure::AlignmentState::On:
        alignmentAct->setText(tr("Stop&l"));
        alignmentAct->setIcon(QIcon(kStopAlignmentIcon));
        alignmentAct->setEnabled(true);
        statusLabel->setText(displayGone ? tr("Display unplugged: waiting for it to come back...")
                                         : tr("Alignment..."));
        break;
    case Measure::AlignmentState::Stopping:
        alignmentAct->setText(tr("A&lignment"));
        alignmentAct->setIcon(QIcon(kAlignmentIcon));
        alignmentAct->setEnabled(false);
        statusLabel->setText(closeWhenStopped
                                 ? tr("Stopping alignment: the window will close when it has stopped...")
                                 : tr("Stopping alignment: waiting for the instrument..."));
        break;
    case Measure::AlignmentState::Off:
        displayGone = false;
        alignmentAct->setText(tr("A&lignment"));
        alignmentAct->setIcon(QIcon(kAlignmentIcon));
        alignmentAct->setEnabled(true);
        // A refused switch-on leaves a pending request to be told.
        statusLabel->setText(measure->isInstrumentBusy() ? waitBar->text() : tr("Ready."));
        break;
    }
    alignment->doAlignmentChanged(state == Measure::AlignmentState::On);
    if (state == Measure::AlignmentState::Off && closeWhenStopped) {
        closeWhenStopped = false;
        // Not from inside the controller's signal.
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void MainWindow::showDisplayGone(const QString& portPath)
{
    // Switched off meanwhile: nothing waits for the display any more.
    if (measure->alignmentState() != Measure::AlignmentState::On)
        return;
    displayGone = true;
    showAlignmentState(Measure::AlignmentState::On);
    Messenger::warning(this, tr("Monitor"),
                       tr("The display on %1 is gone. Alignment waits for it to come back on the same "
                          "port; switch alignment off to stop waiting.")
                           .arg(QDir::toNativeSeparators(portPath)));
}

void MainWindow::showDisplayBack()
{
    displayGone = false;
    showAlignmentState(measure->alignmentState());
}

void MainWindow::doCalibrate()
{
    if (refuseWhileAligning() || refuseWhileSensorBusy(tr("Warning")))
        return;
    CalibrateDialog dialog(measure, this);
    if (dialog.exec() == QDialog::Accepted)
        measure->SetMatrix(dialog.calibrateMatrix());
}

void MainWindow::doSensorMatching()
{
    if (refuseWhileAligning() || refuseWhileSensorBusy(tr("Warning")))
        return;
    SensorMatchingDialog dialog(measure, this);
    dialog.exec();
}

void MainWindow::doPortscan()
{
    if (refuseWhileAligning())
        return;
    alignment->doPortscan();
}

void MainWindow::showSensorDlg()
{
    if (refuseWhileAligning() || refuseWhileSensorBusy(tr("Warning")))
        return;
    CSensor* sensor = measure->currentSensor();
    if (!sensor) {
        Messenger::warning(this, tr("Warning"), tr("Sensor not connected!"));
        return;
    }
    SensorDlg dialog(sensor, measure);
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    switch (measure->alignmentState()) {
    case Measure::AlignmentState::On:
        Messenger::warning(this, tr("Warning"), tr("Alignment is on."));
        event->ignore();
        return;
    case Measure::AlignmentState::Stopping:
        // Closing now would wait for the instrument with a frozen window; close
        // once the service has let go of it, and say so meanwhile.
        closeWhenStopped = true;
        showAlignmentState(Measure::AlignmentState::Stopping);
        event->ignore();
        return;
    case Measure::AlignmentState::Off:
        break;
    }
    if (!measure->isInstrumentBusy()) {
        saveWindowState();
        event->accept();
        return;
    }
    event->ignore();
    // Asked once: the close that follows the answer must go through.
    if (closeWhenAnswered)
        return;
    if (Messenger::current().show(this, Messenger::Icon::Question, tr("Quit"),
                                  tr("Waiting for the instrument: %1.\nDo you want to stop waiting and close the window?")
                                      .arg(measure->instrumentWaitText()),
                                  Messenger::Buttons(Messenger::Yes | Messenger::No), Messenger::No)
        != Messenger::Yes)
        return;
    // Closing now would leave the instrument thread inside the call; close
    // once it has answered the cancel.
    closeWhenAnswered = true;
    measure->cancelInstrumentRequest();
    showInstrumentBusy();
}

void MainWindow::saveWindowState() const
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                       QStringLiteral("Brightfold-alignment"));
    settings.setValue(kWindowStateKey, saveState());
}
