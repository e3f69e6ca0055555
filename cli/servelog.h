#ifndef SERVELOG_H
#define SERVELOG_H

#include "ccolor.h"

#include <QDateTime>
#include <QFile>
#include <QString>

// The alignment service's record for traceability: one CSV line per request of
// the display (time, request, reply, raw and corrected X, Y, Z). The file is
// appended to and every line goes to the system in one write, so that whatever
// ends the process, the file holds whole lines only.
class ServeLog
{
public:
    static QString header();
    static QString line(const QDateTime& time, const QString& request, const QString& reply,
                        const CColor& raw, const CColor& corrected);

    // Opens the file for appending; a new or empty file gets the header first.
    bool open(const QString& fileName, QString* error);
    bool isOpen() const { return m_file.isOpen(); }
    bool append(const QString& csvLine);
    void close() { m_file.close(); }

private:
    QFile m_file;
};

#endif // SERVELOG_H
