#ifndef PORTLISTER_H
#define PORTLISTER_H

#include <QList>
#include <QString>
#include <QStringList>

// Decides which serial ports the user is offered. The system reports many ports
// that lead nowhere (on Linux dozens of ttyS entries without a UART behind
// them); only those that can reach an instrument or a display are offered,
// followed by the ports named on the command line (for example "pts/3" for an
// emulated device).
class PortLister
{
public:
    struct Port {
        QString name;           // as found under /dev, for example "ttyUSB0"
        QString systemLocation; // for example "/dev/ttyUSB0"
        // False for an on-board port whose kernel driver reports no UART type.
        bool hasUart = true;
        // What the system knows of a USB device behind the port; zero ids and
        // empty texts where it knows nothing.
        quint16 vendorId = 0;
        quint16 productId = 0;
        QString serialNumber = QString();
        QString description = QString();
    };

    // The ports the system reports, in its order.
    static QList<Port> systemPorts();

    // Whether this platform offers such a port to the user.
    static bool isOffered(const Port& port);
    // The names offered: the ports that pass isOffered(), then the extra ports
    // not already among them.
    static QStringList offeredNames(const QList<Port>& ports, const QStringList& extra);
    // offeredNames() of the system's ports and extraPorts().
    static QStringList availablePorts();

    // Ports named by the user, as names under /dev, offered in addition.
    static void setExtraPorts(const QStringList& names);
    static QStringList extraPorts();

    // Reads the UART type the kernel reports for a tty under sysfsRoot
    // (/sys/class/tty in the running system); type 0 means none.
    static bool kernelReportsUart(const QString& name,
                                  const QString& sysfsRoot = QStringLiteral("/sys/class/tty"));
};

#endif // PORTLISTER_H
