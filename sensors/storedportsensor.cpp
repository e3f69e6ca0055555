#include "storedportsensor.h"

#include "messenger.h"
#include "serialport.h"

StoredPortSensor::StoredPortSensor(QObject* parent)
    : CSensor(parent),
      port(std::make_unique<SerialPort>()),
      devicePattern(QStringLiteral("/dev/ttyACM%1"))
{
    hasComPort = true;
}

StoredPortSensor::~StoredPortSensor() = default;

QString StoredPortSensor::devicePath() const
{
    if (!fixedPath.isEmpty())
        return fixedPath;
    return devicePattern.arg(getComPort());
}

bool StoredPortSensor::openPort(int readTimeout)
{
    port->close();
    port->setPortName(devicePath());
    if (!port->open()) {
        Messenger::warning(nullptr, name,
                           QStringLiteral("%1 %2").arg(tr("Can't open"), port->portName()));
        return false;
    }
    port->setBaudRate(9600);
    port->setDataBits(SerialPort::Data8);
    port->setStopBits(SerialPort::OneStop);
    port->setParity(SerialPort::ParityNone);
    port->setFlowControl(SerialPort::FlowOff);
    port->setTimeout(readTimeout);
    return true;
}

void StoredPortSensor::cancelWaits()
{
    port->cancelWaits();
}

void StoredPortSensor::resumeWaits()
{
    port->resumeWaits();
}
