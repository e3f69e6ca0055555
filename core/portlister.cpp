#include "portlister.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSerialPortInfo>

namespace {
QMutex extraMutex;
QStringList extraNames;
} // namespace

QList<PortLister::Port> PortLister::systemPorts()
{
    QList<Port> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (int i = 0; i < infos.size(); ++i) {
        const QSerialPortInfo& info = infos.at(i);
        qDebug() << "sys" << i << info.systemLocation() << "port=" << info.portName();
        Port port{info.portName(), info.systemLocation(), true};
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        port.serialNumber = info.serialNumber();
        port.description = info.description();
#ifdef Q_OS_LINUX
        if (port.name.startsWith(QLatin1String("ttyS")))
            port.hasUart = kernelReportsUart(port.name);
#endif
        ports.append(port);
    }
    return ports;
}

bool PortLister::isOffered(const Port& port)
{
#if defined(Q_OS_MACOS)
    // The call-out devices; the tty.* twins of the same ports would wait for
    // carrier detect when opened.
    return port.name.startsWith(QLatin1String("cu."));
#elif defined(Q_OS_LINUX)
    // USB serial adaptors and instruments, and on-board UARTs that exist.
    if (port.name.startsWith(QLatin1String("ttyACM")) || port.name.startsWith(QLatin1String("ttyUSB")))
        return true;
    return port.name.startsWith(QLatin1String("ttyS")) && port.hasUart;
#else
    Q_UNUSED(port)
    return false;
#endif
}

QStringList PortLister::offeredNames(const QList<Port>& ports, const QStringList& extra)
{
    QStringList names;
    for (const Port& port : ports) {
        if (isOffered(port) && !names.contains(port.name))
            names << port.name;
    }
    for (const QString& name : extra) {
        if (!name.isEmpty() && !names.contains(name))
            names << name;
    }
    return names;
}

QStringList PortLister::availablePorts()
{
    return offeredNames(systemPorts(), extraPorts());
}

void PortLister::setExtraPorts(const QStringList& names)
{
    QStringList cleaned;
    for (QString name : names) {
        // "/dev/pts/3" and "pts/3" name the same port; the controller adds "/dev/".
        if (name.startsWith(QLatin1String("/dev/")))
            name = name.mid(5);
        if (!name.isEmpty())
            cleaned << name;
    }
    QMutexLocker lock(&extraMutex);
    extraNames = cleaned;
}

QStringList PortLister::extraPorts()
{
    QMutexLocker lock(&extraMutex);
    return extraNames;
}

bool PortLister::kernelReportsUart(const QString& name, const QString& sysfsRoot)
{
    QFile type(QDir(sysfsRoot).filePath(name + QStringLiteral("/type")));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int uart = type.readAll().trimmed().toInt(&ok);
    return ok && uart != 0;
}
