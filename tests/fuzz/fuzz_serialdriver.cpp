// A serial instrument driver (CR-100/CR-250, CS-2000, PR-6xx, or the K-10's
// direct package read, chosen when the target is built) on whatever its
// instrument replies, through a serial port whose far end is an instrument in
// memory: each command gets the next reply, a wait without one the next reply
// unasked, and once the replies are used up the line hangs up, so no driver
// wait takes real time.
//
// Input: one operation byte, then the replies separated by 0xff bytes, in the
// order the driver asks for them. An empty reply is a wait that times out.
#include "fuzzinput.h"
#include "qtquiet.h"

#include "crxxxcensor.h"
#include "cs2000sensor.h"
#include "k10sensor.h"
#include "pr6xxsensor.h"
#include "scriptedserialdevice.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int kPortNumber = 3;
// Not a path: the port finds the device registered under it.
const QString kPattern = QStringLiteral("scripted:ttyACM%1");

QList<QByteArray> replies(FuzzInput& in)
{
    QList<QByteArray> list;
    while (!in.empty() && list.size() < 64)
        list.append(QByteArray::fromStdString(in.piece('\xff')));
    return list;
}

// Plays the replies on the port name for as long as it lives.
class Instrument
{
public:
    Instrument(const QString& name, QList<QByteArray> replies, char commandEnd)
        : m_name(name)
    {
        SerialPort::setDevice(m_name, std::make_shared<ScriptedSerialDevice>(std::move(replies), commandEnd));
    }
    ~Instrument() { SerialPort::setDevice(m_name, nullptr); }
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

private:
    QString m_name;
};

template <typename Sensor>
void storedPortSensor(Sensor& sensor, uint8_t op)
{
    sensor.setDevicePattern(kPattern);
    if (sensor.init(QString())) {
        if (op & 1)
            sensor.startMeasure();
        sensor.GetColor();
        if (op & 2)
            sensor.stopMeasure();
    }
    sensor.release();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    quietQtLog();
    new QCoreApplication(*argc, *argv);
    // The remembered port number lives in the settings: keep them out of the home directory.
    const QString dir = QStringLiteral("/tmp/fuzz_serialdriver_%1").arg(getpid());
    QDir().mkpath(dir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
    CSensor::setComPort(kPortNumber);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    FuzzInput in(data, size);
    const uint8_t op = in.byte();
    const QString port = kPattern.arg(kPortNumber);
#if defined(FUZZ_DRIVER_CRXXX)
    Instrument instrument(port, replies(in), '\r');
    CRXXXCensor sensor;
    sensor.setReadDeadline(1000);
    if (sensor.init(port)) {
        switch (op % 7) {
        case 0: sensor.startMeasure(); sensor.GetColor(); break;
        case 1: sensor.setCalibMode(op >> 3); break;
        case 2: sensor.setCalibMatrix(op >> 3); break;
        case 3: sensor.setCalibMatch(op >> 3); break;
        case 4: sensor.setSyncMode(op >> 3); break;
        case 5: sensor.setSynFreq(op); break;
        default: sensor.setSpeedMode(op >> 3); break;
        }
    }
    sensor.release();
#elif defined(FUZZ_DRIVER_CS2000)
    Instrument instrument(port, replies(in), '\n');
    CS2000Sensor sensor;
    sensor.setReplyDeadline(1000);
    storedPortSensor(sensor, op);
#elif defined(FUZZ_DRIVER_PR6XX)
    Instrument instrument(port, replies(in), '\r');
    PR6xxSensor sensor;
    sensor.setCollectDeadline(1000);
    storedPortSensor(sensor, op);
#elif defined(FUZZ_DRIVER_K10PORT)
    const QList<QByteArray> list = replies(in);
    double x = 0, y = 0, z = 0;
    for (const QByteArray& package : list)
        K10Sensor::parsePackageData(package, &x, &y, &z);
    Instrument instrument(port, list, '\0');
    SerialPort serial(port);
    if (serial.open())
        K10Sensor::singleMeasure(serial, &x, &y, &z, 500 + op);
#else
#error "no driver chosen"
#endif
    return 0;
}
