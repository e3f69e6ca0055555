#include "ca410sensor.h"

#include "messenger.h"
#include "mlink_ca410.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QDebug>

namespace {

// The table names the library, so the sensors command and the About box
// report the one loaded here.
QString libraryName()
{
    return SensorTable::libraryOf(7);
}
// Log level handed to the library.
constexpr int32_t kLibraryLogLevel = 6;

// The library's entry points, shared by every instance. They are written only
// once all sixteen have resolved.
struct Ca410Api {
    decltype(&ca410DeviceOpen) deviceOpen = nullptr;
    decltype(&ca410DeviceRelease) deviceRelease = nullptr;
    decltype(&ca410DeviceInit) deviceInit = nullptr;
    decltype(&ca410GetCallist) getCallist = nullptr;
    decltype(&ca410DeleteCallist) deleteCallist = nullptr;
    decltype(&ca410GetDeviceInfo) getDeviceInfo = nullptr;
    decltype(&ca410GetDeviceStat) getDeviceStat = nullptr;
    decltype(&ca410GetCalfile) getCalfile = nullptr;
    decltype(&ca410DeleteCalfile) deleteCalfile = nullptr;
    decltype(&ca410MeasureXYZ) measureXYZ = nullptr;
    decltype(&ca410SetChannel) setChannel = nullptr;
    decltype(&ca410WRGBCalibWhite) calibWhite = nullptr;
    decltype(&ca410WRGBCalibRed) calibRed = nullptr;
    decltype(&ca410WRGBCalibGreen) calibGreen = nullptr;
    decltype(&ca410WRGBCalibBlue) calibBlue = nullptr;
    decltype(&ca410WRGBCalibEnd) calibEnd = nullptr;
};
Ca410Api api;

} // namespace

CA410Sensor::CA410Sensor(QObject* parent)
    : LibrarySensor("CA410Sensor", parent)
{
    name = strSensors[7];
}

CA410Sensor::~CA410Sensor()
{
    // An owner that forgets release() must not leave the instrument held.
    closeLibrary();
}

bool CA410Sensor::bindLibrary()
{
    if (!loadLibrary(libraryName()))
        return false;
    Ca410Api bound;
    // Every name is tried, so the log tells all that are missing.
    bool ok = resolve(bound.deviceOpen, "ca410DeviceOpen");
    ok &= resolve(bound.deviceRelease, "ca410DeviceRelease");
    ok &= resolve(bound.deviceInit, "ca410DeviceInit");
    ok &= resolve(bound.getCallist, "ca410GetCallist");
    ok &= resolve(bound.deleteCallist, "ca410DeleteCallist");
    ok &= resolve(bound.getDeviceInfo, "ca410GetDeviceInfo");
    ok &= resolve(bound.getDeviceStat, "ca410GetDeviceStat");
    ok &= resolve(bound.getCalfile, "ca410GetCalfile");
    ok &= resolve(bound.deleteCalfile, "ca410DeleteCalfile");
    ok &= resolve(bound.measureXYZ, "ca410MeasureXYZ");
    ok &= resolve(bound.setChannel, "ca410SetChannel");
    ok &= resolve(bound.calibWhite, "ca410WRGBCalibWhite");
    ok &= resolve(bound.calibRed, "ca410WRGBCalibRed");
    ok &= resolve(bound.calibGreen, "ca410WRGBCalibGreen");
    ok &= resolve(bound.calibBlue, "ca410WRGBCalibBlue");
    ok &= resolve(bound.calibEnd, "ca410WRGBCalibEnd");
    if (!ok) {
        resolveFailed(libraryName());
        return false;
    }
    api = bound;
    return true;
}

int CA410Sensor::mac_DeviceOpen(void** device, const char* port)
{
    ca410_dev* dev = nullptr;
    const int err = api.deviceOpen(&dev, port, kLibraryLogLevel);
    *device = dev;
    return err;
}

int CA410Sensor::mac_DeviceInit(void* device)
{
    return api.deviceInit(static_cast<ca410_dev*>(device));
}

int CA410Sensor::mac_DeviceInfo(void* device, Identity* identity)
{
    ca410Info info = {};
    const int err = api.getDeviceInfo(static_cast<ca410_dev*>(device), &info);
    if (err == 0) {
        identity->product = SensorLibrary::fieldText(info.product_name, int(sizeof info.product_name));
        identity->serialNumber = SensorLibrary::fieldText(info.serial_number, int(sizeof info.serial_number));
        identity->firmwareVersion =
            SensorLibrary::fieldText(info.firmware_version, int(sizeof info.firmware_version));
    }
    return err;
}

QString CA410Sensor::openFailure(OpenStep step, int code) const
{
    switch (step) {
    case OpenStep::Open:
        return tr("ca410DeviceOpen 0 err %1, check device plugin!").arg(code);
    case OpenStep::Init:
        return tr("ca410DeviceInit err %1").arg(code);
    case OpenStep::Info:
        break;
    }
    return tr("ca410GetDeviceInfo err %1").arg(code);
}

int CA410Sensor::mac_MeasureXYZ(double* xyz)
{
    // Without a handle the library is not bound (or no longer loaded).
    if (!handle)
        return NotInitialised;
    return api.measureXYZ(static_cast<ca410_dev*>(handle), xyz);
}

void CA410Sensor::mac_DeviceRelease(void* device)
{
    api.deviceRelease(static_cast<ca410_dev*>(device));
}

QStringList CA410Sensor::GetCalList()
{
    clearCalList();
    if (!handle)
        return calNames;
    ca410_calitem* list = nullptr;
    int32_t count = 0;
    const int err = api.getCallist(static_cast<ca410_dev*>(handle), &list, &count);
    if (err != 0 || !list)
        return calNames;
    int walked = 0;
    for (const ca410_calitem* item = list; item && walked < MaxCalListEntries; item = item->next, ++walked)
        addCalEntry(item->channel, SensorLibrary::fieldText(item->name, int(sizeof item->name)));
    api.deleteCallist(&list);
    return calNames;
}
