#ifndef SERIALDEVICE_H
#define SERIALDEVICE_H

#include <QtGlobal>

// Something other than a terminal at the far end of a SerialPort: a port whose
// name has a device registered (SerialPort::setDevice) reads and writes through
// it instead of opening the name. The port calls it under its own lock, so one
// device needs no lock of its own as long as only one port uses it.
class SerialDevice
{
public:
    virtual ~SerialDevice() = default;

    // Takes bytes the port writes; the count taken, or -1 when the line is gone.
    virtual qint64 write(const char* data, qint64 size) = 0;
    // Hands over up to maxSize received bytes without waiting; 0 when none.
    virtual qint64 read(char* data, qint64 maxSize) = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Waits at most msecs until a byte can be read; true when one can, or when
    // the line has hung up.
    virtual bool waitForReadyRead(int msecs) = 0;
    // True once the far end has gone; what it sent before may still be read.
    virtual bool isHungUp() const = 0;
    // Drops every received byte not yet read.
    virtual void discardInput() = 0;
};

#endif // SERIALDEVICE_H
