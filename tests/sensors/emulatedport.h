#ifndef EMULATEDPORT_H
#define EMULATEDPORT_H

#include "csensor.h"

#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

// The CS-2000 and PR-6xx drivers open the ttyACM device numbered by the
// remembered sensor port. This keeps the remembered settings in a temporary
// directory and puts a link there, named like such a device, that leads to an
// emulator's pseudo-terminal; a driver given pattern() then opens the emulator.
class EmulatedPort
{
public:
    static constexpr int Number = 3;

    EmulatedPort()
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
        CSensor::setComPort(Number);
    }

    bool isValid() const { return dir.isValid(); }
    QString pattern() const { return dir.filePath(QStringLiteral("ttyACM%1")); }

    // Makes the numbered device lead to the terminal at path.
    bool connect(const std::string& path) const
    {
        const QString link = pattern().arg(Number);
        QFile::remove(link);
        return QFile::link(QString::fromStdString(path), link);
    }

private:
    QTemporaryDir dir;
};

#endif // EMULATEDPORT_H
