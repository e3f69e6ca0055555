#ifndef COMMAND_H
#define COMMAND_H

#include <QString>
#include <QStringList>

class QCommandLineParser;

// One subcommand of the command-line program. run() gets the subcommand's own
// arguments, the first being the program and subcommand name, and returns the
// process's exit code (see exitcode.h).
class Command
{
public:
    virtual ~Command();

    virtual QString name() const = 0;
    // One line for the program's own --help.
    virtual QString summary() const = 0;
    virtual int run(const QStringList& arguments) = 0;

    // The meaning of the exit codes, as every --help shows it.
    static QString exitCodesText();

    // Standard output and standard error, one whole line at a time, flushed so
    // that a service manager's journal sees it at once.
    static void printLine(const QString& text);
    static void printError(const QString& text);

protected:
    // Adds --help, parses, and answers --help and parse errors. Returns -1 when
    // the command should go on, else the exit code to return.
    int parse(QCommandLineParser& parser, const QStringList& arguments,
              const QString& description) const;
    // parse() for a command that takes options only: any other argument is a
    // usage error.
    int parseOptionsOnly(QCommandLineParser& parser, const QStringList& arguments,
                         const QString& description) const;
    // Reports a usage error and returns ExitUsage.
    int usageError(const QString& text) const;
};

#endif // COMMAND_H
