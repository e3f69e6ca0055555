#include "command.h"

#include "exitcode.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void writeLine(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

Command::~Command() = default;

QString Command::exitCodesText()
{
    return QStringLiteral("Exit codes: 0 done (also when stopped by SIGINT or SIGTERM), 1 usage "
                          "error, 2 instrument or port failure, 3 file failure (unreadable, "
                          "unwritable or malformed, or a profile of another sensor), 4 a figure out of "
                          "bounds (simulate) or a failed verdict (match).");
}

void Command::printLine(const QString& text)
{
    writeLine(stdout, text);
}

void Command::printError(const QString& text)
{
    writeLine(stderr, text);
}

int Command::parse(QCommandLineParser& parser, const QStringList& arguments,
                   const QString& description) const
{
    parser.setApplicationDescription(description + QStringLiteral("\n\n") + exitCodesText());
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        // The parser names only the program, as it was called; the usage line
        // needs the subcommand too.
        QString text = parser.helpText();
        const QString usage = QStringLiteral("Usage: ");
        if (text.startsWith(usage)) {
            const int programEnd = text.indexOf(QLatin1Char(' '), usage.size());
            text = usage + QCoreApplication::applicationName() + QLatin1Char(' ') + name()
                   + (programEnd < 0 ? QString() : text.mid(programEnd));
        }
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return ExitDone;
    }
    return -1;
}

int Command::parseOptionsOnly(QCommandLineParser& parser, const QStringList& arguments,
                              const QString& description) const
{
    if (const int parsed = parse(parser, arguments, description); parsed >= 0)
        return parsed;
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    return -1;
}

int Command::usageError(const QString& text) const
{
    printError(QStringLiteral("%1 %2: %3").arg(QCoreApplication::applicationName(), name(), text));
    printError(QStringLiteral("Try '%1 %2 --help'.").arg(QCoreApplication::applicationName(), name()));
    return ExitUsage;
}
