#ifndef SENSORLIBRARY_H
#define SENSORLIBRARY_H

#include <QString>
#include <QStringList>

#include <cstddef>

class QLibrary;

// Where the instrument libraries are looked for: first in directories the
// program was told about (tests, the simulation mode), then in the "sensorlib"
// directory beside the executable, where the build puts libmlink_ca410, and last
// on the system loader's own path. A vendor library installed on the system is
// therefore never shadowed unless the program is told to.
class SensorLibrary
{
public:
    // "libmlink_ca410" -> "libmlink_ca410.so" ("libmlink_ca410.dylib" on macOS).
    static QString fileName(const QString& baseName);
    // The paths tried, in order; the last is the bare file name for the loader.
    static QStringList candidates(const QString& baseName);

    // Directories searched before the standard ones; empty by default.
    static void setExtraDirectories(const QStringList& directories);
    static QStringList extraDirectories();

    // Loads the first candidate that loads, unloading first what the loader
    // held. On failure the library is left unloaded and false is returned;
    // fileName(baseName) names it to the user.
    static bool load(QLibrary& library, const QString& baseName);

    // The file load() would take, found without loading it (loading runs the
    // library's initialisers): the first candidate that is a readable file,
    // the bare name looked up in the system loader's directories. Empty when
    // there is none; *onSystemPath tells whether the loader's search found it.
    static QString locate(const QString& baseName, bool* onSystemPath = nullptr);

    // A text field of a record the library filled in, read no further than the
    // field's size, so a missing terminating zero cannot run past it.
    static QString fieldText(const char* field, std::size_t size);
};

#endif // SENSORLIBRARY_H
