// The "Simulated station" window: which port is which device, the reference
// reading as it is pasted into the calibrate dialog, and the display's runs.
#include "application.h"
#include "calibratedialog.h"
#include "chromaticityview.h"
#include "mainwindow.h"
#include "measure.h"
#include "modaldialog.h"
#include "screenpatchwatcher.h"
#include "screenpatchwindow.h"
#include "sensormatchingdialog.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "whitealignment.h"

#include "filecontents.h"

#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QListWidget>
#include <QLocale>
#include <QRadioButton>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <optional>

Q_DECLARE_METATYPE(DisplayTechnology::Kind)

class TestStationWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void listsEveryDeviceWithItsPort();
    void sensorsLookAtTheDialogsPatchWhileItIsShown();
    void sensorsLookAtTheMatchingPatchWindow();
    void sensorMatchingReadsThePatchWindow();
    void finishedRunsAreListed();
    void choosingATechnologyPutsItOnTheStand_data();
    void choosingATechnologyPutsItOnTheStand();
    void technologyIsFixedWhileTheDisplayAligns();
    void copyIsClickableWhileTheCalibrateDialogIsOpen();
    void closingTheMainWindowEndsTheProgram();

private:
    std::unique_ptr<SimulatedStation> station;
};

void TestStationWindow::initTestCase()
{
    station = std::make_unique<SimulatedStation>(QStringLiteral(STANDIN_DIR));
    QString error;
    QVERIFY2(station->start(&error), qPrintable(error));
}

void TestStationWindow::cleanupTestCase()
{
    station.reset();
}

void TestStationWindow::listsEveryDeviceWithItsPort()
{
    StationWindow window(*station);
    auto* table = window.findChild<QTableWidget*>(QStringLiteral("deviceTable"));
    QVERIFY(table);
    const QList<SimulatedStation::Device> devices = station->devices();
    QCOMPARE(table->rowCount(), devices.size());
    QStringList shown;
    for (int row = 0; row < table->rowCount(); ++row)
        shown << table->item(row, 0)->text() + QLatin1Char('=') + table->item(row, 1)->text();
    QVERIFY(shown.contains(QStringLiteral("CR-250=") + station->sensorPort(SimulatedWorld::Instrument::CR250)));
    QVERIFY(shown.contains(QStringLiteral("CA410=") + station->sensorPort(SimulatedWorld::Instrument::CA410)));
    QVERIFY(shown.contains(QStringLiteral("Display under alignment=") + station->displayPort()));
    QVERIFY(shown.contains(QStringLiteral("CS-2000 (reference)=") + station->referencePort()));
}

void TestStationWindow::sensorsLookAtTheDialogsPatchWhileItIsShown()
{
    ScreenPatchWatcher watcher(station->world());
    StationWindow window(*station);
    auto* lookingAt = window.findChild<QLabel*>(QStringLiteral("lookingAt"));
    QVERIFY(!station->world().screenPatch());

    Measure measure;
    measure.setSensorFactory(&SensorTable::createForWindow);
    CalibrateDialog dialog(&measure);
    dialog.findChild<QRadioButton*>(QStringLiteral("redButton"))->click();
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    using Patch = std::optional<std::array<int, 3>>;
    QTRY_COMPARE_WITH_TIMEOUT(station->world().screenPatch(), Patch(std::array<int, 3>{{127, 0, 0}}), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(lookingAt->text().contains(QStringLiteral("127, 0, 0")), 2000);
}

void TestStationWindow::sensorsLookAtTheMatchingPatchWindow()
{
    // Nothing on the screen: the watcher says so at its first look.
    ScreenPatchWatcher watcher(station->world());
    QTRY_VERIFY_WITH_TIMEOUT(!station->world().screenPatch(), 2000);
    ScreenPatchWindow window(QGuiApplication::primaryScreen());
    MatchingPatch patch;
    patch.name = QStringLiteral("mid colour");
    patch.r = 12;
    patch.g = 200;
    patch.b = 77;
    window.showPatch(patch);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    using Patch = std::optional<std::array<int, 3>>;
    QTRY_COMPARE_WITH_TIMEOUT(station->world().screenPatch(), Patch(std::array<int, 3>{{12, 200, 77}}), 2000);
    window.close();
    QTRY_VERIFY_WITH_TIMEOUT(!station->world().screenPatch(), 2000);
}

// The whole way of a patch in the window: painted by the dialog's patch
// window, seen by the station, read by the stand-in i1Display Pro and the
// CS-2000 through the program's own drivers.
void TestStationWindow::sensorMatchingReadsThePatchWindow()
{
    ScreenPatchWatcher watcher(station->world());
    QTemporaryDir out;
    QVERIFY(out.isValid());
    Measure measure;
    SensorMatchingDialog dialog(&measure);
    const auto choose = [&dialog](const char* name, const QString& text) {
        auto* combo = dialog.findChild<QComboBox*>(QString::fromLatin1(name));
        const int index = combo ? combo->findText(text) : -1;
        if (index >= 0)
            combo->setCurrentIndex(index);
        return index >= 0;
    };
    QVERIFY(choose("sensorTypeCombo", QStringLiteral("I1Display Pro")));
    QVERIFY(choose("referenceTypeCombo", QStringLiteral("CS-2000")));
    QVERIFY(choose("referencePortCombo", station->referencePort()));
    QVERIFY(choose("sourceCombo", QStringLiteral("Screen")));
    // Longer than the station takes to look at the screen again.
    dialog.findChild<QDoubleSpinBox*>(QStringLiteral("settleSpin"))->setValue(0.3);
    dialog.findChild<QSpinBox*>(QStringLiteral("repeatsSpin"))->setValue(1);
    dialog.findChild<QLineEdit*>(QStringLiteral("outputEdit"))->setText(out.path());
    // The colours to fit on and one to judge on: the CS-2000 takes two seconds a reading.
    const QString patches = out.filePath(QStringLiteral("patches.csv"));
    QVERIFY(writeFileContents(patches, "red,255,0,0\ngreen,0,255,0\nblue,0,0,255\nwhite,255,255,255\ncyan,0,255,255\n"));
    dialog.findChild<QLineEdit*>(QStringLiteral("patchFileEdit"))->setText(patches);
    dialog.show();

    qRegisterMetaType<MatchingRun::Outcome>();
    QSignalSpy finished(&dialog, &SensorMatchingDialog::runFinished);
    dialog.findChild<QPushButton*>(QStringLiteral("startButton"))->click();
    QVERIFY(dialog.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QCOMPARE(finished.first().first().value<MatchingRun::Outcome>(), MatchingRun::Outcome::Completed);

    // Each instrument read the colour the window showed: red is mostly X,
    // blue mostly Z, to both.
    const MatchingSession session = dialog.run()->session();
    for (const MatchingSession::PatchRecord& record : session.patches()) {
        if (record.patch.name.compare(QStringLiteral("red"), Qt::CaseInsensitive) != 0
            && record.patch.name.compare(QStringLiteral("blue"), Qt::CaseInsensitive) != 0)
            continue;
        const bool red = record.patch.name.compare(QStringLiteral("red"), Qt::CaseInsensitive) == 0;
        for (const auto* readings : {&record.sensor, &record.reference}) {
            QVERIFY(!readings->empty());
            const RepeatStatistics::Xyz xyz = readings->back().xyz;
            QVERIFY2(red ? xyz[0] > xyz[2] : xyz[2] > xyz[0], qPrintable(record.patch.name));
        }
    }
    QVERIFY(dialog.run()->certificate());
    QVERIFY(!dialog.patchWindow()->isVisible());
}

void TestStationWindow::finishedRunsAreListed()
{
    StationWindow window(*station);
    auto* runs = window.findChild<QListWidget*>(QStringLiteral("runList"));
    auto* view = window.findChild<ChromaticityView*>(QStringLiteral("whiteView"));
    QVERIFY(view);
    const ChromaticityDiagram& diagram = view->diagram();
    QVERIFY(diagram.hasTarget());
    QCOMPARE(diagram.target(), (ChromaticityDiagram::Xy{0.3127, 0.3290}));
    QCOMPARE(diagram.tolerance().shape, ChromaticityDiagram::Tolerance::Shape::CircleUv);
    QCOMPARE(diagram.tolerance().size, WhiteAlignment::kTolerance);
    AligningFirmware::Progress progress;
    progress.running = true;
    progress.steps = 8;
    progress.trueWhite = Xyz{{96.0, 100.0, 104.0}};
    window.showProgress(progress);
    QCOMPARE(runs->count(), 0);
    QVERIFY(diagram.points().empty());
    QVERIFY(!window.findChild<QPushButton*>(QStringLiteral("alignButton"))->isEnabled());

    progress.running = false;
    progress.finished = true;
    progress.succeeded = true;
    progress.step = 8;
    progress.trueWhiteError = 0.0045;
    progress.toldWhiteError = 0.0001;
    progress.trueWhite = Xyz{{95.0, 100.0, 108.0}};
    window.showProgress(progress);
    QCOMPARE(runs->count(), 1);
    // The run's white where it ended, and the walk that led there.
    QCOMPARE(int(diagram.points().size()), 1);
    QCOMPARE(diagram.points().front().label, QStringLiteral("Run 1"));
    QCOMPARE(diagram.points().front().xy, (ChromaticityDiagram::Xy{95.0 / 303.0, 100.0 / 303.0}));
    QCOMPARE(int(diagram.trails().size()), 1);
    const std::vector<ChromaticityDiagram::Xy> walk = diagram.trails().front().points;
    QCOMPARE(int(walk.size()), 2);
    QCOMPARE(walk.front(), (ChromaticityDiagram::Xy{0.32, 100.0 / 300.0}));
    QCOMPARE(walk.back(), diagram.points().front().xy);
    QCOMPARE(runs->item(0)->text(), QStringLiteral("Run 1: true white error 0.0045, as measured 0.0001"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("trueErrorLabel"))->text(), QStringLiteral("0.0045"));
    // The same finished state again (a late repeat) is not a second run.
    window.showProgress(progress);
    QCOMPARE(runs->count(), 1);
    QCOMPARE(int(diagram.points().size()), 1);

    progress.running = true;
    progress.trueWhite = Xyz{{94.0, 100.0, 110.0}};
    window.showProgress(progress);
    // A new run's walk starts afresh.
    QCOMPARE(diagram.trails().front().points,
             (std::vector<ChromaticityDiagram::Xy>{{94.0 / 304.0, 100.0 / 304.0}}));
    progress.running = false;
    progress.succeeded = false;
    progress.error = "no reply to MES,1 within 5 s: is alignment switched on?";
    window.showProgress(progress);
    QCOMPARE(runs->count(), 2);
    // A failed run left no white of its own.
    QCOMPARE(int(diagram.points().size()), 1);
    QCOMPARE(runs->item(1)->text(),
             QStringLiteral("Run 2 failed: no reply to MES,1 within 5 s: is alignment switched on?"));

    // A long run keeps the latest of its walk, not all of it.
    progress.running = true;
    progress.finished = false;
    for (int report = 0; report < 600; ++report) {
        progress.trueWhite = Xyz{{90.0 + report / 100.0, 100.0, 108.0}};
        window.showProgress(progress);
    }
    const std::vector<ChromaticityDiagram::Xy>& latest = diagram.trails().front().points;
    QCOMPARE(int(latest.size()), 500);
    const double lastX = 90.0 + 599 / 100.0;
    const double sum = lastX + 100.0 + 108.0;
    QCOMPARE(latest.back(), (ChromaticityDiagram::Xy{lastX / sum, 100.0 / sum}));
    progress.running = false;
    progress.finished = true;
    window.showProgress(progress);
    QVERIFY(window.findChild<QPushButton*>(QStringLiteral("alignButton"))->isEnabled());
}

namespace {

QComboBox* technologyBox(const StationWindow& window)
{
    return window.findChild<QComboBox*>(QStringLiteral("technologyBox"));
}

// The reading as the window shows it to be copied, as numbers.
std::optional<Xyz> shownReading(const StationWindow& window)
{
    const QStringList fields = window.referenceText().split(QLatin1Char('\t'));
    if (fields.size() != 3)
        return std::nullopt;
    Xyz xyz{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        xyz[size_t(i)] = QLocale::c().toDouble(fields.at(i), &ok);
        if (!ok)
            return std::nullopt;
    }
    return xyz;
}

bool sameReading(const Xyz& a, const Xyz& b)
{
    for (size_t i = 0; i < 3; ++i)
        if (std::fabs(a[i] - b[i]) > 0.0001 * std::max(1.0, std::fabs(b[i])))
            return false;
    return true;
}

} // namespace

void TestStationWindow::choosingATechnologyPutsItOnTheStand_data()
{
    QTest::addColumn<DisplayTechnology::Kind>("kind");
    for (const DisplayTechnology::Kind kind : DisplayTechnology::kinds())
        QTest::newRow(qPrintable(DisplayTechnology::key(kind))) << kind;
}

void TestStationWindow::choosingATechnologyPutsItOnTheStand()
{
    QFETCH(DisplayTechnology::Kind, kind);
    SimulatedWorld& world = station->world();
    const DisplayTechnology::Kind before = world.displayTechnology();
    // Another panel than the one to be chosen stands there when the window opens.
    const std::array<DisplayTechnology::Kind, DisplayTechnology::KindCount> kinds = DisplayTechnology::kinds();
    const auto at = std::find(kinds.begin(), kinds.end(), kind);
    const DisplayTechnology::Kind other = kinds[size_t((at - kinds.begin() + 1) % kinds.size())];
    world.setDisplayTechnology(other);
    world.setDisplayPatch(Rgb{{1.0, 1.0, 1.0}});
    const Xyz otherReading = world.referenceReading();

    StationWindow window(*station);
    QComboBox* box = technologyBox(window);
    QVERIFY(box);
    QCOMPARE(box->count(), DisplayTechnology::KindCount);
    QCOMPARE(box->currentText(), DisplayTechnology::make(other).name());
    QCOMPARE(box->currentData().toInt(), static_cast<int>(other));
    const int index = box->findText(DisplayTechnology::make(kind).name());
    QVERIFY(index >= 0);
    QCOMPARE(box->itemData(index).toInt(), static_cast<int>(kind));

    box->setCurrentIndex(index);
    const DisplayTechnology::Kind chosen = world.displayTechnology();
    const Xyz expected = world.referenceReading();
    // Shown at once, not at the window's next periodic refresh.
    const std::optional<Xyz> shown = shownReading(window);
    // The new panel's white is where the diagram's white is now.
    const Xyz white = world.trueWhite();
    const std::vector<ChromaticityDiagram::Xy> walk =
        window.findChild<ChromaticityView*>(QStringLiteral("whiteView"))->diagram().trails().at(0).points;
    world.setDisplayTechnology(before);
    QVERIFY(!walk.empty());
    const double sum = white[0] + white[1] + white[2];
    QVERIFY(std::fabs(walk.back()[0] - white[0] / sum) < 1e-12 && std::fabs(walk.back()[1] - white[1] / sum) < 1e-12);
    QCOMPARE(chosen, kind);
    QVERIFY(!sameReading(expected, otherReading));
    QVERIFY2(shown, qPrintable(window.referenceText()));
    QVERIFY2(sameReading(*shown, expected), qPrintable(window.referenceText()));
}

void TestStationWindow::technologyIsFixedWhileTheDisplayAligns()
{
    StationWindow window(*station);
    QComboBox* box = technologyBox(window);
    QVERIFY(box);
    QVERIFY(box->isEnabled());
    AligningFirmware::Progress progress;
    progress.running = true;
    progress.steps = 8;
    progress.step = 3;
    window.showProgress(progress);
    QVERIFY(!box->isEnabled());

    progress.running = false;
    progress.finished = true;
    progress.succeeded = false;
    progress.error = "cancelled";
    window.showProgress(progress);
    QVERIFY(box->isEnabled());
}

namespace {

// Presses and releases the left button over the widget as the window system
// delivers a user's click: to the widget's window, where a modal dialog
// that blocks the window swallows it.
void clickAsUser(QWidget* widget)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(window, widget->rect().center()));
}

// Counts the mouse presses that reach any widget of a window.
class PressCounter : public QObject
{
public:
    explicit PressCounter(const QWidget* window_)
        : window(window_)
    {
        QApplication::instance()->installEventFilter(this);
    }

    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->window() == window)
            ++presses;
        return QObject::eventFilter(watched, event);
    }

private:
    const QWidget* window;
};

} // namespace

// The README's recipe: with the calibrate dialog open, Copy in the station's
// window while the program's own window waits for the dialog. The dialog reads
// what is pasted with decimal points, whatever the locale.
void TestStationWindow::copyIsClickableWhileTheCalibrateDialogIsOpen()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    station->world().setDisplayPatch(Rgb{{1.0, 1.0, 1.0}});
    StationWindow stationWindow(*station);
    stationWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stationWindow));
    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* copy = stationWindow.findChild<QPushButton*>(QStringLiteral("copyButton"));
    QVERIFY(copy);
    // The status bar: a click there changes nothing, only its arrival counts.
    QWidget* statusBar = window.statusBar();
    PressCounter mainWindowPresses(&window);

    bool opened = false;
    QString copied;
    int pressesOnTheMainWindow = -1;
    whenModal<CalibrateDialog>([&](CalibrateDialog* dialog) {
        opened = dialog->isVisible();
        QApplication::clipboard()->setText(QStringLiteral("not copied"));
        clickAsUser(copy);
        copied = QApplication::clipboard()->text();
        clickAsUser(statusBar);
        pressesOnTheMainWindow = mainWindowPresses.presses;
    });
    window.doCalibrate();
    QLocale::setDefault(before);
    QVERIFY(opened);
    QCOMPARE(copied, stationWindow.referenceText());
    const QStringList fields = copied.split(QLatin1Char('\t'));
    QCOMPARE(fields.size(), 3);
    const Xyz truth = station->world().referenceReading();
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const double value = QLocale::c().toDouble(fields.at(i), &ok);
        QVERIFY2(ok, qPrintable(fields.at(i)));
        QVERIFY(std::fabs(value - truth[size_t(i)]) < 0.0001);
    }
    // The dialog still keeps the program's window from being used meanwhile.
    QCOMPARE(pressesOnTheMainWindow, 0);
    // Without the dialog the program's window takes the same click.
    clickAsUser(statusBar);
    QVERIFY(mainWindowPresses.presses > 0);
}

void TestStationWindow::closingTheMainWindowEndsTheProgram()
{
    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    StationWindow stationWindow(*station);
    stationWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&stationWindow));
    QTimer::singleShot(0, &window, &QWidget::close);
    // Bounded: a program that stays up is ended with another code.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    giveUp.start(10000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

int main(int argc, char* argv[])
{
    Application app(argc, argv);
    TestStationWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_stationwindow.moc"
