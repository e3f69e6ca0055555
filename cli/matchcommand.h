#ifndef MATCHCOMMAND_H
#define MATCHCOMMAND_H

#include "command.h"

class Certificate;

// `match`: corrects a sensor against a reference instrument reading the same
// patches, or works every correction method's matrix and the certificate out
// again from a kept matching session, and writes the certificate's files.
class MatchCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("match"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

private:
    // The certificate from a kept session.
    int recompute(const QString& from, const QString& outDirectory, double tolerance) const;
    void printSummary(const Certificate& certificate) const;
};

#endif // MATCHCOMMAND_H
