#include "ccolorreference.h"
#include "cliprogram.h"
#include "messenger.h"
#include "stderrmessenger.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <memory>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("lumaserve-cli"));
    app.setApplicationVersion(QStringLiteral(LUMASERVE_VERSION));
    // The core's tracing would drown what the operator must read on standard
    // error; QT_LOGGING_RULES="default.debug=true" brings it back.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    // The run's colour reference, as the window's application object makes it;
    // registered before the alignment thread exists, which reads it unlocked.
    const auto reference = std::make_unique<CColorReference>(StandardRec709, WhiteFromStandard, -1.0);
    RegisterColorReference(reference.get());
    StderrMessenger messenger;
    Messenger::install(&messenger);

    const int result = CliProgram().run(app.arguments());

    Messenger::install(nullptr);
    RegisterColorReference(nullptr);
    return result;
}
