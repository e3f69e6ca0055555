#ifndef DEVICELINK_H
#define DEVICELINK_H

#include <QFile>
#include <QString>

#include <cstdio>

// Points link at an emulated device's terminal, replacing what it pointed at,
// the way a udev rule keeps one name for whichever device is plugged in.
// Terminal numbers are reused by other processes' terminals, so a name that
// must outlive its device has to be a link.
template <typename Device>
bool pointLinkAt(const QString& link, const Device& device)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(QString::fromStdString(device.devicePath()), fresh)
           && std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0;
}

#endif // DEVICELINK_H
