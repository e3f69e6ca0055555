#include "application.h"
#include "iconresources.h"
#include "mainwindow.h"
#include "portlister.h"
#include "qmessageboxmessenger.h"
#include "qtdialogprovider.h"
#include "translation.h"

#include <QCommandLineParser>
#include <QLocale>
#include <QTranslator>

#include <cstring>

namespace {

const QCommandLineOption portOption(
    QStringLiteral("port"),
    QStringLiteral("Also offer the serial port NAME under /dev (for example pts/3 for an emulated "
                   "device) in both port lists; may be repeated."),
    QStringLiteral("NAME"));

void describeCommandLine(QCoreApplication& app, QCommandLineParser& parser)
{
    app.setApplicationName(QStringLiteral("Lumaserve"));
    app.setApplicationVersion(QStringLiteral(LUMASERVE_VERSION));
    parser.setApplicationDescription(
        QStringLiteral("Huelink Trimline: display alignment with a colour-measuring instrument."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(portOption);
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

    int result = 0;
    {
        MainWindow window;
        window.show();
        result = app.exec();
    }
    DialogProvider::install(nullptr);
    Messenger::install(nullptr);
    return result;
}
