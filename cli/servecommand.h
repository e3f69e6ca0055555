#ifndef SERVECOMMAND_H
#define SERVECOMMAND_H

#include "command.h"

// `serve`: the alignment service until SIGINT or SIGTERM.
class ServeCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("serve"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;
};

#endif // SERVECOMMAND_H
