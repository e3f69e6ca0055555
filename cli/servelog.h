#ifndef SERVELOG_H
#define SERVELOG_H

#include "ccolor.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>

// The alignment service's record for traceability: one CSV line per request of
// the display (time, request, reply, raw and corrected X, Y, Z). The file is
// appended to and every line goes to the system in one write, so that whatever
// ends the process, the file holds whole lines only. A line that does not fit
// (a full disk) is taken back whole; the lines after it are lost until there
// is room again, and then start on a line of their own.
class ServeLog
{
public:
    // What became of a record.
    enum class Outcome {
        Written,   // whole, on a line of its own
        Resumed,   // whole, the first after records were lost
        Lost,      // not written, the first since the last one written
        StillLost, // not written, nor was the one before it
    };

    static QString header();
    static QString line(const QDateTime& time, const QString& request, const QString& reply,
                        const CColor& raw, const CColor& corrected);

    ServeLog();
    // Writes through file, which is opened by open(): a file whose writes fail
    // stands in for a full disk.
    explicit ServeLog(std::unique_ptr<QFile> file);

    // Opens the file for appending; a new or empty file gets the header first.
    // Only a regular file (or a link to one) is taken: a line can be taken
    // back from nothing else.
    bool open(const QString& fileName, QString* error);
    bool isOpen() const { return m_file->isOpen(); }
    Outcome append(const QString& csvLine);
    // The records lost in the latest run of failures.
    int lostRecords() const { return m_lost; }
    // Why the latest record was lost.
    QString errorString() const { return m_error; }
    void close() { m_file->close(); }

private:
    bool writeWhole(QByteArray bytes);

    std::unique_ptr<QFile> m_file;
    QString m_error;
    int m_lost = 0;
    bool m_losing = false;
    // The file ends inside a line that could not be taken back.
    bool m_brokenLine = false;
};

#endif // SERVELOG_H
