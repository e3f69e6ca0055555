#include "application.h"
#include "iconresources.h"
#include "measure.h"
#include "mainwindow.h"
#include "portlister.h"
#include "qmessageboxmessenger.h"
#include "printingmessenger.h"
#include "qtdialogprovider.h"
#include "recordkeeping.h"
#include "screenpatchwatcher.h"
#include "sensortable.h"
#include "simulatedstation.h"
#include "stationwindow.h"
#include "translation.h"
#include "walkthrough.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const QCommandLineOption portOption(
    QStringLiteral("port"),
    QStringLiteral("Also offer the serial port NAME under /dev (for example pts/3 for an emulated "
                   "device) in both port lists; may be repeated."),
    QStringLiteral("NAME"));

const QCommandLineOption simulateOption(
    QStringLiteral("simulate"),
    QStringLiteral("Start a simulated station beside the program: a display under alignment that aligns "
                   "itself, and every sensor the program knows (CA410, CR-100, CR-250, i1Display Pro, "
                   "K-10), on pseudo-terminals and stand-in libraries, with a \"Simulated station\" "
                   "window of its own."));

const QCommandLineOption walkthroughOption(
    QStringLiteral("walkthrough"),
    QStringLiteral("With --simulate: play the whole job once through the window with the CA410 "
                   "(connect, align, calibrate, align again, save, restart, reopen), print each step "
                   "and its figures, and exit: 0 when every step came out right, 1 otherwise."));

void describeCommandLine(QCoreApplication& app, QCommandLineParser& parser)
{
    app.setApplicationName(QStringLiteral("Lumaserve"));
    app.setApplicationVersion(QStringLiteral(LUMASERVE_VERSION));
    parser.setApplicationDescription(
        QStringLiteral("Huelink Trimline: display alignment with a colour-measuring instrument."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    parser.addOption(walkthroughOption);
}

void printLine(const QString& line)
{
    QTextStream out(stdout);
    out << line << Qt::endl;
}

// The story of the walkthrough on standard output; the profile it saves goes
// to a directory of its own, so nothing is left behind.
int playWalkthrough(SimulatedStation& station)
{
    QTemporaryDir workDir;
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path())) {
        std::fprintf(stderr, "Lumaserve: no temporary directory for the walkthrough's profile\n");
        return 1;
    }
    printLine(QStringLiteral("Simulated station:"));
    for (const SimulatedStation::Device& device : station.devices()) {
        printLine(QStringLiteral("   %1 %2 (%3)")
                      .arg(device.name.leftJustified(24), device.port.isEmpty() ? QStringLiteral("-") : device.port,
                           device.how));
    }
    PrintingMessenger messenger(printLine);
    Messenger* before = Messenger::install(&messenger);
    StationWindow stationWindow(station);
    stationWindow.show();
    Walkthrough walkthrough(station);
    walkthrough.setStationWindow(&stationWindow);
    walkthrough.setPrinter(printLine);
    const bool ok = walkthrough.run(SimulatedWorld::Instrument::CA410);
    Messenger::install(before);
    printLine(QString());
    printLine(QStringLiteral("To see the window and play it yourself, start the station on a desktop: "
                             "bash scripts/run.sh, or build/Lumaserve --simulate. Pick a sensor and its port, "
                             "the display's port, switch alignment on and press \"Align display\" in the "
                             "\"Simulated station\" window."));
    return ok ? 0 : 1;
}

// The station's window to the right of the program's, where the screen allows.
void placeBeside(QWidget& stationWindow, const QWidget& mainWindow)
{
    const QRect frame = mainWindow.frameGeometry();
    QPoint at(frame.right() + 12, frame.top());
    if (const QScreen* screen = mainWindow.screen()) {
        const QRect room = screen->availableGeometry();
        if (at.x() + stationWindow.width() > room.right())
            at.setX(qMax(room.left(), room.right() - stationWindow.width()));
    }
    stationWindow.move(at);
}

// --help and --version must work where no display is available.
bool onlyAsksForInformation(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    if (onlyAsksForInformation(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describeCommandLine(app, parser);
        parser.process(app); // prints and exits
        return 0;
    }

    // Before the application object, which takes its window icon from them.
    initIconResources();
    Application app(argc, argv);
    // Qt's own texts (the standard buttons) beside the program's.
    QTranslator qtTranslator;
    installQtTranslation(app, QLocale::system(), qtTranslator);
    QTranslator translator;
    installTranslation(app, QLocale::system(), translator);

    // After the application object has taken its own options (-platform ...).
    QCommandLineParser parser;
    describeCommandLine(app, parser);
    parser.process(app);
    PortLister::setExtraPorts(parser.values(portOption));

    QMessageBoxMessenger messenger;
    Messenger::install(&messenger);
    QtDialogProvider dialogs;
    DialogProvider::install(&dialogs);

    std::unique_ptr<SimulatedStation> station;
    std::unique_ptr<ScreenPatchWatcher> patchWatcher;
    if (parser.isSet(simulateOption) || parser.isSet(walkthroughOption)) {
        station = std::make_unique<SimulatedStation>(SimulatedStation::defaultStandinDirectory());
        QString error;
        if (!station->start(&error)) {
            std::fprintf(stderr, "Lumaserve: the simulated station cannot start: %s\n", qUtf8Printable(error));
            return 1;
        }
        // The sensors look at the calibrate dialog's patch while it is shown.
        patchWatcher = std::make_unique<ScreenPatchWatcher>(station->world());
    }

    int result = 0;
    if (station && parser.isSet(walkthroughOption)) {
        result = playWalkthrough(*station);
    } else {
        MainWindow window;
        window.controller()->setSensorFactory(&SensorTable::createForWindow);
        window.show();
        // Every display the service aligns is kept, the simulated one too; the
        // recorder goes before the window's controller it follows.
        const std::unique_ptr<LineRecorder> recorder = RecordKeeping::start(*window.controller(), &window);
        window.setLineRecorder(recorder.get());
        std::unique_ptr<StationWindow> stationWindow;
        if (station) {
            stationWindow = std::make_unique<StationWindow>(*station);
            stationWindow->show();
            placeBeside(*stationWindow, window);
        }
        result = app.exec();
    }
    DialogProvider::install(nullptr);
    Messenger::install(nullptr);
    return result;
}
