#ifndef RECORDEXPORT_H
#define RECORDEXPORT_H

#include "sessionrecord.h"

#include <QByteArray>
#include <QVector>

// Sessions with their readings as a file for others: CSV, one row a request
// with its session's fields in front (a session without requests gets a row
// of its own), or JSON, an array of sessions each holding its readings.
// Numbers are written with a decimal point whatever the locale; a missing
// value is an empty field or null.
class RecordExport
{
public:
    struct Entry {
        SessionRecord session;
        QVector<SessionRecord::Reading> readings;
    };

    static QByteArray csv(const QVector<Entry>& entries);
    static QByteArray json(const QVector<Entry>& entries);
    static QString csvField(const QString& text);
};

#endif // RECORDEXPORT_H
