#ifndef PROFILECOMMAND_H
#define PROFILECOMMAND_H

#include "command.h"

// `profile show F.alg` and `profile new ...`: alignment profiles without an
// instrument.
class ProfileCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("profile"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

private:
    int show(const QString& fileName) const;
};

#endif // PROFILECOMMAND_H
