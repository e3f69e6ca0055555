#ifndef CA410SENSOR_H
#define CA410SENSOR_H

#include "librarysensor.h"

#include <QString>
#include <QStringList>

// Driver of the CA-410, reached through the system's own libmlink_ca410, which
// is loaded by file name on the first init() and bound by name.
class CA410Sensor : public LibrarySensor
{
    Q_OBJECT

public:
    // The library's code for a handle that is not initialised; also what a
    // reading on a closed sensor reports.
    static constexpr int NotInitialised = 50;

    explicit CA410Sensor(QObject* parent = nullptr);
    ~CA410Sensor() override;

    // The instrument's white/red/green/blue user calibration channels, as
    // "MAT[channel]_name"; 99 exchanges with the instrument.
    QStringList GetCalList();

protected:
    bool bindLibrary() override;
    int mac_DeviceOpen(void** device, const char* port) override;
    int mac_DeviceInit(void* device) override;
    int mac_DeviceInfo(void* device, Identity* identity) override;
    QString openFailure(OpenStep step, int code) const override;
    int mac_MeasureXYZ(double* xyz) override;
    void mac_DeviceRelease(void* device) override;
};

#endif // CA410SENSOR_H
