#ifndef MEASURECOMMAND_H
#define MEASURECOMMAND_H

#include "command.h"

#include "ccolor.h"

// `measure`: readings with the raw and corrected X, Y, Z and the eleven values
// the window's value window shows, as text, CSV or JSON.
class MeasureCommand : public Command
{
public:
    enum class Format { Text, Csv, Json };

    QString name() const override { return QStringLiteral("measure"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

    static QString csvHeader();
    static QString csvRow(int index, const CColor& raw, const CColor& corrected);
    static QString textBlock(int index, const CColor& raw, const CColor& corrected);
};

#endif // MEASURECOMMAND_H
