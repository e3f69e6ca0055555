// How long the window's main thread stalls while it talks to an instrument:
//
//   windowstall_bench [--runs N]
//
// builds the simulated station and the program's main window against it, as
// `Lumaserve --simulate` does, and drives the window through its own widgets
// and actions while a StallProbe ticks on the main thread. A call made on the
// main thread shows as one long gap between ticks. Each scenario prints its
// duration, the ticks seen, the 99th-percentile and the longest gap, beside
// what a window that keeps painting needs.

#include "application.h"
#include "calibratedialog.h"
#include "csensor.h"
#include "mainwindow.h"
#include "measure.h"
#include "printingmessenger.h"
#include "screenpatchwatcher.h"
#include "sensordlg.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stallprobe.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLibrary>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

using Instrument = SimulatedWorld::Instrument;

constexpr int kConnectTimeoutMs = 20000;
constexpr int kReadingTimeoutMs = 20000;
constexpr int kStateTimeoutMs = 10000;
constexpr int kStoredMatrices = 99;
constexpr double kGoalP99Ms = 16.0;     // one frame at 60 Hz
constexpr double kGoalLongestMs = 50.0; // a pause a user does not notice

struct Figures {
    QString name;
    double durationMs = 0;
    int ticks = 0;
    double p99Ms = 0;
    double longestMs = 0;
};

void printLine(const QString& line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

void complain(const QString& line)
{
    std::fprintf(stderr, "windowstall_bench: %s\n", qUtf8Printable(line));
}

// Runs the event loop until done() holds; false once the deadline passes. The
// condition is looked at every 2 ms, so a scenario's end is seen promptly.
bool waitUntil(const std::function<bool()>& done, QDeadlineTimer deadline)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start();
    loop.exec();
    return done();
}

bool choose(QWidget& window, const char* comboName, const QString& entry)
{
    auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(comboName));
    const int index = combo ? combo->findText(entry) : -1;
    if (index < 0)
        return false;
    // As a user's choice: the window acts on activation, not on a change made by code.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

QAction* action(const MainWindow& window, const QString& text)
{
    const QList<QAction*> actions = window.findChildren<QAction*>();
    for (QAction* a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

QWidget* visibleDialog(const char* className)
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->isVisible() && window->inherits(className))
            return window;
    }
    return nullptr;
}

// Whether the patch is the colour of the calibrate dialog's row: one channel
// lit for red, green and blue, all three alike for white.
bool patchShowsRow(const std::optional<std::array<int, 3>>& patch, int row)
{
    if (!patch)
        return false;
    const std::array<int, 3>& rgb = *patch;
    if (row == 3)
        return rgb[0] > 0 && rgb[0] == rgb[1] && rgb[1] == rgb[2];
    for (int channel = 0; channel < 3; ++channel) {
        if ((rgb[size_t(channel)] > 0) != (channel == row))
            return false;
    }
    return true;
}

// One run of every scenario against one window. A scenario that cannot be
// played says why in failure() and prints no figures.
struct Scenarios {
    SimulatedStation& station;
    MainWindow& window;
    StallProbe& probe;
    int messages = 0;          // message boxes shown so far: a scenario must show none
    QString lastMessage;
    QString failure;

    bool fail(const QString& why)
    {
        if (failure.isEmpty())
            failure = why;
        return false;
    }

    // Plays drive() with the probe ticking; the figures when it came out right.
    std::optional<Figures> timed(const QString& name, const std::function<bool(QElapsedTimer&)>& drive)
    {
        failure.clear();
        const int messagesBefore = messages;
        QElapsedTimer clock;
        probe.start();
        clock.start();
        const bool ok = drive(clock);
        probe.stop();
        if (ok && messages != messagesBefore)
            fail(QStringLiteral("the window showed a message: %1").arg(lastMessage));
        if (!ok || !failure.isEmpty()) {
            if (failure.isEmpty())
                failure = QStringLiteral("did not come out right");
            failure = name + QStringLiteral(": ") + failure;
            return std::nullopt;
        }
        return Figures{name, double(clock.nsecsElapsed()) / 1e6, probe.tickCount(), probe.percentileGapMs(99),
                       probe.longestGapMs()};
    }

    bool sensorOpen() const
    {
        const CSensor* sensor = window.controller()->currentSensor();
        return sensor && sensor->getIsOpen();
    }

    // Picks the instrument's type and port in the alignment panel.
    bool pick(Instrument instrument)
    {
        const QString type = SimulatedStation::sensorTypeName(instrument);
        const QString port = station.sensorPort(instrument);
        if (!choose(window, "typeCombo", type))
            return fail(QStringLiteral("\"%1\" is not offered as a sensor type").arg(type));
        if (!port.isEmpty() && !choose(window, "sensorPortCombo", port))
            return fail(QStringLiteral("port %1 is not offered").arg(port));
        if (!waitUntil([this] { return sensorOpen(); }, QDeadlineTimer(kConnectTimeoutMs)))
            return fail(QStringLiteral("the sensor did not connect"));
        return true;
    }

    // Lets go of the sensor outside the timing, so each connection starts
    // from the same state whatever was connected before.
    void release() { window.controller()->releaseSensor(); }

    std::optional<Figures> connectSensor(Instrument instrument)
    {
        release();
        return timed(QStringLiteral("connect %1").arg(QString::fromStdString(SimulatedWorld::instrumentName(instrument))),
                     [this, instrument](QElapsedTimer&) { return pick(instrument); });
    }

    std::optional<Figures> singleMeasure(Instrument instrument)
    {
        QAction* single = action(window, MainWindow::tr("S&ingle measure"));
        const QString name = QString::fromStdString(SimulatedWorld::instrumentName(instrument));
        return timed(QStringLiteral("single measure %1").arg(name), [this, single](QElapsedTimer&) {
            if (!single)
                return fail(QStringLiteral("the window has no Single measure action"));
            int readings = 0;
            const QMetaObject::Connection counter = QObject::connect(
                window.controller(), &Measure::colorChanged, &window, [&readings](CColor) { ++readings; });
            single->trigger();
            const bool arrived = waitUntil([&readings] { return readings > 0; }, QDeadlineTimer(kReadingTimeoutMs));
            QObject::disconnect(counter);
            return arrived || fail(QStringLiteral("no reading arrived"));
        });
    }

    // The features dialog is modal: what is done in it runs from its own event
    // loop, started by a timer set before the dialog opens.
    bool insideDialog(const char* className, const std::function<bool(QWidget*)>& play,
                      const std::function<void()>& open)
    {
        bool played = false;
        bool opened = false;
        QTimer inside;
        inside.setSingleShot(true);
        QObject::connect(&inside, &QTimer::timeout, &window, [&] {
            QWidget* dialog = nullptr;
            opened = waitUntil([&dialog, className] { return (dialog = visibleDialog(className)) != nullptr; },
                               QDeadlineTimer(kStateTimeoutMs));
            if (!opened)
                return;
            played = play(dialog);
            // Cancelled either way: the next run finds the window as before.
            QMetaObject::invokeMethod(dialog, "reject");
        });
        inside.start(0);
        open();
        if (!opened)
            return fail(QStringLiteral("the %1 did not open").arg(QLatin1String(className)));
        return played;
    }

    std::optional<Figures> scanList(Instrument storing)
    {
        release();
        if (!pick(storing)) {
            failure = QStringLiteral("scan list: ") + failure;
            return std::nullopt;
        }
        std::optional<Figures> figures;
        auto* sensorButton = window.findChild<QPushButton*>(QStringLiteral("sensorButton"));
        const bool ok = insideDialog(
            "SensorDlg",
            [&](QWidget* dialog) {
                auto* scan = dialog->findChild<QPushButton*>(QStringLiteral("scanButton"));
                auto* list = dialog->findChild<QComboBox*>(QStringLiteral("fileListBox"));
                figures = timed(QStringLiteral("scan list (%1 entries)").arg(kStoredMatrices),
                                [this, scan, list](QElapsedTimer&) {
                                    if (!scan || !list)
                                        return fail(QStringLiteral("the features dialog has no ScanList"));
                                    scan->click();
                                    if (!waitUntil([list] { return list->count() >= kStoredMatrices; },
                                                   QDeadlineTimer(kReadingTimeoutMs)))
                                        return fail(QStringLiteral("the list shows %1 entries, not %2")
                                                        .arg(list->count())
                                                        .arg(kStoredMatrices));
                                    return true;
                                });
                return figures.has_value();
            },
            [sensorButton] {
                if (sensorButton)
                    sensorButton->click();
            });
        if (!ok && failure.isEmpty())
            failure = QStringLiteral("scan list: the features dialog did not open");
        return ok ? figures : std::nullopt;
    }

    // Measure red, green, blue and white as a user does, each with the patch
    // shown first, the reference instrument's values typed in, then Calibrate.
    bool calibrateInDialog(QWidget* dialog)
    {
        static const char* const buttons[] = {"redButton", "greenButton", "blueButton", "whiteButton"};
        static const char* const names[] = {"red", "green", "blue", "white"};
        auto* referenceTable = dialog->findChild<QTableWidget*>(QStringLiteral("referenceTable"));
        auto* matrixTable = dialog->findChild<QTableWidget*>(QStringLiteral("matrixTable"));
        auto* measureButton = dialog->findChild<QPushButton*>(QStringLiteral("measureButton"));
        auto* calibrateButton = dialog->findChild<QPushButton*>(QStringLiteral("calibrateButton"));
        if (!referenceTable || !matrixTable || !measureButton || !calibrateButton)
            return fail(QStringLiteral("the calibrate dialog lacks its tables or buttons"));
        for (int row = 0; row < 4; ++row) {
            auto* colour = dialog->findChild<QRadioButton*>(QLatin1String(buttons[row]));
            if (!colour)
                return fail(QStringLiteral("no %1 button").arg(QLatin1String(names[row])));
            colour->click();
            SimulatedWorld& world = station.world();
            if (!waitUntil([&world, row] { return patchShowsRow(world.screenPatch(), row); },
                           QDeadlineTimer(kStateTimeoutMs)))
                return fail(QStringLiteral("the %1 patch was not seen").arg(QLatin1String(names[row])));
            int readings = 0;
            const QMetaObject::Connection counter = QObject::connect(
                window.controller(), &Measure::rawColorChanged, &window, [&readings](CColor) { ++readings; });
            measureButton->click();
            const bool measured =
                waitUntil([&readings] { return readings > 0; }, QDeadlineTimer(kReadingTimeoutMs));
            QObject::disconnect(counter);
            if (!measured)
                return fail(QStringLiteral("no %1 reading").arg(QLatin1String(names[row])));
            const QStringList reference = station.referenceReadingText().split(QLatin1Char('\t'));
            for (int c = 0; c < 3 && c < reference.size(); ++c)
                referenceTable->item(row, c)->setText(reference.at(c));
        }
        matrixTable->item(0, 0)->setText(QString());
        calibrateButton->click();
        return !matrixTable->item(0, 0)->text().isEmpty() || fail(QStringLiteral("no matrix was computed"));
    }

    std::optional<Figures> calibrate()
    {
        QAction* calibrateAct = action(window, MainWindow::tr("Calib&rate"));
        return timed(QStringLiteral("calibrate (open, 4 x Measure, Calibrate)"), [this, calibrateAct](QElapsedTimer&) {
            if (!calibrateAct)
                return fail(QStringLiteral("the window has no Calibrate action"));
            return insideDialog(
                "CalibrateDialog", [this](QWidget* dialog) { return calibrateInDialog(dialog); },
                [calibrateAct] { calibrateAct->trigger(); });
        });
    }
};

QString figuresLine(int run, const Figures& f)
{
    const bool met = f.p99Ms < kGoalP99Ms && f.longestMs < kGoalLongestMs;
    return QStringLiteral("run %1  %2 %3 ms  ticks %4  p99 gap %5 ms  longest gap %6 ms   "
                          "goal: p99 < %7 ms, longest < %8 ms: %9")
        .arg(run)
        .arg(f.name.leftJustified(42))
        .arg(f.durationMs, 9, 'f', 1)
        .arg(f.ticks, 5)
        .arg(f.p99Ms, 7, 'f', 1)
        .arg(f.longestMs, 8, 'f', 1)
        .arg(kGoalP99Ms)
        .arg(kGoalLongestMs)
        .arg(met ? QStringLiteral("met") : QStringLiteral("missed"));
}

// The K-10 stand-in keeps as many stored matrices as asked, past the
// instrument's own slot limit; the features dialog lists them all.
bool storeMatrices(int count, QString* error)
{
    QLibrary standin(QDir(QStringLiteral(STANDIN_DIR)).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10"))));
    using Control = int32_t (*)(const char*);
    const auto control = reinterpret_cast<Control>(standin.resolve("k10SimControl"));
    if (!control) {
        *error = QStringLiteral("no stand-in K-10 library: %1").arg(standin.errorString());
        return false;
    }
    for (int index = 0; index < count; ++index) {
        const QByteArray command = QStringLiteral("store %1 bench%2 1 0 0 0 1 0 0 0 1").arg(index).arg(index).toLatin1();
        if (control(command.constData()) < 0) {
            *error = QStringLiteral("the stand-in K-10 refused to store matrix %1").arg(index);
            return false;
        }
    }
    return true;
}

int runBench(int runs)
{
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR)});
    // The window may save settings or profiles in the working directory.
    QTemporaryDir workDir;
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path())) {
        complain(QStringLiteral("no temporary working directory"));
        return 1;
    }
    SimulatedStation station(QStringLiteral(STANDIN_DIR));
    QString error;
    if (!station.start(&error)) {
        complain(QStringLiteral("the simulated station cannot start: %1").arg(error));
        return 1;
    }
    if (!storeMatrices(kStoredMatrices, &error)) {
        complain(error);
        return 1;
    }
    // The sensors look at the calibrate dialog's patch while it is shown.
    ScreenPatchWatcher patchWatcher(station.world());

    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    StallProbe probe;
    Scenarios scenarios{station, window, probe, 0, QString(), QString()};
    PrintingMessenger messenger([&scenarios](const QString& line) {
        ++scenarios.messages;
        scenarios.lastMessage = line;
        complain(QStringLiteral("message box: %1").arg(line));
    });
    Messenger* messengerBefore = Messenger::install(&messenger);

    printLine(QStringLiteral("Main-thread stalls of the window, probe ticking every 10 ms; %1 run(s).").arg(runs));
    const Instrument sensors[] = {Instrument::CR100, Instrument::CR250, Instrument::K10, Instrument::I1DisplayPro,
                                  Instrument::CA410};
    QStringList failed;
    auto report = [&](int run, const std::optional<Figures>& figures) {
        if (figures) {
            printLine(figuresLine(run, *figures));
        } else {
            complain(QStringLiteral("run %1: cannot run %2").arg(run).arg(scenarios.failure));
            failed << scenarios.failure;
        }
    };
    for (int run = 1; run <= runs; ++run) {
        // Each sensor reads at its own pace; the CA410 comes last, as the
        // calibration is taken with it.
        for (Instrument sensor : sensors) {
            report(run, scenarios.connectSensor(sensor));
            if (scenarios.sensorOpen())
                report(run, scenarios.singleMeasure(sensor));
        }
        if (scenarios.sensorOpen())
            report(run, scenarios.calibrate());
        report(run, scenarios.scanList(Instrument::K10));
    }
    scenarios.release();
    Messenger::install(messengerBefore);
    QDir::setCurrent(QDir::tempPath());
    return failed.isEmpty() ? 0 : 1;
}

} // namespace

QtMessageHandler qtMessageHandler = nullptr;

// The window's debug lines would bury the figures; warnings still show.
void dropDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || !qtMessageHandler)
        return;
    qtMessageHandler(type, context, message);
}

int main(int argc, char* argv[])
{
    qtMessageHandler = qInstallMessageHandler(dropDebugLines);
    // The window is built, never seen: no display needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    app.setApplicationName(QStringLiteral("windowstall_bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures how long the main window's thread stalls while it connects sensors, "
                       "measures, scans a sensor's stored matrices and calibrates, on the simulated station."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Repeat every scenario N times (default 3)."),
                                        QStringLiteral("N"), QStringLiteral("3"));
    parser.addOption(runsOption);
    if (!parser.parse(QCoreApplication::arguments())) {
        complain(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (!parser.positionalArguments().isEmpty()) {
        complain(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().constFirst()));
        return 2;
    }
    bool numeric = false;
    const int runs = parser.value(runsOption).toInt(&numeric);
    if (!numeric || runs < 1) {
        complain(QStringLiteral("--runs needs a whole number of at least 1, not \"%1\"").arg(parser.value(runsOption)));
        return 2;
    }
    return runBench(runs);
}
