#ifndef CLIPROGRAM_H
#define CLIPROGRAM_H

#include "command.h"

#include <QStringList>

#include <memory>
#include <vector>

// The command-line program: picks the subcommand named first and runs it.
class CliProgram
{
public:
    CliProgram();
    ~CliProgram();

    // arguments as the process got them, the program name first.
    int run(const QStringList& arguments);

private:
    QString helpText() const;

    std::vector<std::unique_ptr<Command>> m_commands;
};

#endif // CLIPROGRAM_H
