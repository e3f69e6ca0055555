#ifndef FILECONTENTS_H
#define FILECONTENTS_H

#include <QByteArray>
#include <QFile>
#include <QString>

// The whole file as it is on disk; "(unreadable)" when it does not open, which
// no file a test compares against holds.
inline QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Replaces the file with bytes; false when that fails.
inline bool writeFileContents(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

#endif // FILECONTENTS_H
