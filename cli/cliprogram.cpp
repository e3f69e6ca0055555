#include "cliprogram.h"

#include "calibratecommand.h"
#include "exitcode.h"
#include "matchcommand.h"
#include "measurecommand.h"
#include "plotcommand.h"
#include "portscommand.h"
#include "profilecommand.h"
#include "recordscommand.h"
#include "sensorscommand.h"
#include "servecommand.h"
#include "simulatecommand.h"

#include <QCoreApplication>

CliProgram::CliProgram()
{
    m_commands.push_back(std::make_unique<PortsCommand>());
    m_commands.push_back(std::make_unique<SensorsCommand>());
    m_commands.push_back(std::make_unique<MeasureCommand>());
    m_commands.push_back(std::make_unique<ServeCommand>());
    m_commands.push_back(std::make_unique<CalibrateCommand>());
    m_commands.push_back(std::make_unique<ProfileCommand>());
    m_commands.push_back(std::make_unique<SimulateCommand>());
    m_commands.push_back(std::make_unique<MatchCommand>());
    m_commands.push_back(std::make_unique<PlotCommand>());
    m_commands.push_back(std::make_unique<RecordsCommand>());
}

CliProgram::~CliProgram() = default;

QString CliProgram::helpText() const
{
    QStringList lines;
    const QString program = QCoreApplication::applicationName();
    lines << QStringLiteral("Usage: %1 COMMAND [options]").arg(program);
    lines << QStringLiteral("Huelink Trimline without a window: display alignment on a line PC.");
    lines << QString();
    lines << QStringLiteral("Commands:");
    for (const auto& command : m_commands)
        lines << QStringLiteral("  %1%2").arg(command->name().leftJustified(11), command->summary());
    lines << QString();
    lines << QStringLiteral("'%1 COMMAND --help' describes a command's options.").arg(program);
    lines << QStringLiteral("A sensor TYPE is its number or its name in the list of 'sensors'. A port "
                            "is its name under /dev (ttyACM0, pts/3) or a full path; a symlink is kept "
                            "as given.");
    lines << QStringLiteral("Messages are written to standard error; questions take their default answer.");
    lines << Command::exitCodesText();
    return lines.join(QLatin1Char('\n'));
}

int CliProgram::run(const QStringList& arguments)
{
    const QString first = arguments.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h") || first == QLatin1String("help")) {
        Command::printLine(helpText());
        return ExitDone;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        Command::printLine(QStringLiteral("%1 %2").arg(QCoreApplication::applicationName(),
                                                      QCoreApplication::applicationVersion()));
        return ExitDone;
    }
    for (const auto& command : m_commands) {
        if (command->name() == first) {
            QStringList own = arguments.mid(2);
            own.prepend(arguments.value(0) + QLatin1Char(' ') + first);
            return command->run(own);
        }
    }
    Command::printError(first.isEmpty() ? QStringLiteral("%1: no command given.").arg(QCoreApplication::applicationName())
                                        : QStringLiteral("%1: unknown command '%2'.")
                                              .arg(QCoreApplication::applicationName(), first));
    Command::printError(QStringLiteral("Try '%1 --help'.").arg(QCoreApplication::applicationName()));
    return ExitUsage;
}
