#ifndef K10SENSOR_H
#define K10SENSOR_H

#include "calfile.h"
#include "librarysensor.h"
#include "matrixstore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class SerialPort;

// Driver of the K-10 colorimeter, reached through the outside libmlink_k10. It
// measures like the CA-410 driver and also reads, writes and deletes the
// calibration matrices kept in the instrument (slots 0-95).
class K10Sensor : public LibrarySensor, public MatrixStore
{
    Q_OBJECT

public:
    // What a reading on a closed sensor reports; the library is not called.
    static constexpr int NotOpen = -1;
    // The package singleMeasure() reads.
    static constexpr int PackageSize = 15;

    explicit K10Sensor(QObject* parent = nullptr);
    ~K10Sensor() override;

    // The stored matrices as "MAT[index]_name", in the library's order.
    MatrixStore* matrixStore() override { return this; }

    QStringList GetCalList() override;
    // The matrix at position listIndex of the last GetCalList(); an empty
    // Calfile on failure.
    Calfile GetCalfile(int listIndex) override;
    // 0 when stored; 1 otherwise.
    int SaveCalfile(Calfile calfile) override;
    // 0 when deleted; 1 otherwise.
    int DelCalfile(int index) override;

    // Decodes X, Y, Z from bytes 2-4, 5-7 and 8-10 of a measurement package;
    // missing bytes read as 0. Always true.
    static bool parsePackageData(const QByteArray& package, double* X, double* Y, double* Z);
    // One 3-byte float: sign and 15-bit mantissa (scaled by 2^-16), then a
    // two's-complement exponent. Negative values read as 0.
    static double extractFloat(unsigned char hi, unsigned char lo, unsigned char exp);
    // Reads one package directly from an instrument on an open serial port,
    // waiting at most timeoutMs for it; not used by the library path.
    static bool singleMeasure(SerialPort& port, double* X, double* Y, double* Z, int timeoutMs = 3000);

protected:
    bool bindLibrary() override;
    int mac_DeviceOpen(void** device, const char* port) override;
    int mac_DeviceInit(void* device) override;
    int mac_DeviceInfo(void* device, Identity* identity) override;
    QString openFailure(OpenStep step, int code) const override;
    int mac_MeasureXYZ(double* xyz) override;
    void mac_DeviceRelease(void* device) override;
};

#endif // K10SENSOR_H
