#ifndef PLAINFILE_H
#define PLAINFILE_H

#include <QCoreApplication>
#include <QByteArray>
#include <QString>

// The files the program reads and writes for the user (profiles, reference
// values, the service log) are small regular files. A name the user gives may
// lead elsewhere: to a FIFO, whose opening waits for a writer that never comes;
// to a device, which reads without end (/dev/zero) or swallows what is written
// (/dev/null, /dev/full); to a socket or a directory. These are refused here,
// before anything is opened, read or replaced.
class PlainFile
{
    Q_DECLARE_TR_FUNCTIONS(PlainFile)

public:
    // Larger than any file the program reads: a profile holds 96 bytes and the
    // serial number, a reference file four lines. A thousand times that costs
    // nothing to read, while a file beyond it cannot be one of them.
    static constexpr qint64 MaxReadSize = 1024 * 1024;

    enum class ReadResult {
        Read,
        CannotOpen, // missing, unnamed or unreadable
        NotAFile,   // a directory, device, FIFO or socket: not opened at all
        TooLarge,   // a regular file of more than the given size
    };

    // Reads the whole regular file fileName if it holds at most maxSize bytes.
    // Otherwise *error says why and *contents is left alone.
    static ReadResult read(const QString& fileName, QByteArray* contents, QString* error,
                           qint64 maxSize = MaxReadSize);

    // The file that writing to fileName must replace: fileName itself, or what
    // its symbolic links lead to, so that a link stays a link; a file that does
    // not exist yet is to be created. False, with *error saying why, when that
    // is anything but a regular file.
    static bool writeTarget(const QString& fileName, QString* target, QString* error);

    // Replaces the file fileName leads to (see writeTarget) with bytes, whole
    // or not at all: a full disk or a crash half-way neither leaves a damaged
    // file nor destroys the one that was there. False, with *error saying why
    // (it may be null), when nothing was replaced.
    static bool writeWhole(const QString& fileName, const QByteArray& bytes, QString* error);

private:
    static QString notAFile(unsigned mode);
};

#endif // PLAINFILE_H
