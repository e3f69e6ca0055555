#include "alignmentprofile.h"
#include "alignmentwidget.h"
#include "colordockwidget.h"
#include "filecontents.h"
#include "modaldialog.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "sensordlg.h"
#include "uitest.h"
#include "windowprobe.h"

#include <QDataStream>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QWindow>

#include <csignal>
#include <limits>
#include <sys/resource.h>

namespace {

const QString kFakePort = QStringLiteral("ttyFAKE0");
// Offered as a port but leading nowhere.
const QString kDeadPort = QStringLiteral("ttyDEAD0");
const QString kAlignmentIsOn = QStringLiteral("Warning Warning: Alignment is on.");

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

    MonitorEmulator monitor;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void init() { m_home.enterWorkDir(); }

    void iconsAreCompiledIn();
    void refusedWhileAligning();
    void alignmentWithoutMonitorShowsTheControllersBox();
    void saveWritesTheTypedNameOnly();
    void failedSaveIsReportedAndKeepsTheOldFile();
    void viewTogglesShowAndHide_data();
    void viewTogglesShowAndHide();
    void profileOpenedBeforeThePortKeepsItsMatrix();
    void profileOfAnotherInstrumentIsRefusedAtThePort();
    void brokenProfilesAreParseErrors_data();
    void brokenProfilesAreParseErrors();
    void portsConnectAndEmptyEntriesRelease();
    void saveAsksBeforeReplacingAProfile_data();
    void saveAsksBeforeReplacingAProfile();
    void smallWindowKeepsItsControlsUsable_data();
    void smallWindowKeepsItsControlsUsable();
    void actionTable_data();
    void actionTable();
    void menusAndToolBarsInOrder();
    void sensorPictureOpensTheFeaturesDialog();
    void portscanListsThePortsAgainAndReleases();
    void openAppliesAProfileToTheConnectedSensor();

private:
    ScratchHome m_home;
};

void TestMainWindow::iconsAreCompiledIn()
{
    for (const char* name : {"new", "save", "single", "alignment", "stop_alignment", "scan", "matrix",
                             "Calibration1", "app", "sensor", "monitor"}) {
        const QPixmap picture(QStringLiteral(":/icons/resource/%1.png").arg(QLatin1String(name)));
        QVERIFY2(!picture.isNull(), name);
        QVERIFY2(picture.width() >= 16 && picture.width() <= 55, name);
    }
}

// While aligning, closing the window, every command that would use the
// instruments and the panel's lists are refused with the same warning, and
// nothing changes; answered No, the question to switch off leaves it on.
void TestMainWindow::refusedWhileAligning()
{
    Rig rig;
    rig.connectSensor();
    rig.connectMonitor();
    QVERIFY(rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QVERIFY(rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY(rig.messages.shown().isEmpty());

    rig.action(QStringLiteral("A&lignment"))->trigger();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    QVERIFY(!rig.action(QStringLiteral("A&lignment")));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));
    QVERIFY(rig.child<QLabel>(QStringLiteral("matrixIcon"))->isEnabled());

    CSensor* const sensor = rig.measure()->currentSensor();
    const int measuredBefore = rig.sensor->startCalls.load();
    const int initsBefore = rig.sensor->initCalls.load();
    const QStringList lists = {QStringLiteral("typeCombo"), QStringLiteral("sensorPortCombo"),
                               QStringLiteral("monitorPortCombo")};
    QList<int> chosen;
    for (const QString& list : lists)
        chosen << rig.child<QComboBox>(list)->currentIndex();
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    rig.window->doSingleMeasure();
    rig.window->doPortscan();
    rig.window->doCalibrate();
    rig.window->showSensorDlg();
    for (const QString& list : lists)
        rig.choose(list, 0);
    QCOMPARE(rig.messages.shown().size(), 8);
    QCOMPARE(rig.messages.boxes().count(kAlignmentIsOn), 8);
    for (int i = 0; i < lists.size(); ++i)
        QCOMPARE(rig.child<QComboBox>(lists.at(i))->currentIndex(), chosen.at(i));
    QCOMPARE(rig.measure()->currentSensor(), sensor);
    QVERIFY(rig.measure()->currentMonitor());
    QCOMPARE(rig.sensor->startCalls.load(), measuredBefore);
    QCOMPARE(rig.sensor->initCalls.load(), initsBefore);
    QVERIFY(rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    rig.messages.clear();
    rig.messages.queueAnswer(Messenger::No);
    rig.window->doAlignment();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Do you want to stop alignment now?")});
    QVERIFY(rig.messages.shown().at(0).buttons.testFlag(Messenger::No));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));

    // Switched off, the window closes.
    rig.messages.queueAnswer(Messenger::Yes);
    rig.action(QStringLiteral("Stop&l"))->trigger();
    // The service lets go of the instruments after its current pass.
    QTRY_COMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(rig.action(QStringLiteral("A&lignment")));
    QVERIFY(!rig.action(QStringLiteral("Stop&l")));
    QVERIFY(!rig.child<QLabel>(QStringLiteral("matrixIcon"))->isEnabled());
    rig.messages.clear();
    QVERIFY(rig.window->close());
    QVERIFY(rig.messages.shown().isEmpty());
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

void TestMainWindow::saveWritesTheTypedNameOnly()
{
    Rig rig;
    // Without a sensor there is nothing to save.
    rig.window->doSaveProfile();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Warning Save: Connect Sensor first!")});
    QVERIFY(rig.dialogs.asked().isEmpty());

    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());
    rig.dialogs.queueText(QStringLiteral("abc"));
    rig.window->doSaveProfile();
    QCOMPARE(QDir(m_home.work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abc.alg")});
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
    QCOMPARE(QDir(m_home.work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abc.alg")});
    QCOMPARE(rig.messages.shown().size(), 1);

    // Save As takes the name as chosen.
    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("chosen.prof")));
    rig.window->doSaveAsProfile();
    QVERIFY(QFile::exists(QStringLiteral("chosen.prof")));
}

void TestMainWindow::failedSaveIsReportedAndKeepsTheOldFile()
{
    Rig rig;
    rig.connectSensor();
    rig.messages.clear();

    const QString missingDir = QDir(m_home.work).filePath(QStringLiteral("no/such/dir/p.alg"));
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
    QCOMPARE(QDir(m_home.work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.alg")});
}

void TestMainWindow::viewTogglesShowAndHide_data()
{
    QTest::addColumn<QString>("toggle");
    QTest::addColumn<QString>("bar"); // by object name; empty for the status bar
    QTest::newRow("file tool bar") << "&File Tool bar" << "fileToolBar";
    QTest::newRow("measure tool bar") << "&Measure Tool bar" << "measureToolBar";
    QTest::newRow("status bar") << "&Status bar" << QString();
}

void TestMainWindow::viewTogglesShowAndHide()
{
    QFETCH(QString, toggle);
    QFETCH(QString, bar);
    Rig rig;
    QAction* action = rig.action(toggle);
    const QList<QWidget*> bars = {rig.child<QToolBar>(QStringLiteral("fileToolBar")),
                                  rig.child<QToolBar>(QStringLiteral("measureToolBar")), rig.window->statusBar()};
    QWidget* const toggled = bar.isEmpty() ? rig.window->statusBar() : rig.child<QWidget>(bar);
    QVERIFY(action && toggled && !bars.contains(nullptr));
    QVERIFY(toggled->isVisible());
    action->trigger();
    QVERIFY(!action->isChecked());
    // The others stay as they were.
    for (const QWidget* widget : bars)
        QCOMPARE(widget->isVisible(), widget != toggled);
    action->trigger();
    QVERIFY(action->isChecked());
    QVERIFY(toggled->isVisible());
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
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Sensor SN Error!")});
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
}

void TestMainWindow::brokenProfilesAreParseErrors_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("no profile at all") << QByteArray("this is no profile at all");
    // Written as the file holds it: the program's own writer refuses such a matrix.
    Matrix damaged = sampleMatrix();
    damaged(2, 1) = std::numeric_limits<double>::quiet_NaN();
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_1);
    out << AlignmentProfile::Magic << AlignmentProfile::FormatVersion << qint32(6) << QStringLiteral("SN-0042")
        << damaged;
    QTest::newRow("a number that is none") << bytes;
}

// Chosen from the panel's list: refused, and the list and matrix stay as they were.
void TestMainWindow::brokenProfilesAreParseErrors()
{
    QFETCH(QByteArray, contents);
    QFile file(QStringLiteral("damaged.alg"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();

    Rig rig;
    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());
    auto* profiles = rig.child<QComboBox>(QStringLiteral("profileCombo"));
    const int entry = profiles->findText(QStringLiteral("damaged"));
    QVERIFY(entry > 0);
    rig.messages.clear();
    profiles->setCurrentIndex(entry);
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Parse Error!")});
    QCOMPARE(profiles->currentIndex(), 0);
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(2, 1), QStringLiteral("0.00000"));
}

void TestMainWindow::portsConnectAndEmptyEntriesRelease()
{
    Rig rig;
    // A port that leads nowhere as the monitor's.
    rig.choose(QStringLiteral("monitorPortCombo"), rig.portIndex(kDeadPort));
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Warning Monitor: Connect Monitor Error!")});
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());

    rig.messages.clear();
    rig.connectSensor();
    rig.connectMonitor();
    QVERIFY(rig.measure()->currentSensor());
    QVERIFY(rig.measure()->currentMonitor());
    QVERIFY(rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());

    rig.choose(QStringLiteral("sensorPortCombo"), 0);
    QVERIFY(!rig.measure()->currentSensor());
    QVERIFY(!rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    rig.choose(QStringLiteral("monitorPortCombo"), 0);
    QVERIFY(!rig.measure()->currentMonitor());
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY(rig.messages.shown().isEmpty());

    // Without a sensor, Open asks for one instead of a file.
    rig.window->doNewProfile();
    QCOMPARE(rig.messages.boxes(),
             QStringList{QStringLiteral("Warning Open Profile: No Sensor connected, Connect Sensor first,")});
    QVERIFY(rig.dialogs.asked().isEmpty());
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
    QTest::addColumn<bool>("checkable");

    const QString res = QStringLiteral(":/icons/resource/");
    QTest::newRow("Open") << "&Open" << "Ctrl+O" << res + "new.png" << false;
    QTest::newRow("Save") << "&Save" << "Ctrl+S" << res + "save.png" << false;
    QTest::newRow("Save As") << "Save As" << "Ctrl+D" << res + "save.png" << false;
    QTest::newRow("Quit") << "&Quit" << "Ctrl+X" << QString() << false;
    QTest::newRow("Single measure") << "S&ingle measure" << "Ctrl+I" << res + "single.png" << false;
    QTest::newRow("Alignment") << "A&lignment" << "Ctrl+L" << res + "alignment.png" << false;
    QTest::newRow("Portscan") << "P&ortscan" << "Ctrl+P" << res + "scan.png" << false;
    QTest::newRow("File Tool bar") << "&File Tool bar" << QString() << QString() << true;
    QTest::newRow("Measure Tool bar") << "&Measure Tool bar" << QString() << QString() << true;
    QTest::newRow("Status bar") << "&Status bar" << QString() << QString() << true;
    QTest::newRow("Calibrate") << "Calib&rate" << "Ctrl+R" << res + "matrix.png" << false;
    QTest::newRow("About") << "&About" << "Ctrl+A" << res + "Calibration1.png" << false;
}

void TestMainWindow::actionTable()
{
    QFETCH(QString, text);
    QFETCH(QString, shortcut);
    QFETCH(QString, icon);
    QFETCH(bool, checkable);

    Rig rig;
    QAction* action = rig.action(text);
    QVERIFY(action);
    QCOMPARE(action->shortcut(), QKeySequence(shortcut));
    if (icon.isEmpty())
        QVERIFY(action->icon().isNull());
    else
        QVERIFY2(samePicture(action->icon(), icon), qPrintable(icon));
    QCOMPARE(action->isCheckable(), checkable);
    if (checkable)
        QVERIFY(action->isChecked());
}

// Which menu and tool bar holds each action, in order.
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
    QCOMPARE(texts(menus.at(3)->menu()->actions()), QStringList{"Calib&rate"});
    QCOMPARE(texts(menus.at(4)->menu()->actions()), QStringList{"&About"});

    const QList<QToolBar*> bars = rig.window->findChildren<QToolBar*>();
    const QList<QStringList> held = {{"&Open", "&Save"},
                                     {"S&ingle measure", "A&lignment", "P&ortscan", "Calib&rate"},
                                     {"&About"}};
    QCOMPARE(bars.size(), held.size());
    int left = -1;
    for (int i = 0; i < bars.size(); ++i) {
        const char* const name = i == 0 ? "fileToolBar" : i == 1 ? "measureToolBar" : "helpToolBar";
        auto* bar = rig.child<QToolBar>(QString::fromLatin1(name));
        QVERIFY2(bar, name);
        QCOMPARE(texts(bar->actions()), held.at(i));
        QCOMPARE(rig.window->toolBarArea(bar), Qt::TopToolBarArea);
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->allowedAreas(), Qt::AllToolBarAreas);
        QVERIFY2(bar->x() > left, name);
        left = bar->x();
    }
}

void TestMainWindow::sensorPictureOpensTheFeaturesDialog()
{
    Rig rig;
    // Whatever the instrument calls itself is shown, its controls escaped.
    rig.serialNumber = QStringLiteral("SN-77\x1b[31m\n");
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

    // No sensor: the picture is greyed out and opens nothing, and the command says why.
    QPointer<QTimer> watch = watchDialog(300);
    QTest::mouseClick(picture, Qt::LeftButton);
    rig.window->showSensorDlg();
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 0);
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("Sensor not connected!")});
    QCOMPARE(rig.messages.shown().at(0).icon, Messenger::Icon::Warning);

    rig.messages.clear();
    rig.connectSensor();
    QVERIFY(picture->isEnabled());
    watch = watchDialog(5000);
    QTest::mouseClick(picture, Qt::LeftButton);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 1);
    QCOMPARE(serial, QStringLiteral("SN-77\\x1b[31m\\n"));
    QVERIFY(rig.messages.shown().isEmpty());

    // While aligning the click is refused like every instrument command.
    rig.connectMonitor();
    rig.window->doAlignment();
    watch = watchDialog(300);
    QTest::mouseClick(picture, Qt::LeftButton);
    QTRY_VERIFY(watch.isNull());
    QCOMPARE(opened, 1);
    QCOMPARE(rig.messages.boxes(), QStringList{kAlignmentIsOn});
    rig.stopAligning();
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

    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("mine.alg")));
    rig.action(QStringLiteral("&Open"))->trigger();
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.25000"));
    QVERIFY(rig.messages.shown().isEmpty());

    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("theirs.alg")));
    rig.action(QStringLiteral("&Open"))->trigger();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Sensor SN Error!")});
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QVERIFY(rig.measure()->currentSensor());
}

LUMASERVE_UI_TEST_MAIN(TestMainWindow)

#include "tst_mainwindow.moc"
