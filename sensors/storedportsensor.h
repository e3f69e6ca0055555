#ifndef STOREDPORTSENSOR_H
#define STOREDPORTSENSOR_H

#include "csensor.h"

#include <QString>

#include <memory>

class SerialPort;

// Base of the drivers whose instrument sits on the serial device named by the
// remembered sensor port number rather than by the port init() is given. It
// holds the port and opens it the way these instruments want it.
class StoredPortSensor : public CSensor
{
    Q_OBJECT

public:
    explicit StoredPortSensor(QObject* parent = nullptr);
    ~StoredPortSensor() override;

    // The device path with "%1" standing for the remembered sensor port number;
    // "/dev/ttyACM%1" unless changed, for instance to reach a pseudo-terminal.
    void setDevicePattern(const QString& pattern) { devicePattern = pattern; }
    QString getDevicePattern() const { return devicePattern; }
    // A device opened whatever the remembered number, for an instrument the
    // user names by its port beside the sensor (matching a reference against
    // it); empty goes back to the pattern.
    void setDevicePath(const QString& path) { fixedPath = path; }
    // The device init() opens.
    QString devicePath() const;
    void cancelWaits() override;
    void resumeWaits() override;

protected:
    // Opens devicePath() at 9600 baud, 8N1 without flow control, each read
    // waiting up to readTimeout ms. A port left open by a failed attempt is
    // opened afresh, in case the number changed. Warns the user when the
    // device does not open.
    bool openPort(int readTimeout);

    std::unique_ptr<SerialPort> port;

private:
    QString devicePattern;
    QString fixedPath;
};

#endif // STOREDPORTSENSOR_H
