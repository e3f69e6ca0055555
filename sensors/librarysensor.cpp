#include "librarysensor.h"

#include "messenger.h"
#include "sensorlibrary.h"

#include <QDebug>
#include <QElapsedTimer>

namespace {
// Readings longer than this are worth a note in the log.
constexpr qint64 kLongReading = 5000;
} // namespace

LibrarySensor::LibrarySensor(const char* tag_, QObject* parent)
    : CSensor(parent), tag(tag_), reading(noDataColor)
{
    hasComPort = true;
    qDebug("%s()", tag);
}

LibrarySensor::~LibrarySensor()
{
    // The subclass has given the handle back by now (closeLibrary()).
    qDebug("~%s()", tag);
}

bool LibrarySensor::loadLibrary(const QString& baseName)
{
    // A library left loaded by a failed attempt would stay mapped for good
    // once the loader is pointed at a file again.
    closeLibrary();
    if (SensorLibrary::load(library, baseName))
        return true;
    Messenger::warning(nullptr, name, tr("Can not open %1").arg(SensorLibrary::fileName(baseName)));
    return false;
}

void LibrarySensor::resolveFailed(const QString& baseName)
{
    Messenger::warning(nullptr, name, tr("Error resolve %1").arg(SensorLibrary::fileName(baseName)));
}

void LibrarySensor::closeLibrary()
{
    if (library.isLoaded()) {
        if (handle)
            mac_DeviceRelease(handle);
        handle = nullptr;
        library.unload();
    }
}

bool LibrarySensor::init(QString port)
{
    if (isOpen)
        return true;
    qDebug() << tag << "init: " << port;
    if (!bindLibrary())
        return false;

    const QByteArray path = port.toUtf8();
    qDebug() << "start init" << path;
    // The handle is kept only once the instrument is fully set up, so a failed
    // attempt never leaves one behind for release() to give back a second time.
    void* device = nullptr;
    int err = mac_DeviceOpen(&device, path.constData());
    if (err != 0) {
        Messenger::warning(nullptr, name, openFailure(OpenStep::Open, err));
        return false;
    }
    qDebug("dev opened");
    err = mac_DeviceInit(device);
    if (err != 0) {
        mac_DeviceRelease(device);
        Messenger::warning(nullptr, name, openFailure(OpenStep::Init, err));
        return false;
    }
    Identity identity;
    err = mac_DeviceInfo(device, &identity);
    if (err != 0) {
        mac_DeviceRelease(device);
        Messenger::warning(nullptr, name, openFailure(OpenStep::Info, err));
        return false;
    }
    serialNumber = identity.serialNumber;
    firmwareVersion = identity.firmwareVersion;
    qDebug("Productname: %s", qUtf8Printable(identity.product));
    qDebug("Serialnum:   %s", qUtf8Printable(serialNumber));
    qDebug("Firmversion: %s", qUtf8Printable(firmwareVersion));
    handle = device;
    qDebug("init done");
    return CSensor::init(port);
}

void LibrarySensor::release()
{
    qDebug("%s:: release start", tag);
    closeLibrary();
    CSensor::release();
    qDebug("%s::release done", tag);
}

int LibrarySensor::startMeasure()
{
    qDebug("mac_startMeasure");
    QElapsedTimer elapsed;
    elapsed.start();
    measured = false;
    double xyz[3] = {0.0, 0.0, 0.0};
    const int err = mac_MeasureXYZ(xyz);
    if (err != 0) {
        Messenger::warning(nullptr, name, tr("measureXYZ err, %1").arg(err));
        return FailedWait;
    }
    measured = true;
    reading = CColor(xyz[0], xyz[1], xyz[2]);
    measureDelay = int(elapsed.elapsed());
    qDebug("startMeasure XYZ: X=%f Y=%f Z=%f, using %d ms", xyz[0], xyz[1], xyz[2], measureDelay);
    if (measureDelay > kLongReading)
        qDebug("MeasureDelay  ------");
    lowLight = xyz[1] < DimLuminance;
    return lowLight ? DimWait : BrightWait;
}

void LibrarySensor::stopMeasure()
{
    // A reading in progress cannot be cancelled through the library.
    qDebug("mac_stopMeasure");
    qDebug("%s stopMeasure", tag);
}

CColor LibrarySensor::mac_GetColor()
{
    qDebug("mac  getcolor");
    CColor result(noDataColor);
    if (!measured || lowLight) {
        qDebug("mac getcolor  remeasureXYZ!");
        // Only a dim reading of this round is averaged; after a failed
        // startMeasure the reading kept is an older one.
        const bool average = measured && lowLight;
        QElapsedTimer elapsed;
        elapsed.start();
        double xyz[3] = {0.0, 0.0, 0.0};
        const int err = mac_MeasureXYZ(xyz);
        if (err != 0) {
            Messenger::warning(nullptr, name, tr("measXYZ err, %1").arg(err));
            // Zeros would pass for a reading of black; only the library's
            // result tells a failure from one.
            return noDataColor;
        }
        measured = true;
        measureDelay = int(elapsed.elapsed());
        if (average) {
            for (int i = 0; i < 3; ++i)
                reading[i] = (reading[i] + xyz[i]) / 2.0;
            qDebug("dark-meas: XYZ: X=%f  Y=%f  Z=%f, using %d ms", xyz[0], xyz[1], xyz[2], measureDelay);
        } else {
            reading = CColor(xyz[0], xyz[1], xyz[2]);
            qDebug("remeas   : XYZ: X=%f  Y=%f  Z=%f, using %d ms", xyz[0], xyz[1], xyz[2], measureDelay);
        }
    }
    for (int i = 0; i < 3; ++i)
        result[i] = reading[i];
    qDebug("!!!X=%f  Y=%f  Z=%f", result[0], result[1], result[2]);
    return result;
}

CColor LibrarySensor::GetColor()
{
    color = mac_GetColor();
    emit colorChanged(color);
    return color;
}

void LibrarySensor::clearCalList()
{
    calNames.clear();
    calChannels.clear();
}

void LibrarySensor::addCalEntry(int channel, const QString& calName)
{
    const QString entry = QStringLiteral("MAT[%1]_%2").arg(QString::number(channel), calName);
    calNames.append(entry);
    calChannels.append(channel);
    qDebug() << tr("add callist[%1]=[%2]").arg(QString::number(channel), entry);
}
