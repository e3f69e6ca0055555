#include "alignmentprofile.h"
#include "alignmentwidget.h"
#include "application.h"
#include "colordockwidget.h"
#include "filecontents.h"
#include "mainwindow.h"
#include "measure.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "recordingmessenger.h"
#include "scripteddialogprovider.h"
#include "scriptedsensor.h"
#include "windowprobe.h"
#include "sensordlg.h"
#include "sensorlibrary.h"
#include "modaldialog.h"

#include <QAction>
#include <QComboBox>
#include <QDataStream>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QTemporaryDir>
#include <QtTest>
#include <QWindow>

#include <csignal>
#include <limits>
#include <memory>
#include <sys/resource.h>

namespace {

const QString kFakePort = QStringLiteral("ttyFAKE0");
// Offered as a port but leading nowhere.
const QString kDeadPort = QStringLiteral("ttyDEAD0");

// A main window whose controller hands out scripted sensors, with an emulated
// display offered as the second port.
struct Rig : WindowProbe {
    Rig()
    {
        monitor.start();
        PortLister::setExtraPorts({kFakePort, QString::fromStdString(monitor.portName()), kDeadPort});
        openWindow();
    }

    ~Rig()
    {
        window.reset();
        PortLister::setExtraPorts({});
    }

    void connectSensor() const
    {
        choose(QStringLiteral("typeCombo"), 7);
        choose(QStringLiteral("sensorPortCombo"), portIndex(kFakePort));
    }

    void connectMonitor() const
    {
        choose(QStringLiteral("monitorPortCombo"), portIndex(QString::fromStdString(monitor.portName())));
    }

    QString matrixCell(int r, int c) const
    {
        return child<QTableWidget>(QStringLiteral("matrixTable"))->item(r, c)->text();
    }

    RecordingMessenger messages;
    ScriptedDialogProvider dialogs;
    MonitorEmulator monitor;
};

bool shown(const RecordingMessenger& messages, const QString& title, const QString& text)
{
    for (const auto& m : messages.shown()) {
        if (m.title == title && m.text == text)
            return true;
    }
    return false;
}

Matrix sampleMatrix()
{
    const double values[] = {1.25, 0.5, -0.125, 0.0, 0.75, 0.0, 0.03125, 0.0, 2.0};
    return Matrix(values, 3, 3);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void iconsAreCompiledIn();
    void closingAndCommandsRefusedWhileAligning();
    void alignmentAnsweredNoStaysOn();
    void alignmentWithoutMonitorShowsTheControllersBox();
    void closingWhileStoppingWaitsForTheService();
    void saveWritesTheTypedNameOnly();
    void failedSaveIsReportedAndKeepsTheOldFile();
    void statusBarToggle();
    void profileOpenedBeforeThePortKeepsItsMatrix();
    void profileOfAnotherInstrumentIsRefusedAtThePort();
    void profileWithDamagedNumbersIsAParseError();
    void emptyPortEntriesRelease();
    void aboutNamesVersionLibrariesAndSettings();
    void saveAsksBeforeReplacingAProfile_data();
    void saveAsksBeforeReplacingAProfile();
    void smallWindowKeepsItsControlsUsable_data();
    void smallWindowKeepsItsControlsUsable();
    void actionTable_data();
    void actionTable();
    void menusAndToolBarsInOrder();
    void measureToolBarToggle();
    void sensorPictureOpensTheFeaturesDialog();
    void portscanListsThePortsAgainAndReleases();
    void openAppliesAProfileToTheConnectedSensor();
    void panelReportsMonitorAndProfileFailures();
    void panelListsRefusedWhileAligning_data();
    void panelListsRefusedWhileAligning();

private:
    QTemporaryDir m_home;
    QString m_work;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_home.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.filePath(QStringLiteral("config")));
}

void TestMainWindow::init()
{
    // A fresh working directory per test: profiles are written and listed there.
    m_work = m_home.filePath(QString::fromLatin1(QTest::currentTestFunction()));
    QVERIFY(QDir().mkpath(m_work));
    QVERIFY(QDir::setCurrent(m_work));
}

void TestMainWindow::iconsAreCompiledIn()
{
    Rig rig;
    for (const char* name : {"new", "save", "single", "alignment", "stop_alignment", "scan", "matrix",
                             "Calibration1", "app", "sensor", "monitor"}) {
        const QPixmap picture(QStringLiteral(":/icons/resource/%1.png").arg(QLatin1String(name)));
        QVERIFY2(!picture.isNull(), name);
        QVERIFY2(picture.width() >= 16 && picture.width() <= 55, name);
    }
    QVERIFY(!rig.action(QStringLiteral("A&lignment"))->icon().isNull());
}

void TestMainWindow::closingAndCommandsRefusedWhileAligning()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    QVERIFY(rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QVERIFY(rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY(rig.messages.shown().isEmpty());

    rig.action(QStringLiteral("A&lignment"))->trigger();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    QVERIFY(rig.action(QStringLiteral("Stop&l")));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));
    QVERIFY(rig.child<QLabel>(QStringLiteral("matrixIcon"))->isEnabled());

    // The close button.
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QCOMPARE(rig.messages.shown().size(), 1);
    QVERIFY(shown(rig.messages, QStringLiteral("Warning"), QStringLiteral("Alignment is on.")));

    // Commands that would use the instruments, and the panel's lists.
    rig.messages.clear();
    const int measuredBefore = rig.sensor->startCalls.load();
    rig.window->doSingleMeasure();
    rig.window->doPortscan();
    rig.window->doCalibrate();
    rig.window->showSensorDlg();
    rig.choose(QStringLiteral("typeCombo"), 13);
    rig.choose(QStringLiteral("monitorPortCombo"), 0);
    QCOMPARE(rig.messages.shown().size(), 6);
    for (const auto& m : rig.messages.shown())
        QCOMPARE(m.text, QStringLiteral("Alignment is on."));
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("typeCombo"))->currentIndex(), 7);
    QVERIFY(rig.child<QComboBox>(QStringLiteral("monitorPortCombo"))->currentIndex() != 0);
    QVERIFY(rig.measure()->currentMonitor());
    QVERIFY(rig.measure()->currentSensor());
    QCOMPARE(rig.sensor->startCalls.load(), measuredBefore);
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    // Switched off, the window closes.
    rig.messages.queueAnswer(Messenger::Yes);
    rig.action(QStringLiteral("Stop&l"))->trigger();
    // The service lets go of the instruments after its current pass.
    QTRY_COMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(rig.action(QStringLiteral("A&lignment")));
    QVERIFY(!rig.child<QLabel>(QStringLiteral("matrixIcon"))->isEnabled());
    rig.messages.clear();
    QVERIFY(rig.window->close());
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestMainWindow::alignmentAnsweredNoStaysOn()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    rig.messages.queueAnswer(Messenger::No);
    rig.window->doAlignment();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Do you want to stop alignment now?")});
    QVERIFY(rig.messages.shown().at(0).buttons.testFlag(Messenger::No));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    QVERIFY(rig.action(QStringLiteral("Stop&l")));
    QVERIFY(!rig.action(QStringLiteral("A&lignment")));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));

    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QTRY_COMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
}

void TestMainWindow::alignmentWithoutMonitorShowsTheControllersBox()
{
    Rig rig;
    rig.connectSensor();
    rig.action(QStringLiteral("A&lignment"))->trigger();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Error!: Connect Sensor and Monitor First!")});
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(rig.action(QStringLiteral("A&lignment")));
    QVERIFY(!rig.action(QStringLiteral("Stop&l")));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QVERIFY(!rig.child<QLabel>(QStringLiteral("matrixIcon"))->isEnabled());
}

void TestMainWindow::closingWhileStoppingWaitsForTheService()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    rig.sensor->setStartDuration(800);
    rig.window->doAlignment();
    QTRY_VERIFY(rig.measure()->isServingAlignment());
    rig.monitor.request("MES,1");
    QTRY_VERIFY(rig.sensor->insideStart.load());

    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Stopping);
    QVERIFY(rig.window->statusText().startsWith(QStringLiteral("Stopping alignment")));
    // The instruments stay refused until the service lets go of them.
    rig.messages.clear();
    rig.window->doSingleMeasure();
    QVERIFY(shown(rig.messages, QStringLiteral("Warning"),
                  QStringLiteral("Alignment is stopping. Try again when it has stopped.")));

    rig.messages.clear();
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.messages.shown().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isVisible(), 5000);
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
}

void TestMainWindow::saveWritesTheTypedNameOnly()
{
    Rig rig;
    // Without a sensor there is nothing to save.
    rig.window->doSaveProfile();
    QVERIFY(shown(rig.messages, QStringLiteral("Save"), QStringLiteral("Connect Sensor first!")));
    QVERIFY(rig.dialogs.asked().isEmpty());

    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());
    rig.dialogs.queueText(QStringLiteral("abc"));
    rig.window->doSaveProfile();
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abc.alg")});
    AlignmentProfile saved;
    QCOMPARE(saved.read(QStringLiteral("abc.alg")), AlignmentProfile::ReadResult::Ok);
    QCOMPARE(saved.serialNumber(), rig.serialNumber);
    QCOMPARE(saved.sensorType(), 7);
    QVERIFY(saved.matrix() == sampleMatrix());

    // Cancel, and OK on an empty name, write nothing.
    rig.window->doSaveProfile();
    rig.dialogs.queueText(QString());
    rig.window->doSaveProfile();
    rig.window->doSaveAsProfile();
    QCOMPARE(rig.dialogs.asked(), (QStringList{QStringLiteral("Input"), QStringLiteral("Input"),
                                               QStringLiteral("Input"), QStringLiteral("Save profile")}));
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abc.alg")});
    QCOMPARE(rig.messages.shown().size(), 1);

    // Save As takes the name as chosen.
    rig.dialogs.queueFileName(QDir(m_work).filePath(QStringLiteral("chosen.prof")));
    rig.window->doSaveAsProfile();
    QVERIFY(QFile::exists(QStringLiteral("chosen.prof")));
}

void TestMainWindow::failedSaveIsReportedAndKeepsTheOldFile()
{
    Rig rig;
    rig.connectSensor();
    rig.messages.clear();

    const QString missingDir = QDir(m_work).filePath(QStringLiteral("no/such/dir/p.alg"));
    rig.dialogs.queueFileName(missingDir);
    rig.window->doSaveAsProfile();
    QCOMPARE(rig.messages.shown().size(), 1);
    const auto& report = rig.messages.shown().at(0);
    QCOMPARE(report.icon, Messenger::Icon::Warning);
    QVERIFY2(report.text.contains(missingDir), qPrintable(report.text));
    // The reason follows the name.
    QVERIFY2(report.text.section(missingDir, 1).size() > 3, qPrintable(report.text));

    // A disk that fills up during the write: the profile there stays whole.
    const AlignmentProfile old(7, QStringLiteral("OLD-SERIAL-NUMBER"), sampleMatrix());
    QVERIFY(old.write(QStringLiteral("keep.alg")));
    const QByteArray oldBytes = fileContents(QStringLiteral("keep.alg"));

    rig.messages.clear();
    rig.dialogs.queueText(QStringLiteral("keep"));
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 40;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    rig.window->doSaveProfile();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(rig.messages.shown().size(), 1);
    QVERIFY(rig.messages.shown().at(0).text.contains(QStringLiteral("keep.alg")));
    QCOMPARE(fileContents(QStringLiteral("keep.alg")), oldBytes);
    // No half-written file is left beside it either.
    QCOMPARE(QDir(m_work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.alg")});
}

void TestMainWindow::statusBarToggle()
{
    Rig rig;
    QAction* toggle = rig.action(QStringLiteral("&Status bar"));
    QVERIFY(toggle && toggle->isChecked());
    QVERIFY(rig.window->statusBar()->isVisible());
    toggle->trigger();
    QVERIFY(!toggle->isChecked());
    QVERIFY(!rig.window->statusBar()->isVisible());
    toggle->trigger();
    QVERIFY(rig.window->statusBar()->isVisible());

    QAction* fileBar = rig.action(QStringLiteral("&File Tool bar"));
    auto* bar = rig.window->findChild<QToolBar*>(QStringLiteral("fileToolBar"));
    QVERIFY(bar->isVisible());
    fileBar->trigger();
    QVERIFY(!bar->isVisible());
}

void TestMainWindow::profileOpenedBeforeThePortKeepsItsMatrix()
{
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), sampleMatrix())
                .write(QStringLiteral("before.alg")));
    {
        // Without a profile, picking the port starts from the identity.
        Rig rig;
        rig.measure()->SetMatrix(sampleMatrix());
        rig.connectSensor();
        QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
        QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.00000"));
        QCOMPARE(rig.matrixCell(0, 1), QStringLiteral("0.00000"));
    }
    Rig rig;
    rig.window->alignmentWidget()->openProfile(QStringLiteral("before.alg"));
    // The profile chose its sensor type; the sensor waits for its port.
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("typeCombo"))->currentIndex(), 7);
    QVERIFY(rig.child<QComboBox>(QStringLiteral("sensorPortCombo"))->isEnabled());
    QVERIFY(!rig.measure()->currentSensor());
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.25000"));

    rig.choose(QStringLiteral("sensorPortCombo"), rig.portIndex(kFakePort));
    QVERIFY(rig.measure()->currentSensor());
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.25000"));
    QCOMPARE(rig.matrixCell(0, 2), QStringLiteral("-0.12500"));
    QCOMPARE(rig.matrixCell(2, 0), QStringLiteral("0.03125"));
    QVERIFY(rig.messages.shown().isEmpty());
    // The profile list of the working directory is offered once the sensor is there.
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("profileCombo"))->findText(QStringLiteral("before")), 1);
}

void TestMainWindow::profileOfAnotherInstrumentIsRefusedAtThePort()
{
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-9999"), sampleMatrix())
                .write(QStringLiteral("other.alg")));
    Rig rig;
    rig.window->alignmentWidget()->openProfile(QStringLiteral("other.alg"));
    rig.choose(QStringLiteral("sensorPortCombo"), rig.portIndex(kFakePort));
    QVERIFY(rig.measure()->currentSensor());
    QVERIFY(shown(rig.messages, QStringLiteral("Profile"), QStringLiteral("Sensor SN Error!")));
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));

    // With the sensor open, only the serial number decides.
    rig.messages.clear();
    rig.window->alignmentWidget()->openProfile(QStringLiteral("other.alg"));
    QVERIFY(shown(rig.messages, QStringLiteral("Profile"), QStringLiteral("Sensor SN Error!")));
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
}

void TestMainWindow::profileWithDamagedNumbersIsAParseError()
{
    // Written as the file holds it: the program's own writer refuses such a matrix.
    Matrix damaged = sampleMatrix();
    damaged(2, 1) = std::numeric_limits<double>::quiet_NaN();
    {
        QFile file(QStringLiteral("damaged.alg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QDataStream out(&file);
        out.setVersion(QDataStream::Qt_5_1);
        out << AlignmentProfile::Magic << AlignmentProfile::FormatVersion << qint32(6)
            << QStringLiteral("SN-0042") << damaged;
    }
    Rig rig;
    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());
    rig.window->alignmentWidget()->openProfile(QStringLiteral("damaged.alg"));
    QVERIFY(shown(rig.messages, QStringLiteral("Profile"), QStringLiteral("Parse Error!")));
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(2, 1), QStringLiteral("0.00000"));
}

void TestMainWindow::emptyPortEntriesRelease()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    QVERIFY(rig.measure()->currentSensor());
    QVERIFY(rig.measure()->currentMonitor());

    rig.choose(QStringLiteral("sensorPortCombo"), 0);
    QVERIFY(!rig.measure()->currentSensor());
    QVERIFY(!rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    rig.choose(QStringLiteral("monitorPortCombo"), 0);
    QVERIFY(!rig.measure()->currentMonitor());
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY(rig.messages.shown().isEmpty());

    // Without a sensor, Open asks for one instead of a file.
    rig.window->doNewProfile();
    QVERIFY(shown(rig.messages, QStringLiteral("Open Profile"),
                  QStringLiteral("No Sensor connected, Connect Sensor first,")));
    QVERIFY(rig.dialogs.asked().isEmpty());
}

void TestMainWindow::aboutNamesVersionLibrariesAndSettings()
{
    // One library where the program is told to look; the others nowhere.
    const QString libDir = m_home.filePath(QStringLiteral("libs"));
    QVERIFY(QDir().mkpath(libDir));
    const QString i1d3 = QDir(libDir).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3")));
    QFile placeholder(i1d3);
    QVERIFY(placeholder.open(QIODevice::WriteOnly));
    placeholder.close();
    SensorLibrary::setExtraDirectories({libDir});

    Rig rig;
    rig.action(QStringLiteral("&About"))->trigger();
    SensorLibrary::setExtraDirectories({});
    QCOMPARE(rig.messages.shown().size(), 1);
    const auto& about = rig.messages.shown().at(0);
    QCOMPARE(about.title, QStringLiteral("Huelink Trimline"));
    QVERIFY2(about.text.contains(QString::fromLatin1(qVersion())), qPrintable(about.text));
    QVERIFY2(about.text.contains(SensorLibrary::fileName(QStringLiteral("libmlink_i1d3")) + QStringLiteral(": ") + i1d3), qPrintable(about.text));
    QVERIFY2(about.text.contains(SensorLibrary::fileName(QStringLiteral("libmlink_k10")) + QStringLiteral(": not found")), qPrintable(about.text));
    QVERIFY(about.text.contains(SensorLibrary::fileName(QStringLiteral("libmlink_ca410"))));
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("NVX"),
                             QStringLiteral("Brightfold-alignment"));
    QVERIFY2(settings.fileName().startsWith(m_home.path()), qPrintable(settings.fileName()));
    QVERIFY2(about.text.contains(settings.fileName()), qPrintable(about.text));
}

void TestMainWindow::saveAsksBeforeReplacingAProfile_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("No keeps the profile") << int(Messenger::No) << false;
    QTest::newRow("Yes replaces it") << int(Messenger::Yes) << true;
}

void TestMainWindow::saveAsksBeforeReplacingAProfile()
{
    QFETCH(int, answer);
    QFETCH(bool, replaced);

    // Both rows share the test's working directory.
    QFile::remove(QStringLiteral("fresh.alg"));
    const AlignmentProfile old(7, QStringLiteral("OLD-SERIAL-NUMBER"), Matrix::IdentityMatrix(3));
    QVERIFY(old.write(QStringLiteral("panel.alg")));
    const QByteArray oldBytes = fileContents(QStringLiteral("panel.alg"));

    Rig rig;
    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());
    rig.messages.clear();

    // A new name is written without a question.
    rig.dialogs.queueText(QStringLiteral("fresh"));
    rig.window->doSaveProfile();
    QVERIFY(rig.messages.shown().isEmpty());
    QVERIFY(QFile::exists(QStringLiteral("fresh.alg")));

    rig.messages.queueAnswer(Messenger::Button(answer));
    rig.dialogs.queueText(QStringLiteral("panel"));
    rig.window->doSaveProfile();
    QCOMPARE(rig.messages.shown().size(), 1);
    const auto& question = rig.messages.shown().at(0);
    QCOMPARE(question.text, QStringLiteral("panel.alg already exists.\nDo you want to replace it?"));
    QCOMPARE(question.buttons, Messenger::Buttons(Messenger::Yes | Messenger::No));

    AlignmentProfile onDisk;
    QCOMPARE(onDisk.read(QStringLiteral("panel.alg")), AlignmentProfile::ReadResult::Ok);
    if (replaced) {
        QCOMPARE(onDisk.serialNumber(), rig.serialNumber);
        QVERIFY(onDisk.matrix() == sampleMatrix());
    } else {
        QCOMPARE(fileContents(QStringLiteral("panel.alg")), oldBytes);
    }
}

void TestMainWindow::smallWindowKeepsItsControlsUsable_data()
{
    QTest::addColumn<bool>("byWindowSystem");
    QTest::newRow("resized by the program") << false;
    // A window system without a window manager honours no minimum-size hint.
    QTest::newRow("resized by the window system") << true;
}

void TestMainWindow::smallWindowKeepsItsControlsUsable()
{
    QFETCH(bool, byWindowSystem);
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    const QSize minimum = rig.window->minimumSize();
    if (byWindowSystem)
        rig.window->windowHandle()->resize(300, 200);
    else
        rig.window->resize(300, 200);
    QTRY_VERIFY2(rig.window->width() >= minimum.width() && rig.window->height() >= minimum.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(rig.window->width()).arg(rig.window->height())));
    QTest::qWait(20);
    QVERIFY(rig.window->width() >= minimum.width() && rig.window->height() >= minimum.height());

    // Every control the user works with is shown whole, not squeezed.
    QList<QWidget*> controls;
    for (const char* name : {"typeCombo", "sensorPortCombo", "profileCombo", "monitorPortCombo",
                             "sensorButton", "monitorIcon", "matrixIcon", "matrixTable"})
        controls << rig.child<QWidget>(QString::fromLatin1(name));
    controls << rig.window->valueWindow()->findChild<QTableWidget*>();
    for (QWidget* control : controls) {
        QVERIFY(control);
        const QString what = control->objectName() + QStringLiteral(" ")
            + QStringLiteral("%1 x %2").arg(control->width()).arg(control->height());
        QVERIFY2(control->isVisible(), qPrintable(what));
        QVERIFY2(control->visibleRegion().boundingRect().size() == control->size(), qPrintable(what));
        const QSize needed = control->minimumSizeHint().expandedTo(control->minimumSize());
        QVERIFY2(control->width() >= needed.width() && control->height() >= needed.height(), qPrintable(what));
    }
    // The value window's numbers are shown whole: a bright display's white.
    rig.window->valueWindow()->doColorChanged(CColor(1950.456, 2000.0, 2177.661));
    auto* values = rig.window->valueWindow()->findChild<QTableWidget*>();
    for (int row = 0; row < values->rowCount(); ++row) {
        const QString text = values->item(row, 0)->text();
        QVERIFY(!text.isEmpty());
        const int room =
            values->visualItemRect(values->item(row, 0)).intersected(values->viewport()->rect()).width();
        QVERIFY2(room > values->fontMetrics().horizontalAdvance(text), qPrintable(text));
    }
}

namespace {

// The windows's menus and tool bars that hold an action, by title or object name.
QStringList menusHolding(const QMainWindow& window, const QAction* action)
{
    QStringList found;
    for (QAction* entry : window.menuBar()->actions()) {
        if (entry->menu() && entry->menu()->actions().contains(const_cast<QAction*>(action)))
            found << entry->text();
    }
    return found;
}

QStringList toolBarsHolding(const QMainWindow& window, const QAction* action)
{
    QStringList found;
    for (QToolBar* bar : window.findChildren<QToolBar*>()) {
        if (bar->actions().contains(const_cast<QAction*>(action)))
            found << bar->objectName();
    }
    found.sort();
    return found;
}

bool samePicture(const QIcon& icon, const QString& resource)
{
    const QImage shown = icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage wanted = QIcon(resource).pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
    return !wanted.isNull() && shown == wanted;
}

QStringList texts(const QList<QAction*>& actions)
{
    QStringList list;
    for (const QAction* a : actions)
        list << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return list;
}

} // namespace

void TestMainWindow::actionTable_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("toolBars");
    QTest::addColumn<bool>("checkable");

    const QString res = QStringLiteral(":/icons/resource/");
    const QStringList none;
    const QStringList file{QStringLiteral("fileToolBar")};
    const QStringList measure{QStringLiteral("measureToolBar")};
    const QStringList help{QStringLiteral("helpToolBar")};
    QTest::newRow("Open") << "&Open" << "Ctrl+O" << res + "new.png" << "&File" << file << false;
    QTest::newRow("Save") << "&Save" << "Ctrl+S" << res + "save.png" << "&File" << file << false;
    QTest::newRow("Save As") << "Save As" << "Ctrl+D" << res + "save.png" << "&File" << none << false;
    QTest::newRow("Quit") << "&Quit" << "Ctrl+X" << QString() << "&File" << none << false;
    QTest::newRow("Single measure") << "S&ingle measure" << "Ctrl+I" << res + "single.png" << "&Measure"
                                    << measure << false;
    QTest::newRow("Alignment") << "A&lignment" << "Ctrl+L" << res + "alignment.png" << "&Measure" << measure
                               << false;
    QTest::newRow("Portscan") << "P&ortscan" << "Ctrl+P" << res + "scan.png" << QString() << measure << false;
    QTest::newRow("File Tool bar") << "&File Tool bar" << QString() << QString() << "&View" << none << true;
    QTest::newRow("Measure Tool bar") << "&Measure Tool bar" << QString() << QString() << "&View" << none
                                      << true;
    QTest::newRow("Status bar") << "&Status bar" << QString() << QString() << "&View" << none << true;
    QTest::newRow("Calibrate") << "Calib&rate" << "Ctrl+R" << res + "matrix.png" << "A&dvance" << measure
                               << false;
    QTest::newRow("About") << "&About" << "Ctrl+A" << res + "Calibration1.png" << "&Help" << help << false;
}

void TestMainWindow::actionTable()
{
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(QString, icon);
    QFETCH(QString, menu);
    QFETCH(QStringList, toolBars);
    QFETCH(bool, checkable);

    Rig rig;
    QAction* action = rig.action(text);
    QVERIFY(action);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    if (icon.isEmpty())
        QVERIFY(action->icon().isNull());
    else
        QVERIFY2(samePicture(action->icon(), icon), qPrintable(icon));
    QCOMPARE(menusHolding(*rig.window, action), menu.isEmpty() ? QStringList() : QStringList{menu});
    QCOMPARE(toolBarsHolding(*rig.window, action), toolBars);
    QCOMPARE(action->isCheckable(), checkable);
    if (checkable)
        QVERIFY(action->isChecked());
}

void TestMainWindow::menusAndToolBarsInOrder()
{
    Rig rig;
    QCOMPARE(texts(rig.window->menuBar()->actions()),
             (QStringList{"&File", "&Measure", "&View", "A&dvance", "&Help"}));
    const QList<QAction*> menus = rig.window->menuBar()->actions();
    QCOMPARE(texts(menus.at(0)->menu()->actions()), (QStringList{"&Open", "&Save", "Save As", "|", "&Quit"}));
    QCOMPARE(texts(menus.at(1)->menu()->actions()), (QStringList{"S&ingle measure", "A&lignment"}));
    QCOMPARE(texts(menus.at(2)->menu()->actions()),
             (QStringList{"&File Tool bar", "&Measure Tool bar", "&Status bar", "|",
                          rig.window->valueWindow()->toggleViewAction()->text()}));
    QCOMPARE(menus.at(2)->menu()->actions().last(), rig.window->valueWindow()->toggleViewAction());

    const char* const bars[] = {"fileToolBar", "measureToolBar", "helpToolBar"};
    int left = -1;
    for (const char* name : bars) {
        auto* bar = rig.child<QToolBar>(QString::fromLatin1(name));
        QVERIFY2(bar, name);
        QCOMPARE(rig.window->toolBarArea(bar), Qt::TopToolBarArea);
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->allowedAreas(), Qt::AllToolBarAreas);
        QVERIFY2(bar->x() > left, name);
        left = bar->x();
    }
    QCOMPARE(texts(rig.child<QToolBar>(QStringLiteral("measureToolBar"))->actions()),
             (QStringList{"S&ingle measure", "A&lignment", "P&ortscan", "Calib&rate"}));
    QCOMPARE(texts(rig.child<QToolBar>(QStringLiteral("fileToolBar"))->actions()),
             (QStringList{"&Open", "&Save"}));
}

void TestMainWindow::measureToolBarToggle()
{
    Rig rig;
    QAction* toggle = rig.action(QStringLiteral("&Measure Tool bar"));
    auto* measureBar = rig.child<QToolBar>(QStringLiteral("measureToolBar"));
    auto* fileBar = rig.child<QToolBar>(QStringLiteral("fileToolBar"));
    QVERIFY(toggle && measureBar && fileBar);
    QVERIFY(measureBar->isVisible());
    toggle->trigger();
    QVERIFY(!toggle->isChecked());
    QVERIFY(!measureBar->isVisible());
    QVERIFY(fileBar->isVisible());
    QVERIFY(rig.window->statusBar()->isVisible());
    toggle->trigger();
    QVERIFY(toggle->isChecked());
    QVERIFY(measureBar->isVisible());
}

void TestMainWindow::sensorPictureOpensTheFeaturesDialog()
{
    Rig rig;
    auto* picture = rig.child<QPushButton>(QStringLiteral("sensorButton"));
    int opened = 0;
    QString serial;
    const auto watchDialog = [&](int deadlineMs) {
        return whenModal<SensorDlg>(
            [&](SensorDlg* dialog) {
                ++opened;
                serial = dialog->findChild<QLineEdit*>(QStringLiteral("serialEdit"))->text();
            },
            deadlineMs);
    };

    // No sensor: the picture is greyed out and opens nothing.
    QPointer<QTimer> watch = watchDialog(300);
    QTest::mouseClick(picture, Qt::LeftButton);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 0);

    rig.connectSensor();
    QVERIFY(picture->isEnabled());
    watch = watchDialog(5000);
    QTest::mouseClick(picture, Qt::LeftButton);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 1);
    QCOMPARE(serial, rig.serialNumber);
    QVERIFY(rig.messages.shown().isEmpty());

    // While aligning the click is refused like every instrument command.
    rig.connectMonitor();
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    watch = watchDialog(300);
    QTest::mouseClick(picture, Qt::LeftButton);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 1);
    QVERIFY(shown(rig.messages, QStringLiteral("Warning"), QStringLiteral("Alignment is on.")));
    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QTRY_COMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
}

void TestMainWindow::portscanListsThePortsAgainAndReleases()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    QVERIFY(rig.measure()->currentSensor());
    QVERIFY(rig.measure()->currentMonitor());

    // A port that came and one that went since the window opened.
    PortLister::setExtraPorts({QString::fromStdString(rig.monitor.portName()), QStringLiteral("ttyNEW7")});
    const QStringList expected = QStringList{QString()} + PortLister::availablePorts();
    QVERIFY(expected.contains(QStringLiteral("ttyNEW7")));
    QVERIFY(!expected.contains(kFakePort));
    rig.action(QStringLiteral("P&ortscan"))->trigger();

    QCOMPARE(rig.window->alignmentWidget()->ports(), expected);
    for (const char* name : {"sensorPortCombo", "monitorPortCombo"}) {
        auto* combo = rig.child<QComboBox>(QString::fromLatin1(name));
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, expected);
        QCOMPARE(combo->currentIndex(), 0);
    }
    QVERIFY(!rig.measure()->currentSensor());
    QVERIFY(!rig.measure()->currentMonitor());
    QVERIFY(!rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestMainWindow::openAppliesAProfileToTheConnectedSensor()
{
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), sampleMatrix()).write(QStringLiteral("mine.alg")));
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-9999"), Matrix::IdentityMatrix(3) * 2.0)
                .write(QStringLiteral("theirs.alg")));
    Rig rig;
    rig.connectSensor();
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));

    // Cancelled: nothing changes.
    rig.action(QStringLiteral("&Open"))->trigger();
    QCOMPARE(rig.dialogs.asked(), QStringList{QStringLiteral("Open profile")});
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
    QVERIFY(rig.messages.shown().isEmpty());

    rig.dialogs.queueFileName(QDir(m_work).filePath(QStringLiteral("mine.alg")));
    rig.action(QStringLiteral("&Open"))->trigger();
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.25000"));
    QVERIFY(rig.messages.shown().isEmpty());

    rig.dialogs.queueFileName(QDir(m_work).filePath(QStringLiteral("theirs.alg")));
    rig.action(QStringLiteral("&Open"))->trigger();
    QVERIFY(shown(rig.messages, QStringLiteral("Profile"), QStringLiteral("Sensor SN Error!")));
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QVERIFY(rig.measure()->currentSensor());
}

void TestMainWindow::panelReportsMonitorAndProfileFailures()
{
    QFile damaged(QStringLiteral("damaged.alg"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("this is no profile at all");
    damaged.close();

    Rig rig;
    rig.connectSensor();
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
    rig.measure()->SetMatrix(sampleMatrix());
    auto* profiles = rig.child<QComboBox>(QStringLiteral("profileCombo"));
    const int entry = profiles->findText(QStringLiteral("damaged"));
    QVERIFY(entry > 0);
    rig.messages.clear();
    profiles->setCurrentIndex(entry);
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Parse Error!")});
    QCOMPARE(profiles->currentIndex(), 0);
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());

    // A port that leads nowhere as the monitor's.
    rig.messages.clear();
    rig.choose(QStringLiteral("monitorPortCombo"), rig.portIndex(kDeadPort));
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Warning Monitor: Connect Monitor Error!")});
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());

    rig.messages.clear();
    rig.connectMonitor();
    QVERIFY(rig.messages.shown().isEmpty());
    QVERIFY(rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
}

void TestMainWindow::panelListsRefusedWhileAligning_data()
{
    QTest::addColumn<QString>("list");
    QTest::newRow("sensor type") << QStringLiteral("typeCombo");
    QTest::newRow("sensor port") << QStringLiteral("sensorPortCombo");
    QTest::newRow("monitor port") << QStringLiteral("monitorPortCombo");
}

void TestMainWindow::panelListsRefusedWhileAligning()
{
    QFETCH(QString, list);
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    CSensor* sensor = rig.measure()->currentSensor();
    auto* combo = rig.child<QComboBox>(list);
    const int before = combo->currentIndex();
    QVERIFY(before > 0);
    const int initsBefore = rig.sensor->initCalls.load();

    rig.choose(list, 0);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Warning"));
    QCOMPARE(rig.messages.shown().at(0).text, QStringLiteral("Alignment is on."));
    QCOMPARE(combo->currentIndex(), before);
    QCOMPARE(rig.measure()->currentSensor(), sensor);
    QCOMPARE(rig.sensor->initCalls.load(), initsBefore);
    QVERIFY(rig.measure()->currentMonitor());
    QVERIFY(rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QTRY_COMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
