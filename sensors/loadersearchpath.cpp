#include "loadersearchpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

namespace {

// An empty entry of a path variable means the current directory to the loader.
QStringList pathVariable(const char* name)
{
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        return {};
    QStringList dirs;
    for (const QString& entry : value.split(QRegularExpression(QStringLiteral("[:;]"))))
        dirs << (entry.isEmpty() ? QStringLiteral(".") : entry);
    return dirs;
}

void readConfig(const QString& file, QStringList* dirs, QSet<QString>* seen, int depth)
{
    // Includes may refer back to their includer; the loader's own tool stops too.
    const QString key = QFileInfo(file).canonicalFilePath();
    if (depth > 8 || key.isEmpty() || seen->contains(key))
        return;
    seen->insert(key);
    QFile config(file);
    if (!config.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    const QString base = QFileInfo(file).absolutePath();
    QTextStream in(&config);
    while (!in.atEnd()) {
        QString line = in.readLine();
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("include")) && line.size() > 7 && line.at(7).isSpace()) {
            for (const QString& pattern :
                 line.mid(8).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
                const QFileInfo where(QDir(base), pattern);
                const QDir dir(where.absolutePath());
                const QStringList matches =
                    dir.entryList({where.fileName()}, QDir::Files | QDir::Readable, QDir::Name);
                for (const QString& match : matches)
                    readConfig(dir.filePath(match), dirs, seen, depth + 1);
            }
            continue;
        }
        // Old configurations may give a library type after '=' or list several
        // directories on one line.
        for (QString dir : line.split(QRegularExpression(QStringLiteral("[\\s,:]+")), Qt::SkipEmptyParts)) {
            const int typed = dir.indexOf(QLatin1Char('='));
            if (typed >= 0)
                dir.truncate(typed);
            if (!dir.isEmpty())
                *dirs << dir;
        }
    }
}

} // namespace

QStringList LoaderSearchPath::configuredDirectories(const QString& configFile)
{
    QStringList dirs;
    QSet<QString> seen;
    readConfig(configFile, &dirs, &seen, 0);
    return dirs;
}

QStringList LoaderSearchPath::directories()
{
    QStringList dirs;
#ifdef Q_OS_MACOS
    dirs << pathVariable("DYLD_LIBRARY_PATH");
    const QStringList fallback = pathVariable("DYLD_FALLBACK_LIBRARY_PATH");
    if (!fallback.isEmpty())
        dirs << fallback;
    else
        dirs << QDir::home().filePath(QStringLiteral("lib")) << QStringLiteral("/usr/local/lib")
             << QStringLiteral("/usr/lib");
#else
    dirs << pathVariable("LD_LIBRARY_PATH");
    dirs << configuredDirectories(QStringLiteral("/etc/ld.so.conf"));
    dirs << QStringLiteral("/lib64") << QStringLiteral("/usr/lib64") << QStringLiteral("/lib")
         << QStringLiteral("/usr/lib");
#endif
    dirs.removeDuplicates();
    return dirs;
}

QString LoaderSearchPath::find(const QString& fileName)
{
    for (const QString& dir : directories()) {
        const QFileInfo file(QDir(dir), fileName);
        if (file.isFile() && file.isReadable())
            return file.absoluteFilePath();
    }
    return QString();
}
