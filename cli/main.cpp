#include "ccolorreference.h"
#include "cliprogram.h"
#include "messenger.h"
#include "stderrmessenger.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <memory>
#include <vector>

namespace {

// match draws the certificate's PDF and plot its diagrams, and letters can
// only be drawn with Qt's graphical side; every other command runs without it.
bool drawsPages(int argc, char* argv[])
{
    return argc > 1 && (qstrcmp(argv[1], "match") == 0 || qstrcmp(argv[1], "plot") == 0);
}

// Whether Qt has been told where to draw, or has a display to find by itself.
bool platformChosen(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0 || qstrcmp(argv[i], "--platform") == 0)
            return true;
    }
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    // Line PCs run without a display: there the pages are drawn off screen
    // rather than the program failing to find one. Told on the command line,
    // not in the environment, so that programs started from here (a pattern
    // command) still find their own platform.
    std::vector<char*> arguments(argv, argv + argc);
    char platformOption[] = "-platform";
    char offscreen[] = "offscreen";
    const bool graphical = drawsPages(argc, argv);
    if (graphical && !platformChosen(argc, argv)) {
        arguments.push_back(platformOption);
        arguments.push_back(offscreen);
    }
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    // Qt takes its own options (-platform) out of the arguments it hands on.
    const std::unique_ptr<QCoreApplication> app = graphical
                                                      ? std::make_unique<QGuiApplication>(count, arguments.data())
                                                      : std::make_unique<QCoreApplication>(count, arguments.data());
    app->setApplicationName(QStringLiteral("lumaserve-cli"));
    app->setApplicationVersion(QStringLiteral(LUMASERVE_VERSION));
    // The core's tracing would drown what the operator must read on standard
    // error; QT_LOGGING_RULES="default.debug=true" brings it back.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    // The run's colour reference, as the window's application object makes it;
    // registered before the alignment thread exists, which reads it unlocked.
    const auto reference = std::make_unique<CColorReference>(StandardRec709, WhiteFromStandard, -1.0);
    RegisterColorReference(reference.get());
    StderrMessenger messenger;
    Messenger::install(&messenger);

    const int result = CliProgram().run(app->arguments());

    Messenger::install(nullptr);
    RegisterColorReference(nullptr);
    return result;
}
