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

#endif // FILECONTENTS_H
