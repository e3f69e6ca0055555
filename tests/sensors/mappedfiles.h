#ifndef MAPPEDFILES_H
#define MAPPEDFILES_H

#include <QByteArray>
#include <QFile>
#include <QStringList>

// The files mapped into this process now; tests of the library-bound drivers
// use it to see that a library they loaded has really been unloaded.
inline QStringList mappedFiles()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList files;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int slash = line.indexOf('/');
        if (slash >= 0)
            files << QString::fromLocal8Bit(line.mid(slash));
    }
    return files;
}

#endif // MAPPEDFILES_H
