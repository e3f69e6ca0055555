// How long the window's main thread stalls while it talks to an instrument:
//
//   windowstall_bench [--runs N] [--quick]
//
// builds the simulated station, its serial lines and its K-10 at wire rate,
// and the program's main window against it, as `Lumaserve --simulate` does,
// and drives the window through its own widgets and actions while a
// StallProbe ticks on the main thread. A call made on the main thread shows
// as one long gap between ticks. Each scenario is measured twice in the same
// run: the same instrument work as a blocking call on the main thread, the
// way the window used to do it, then the window's own way. Each prints its
// duration, the ticks seen, the 99th-percentile and the longest gap, beside
// what a window that keeps painting needs.

#include "application.h"
#include "mainwindow.h"
#include "printingmessenger.h"
#include "screenpatchwatcher.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stallprobe.h"
#include "windowscenarios.h"

#include <QCommandLineParser>
#include <QDir>
#include <QLibrary>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

using Instrument = SimulatedWorld::Instrument;
using Figures = WindowScenarios::Figures;

constexpr int kStoredMatrices = 99;
// A smoke run: one pass, with a short list.
constexpr int kQuickStoredMatrices = 9;
constexpr double kGoalP99Ms = 16.0;     // one frame at 60 Hz
constexpr double kGoalLongestMs = 50.0; // a pause a user does not notice

void printLine(const QString& line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

void complain(const QString& line)
{
    std::fprintf(stderr, "windowstall_bench: %s\n", qUtf8Printable(line));
}

QString figuresLine(int run, const Figures& f)
{
    const bool met = f.p99Ms < kGoalP99Ms && f.longestMs < kGoalLongestMs;
    return QStringLiteral("run %1  %2 %3 %4 ms  ticks %5  p99 gap %6 ms  longest gap %7 ms   goal: %8")
        .arg(run)
        .arg(f.name.leftJustified(50))
        .arg(WindowScenarios::wayName(f.way).leftJustified(32))
        .arg(f.durationMs, 9, 'f', 1)
        .arg(f.ticks, 5)
        .arg(f.p99Ms, 7, 'f', 1)
        .arg(f.longestMs, 8, 'f', 1)
        .arg(met ? QStringLiteral("met") : QStringLiteral("missed"));
}

// The K-10 stand-in keeps as many stored matrices as asked, past the
// instrument's own slot limit; the scenarios store and clear them through it.
class K10Standin
{
public:
    bool load(QString* error)
    {
        m_library.setFileName(
            QDir(QStringLiteral(STANDIN_DIR)).filePath(SensorLibrary::fileName(QStringLiteral("libmlink_k10"))));
        m_control = reinterpret_cast<Control>(m_library.resolve("k10SimControl"));
        if (!m_control)
            *error = QStringLiteral("no stand-in K-10 library: %1").arg(m_library.errorString());
        return m_control != nullptr;
    }
    int control(const QByteArray& command) const { return m_control ? m_control(command.constData()) : -1; }

private:
    using Control = int32_t (*)(const char*);
    QLibrary m_library;
    Control m_control = nullptr;
};

int runBench(int runs, int storedMatrices)
{
    SensorLibrary::setExtraDirectories({QStringLiteral(CA410_LIBRARY_DIR)});
    // The window may save settings or profiles in the working directory.
    QTemporaryDir workDir;
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path())) {
        complain(QStringLiteral("no temporary working directory"));
        return 1;
    }
    SimulatedStation station(QStringLiteral(STANDIN_DIR));
    // A call's stall shows only when the instrument takes its time.
    station.setWireRate(true);
    QString error;
    if (!station.start(&error)) {
        complain(QStringLiteral("the simulated station cannot start: %1").arg(error));
        return 1;
    }
    K10Standin k10;
    if (!k10.load(&error)) {
        complain(error);
        return 1;
    }
    // The sensors look at the calibrate dialog's patch while it is shown.
    ScreenPatchWatcher patchWatcher(station.world());

    MainWindow window;
    window.controller()->setSensorFactory(&SensorTable::createForWindow);
    window.show();
    StallProbe probe;
    int run = 0;
    bool allRan = true;
    WindowScenarios scenarios(
        station, window, probe,
        [&run, &allRan](const std::optional<Figures>& figures, const QString& failure) {
            if (figures) {
                printLine(figuresLine(run, *figures));
            } else {
                complain(QStringLiteral("run %1: cannot run %2").arg(run).arg(failure));
                allRan = false;
            }
        },
        [&k10](const QByteArray& command) { return k10.control(command); });
    PrintingMessenger messenger([&scenarios](const QString& line) {
        if (!scenarios.noteMessage(line))
            complain(QStringLiteral("message box: %1").arg(line));
    });
    Messenger* messengerBefore = Messenger::install(&messenger);

    printLine(QStringLiteral("Main-thread stalls of the window, probe ticking every 10 ms; %1 run(s); serial lines "
                             "and the K-10 at wire rate. Goal: p99 gap < %2 ms, longest gap < %3 ms.")
                  .arg(runs)
                  .arg(kGoalP99Ms)
                  .arg(kGoalLongestMs));
    const Instrument sensors[] = {Instrument::CA410, Instrument::CR100, Instrument::CR250, Instrument::K10,
                                  Instrument::I1DisplayPro};
    for (run = 1; run <= runs; ++run) {
        // Each sensor reads at its own pace, so each is measured and calibrated.
        for (Instrument sensor : sensors) {
            scenarios.connectSensor(sensor);
            if (scenarios.sensorOpen()) {
                scenarios.singleMeasure(sensor);
                scenarios.calibrate(sensor);
            }
        }
        scenarios.portscan(Instrument::CA410);
        scenarios.featuresDialog(storedMatrices);
    }
    scenarios.release();
    Messenger::install(messengerBefore);
    QDir::setCurrent(QDir::tempPath());
    return allRan ? 0 : 1;
}

QtMessageHandler qtMessageHandler = nullptr;

// The window's debug lines would bury the figures; warnings still show.
void dropDebugLines(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg || type == QtInfoMsg || !qtMessageHandler)
        return;
    qtMessageHandler(type, context, message);
}

} // namespace

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
                       "measures, calibrates, scans for ports and works with a sensor's stored matrices, on the "
                       "simulated station, beside the same work done by blocking calls on the main thread."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("Repeat every scenario N times (default 3)."),
                                        QStringLiteral("N"), QStringLiteral("3"));
    parser.addOption(runsOption);
    const QCommandLineOption quickOption(QStringLiteral("quick"),
                                         QStringLiteral("One run, with %1 stored matrices instead of %2, as a smoke test.")
                                             .arg(kQuickStoredMatrices)
                                             .arg(kStoredMatrices));
    parser.addOption(quickOption);
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
    const bool quick = parser.isSet(quickOption);
    return runBench(quick ? 1 : runs, quick ? kQuickStoredMatrices : kStoredMatrices);
}
