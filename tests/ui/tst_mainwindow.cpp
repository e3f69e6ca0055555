#include "alignmentprofile.h"
#include "alignmentwidget.h"
#include "application.h"
#include "colordockwidget.h"
#include "mainwindow.h"
#include "measure.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "recordingmessenger.h"
#include "scripteddialogprovider.h"
#include "scriptedsensor.h"
#include "sensorlibrary.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/resource.h>

namespace {

const QString kFakePort = QStringLiteral("ttyFAKE0");

// A main window whose controller hands out scripted sensors, with an emulated
// display offered as the second port.
struct Rig {
    Rig()
    {
        monitor.start();
        PortLister::setExtraPorts({kFakePort, QString::fromStdString(monitor.portName())});
        window = std::make_unique<MainWindow>();
        window->controller()->setSensorFactory([this](int type) -> CSensor* {
            if (type == 0)
                return nullptr;
            sensor = new ScriptedSensor;
            sensor->setHasComPort(true);
            sensor->setSerialNumber(serialNumber);
            return sensor;
        });
        window->show();
    }

    ~Rig() { PortLister::setExtraPorts({}); }

    template <typename T>
    T* child(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    QAction* action(const QString& text) const
    {
        for (QAction* a : window->findChildren<QAction*>()) {
            if (a->text() == text)
                return a;
        }
        return nullptr;
    }

    // What a user's choice in one of the panel's lists does.
    void choose(const QString& comboName, int index) const
    {
        QComboBox* combo = child<QComboBox>(comboName);
        QVERIFY(combo);
        QVERIFY(index < combo->count());
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }

    int portIndex(const QString& name) const { return window->alignmentWidget()->ports().indexOf(name); }

    void connectSensor() const
    {
        choose(QStringLiteral("typeCombo"), 7);
        choose(QStringLiteral("sensorPortCombo"), portIndex(kFakePort));
    }

    void connectMonitor() const
    {
        choose(QStringLiteral("monitorPortCombo"), portIndex(QString::fromStdString(monitor.portName())));
    }

    Measure* measure() const { return window->controller(); }

    QString matrixCell(int r, int c) const
    {
        return child<QTableWidget>(QStringLiteral("matrixTable"))->item(r, c)->text();
    }

    RecordingMessenger messages;
    ScriptedDialogProvider dialogs;
    MonitorEmulator monitor;
    QString serialNumber = QStringLiteral("SN-0042");
    std::unique_ptr<MainWindow> window;
    ScriptedSensor* sensor = nullptr; // owned by the controller
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
    void emptyPortEntriesRelease();
    void aboutNamesVersionLibrariesAndSettings();

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
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).text, QStringLiteral("Do you want to stop alignment now?"));
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
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).icon, Messenger::Icon::Critical);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Error!"));
    QCOMPARE(rig.messages.shown().at(0).text, QStringLiteral("Connect Sensor and Monitor First!"));
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
    QFile oldFile(QStringLiteral("keep.alg"));
    QVERIFY(oldFile.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = oldFile.readAll();
    oldFile.close();

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
    QVERIFY(oldFile.open(QIODevice::ReadOnly));
    QCOMPARE(oldFile.readAll(), oldBytes);
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

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
