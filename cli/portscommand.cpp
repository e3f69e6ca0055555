#include "portscommand.h"

#include "exitcode.h"
#include "portlister.h"
#include "printabletext.h"

#include <QCommandLineParser>

QString PortsCommand::summary() const
{
    return QStringLiteral("List the serial ports an instrument or a display can be on.");
}

int PortsCommand::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    const int parsed = parseOptionsOnly(
        parser, arguments,
        QStringLiteral("Lists the serial ports the window offers, one per "
                       "line: name, device path, USB vendor:product, serial "
                       "number and description where the system knows them."));
    if (parsed >= 0)
        return parsed;

    int listed = 0;
    for (const PortLister::Port& port : PortLister::systemPorts()) {
        // The window's rule, so both offer the same ports.
        if (!PortLister::isOffered(port))
            continue;
        QStringList fields{port.name, port.systemLocation};
        fields << ((port.vendorId || port.productId)
                       ? QStringLiteral("usb %1:%2")
                             .arg(port.vendorId, 4, 16, QLatin1Char('0'))
                             .arg(port.productId, 4, 16, QLatin1Char('0'))
                       : QStringLiteral("-"));
        fields << (port.serialNumber.isEmpty() ? QStringLiteral("-") : QStringLiteral("serial ") + PrintableText::from(port.serialNumber));
        if (!port.description.isEmpty())
            fields << PrintableText::from(port.description);
        printLine(fields.join(QLatin1Char('\t')));
        ++listed;
    }
    if (listed == 0)
        printError(QStringLiteral("No serial port found."));
    return ExitDone;
}
