#ifndef LOADERSEARCHPATH_H
#define LOADERSEARCHPATH_H

#include <QString>
#include <QStringList>

// The directories the system's dynamic loader searches for a library asked for
// by its bare file name, in the loader's order: the library-path variable of the
// environment, then the directories configured for the system (Linux:
// /etc/ld.so.conf and what it includes), then the loader's built-in ones.
// Knowing them lets the program say where a library would come from without
// loading it, which would run the library's initialisers.
class LoaderSearchPath
{
public:
    static QStringList directories();

    // The first readable file of that name in directories(); empty when none.
    static QString find(const QString& fileName);

    // The directories named by a loader configuration file and, recursively,
    // the files it includes ("include" lines with shell patterns). Exposed for
    // the tests; configFile is normally /etc/ld.so.conf.
    static QStringList configuredDirectories(const QString& configFile);
};

#endif // LOADERSEARCHPATH_H
