#include "sensorlibrary.h"

#include "loadersearchpath.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMutex>

namespace {
QMutex extraMutex;
QStringList extraDirs;
} // namespace

QString SensorLibrary::fileName(const QString& baseName)
{
#ifdef Q_OS_MACOS
    return baseName + QStringLiteral(".dylib");
#else
    return baseName + QStringLiteral(".so");
#endif
}

QStringList SensorLibrary::candidates(const QString& baseName)
{
    const QString file = fileName(baseName);
    QStringList paths;
    for (const QString& dir : extraDirectories())
        paths << QDir(dir).filePath(file);
    if (QCoreApplication::instance()) {
        const QDir programDir(QCoreApplication::applicationDirPath());
        paths << programDir.filePath(QStringLiteral("sensorlib/") + file);
        // Installed, the programs are in bin/ and the library in the lib/ beside it.
        paths << QDir::cleanPath(programDir.filePath(QStringLiteral("../lib/") + file));
    }
    paths << file;
    return paths;
}

void SensorLibrary::setExtraDirectories(const QStringList& directories)
{
    QMutexLocker lock(&extraMutex);
    extraDirs = directories;
}

QStringList SensorLibrary::extraDirectories()
{
    QMutexLocker lock(&extraMutex);
    return extraDirs;
}

bool SensorLibrary::load(QLibrary& library, const QString& baseName)
{
    // A new file name on a loaded library drops the loader's hold on the old
    // load without unloading it.
    if (library.isLoaded())
        library.unload();
    const QStringList paths = candidates(baseName);
    for (const QString& path : paths) {
        // Only the loader's own search may take a bare name; a missing file in a
        // directory is simply the next candidate.
        if (path.contains(QLatin1Char('/')) && !QFileInfo::exists(path))
            continue;
        library.setFileName(path);
        if (library.load())
            return true;
        qDebug() << "SensorLibrary: cannot load" << path << library.errorString();
    }
    return false;
}

QString SensorLibrary::locate(const QString& baseName, bool* onSystemPath)
{
    if (onSystemPath)
        *onSystemPath = false;
    for (const QString& path : candidates(baseName)) {
        if (path.contains(QLatin1Char('/'))) {
            const QFileInfo file(path);
            if (file.isFile() && file.isReadable())
                return file.absoluteFilePath();
            continue;
        }
        const QString found = LoaderSearchPath::find(path);
        if (!found.isEmpty()) {
            if (onSystemPath)
                *onSystemPath = true;
            return found;
        }
    }
    return QString();
}

QString SensorLibrary::fieldText(const char* field, std::size_t size)
{
    return QString::fromUtf8(field, int(qstrnlen(field, uint(size))));
}
