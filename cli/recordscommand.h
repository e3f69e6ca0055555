#ifndef RECORDSCOMMAND_H
#define RECORDSCOMMAND_H

#include "command.h"
#include "recordstore.h"

// `records list|show|export`: the line's records, from a station's SQLite file
// or the line's PostgreSQL database, filtered by unit, time, verdict and
// sensor serial number.
class RecordsCommand : public Command
{
public:
    QString name() const override { return QStringLiteral("records"); }
    QString summary() const override;
    int run(const QStringList& arguments) override;

    // A time as the options take it: a date (its midnight, local time) or an
    // ISO 8601 date and time. Null for anything else.
    static QDateTime parseSince(const QString& text);
    // The list's line for a session.
    static QString listLine(const SessionRecord& session);
};

#endif // RECORDSCOMMAND_H
