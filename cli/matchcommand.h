#ifndef MATCHCOMMAND_H
#define MATCHCOMMAND_H

#include "command.h"

class Certificate;

// `match`: works out every correction method's matrix and the certificate
// again from a kept matching session, without measuring, and writes the
// certificate's files.
class MatchCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("match"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

private:
    void printSummary(const Certificate& certificate) const;
};

#endif // MATCHCOMMAND_H
