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
    return QStringLiteral("run %1  %2 %3 ms  ticks %4  p99 gap %5 ms  longest gap %6 ms   "
                          "goal: p99 < %7 ms, longest < %8 ms: %9")
        .arg(run)
        .arg(f.name.leftJustified(54))
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
    WindowScenarios scenarios(station, window, probe);
    PrintingMessenger messenger([&scenarios](const QString& line) {
        scenarios.noteMessage(line);
        complain(QStringLiteral("message box: %1").arg(line));
    });
    Messenger* messengerBefore = Messenger::install(&messenger);

    printLine(QStringLiteral("Main-thread stalls of the window, probe ticking every 10 ms; %1 run(s).").arg(runs));
    const Instrument sensors[] = {Instrument::CA410, Instrument::CR100, Instrument::CR250, Instrument::K10,
                                  Instrument::I1DisplayPro};
    bool allRan = true;
    auto report = [&](int run, const std::optional<Figures>& figures) {
        if (figures) {
            printLine(figuresLine(run, *figures));
        } else {
            complain(QStringLiteral("run %1: cannot run %2").arg(run).arg(scenarios.failure()));
            allRan = false;
        }
    };
    for (int run = 1; run <= runs; ++run) {
        // Each sensor reads at its own pace, so each is measured and calibrated.
        for (Instrument sensor : sensors) {
            report(run, scenarios.connectSensor(sensor));
            if (scenarios.sensorOpen()) {
                report(run, scenarios.singleMeasure(sensor));
                report(run, scenarios.calibrate(sensor));
            }
        }
        report(run, scenarios.scanList(Instrument::K10, kStoredMatrices));
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
