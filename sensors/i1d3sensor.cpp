#include "i1d3sensor.h"

#include "messenger.h"
#include "sensorlibrary.h"
#include "sensortable.h"

#include <QDebug>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

// The table names the library, so the sensors command and the About box
// report the one loaded here.
QString libraryName()
{
    return SensorTable::libraryOf(4);
}

// The records as the library lays them out. The device information is given
// room beyond its last text, whose length the library does not state.
struct DeviceInfo {
    char product[34];
    char serial[32];
    char firmware[32];
    char firmwareDate[158];
};
static_assert(offsetof(DeviceInfo, serial) == 34, "device information layout");
static_assert(offsetof(DeviceInfo, firmware) == 66, "device information layout");
static_assert(offsetof(DeviceInfo, firmwareDate) == 98, "device information layout");

struct Status {
    int32_t diffuserPosition;
    int32_t ledState;
    double integrationTime;
};
static_assert(offsetof(Status, ledState) == 4 && offsetof(Status, integrationTime) == 8,
              "status layout");

struct CalNode {
    int32_t index;
    char name[20];
    CalNode* next;
};
static_assert(offsetof(CalNode, name) == 4 && offsetof(CalNode, next) == 24,
              "calibration list layout");

struct CalRecord {
    int32_t index;
    char name[20];
    double matrix[3][3];
};
static_assert(offsetof(CalRecord, name) == 4 && offsetof(CalRecord, matrix) == 24,
              "calibration record layout");

// The name the driver writes leaves room for the terminating zero.
constexpr int kMaxNameLength = 18;
constexpr int32_t kLogLevel = 5;
// Calls made without an open device fail with the library's own code for it.
constexpr int32_t kNoDevice = (4 << 16) | 21;
// Bounds the walk of a calibration list whose links the library got wrong.
constexpr int kMaxListNodes = 1024;
// Keeps the wait the monitor is told within range whatever the clock did.
constexpr qint64 kMaxReadingTime = 24 * 3600 * 1000;

qint64 steadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

struct I1d3Sensor::Api {
    int32_t (*deviceOpen)(void** handle, const char* port, int32_t logLevel) = nullptr;
    int32_t (*deviceInit)(void* handle) = nullptr;
    int32_t (*deviceRelease)(void* handle) = nullptr;
    int32_t (*getDeviceInfo)(void* handle, DeviceInfo* info) = nullptr;
    int32_t (*getStatusInfo)(void* handle, Status* status) = nullptr;
    int32_t (*setIntegrationTime)(void* handle, double seconds) = nullptr;
    int32_t (*setLedState)(void* handle, int32_t state) = nullptr;
    int32_t (*readDiffuserPosition)(void* handle, int32_t* position) = nullptr;
    int32_t (*measureXYZ)(void* handle, double* xyz) = nullptr;
    int32_t (*getUsrdataEnableState)(void* handle, int32_t* enabled) = nullptr;
    int32_t (*getCallist)(void* handle, CalNode** head, int32_t* count) = nullptr;
    int32_t (*releaseCallist)(void* handle, CalNode** head) = nullptr;
    int32_t (*getCalfile)(void* handle, int32_t index, CalRecord* record) = nullptr;
    int32_t (*saveCalfile)(void* handle, const CalRecord* record) = nullptr;
    int32_t (*deleteCalfile)(void* handle, int32_t index) = nullptr;
};

QString i1d3_err(int32_t code)
{
    switch (code & 0xff) {
    case 0: return QStringLiteral("No device error");
    case 3: return QStringLiteral("External EEPRrom checksum doesn't match");
    case 5: return QStringLiteral("Ambient filter should be removed");
    case 6: return QStringLiteral("Ambient filter should be used");
    case 16: return QStringLiteral("There are too few spectral calibration samples - need at least 3");
    case 17: return QStringLiteral("Unable to write full message to instrument");
    case 18: return QStringLiteral("Unable to read full message to instrument");
    case 19: return QStringLiteral("Message from instrument had bad status code");
    case 20: return QStringLiteral("Message from instrument didn't echo command code");
    case 21: return QStringLiteral("Instrument hasn't been initialized");
    case 22: return QStringLiteral("too bright to read accuractly");
    case 32: return QStringLiteral("Out of range EEPROM address");
    case 33: return QStringLiteral("Out of range EEPROM length");
    case 34: return QStringLiteral("Creating spectral to CIE converted failed");
    case 35: return QStringLiteral("Calibration matrix inversion failed");
    case 36: return QStringLiteral("Parameters to set LED are incorrect");
    case 37: return QStringLiteral("Communications hasn't been established");
    case 38: return QStringLiteral("Instrument status is unrecognised format");
    case 39: return QStringLiteral("Starting diffuser position thread failed");
    case 97: return QStringLiteral("Internal software error");
    case 98: return QStringLiteral("Communications failure");
    case 99: return QStringLiteral("Not a known Huey Model");
    case 100: return QStringLiteral("Data from i1 Display didn't parse as expected");
    case 101: return QStringLiteral("Invalid input args");
    case 102: return QStringLiteral("Usr storage r/w disabled");
    default: return QStringLiteral("Unknown error code");
    }
}

QString mlink_err(int32_t code)
{
    static const char* const texts[] = {
        "No Mlink error",
        "Notification",
        "Warning",
        "Internal error - communications needed but not established",
        "Internal error - initialisation needed but not done",
        "Unsupported function",
        "Internal software error",
        "Communications failure",
        "Not expected instrument model",
        "Communication protocol breakdown",
        "User hit Abort Key",
        "Unknown inst error code",
        "User hit Trigger Key",
        "Unknown inst error code",
        "Measurement misread",
        "No saved data to read",
        "Chart being read doesn't match chart expected",
        "Instrument needs calibration",
        "Instrument needs to be setup for calibration",
        "Wrong Sensor Position",
        "Unexpected Reply",
        "Wrong or conflicting setup",
        "Hardware Failure",
        "Operating System Error",
        "Bad Parameter Value",
        "Non-specific error",
    };
    const int errorClass = (code >> 16) & 0xff;
    if (errorClass >= int(sizeof(texts) / sizeof(texts[0])))
        return QStringLiteral("Unknown inst error code");
    return QString::fromLatin1(texts[errorClass]);
}

I1d3Sensor::I1d3Sensor(QObject* parent)
    : CSensor(parent), api(std::make_unique<Api>()), reading(noDataColor)
{
    name = strSensors[4];
    hasComPort = sensorHasCom[4];
    setClock(Clock());
}

I1d3Sensor::~I1d3Sensor()
{
    // An owner that forgets release() must not leave the instrument held.
    closeLibrary();
}

void I1d3Sensor::setClock(Clock newClock)
{
    clock = newClock ? std::move(newClock) : Clock(steadyMilliseconds);
}

bool I1d3Sensor::init(QString port)
{
    if (isOpen)
        return true;
    if (!openDevice())
        return false;
    return CSensor::init(port);
}

bool I1d3Sensor::bindLibrary()
{
    const auto bind = [this](auto& fn, const char* symbol) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(library.resolve(symbol));
        return fn != nullptr;
    };
    Api& a = *api;
    return bind(a.deviceOpen, "i1d3DeviceOpen") && bind(a.deviceInit, "i1d3DeviceInit")
        && bind(a.deviceRelease, "i1d3DeviceRelease") && bind(a.getDeviceInfo, "i1d3GetDeviceInfo")
        && bind(a.getStatusInfo, "i1d3GetStatusInfo")
        && bind(a.setIntegrationTime, "i1d3SetIntegrationTime")
        && bind(a.setLedState, "i1d3SetLedState")
        && bind(a.readDiffuserPosition, "i1d3ReadDiffuserPosition")
        && bind(a.measureXYZ, "i1d3MeasureXYZ")
        && bind(a.getUsrdataEnableState, "i1d3GetUsrdataEnableState")
        && bind(a.getCallist, "i1d3GetCallist") && bind(a.releaseCallist, "i1d3ReleaseCallist")
        && bind(a.getCalfile, "i1d3GetCalfile") && bind(a.saveCalfile, "i1d3SaveCalfile")
        && bind(a.deleteCalfile, "i1d3DeleteCalfile");
}

bool I1d3Sensor::openDevice()
{
    // A library left loaded by a failed attempt is loaded afresh.
    closeLibrary();
    const QString file = SensorLibrary::fileName(libraryName());
    if (!SensorLibrary::load(library, libraryName())) {
        Messenger::warning(nullptr, name, tr("Can not open %1").arg(file));
        return false;
    }
    if (!bindLibrary()) {
        *api = Api();
        Messenger::warning(nullptr, name, tr("Error resolve %1").arg(file));
        return false;
    }

    qDebug("start init");
    void* dev = nullptr;
    int32_t rv = api->deviceOpen(&dev, nullptr, kLogLevel);
    if (rv != 0) {
        Messenger::warning(nullptr, name,
                           tr("I1d3DeviceOpen 0 err %1,check device plugin!").arg(i1d3_err(rv)));
        return false;
    }
    handle = dev;
    qDebug("dev opened");

    rv = api->deviceInit(handle);
    if (rv != 0)
        return failOpen(tr("I1d3DeviceInit err, %1"), rv);

    DeviceInfo info = {};
    rv = api->getDeviceInfo(handle, &info);
    if (rv != 0)
        return failOpen(tr("I1d3GetDeviceInfo  err, %1"), rv);
    serialNumber = SensorLibrary::fieldText(info.serial, sizeof(info.serial));
    firmwareVersion = SensorLibrary::fieldText(info.firmware, sizeof(info.firmware));
    qDebug("Productname: %s", qPrintable(SensorLibrary::fieldText(info.product, sizeof(info.product))));
    qDebug("Serialnum:   %s", qPrintable(serialNumber));
    qDebug("Firmversion: %s", qPrintable(firmwareVersion));
    qDebug("Firmdate :   %s", qPrintable(SensorLibrary::fieldText(info.firmwareDate, sizeof(info.firmwareDate))));

    int32_t enabled = 0;
    rv = api->getUsrdataEnableState(handle, &enabled);
    if (rv != 0)
        return failOpen(tr("i1d3GetUsrdataEnableState err, %1"), rv);
    usrEnabled = enabled;

    Status status = {};
    rv = api->getStatusInfo(handle, &status);
    if (rv != 0)
        return failOpen(tr("I1d3GetDeviceStatus  err, %1"), rv);
    qDebug("Pos=%d  Led=%d inttime=%f usr_en=%d", status.diffuserPosition, status.ledState,
           status.integrationTime, usrEnabled);

    rv = api->setLedState(handle, 1);
    if (rv != 0)
        return failOpen(tr("I1d3SetLEDControl  err,%1"), rv);

    qDebug("init done");
    return true;
}

bool I1d3Sensor::failOpen(const QString& text, int32_t code)
{
    closeDevice();
    Messenger::warning(nullptr, name, text.arg(i1d3_err(code)));
    return false;
}

void I1d3Sensor::closeDevice()
{
    if (handle && api->deviceRelease)
        api->deviceRelease(handle);
    // The handle is invalid from here on, whatever the library answered.
    handle = nullptr;
}

void I1d3Sensor::closeLibrary()
{
    if (library.isLoaded()) {
        closeDevice();
        *api = Api();
        library.unload();
    }
}

void I1d3Sensor::release()
{
    closeLibrary();
    CSensor::release();
}

int32_t I1d3Sensor::measureXYZ(double* xyz)
{
    if (!handle)
        return kNoDevice;
    return api->measureXYZ(handle, xyz);
}

void I1d3Sensor::setLed(int32_t state)
{
    if (handle)
        api->setLedState(handle, state);
}

int I1d3Sensor::elapsedSince(qint64 start) const
{
    return int(qBound<qint64>(0, clock() - start, kMaxReadingTime));
}

int I1d3Sensor::startMeasure()
{
    qDebug("mac_start measure");
    if (delayMode) {
        qDebug("IN MeasureDelay , skipMeasure to getColor");
        return DefaultWait;
    }
    if (measureDelay >= SlowReading) {
        // The last reading was slow: GetColor() takes this one, so the caller
        // is not kept waiting here.
        measured = false;
        qDebug("Last meausreWaitTime [%dms], do meaure in getColor", measureDelay);
        return SlowWaitExtra + measureDelay;
    }

    const qint64 start = clock();
    setLed(0);
    measured = false;
    double xyz[3] = {};
    const int32_t rv = measureXYZ(xyz);
    if (rv != 0) {
        // Nothing is pending, so the LED goes back on.
        setLed(1);
        Messenger::warning(nullptr, name, tr("measrueXYZ err, %1").arg(i1d3_err(rv)));
        return FailedWait;
    }
    measured = true;
    reading = CColor(xyz[0], xyz[1], xyz[2]);
    measureDelay = elapsedSince(start);
    qDebug("startMeasure XYZ: X=%f Y=%f Z=%f, using %d ms", xyz[0], xyz[1], xyz[2], measureDelay);

    if (measureDelay >= SlowReading) {
        delayMode = true;
        qDebug("MeasureDelay   --->   true");
        return 0;
    }
    return DefaultWait;
}

void I1d3Sensor::stopMeasure()
{
    qDebug("mac stop measure");
}

CColor I1d3Sensor::GetColor()
{
    qDebug("mac getcolor");
    if (!measured) {
        qDebug("mac getcolor   remeasureXYZ!");
        const qint64 start = clock();
        double xyz[3] = {};
        const int32_t rv = measureXYZ(xyz);
        setLed(1);
        if (rv != 0) {
            Messenger::warning(nullptr, name, tr("measXYZ err, %1").arg(i1d3_err(rv)));
            // Zeros would pass for a reading of black; only the library's
            // result tells a failure from one.
            return noDataColor;
        }
        measured = true;
        reading = CColor(xyz[0], xyz[1], xyz[2]);
        measureDelay = elapsedSince(start);
        qDebug("getColor: XYZ: X=%f Y=%f Z=%f, using %d ms", xyz[0], xyz[1], xyz[2], measureDelay);
    } else {
        setLed(1);
    }

    if (delayMode) {
        delayMode = false;
        qDebug("MeasureDelay  -->  false");
    }

    CColor result = noDataColor;
    for (int i = 0; i < 3; ++i)
        result[i] = reading[i];
    qDebug("!!!X=%f  Y=%f  Z=%f", result[0], result[1], result[2]);
    color = result;
    emit colorChanged(result);
    return result;
}

QStringList I1d3Sensor::GetCalList()
{
    calNames.clear();
    calChannels.clear();
    if (!handle) {
        qDebug("mac_GetCalList: no device");
        return calNames;
    }
    CalNode* head = nullptr;
    int32_t count = 0;
    const int32_t rv = api->getCallist(handle, &head, &count);
    if (rv == 0) {
        int walked = 0;
        for (const CalNode* node = head; node && walked < kMaxListNodes; node = node->next, ++walked) {
            const QString entry = QStringLiteral("MAT[%1]_%2")
                                      .arg(QString::number(node->index),
                                           SensorLibrary::fieldText(node->name, sizeof(node->name)));
            calNames.append(entry);
            calChannels.append(node->index);
            qDebug() << tr("add callist[%1]=[%2]").arg(QString::number(node->index), entry);
        }
    } else {
        qDebug("i1d3GetCallist err, 0x%x", unsigned(rv));
    }
    // Whatever the library handed out is given back, even with a failure.
    if (head)
        api->releaseCallist(handle, &head);
    qDebug() << tr("mac_GetCalList: get %1").arg(count);
    return calNames;
}

Calfile I1d3Sensor::GetCalfile(int listIndex)
{
    Calfile calfile;
    const int listCount = calChannels.size();
    if (listIndex < 0 || listIndex >= listCount || calChannels.at(listIndex) < 0
        || calChannels.at(listIndex) > MaxCalIndex) {
        qDebug("mac_GetCalfile invalid list_id=%d > list_count %d", listIndex, listCount);
        return calfile;
    }
    const int index = calChannels.at(listIndex);
    qDebug("mac_GetCalfile indexlist[%d] = %d", listIndex, index);
    if (!handle) {
        qDebug("i1d3GetCalfile index%d err,%d", index, kNoDevice);
        return calfile;
    }
    CalRecord record = {};
    const int32_t rv = api->getCalfile(handle, index, &record);
    if (rv != 0) {
        qDebug("i1d3GetCalfile index%d err,%d", index, rv);
        return calfile;
    }
    const QString recordName = SensorLibrary::fieldText(record.name, sizeof(record.name));
    qDebug() << tr("i1d3GetCalfile get %1 %2").arg(QString::number(record.index), recordName);
    calfile.SetName(recordName);
    calfile.SetId(record.index);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            calfile.SetData(i, j, record.matrix[i][j]);
            qDebug("mat[%d][%d]=%f", i, j, record.matrix[i][j]);
        }
    }
    return calfile;
}

int I1d3Sensor::SaveCalfile(Calfile calfile)
{
    const int id = calfile.GetId();
    qDebug() << "mac_SaveCalfile: start " << calfile.GetName() << id;
    if (id < 0 || id > MaxCalIndex) {
        qDebug("mac_SaveCalfile: invalid Calfile id=%d", id);
        return 1;
    }

    CalRecord record = {};
    record.index = id;
    const QByteArray latin = calfile.GetName().toLatin1().left(kMaxNameLength);
    std::memcpy(record.name, latin.constData(), std::size_t(latin.size()));
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            record.matrix[i][j] = calfile(i, j);
            qDebug("Mat[%d][%d]=%f", i, j, record.matrix[i][j]);
        }
    }
    qDebug() << tr("mac_SaveCalfile: start id=%1 name=%2")
                    .arg(QString::number(id), SensorLibrary::fieldText(record.name, sizeof(record.name)));

    const int32_t rv = handle ? api->saveCalfile(handle, &record) : kNoDevice;
    if (rv == 0) {
        qDebug("mac_SaveCalfile: done");
        return 0;
    }
    qDebug("i1d3SaveCalfile: err, 0x%x", unsigned(rv));
    return 1;
}

int I1d3Sensor::DelCalfile(int index)
{
    qDebug() << "mac_DelCalfile: start " << index;
    if (index < 0 || index > MaxCalIndex) {
        qDebug("mac_DelCalfile: invalid Calfile id %d", index);
        return 1;
    }
    const int32_t rv = handle ? api->deleteCalfile(handle, index) : kNoDevice;
    if (rv == 0) {
        qDebug("mac_DelCalfile: done");
        return 0;
    }
    qDebug("i1d3DeleteCalfile err, 0x%x", unsigned(rv));
    return 1;
}
