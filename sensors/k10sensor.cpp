#include "k10sensor.h"

#include "messenger.h"
#include "sensorlibrary.h"
#include "sensortable.h"
#include "serialport.h"

#include <QDeadlineTimer>
#include <QDebug>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// The table names the library, so the sensors command and the About box
// report the one loaded here.
QString libraryName()
{
    return SensorTable::libraryOf(5);
}
constexpr int32_t kLibraryLogLevel = 7;
constexpr int kMaxSlot = Calfile::kMaxSlot;
// Name characters written into a record; the field holds one more for the zero.
constexpr int kRecordNameLength = 18;

// The records as the library lays them out.
struct K10Info {
    char productName[32];
    char serialNumber[32];
    char firmwareVersion[32];
};
struct K10CalNode {
    char name[20];
    int32_t index;
    K10CalNode* next;
};
struct K10CalRecord {
    int32_t index;
    char name[20];
    double matrix[3][3];
};
static_assert(offsetof(K10Info, serialNumber) == 32 && offsetof(K10Info, firmwareVersion) == 64,
              "device information layout");
static_assert(offsetof(K10CalNode, index) == 20 && offsetof(K10CalNode, next) == 24, "list node layout");
static_assert(offsetof(K10CalRecord, name) == 4 && offsetof(K10CalRecord, matrix) == 24
                  && sizeof(K10CalRecord) == 96,
              "calibration record layout");

using DeviceOpenFn = int32_t (*)(void** handle, const char* port, int32_t level);
using DeviceFn = int32_t (*)(void* handle);
using GetListFn = int32_t (*)(void* handle, K10CalNode** head);
using ReleaseListFn = int32_t (*)(K10CalNode** head);
using GetInfoFn = int32_t (*)(void* handle, K10Info* info);
using GetMatrixFn = int32_t (*)(void* handle, int32_t index, K10CalRecord* record);
using SaveMatrixFn = int32_t (*)(void* handle, K10CalRecord record);
using DeleteMatrixFn = int32_t (*)(void* handle, int32_t index);
using MeasureFn = int32_t (*)(void* handle, double* xyz);

// The library's entry points, shared by every instance; written only once all
// ten have resolved.
struct K10Api {
    DeviceOpenFn deviceOpen = nullptr;
    DeviceFn deviceRelease = nullptr;
    DeviceFn deviceInit = nullptr;
    GetListFn getList = nullptr;
    ReleaseListFn releaseList = nullptr;
    GetInfoFn getInfo = nullptr;
    GetMatrixFn getMatrix = nullptr;
    SaveMatrixFn saveMatrix = nullptr;
    DeleteMatrixFn deleteMatrix = nullptr;
    MeasureFn measureXYZ = nullptr;
};
K10Api api;

bool validSlot(int index)
{
    return static_cast<unsigned>(index) <= unsigned(kMaxSlot);
}

} // namespace

K10Sensor::K10Sensor(QObject* parent)
    : LibrarySensor("K10Sensor", parent)
{
    name = strSensors[5];
}

K10Sensor::~K10Sensor()
{
    // An owner that forgets release() must not leave the instrument held.
    closeLibrary();
}

bool K10Sensor::bindLibrary()
{
    if (!loadLibrary(libraryName()))
        return false;
    K10Api bound;
    bool ok = resolve(bound.deviceOpen, "k10DeviceOpen");
    ok &= resolve(bound.deviceRelease, "k10DeviceRelease");
    ok &= resolve(bound.deviceInit, "k10DeviceInit");
    ok &= resolve(bound.getList, "k10DeviceGetList");
    ok &= resolve(bound.releaseList, "k10DeviceReleaseList");
    ok &= resolve(bound.getInfo, "k10DeviceGetInfo");
    ok &= resolve(bound.getMatrix, "k10GetCalibrationMatrix");
    ok &= resolve(bound.saveMatrix, "k10SaveCalibrationMatrix");
    ok &= resolve(bound.deleteMatrix, "k10DeleteCalibrationMatrix");
    ok &= resolve(bound.measureXYZ, "k10MeasureXYZ");
    if (!ok) {
        resolveFailed(libraryName());
        return false;
    }
    api = bound;
    return true;
}

int K10Sensor::mac_DeviceOpen(void** device, const char* port)
{
    return api.deviceOpen(device, port, kLibraryLogLevel);
}

int K10Sensor::mac_DeviceInit(void* device)
{
    return api.deviceInit(device);
}

int K10Sensor::mac_DeviceInfo(void* device, Identity* identity)
{
    K10Info info = {};
    const int err = api.getInfo(device, &info);
    if (err == 0) {
        identity->product = SensorLibrary::fieldText(info.productName, int(sizeof info.productName));
        identity->serialNumber = SensorLibrary::fieldText(info.serialNumber, int(sizeof info.serialNumber));
        identity->firmwareVersion = SensorLibrary::fieldText(info.firmwareVersion, int(sizeof info.firmwareVersion));
    }
    return err;
}

QString K10Sensor::openFailure(OpenStep step, int code) const
{
    switch (step) {
    case OpenStep::Open:
        return tr("K10DeviceOpen 0 err %1, check device plugin!").arg(code);
    case OpenStep::Init:
        return tr("K10DeviceInit err %1").arg(code);
    case OpenStep::Info:
        break;
    }
    return tr("K10DeviceInfo err %1").arg(code);
}

int K10Sensor::mac_MeasureXYZ(double* xyz)
{
    if (!handle)
        return NotOpen;
    return api.measureXYZ(handle, xyz);
}

void K10Sensor::mac_DeviceRelease(void* device)
{
    api.deviceRelease(device);
}

QStringList K10Sensor::GetCalList()
{
    clearCalList();
    if (!handle)
        return calNames;
    K10CalNode* head = nullptr;
    if (api.getList(handle, &head) != 0 || !head)
        return calNames;
    int walked = 0;
    for (const K10CalNode* node = head; node && walked < MaxCalListEntries; node = node->next, ++walked)
        addCalEntry(node->index, SensorLibrary::fieldText(node->name, int(sizeof node->name)));
    api.releaseList(&head);
    return calNames;
}

Calfile K10Sensor::GetCalfile(int listIndex)
{
    Calfile calfile;
    if (listIndex < 0 || listIndex >= calChannels.size() || !validSlot(calChannels.at(listIndex))) {
        qDebug("mac_GetCalfile invalid list_id=%d > list_count %d", listIndex, int(calChannels.size()));
        return calfile;
    }
    const int index = calChannels.at(listIndex);
    qDebug("mac_GetCalfile  indexlist[%d]=%d", listIndex, index);
    if (!handle)
        return calfile;
    K10CalRecord record = {};
    const int err = api.getMatrix(handle, index, &record);
    if (err != 0) {
        qDebug("k10GetCalibrationMatrix index%d  err, %d", index, err);
        return calfile;
    }
    const QString recordName = SensorLibrary::fieldText(record.name, int(sizeof record.name));
    qDebug() << tr("k10GetCalibrationMarix get %1 %2").arg(QString::number(record.index), recordName);
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

int K10Sensor::SaveCalfile(Calfile calfile)
{
    qDebug() << "mac_SaveCalfile: start: " << calfile.GetName() << calfile.GetId();
    if (!validSlot(calfile.GetId())) {
        qDebug("mac_SaveCalfile: invalid Calfile id=%d", calfile.GetId());
        return 1;
    }
    K10CalRecord record = {};
    record.index = calfile.GetId();
    const QByteArray latin = calfile.GetName().toLatin1().left(kRecordNameLength);
    memcpy(record.name, latin.constData(), size_t(latin.size()));
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            record.matrix[i][j] = calfile(i, j);
            qDebug("Mat[%d][%d]=%f", i, j, record.matrix[i][j]);
        }
    }
    qDebug() << tr("mac_SaveCalfile: start id=%1 name=%2")
                    .arg(QString::number(record.index), QString::fromLatin1(latin));
    if (!handle)
        return 1;
    const int err = api.saveMatrix(handle, record);
    if (err != 0) {
        qDebug("k10SaveCalibrationMartix: err, 0x%x", unsigned(err));
        return 1;
    }
    qDebug("mac_SaveCalfile: done");
    return 0;
}

int K10Sensor::DelCalfile(int index)
{
    qDebug() << "mac_DelCalfile: start: " << index;
    if (!validSlot(index)) {
        qDebug("mac_DelCalfile: invalid Calfile id %d", index);
        return 1;
    }
    if (!handle)
        return 1;
    const int err = api.deleteMatrix(handle, index);
    if (err != 0) {
        qDebug("k10DeleteCalibrationMatrix: err, 0x%x", unsigned(err));
        return 1;
    }
    qDebug("mac_DelCalfile: done");
    return 0;
}

double K10Sensor::extractFloat(unsigned char hi, unsigned char lo, unsigned char exp)
{
    const int mantissa = (hi & 0x7F) * 256 + lo;
    const int exponent = exp < 129 ? exp : exp - 256;
    double value = std::ldexp(mantissa / 65536.0, exponent);
    if (hi & 0x80)
        value = -value;
    return value < 0.0 ? 0.0 : value;
}

bool K10Sensor::parsePackageData(const QByteArray& package, double* X, double* Y, double* Z)
{
    const auto byte = [&package](int i) -> unsigned char {
        return i < package.size() ? static_cast<unsigned char>(package.at(i)) : 0;
    };
    double* const outputs[3] = {X, Y, Z};
    for (int k = 0; k < 3; ++k) {
        const int at = 2 + 3 * k;
        if (outputs[k])
            *outputs[k] = extractFloat(byte(at), byte(at + 1), byte(at + 2));
    }
    return true;
}

bool K10Sensor::singleMeasure(SerialPort& port, double* X, double* Y, double* Z, int timeoutMs)
{
    if (!port.isOpen())
        return false;
    port.flush();
    const QByteArray request("\rN5\r");
    if (port.write(request) != request.size())
        return false;
    QByteArray package;
    QDeadlineTimer deadline(timeoutMs);
    while (package.size() < PackageSize) {
        const int wait = int(qMax<qint64>(deadline.remainingTime(), 0));
        if (!port.waitForReadyRead(wait))
            return false;
        const QByteArray piece = port.read(PackageSize - package.size());
        // Readable yet empty: the line has hung up.
        if (piece.isEmpty())
            return false;
        package += piece;
    }
    if (!package.startsWith("N5") && !package.startsWith("N0")) {
        qDebug() << "K10Sensor: unexpected package" << package.toHex();
        return false;
    }
    return parsePackageData(package, X, Y, Z);
}
