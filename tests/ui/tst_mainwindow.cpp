#include "alignmentprofile.h"
#include "alignmentwidget.h"
#include "cmonitor.h"
#include "chromaticitydock.h"
#include "chromaticityview.h"
#include "colordockwidget.h"
#include "crxxxemulator.h"
#include "devicelink.h"
#include "filecontents.h"
#include "modaldialog.h"
#include "monitoremulator.h"
#include "portlister.h"
#include "sensordlg.h"
#include "sensortable.h"
#include "uitest.h"
#include "windowprobe.h"

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
#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

const QString kFakePort = QStringLiteral("ttyFAKE0");
// Offered as a port but leading nowhere.
const QString kDeadPort = QStringLiteral("ttyDEAD0");
const QString kAlignmentIsOn = QStringLiteral("Warning Warning: Alignment is on.");

// A main window whose controller hands out scripted sensors, with an emulated
// display offered as the second port, under a link that outlives it. The link
// lies beside the working directory, so that it is not among the files there.
struct Rig : WindowProbe {
    Rig()
        : displayLink(QDir::currentPath() + QStringLiteral("-display")),
          monitor(std::make_unique<MonitorEmulator>())
    {
        displayReady = monitor->start() && pointLinkAt(displayLink, *monitor);
        PortLister::setExtraPorts({kFakePort, displayLink, kDeadPort});
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

    void connectMonitor() const { choose(QStringLiteral("monitorPortCombo"), portIndex(displayLink)); }

    // Both, as alignment needs them.
    bool connectAll() const
    {
        connectSensor();
        connectMonitor();
        return displayReady && measure()->currentSensor() && measure()->currentMonitor()
               && measure()->currentMonitor()->GetInit();
    }

    bool startAligning() const
    {
        window->doAlignment();
        return QTest::qWaitFor([this] { return measure()->isServingAlignment(); }, 3000);
    }

    // Every command that would use the instruments, and the panel's lists
    // emptied: nine requests, each refused while the service holds them.
    void tryInstrumentCommands() const
    {
        window->doSingleMeasure();
        window->doPortscan();
        window->doCalibrate();
        window->showSensorDlg();
        window->doSensorMatching();
        window->doNewProfile();
        for (const char* list : {"typeCombo", "sensorPortCombo", "monitorPortCombo"})
            choose(QString::fromLatin1(list), 0);
    }

    QString matrixCell(int r, int c) const
    {
        return child<QTableWidget>(QStringLiteral("matrixTable"))->item(r, c)->text();
    }

    const QString displayLink;
    std::unique_ptr<MonitorEmulator> monitor;
    bool displayReady = false;
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_home.setUp(); }
    void init() { m_home.enterWorkDir(); }

    void iconsAreCompiledIn();
    void saveWritesTheTypedNameOnly();
    void failedSaveIsReportedAndKeepsTheOldFile();
    void viewTogglesShowAndHide_data();
    void viewTogglesShowAndHide();
    void profileOpenedBeforeThePortKeepsItsMatrix();
    void profileOfAnotherInstrumentIsRefusedAtThePort();
    void profileOfATypeWithoutPortWaitsForItsSensor_data();
    void profileOfATypeWithoutPortWaitsForItsSensor();
    void brokenProfileIsAParseError();
    void portsConnectAndEmptyEntriesRelease();
    void smallWindowKeepsItsControlsUsable();
    void actionTable_data();
    void actionTable();
    void menusAndToolBarsInOrder();
    void chromaticityDockKeepsItsPlaceAndChoices();
    void sensorPictureOpensTheFeaturesDialog();
    void portscanListsThePortsAgainAndReleases();
    void openRefusesAProfileOfAnotherSensor();
    // While the alignment service may hold the instruments: a display unplugged
    // during alignment, a service that is still stopping, and the commands that
    // must wait for it.
    void unpluggedDisplayIsSaidAndAlignmentSwitchesOff();
    void stoppingIsSaidByRefusalsAndByAClose();
    void profilesAreRefusedWhileAligning();
    void onePortIsNeverBothSensorAndMonitor();
    // The whole program as a user drives it, with emulated instruments.
    void measuresAndServesTheDisplay();

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
    // What a profile holds is the controller's test's concern.
    QCOMPARE(QDir(m_home.work).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("abc.alg")});
    AlignmentProfile saved;
    QCOMPARE(saved.read(QStringLiteral("abc.alg")), AlignmentProfile::ReadResult::Ok);

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

    // A profile that exists is replaced only when the user says so.
    rig.messages.clear();
    const QByteArray first = fileContents(QStringLiteral("abc.alg"));
    rig.measure()->SetMatrix(Matrix::IdentityMatrix(3) * 2.0);
    rig.messages.queueAnswer(Messenger::No);
    rig.dialogs.queueText(QStringLiteral("abc"));
    rig.window->doSaveProfile();
    QCOMPARE(rig.messages.texts(), QStringList{QStringLiteral("abc.alg already exists.\nDo you want to replace it?")});
    QCOMPARE(rig.messages.shown().at(0).buttons, Messenger::Buttons(Messenger::Yes | Messenger::No));
    QCOMPARE(fileContents(QStringLiteral("abc.alg")), first);
    rig.messages.queueAnswer(Messenger::Yes);
    rig.dialogs.queueText(QStringLiteral("abc"));
    rig.window->doSaveProfile();
    QCOMPARE(saved.read(QStringLiteral("abc.alg")), AlignmentProfile::ReadResult::Ok);
    QVERIFY(saved.matrix() == Matrix::IdentityMatrix(3) * 2.0);
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
    // Past the question whether to replace it.
    rig.messages.queueAnswer(Messenger::Yes);
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

    QCOMPARE(rig.messages.shown().size(), 2);
    QVERIFY(rig.messages.shown().at(1).text.contains(QStringLiteral("keep.alg")));
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
    QTest::newRow("chromaticity") << "Chromaticity" << "chromaticityDock";
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

void TestMainWindow::profileOfATypeWithoutPortWaitsForItsSensor_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("ours");
    QTest::newRow("this instrument's") << QStringLiteral("SN-0042") << true;
    QTest::newRow("another instrument's") << QStringLiteral("SN-9999") << false;
}

// The type opens its sensor at once, on the instrument thread: the serial
// number to check the profile against is known only once it has answered.
void TestMainWindow::profileOfATypeWithoutPortWaitsForItsSensor()
{
    QFETCH(QString, serial);
    QFETCH(bool, ours);
    const int usbType = 4;
    QVERIFY(!sensorHasCom[usbType]);
    QVERIFY(AlignmentProfile(usbType, serial, sampleMatrix()).write(QStringLiteral("usb.alg")));
    Rig rig;
    // Long enough that the profile is read while the sensor is still opening.
    rig.initDurationMs = 100;
    rig.window->alignmentWidget()->openProfile(QStringLiteral("usb.alg"));
    QVERIFY(rig.measure()->isInstrumentBusy());
    rig.settle();
    QVERIFY(rig.measure()->currentSensor() && rig.measure()->currentSensor()->getIsOpen());
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("typeCombo"))->currentIndex(), usbType);
    QVERIFY(rig.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    if (ours) {
        QVERIFY(rig.messages.shown().isEmpty());
        QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
        QCOMPARE(rig.matrixCell(0, 0), QStringLiteral("1.25000"));
        QCOMPARE(rig.window->alignmentWidget()->pendingProfileSerial(), serial);
        return;
    }
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Sensor SN Error!")});
    QVERIFY(rig.measure()->correctionMatrix() == Matrix::IdentityMatrix(3));
    QCOMPARE(rig.child<QComboBox>(QStringLiteral("profileCombo"))->currentIndex(), 0);
    QVERIFY(rig.window->alignmentWidget()->pendingProfileSerial().isEmpty());
}

// Chosen from the panel's list: refused, and the list and matrix stay as they
// were. Which damage the reader finds is its own test's concern.
void TestMainWindow::brokenProfileIsAParseError()
{
    QFile file(QStringLiteral("damaged.alg"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("this is no profile at all") > 0);
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
    QVERIFY(rig.connectAll());
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

// Resized by the window system, as one without a window manager honours no
// minimum-size hint; a resize by the program itself Qt keeps to the minimum.
void TestMainWindow::smallWindowKeepsItsControlsUsable()
{
    Rig rig;
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    const QSize minimum = rig.window->minimumSize();
    rig.window->windowHandle()->resize(300, 200);
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
                          rig.window->valueWindow()->toggleViewAction()->text(), "Chromaticity"}));
    QCOMPARE(menus.at(2)->menu()->actions().at(4), rig.window->valueWindow()->toggleViewAction());
    QCOMPARE(menus.at(2)->menu()->actions().last(), rig.window->chromaticityWindow()->toggleViewAction());
    QCOMPARE(texts(menus.at(3)->menu()->actions()), (QStringList{"Calib&rate", "Sensor matching"}));
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
}

void TestMainWindow::portscanListsThePortsAgainAndReleases()
{
    Rig rig;
    QVERIFY(rig.connectAll());

    // A port that came and one that went since the window opened.
    PortLister::setExtraPorts({rig.displayLink, QStringLiteral("ttyNEW7")});
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

// A profile of this sensor opened is applied in the test of profiles while aligning.
void TestMainWindow::openRefusesAProfileOfAnotherSensor()
{
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-9999"), Matrix::IdentityMatrix(3) * 2.0)
                .write(QStringLiteral("theirs.alg")));
    Rig rig;
    rig.connectSensor();
    rig.measure()->SetMatrix(sampleMatrix());

    // Cancelled: nothing changes.
    rig.action(QStringLiteral("&Open"))->trigger();
    QCOMPARE(rig.dialogs.asked(), QStringList{QStringLiteral("Open profile")});
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QVERIFY(rig.messages.shown().isEmpty());

    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("theirs.alg")));
    rig.action(QStringLiteral("&Open"))->trigger();
    QCOMPARE(rig.messages.boxes(), QStringList{QStringLiteral("Critical Profile: Sensor SN Error!")});
    QVERIFY(rig.measure()->correctionMatrix() == sampleMatrix());
    QVERIFY(rig.measure()->currentSensor());
}

void TestMainWindow::unpluggedDisplayIsSaidAndAlignmentSwitchesOff()
{
    Rig rig;
    QVERIFY(rig.connectAll());
    QVERIFY(rig.startAligning());
    QCOMPARE(rig.window->statusText(), QStringLiteral("Alignment..."));

    // Unplugged: the status bar and a box say so, not only the grey picture.
    rig.monitor.reset();
    QVERIFY(QFile::remove(rig.displayLink));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled(), 3000);
    QTRY_COMPARE(rig.messages.shown().size(), 1);
    const auto box = rig.messages.shown().at(0);
    QCOMPARE(box.icon, Messenger::Icon::Warning);
    QCOMPARE(box.title, QStringLiteral("Monitor"));
    QVERIFY2(box.text.contains(rig.displayLink), qPrintable(box.text));
    QCOMPARE(rig.window->statusText(), QStringLiteral("Display unplugged: waiting for it to come back..."));
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::On);

    // Plugged in again: served again, and the status bar says so.
    rig.monitor = std::make_unique<MonitorEmulator>();
    QVERIFY(rig.monitor->start());
    QVERIFY(pointLinkAt(rig.displayLink, *rig.monitor));
    QTRY_COMPARE_WITH_TIMEOUT(rig.window->statusText(), QStringLiteral("Alignment..."), 3000);

    // Unplugged again, for good: said again, and switched off the window is ready.
    rig.monitor.reset();
    QVERIFY(QFile::remove(rig.displayLink));
    QTRY_COMPARE_WITH_TIMEOUT(rig.messages.shown().size(), 2, 3000);
    rig.stopAligning();
    // The status bar hears of the end through the controller's queued signal.
    QTRY_COMPARE(rig.window->statusText(), QStringLiteral("Ready."));
}

void TestMainWindow::stoppingIsSaidByRefusalsAndByAClose()
{
    const QString stopping = QStringLiteral("Warning Warning: Alignment is stopping. Try again when it has stopped.");
    Rig rig;
    QVERIFY(rig.connectAll());
    // An instrument call that nothing interrupts, as inside an outside library.
    rig.sensor->setStartDuration(1500);
    QVERIFY(rig.startAligning());
    rig.monitor->request("MES,1");
    QTRY_VERIFY_WITH_TIMEOUT(rig.sensor->insideStart.load(), 3000);
    rig.messages.queueAnswer(Messenger::Yes);
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Stopping);
    QVERIFY(rig.window->statusText().startsWith(QStringLiteral("Stopping alignment")));

    // Every refusal says what the status bar says, not that alignment is on,
    // and nothing changes.
    CSensor* const sensor = rig.measure()->currentSensor();
    const QStringList lists = {QStringLiteral("typeCombo"), QStringLiteral("sensorPortCombo"),
                               QStringLiteral("monitorPortCombo")};
    QList<int> chosen;
    for (const QString& list : lists)
        chosen << rig.child<QComboBox>(list)->currentIndex();
    rig.messages.clear();
    rig.tryInstrumentCommands();
    QCOMPARE(rig.messages.shown().size(), 9);
    QCOMPARE(rig.messages.boxes().count(stopping), 9);
    QVERIFY(rig.dialogs.asked().isEmpty());
    for (int i = 0; i < lists.size(); ++i)
        QCOMPARE(rig.child<QComboBox>(lists.at(i))->currentIndex(), chosen.at(i));
    QCOMPARE(rig.measure()->currentSensor(), sensor);
    QCOMPARE(rig.sensor->initCalls.load(), 1);
    QVERIFY(rig.measure()->currentMonitor());
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Stopping);

    // A close is not refused with a box but put off, and the status bar says so.
    rig.messages.clear();
    QVERIFY(!rig.window->close());
    QVERIFY(rig.window->isVisible());
    QVERIFY(rig.messages.shown().isEmpty());
    QCOMPARE(rig.window->statusText(),
             QStringLiteral("Stopping alignment: the window will close when it has stopped..."));
    QTRY_VERIFY_WITH_TIMEOUT(!rig.window->isVisible(), 5000);
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QVERIFY(rig.messages.shown().isEmpty());
}

void TestMainWindow::profilesAreRefusedWhileAligning()
{
    const double firstValues[] = {2.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    const double secondValues[] = {0.5, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 4.0};
    const Matrix first(firstValues, 3, 3);
    const Matrix second(secondValues, 3, 3);
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), first).write(QStringLiteral("first.alg")));
    QVERIFY(AlignmentProfile(7, QStringLiteral("SN-0042"), second).write(QStringLiteral("second.alg")));
    Rig rig;
    QVERIFY(rig.connectAll());
    auto* profiles = rig.child<QComboBox>(QStringLiteral("profileCombo"));
    auto* table = rig.child<QTableWidget>(QStringLiteral("matrixTable"));
    const int firstIndex = profiles->findText(QStringLiteral("first"));
    const int secondIndex = profiles->findText(QStringLiteral("second"));
    QVERIFY(firstIndex > 0 && secondIndex > 0);
    rig.choose(QStringLiteral("profileCombo"), firstIndex);
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QVERIFY(rig.messages.shown().isEmpty());

    QVERIFY(rig.startAligning());
    // From the panel's list, and through Open: refused, nothing else changes.
    rig.choose(QStringLiteral("profileCombo"), secondIndex);
    rig.window->doNewProfile();
    QCOMPARE(rig.messages.boxes(), (QStringList{kAlignmentIsOn, kAlignmentIsOn}));
    QVERIFY(rig.dialogs.asked().isEmpty());
    QCOMPARE(profiles->currentIndex(), firstIndex);
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("2.00000"));
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("1.00000"));

    // Switched off, both are taken again.
    rig.messages.clear();
    rig.stopAligning();
    rig.choose(QStringLiteral("profileCombo"), secondIndex);
    QVERIFY(rig.measure()->correctionMatrix() == second);
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("4.00000"));
    rig.dialogs.queueFileName(QDir(m_home.work).filePath(QStringLiteral("first.alg")));
    rig.window->doNewProfile();
    QVERIFY(rig.measure()->correctionMatrix() == first);
    QCOMPARE(rig.dialogs.asked(), QStringList{QStringLiteral("Open profile")});
    QCOMPARE(rig.messages.shown().size(), 1);
}

void TestMainWindow::onePortIsNeverBothSensorAndMonitor()
{
    Rig rig;
    QVERIFY(rig.displayReady);
    auto* sensorPorts = rig.child<QComboBox>(QStringLiteral("sensorPortCombo"));
    auto* monitorPorts = rig.child<QComboBox>(QStringLiteral("monitorPortCombo"));
    const int linePort = rig.portIndex(rig.displayLink);

    // The sensor on the line, then the monitor on it too.
    rig.choose(QStringLiteral("typeCombo"), 7);
    rig.choose(QStringLiteral("sensorPortCombo"), linePort);
    QVERIFY(rig.measure()->currentSensor()->getIsOpen());
    rig.choose(QStringLiteral("monitorPortCombo"), linePort);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Monitor"));
    QVERIFY2(rig.messages.shown().at(0).text.contains(rig.displayLink), qPrintable(rig.messages.shown().at(0).text));
    QCOMPARE(monitorPorts->currentIndex(), 0);
    QVERIFY(!rig.measure()->currentMonitor());
    QVERIFY(!rig.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    rig.messages.clear();
    rig.window->doAlignment();
    QCOMPARE(rig.measure()->alignmentState(), Measure::AlignmentState::Off);
    QCOMPARE(rig.messages.texts().count(QStringLiteral("Connect Sensor and Monitor First!")), 1);
    QCOMPARE(rig.window->statusText(), QStringLiteral("Ready."));
    QVERIFY(rig.action(QStringLiteral("A&lignment")));

    // The sensor moved to a port of its own, the monitor on the line, then
    // the sensor back onto the line.
    rig.choose(QStringLiteral("sensorPortCombo"), rig.portIndex(kFakePort));
    rig.choose(QStringLiteral("monitorPortCombo"), linePort);
    QVERIFY(rig.measure()->currentMonitor() && rig.measure()->currentMonitor()->GetInit());
    ScriptedSensor* const kept = rig.sensor;
    rig.messages.clear();
    rig.choose(QStringLiteral("sensorPortCombo"), linePort);
    QCOMPARE(rig.messages.shown().size(), 1);
    QCOMPARE(rig.messages.shown().at(0).title, QStringLiteral("Sensor"));
    QVERIFY2(rig.messages.shown().at(0).text.contains(rig.displayLink), qPrintable(rig.messages.shown().at(0).text));
    QCOMPARE(sensorPorts->currentIndex(), rig.portIndex(kFakePort));
    QCOMPARE(rig.measure()->currentSensor(), kept);
    QVERIFY(kept->getIsOpen());
    QCOMPARE(rig.measure()->getSensorPortPath(), QStringLiteral("/dev/") + kFakePort);
}

void TestMainWindow::measuresAndServesTheDisplay()
{
    CrxxxEmulator instrument(CrxxxEmulator::cr250());
    MonitorEmulator display;
    QVERIFY(instrument.start());
    QVERIFY(display.start());
    const QString instrumentPort = QString::fromStdString(instrument.portName());
    const QString displayPort = QString::fromStdString(display.portName());
    // What "Lumaserve --port pts/N --port pts/M" does.
    PortLister::setExtraPorts({QStringLiteral("/dev/") + instrumentPort, displayPort});

    // The window's own sensor factory, the table's, not the probe's scripted one.
    WindowProbe probe;
    RecordingMessenger& messages = probe.messages;
    probe.window = std::make_unique<MainWindow>();
    probe.window->controller()->setSensorFactory(&SensorTable::createForWindow);
    probe.window->show();
    MainWindow& window = *probe.window;
    auto* sensorPorts = probe.child<QComboBox>(QStringLiteral("sensorPortCombo"));
    auto* monitorPorts = probe.child<QComboBox>(QStringLiteral("monitorPortCombo"));
    QCOMPARE(monitorPorts->findText(displayPort), probe.portIndex(displayPort));

    QCOMPARE(probe.child<QComboBox>(QStringLiteral("typeCombo"))->findText(QStringLiteral("CR100/CR250")), 13);
    probe.choose(QStringLiteral("typeCombo"), 13);
    QVERIFY(sensorPorts->isEnabled());
    probe.choose(QStringLiteral("sensorPortCombo"), sensorPorts->findText(instrumentPort));
    QVERIFY(probe.child<QPushButton>(QStringLiteral("sensorButton"))->isEnabled());
    probe.choose(QStringLiteral("monitorPortCombo"), monitorPorts->findText(displayPort));
    QVERIFY(probe.child<QLabel>(QStringLiteral("monitorIcon"))->isEnabled());
    QVERIFY2(messages.shown().isEmpty(), qPrintable(messages.shown().value(0).text));

    // A single reading reaches the value window through the identity matrix.
    probe.action(QStringLiteral("S&ingle measure"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(window.valueWindow()->valueText(1), QStringLiteral("21.260"), 5000);
    QCOMPARE(window.valueWindow()->valueText(0), QStringLiteral("41.240"));
    QCOMPARE(window.valueWindow()->valueText(2), QStringLiteral("1.930"));
    // And the diagram, as the first point of its trail.
    QCOMPARE(window.chromaticityWindow()->readingCount(), std::size_t(1));

    auto* matrixIcon = probe.child<QLabel>(QStringLiteral("matrixIcon"));
    QVERIFY(!matrixIcon->isEnabled());
    probe.action(QStringLiteral("A&lignment"))->trigger();
    QCOMPARE(window.statusText(), QStringLiteral("Alignment..."));
    QVERIFY(!probe.action(QStringLiteral("A&lignment")));
    QVERIFY(matrixIcon->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(window.controller()->isServingAlignment(), 3000);
    // The trail starts afresh with the service's readings.
    QCOMPARE(window.chromaticityWindow()->readingCount(), std::size_t(0));
    display.request("MES,1");
    QVERIFY(display.waitForReplies(1, 5s));
    QVERIFY(display.replies().back().line.rfind("OK00,", 0) == 0);
    display.request("MDR,1");
    QVERIFY(display.waitForReplies(2, 5s));
    QCOMPARE(display.replies().back().line, std::string("OK01,041.240;021.260;001.930"));
    // What the display was sent is on the diagram.
    QTRY_COMPARE_WITH_TIMEOUT(window.chromaticityWindow()->readingCount(), std::size_t(1), 5000);
    const auto& served = window.chromaticityWindow()->view()->diagram().trails().front().points.back();
    QVERIFY(std::abs(served[0] - 41.24 / (41.24 + 21.26 + 1.93)) < 1e-6);
    QVERIFY(std::abs(served[1] - 21.26 / (41.24 + 21.26 + 1.93)) < 1e-6);

    QVERIFY(!window.close());
    QVERIFY(window.isVisible());
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("Alignment is on.")});

    // Answered No, the question to switch off leaves it on.
    messages.clear();
    messages.queueAnswer(Messenger::No);
    probe.action(QStringLiteral("Stop&l"))->trigger();
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("Do you want to stop alignment now?")});
    QVERIFY(messages.shown().at(0).buttons.testFlag(Messenger::No));
    QCOMPARE(window.controller()->alignmentState(), Measure::AlignmentState::On);
    QCOMPARE(window.statusText(), QStringLiteral("Alignment..."));

    messages.queueAnswer(Messenger::Yes);
    probe.action(QStringLiteral("Stop&l"))->trigger();
    // The service lets go of the instruments after its current pass.
    QTRY_COMPARE_WITH_TIMEOUT(window.statusText(), QStringLiteral("Ready."), 5000);
    QCOMPARE(window.controller()->alignmentState(), Measure::AlignmentState::Off);
    QVERIFY(!probe.action(QStringLiteral("Stop&l")));
    QVERIFY(!matrixIcon->isEnabled());
    QVERIFY(window.close());
    QVERIFY(!window.isVisible());
    probe.window.reset();
    PortLister::setExtraPorts({});
}

void TestMainWindow::chromaticityDockKeepsItsPlaceAndChoices()
{
    {
        Rig rig;
        ChromaticityDock* dock = rig.window->chromaticityWindow();
        QCOMPARE(rig.window->dockWidgetArea(dock), Qt::LeftDockWidgetArea);
        // Where a user's drag would put it, and u'v' chosen from its menu.
        rig.window->addDockWidget(Qt::RightDockWidgetArea, dock);
        const QList<QAction*> options = dock->view()->optionsMenu()->actions();
        const auto uv = std::find_if(options.begin(), options.end(),
                                     [](const QAction* a) { return a->text() == QStringLiteral("CIE 1976 u\u2032v\u2032"); });
        QVERIFY(uv != options.end());
        (*uv)->trigger();
        QVERIFY(rig.window->close());
    }
    Rig again;
    ChromaticityDock* dock = again.window->chromaticityWindow();
    QCOMPARE(again.window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QVERIFY(dock->isVisible());
    QCOMPARE(dock->view()->diagram().space(), ChromaticityDiagram::Space::Uv);
}

LUMASERVE_UI_TEST_MAIN(TestMainWindow)

#include "tst_mainwindow.moc"
