// A serial instrument driver (CR-100/CR-250, CS-2000, PR-6xx, or the K-10's
// direct package read, chosen when the target is built) on whatever its
// instrument replies, through a pseudo-terminal.
//
// Input: one operation byte, then the replies separated by 0xff bytes, in the
// order the driver asks for them.
#include "fuzzinput.h"
#include "ptypeer.h"
#include "qtquiet.h"

#include "crxxxcensor.h"
#include "cs2000sensor.h"
#include "k10sensor.h"
#include "pr6xxsensor.h"
#include "serialport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <unistd.h>

#include <cstdlib>

namespace {

constexpr int kPortNumber = 3;

// The CS-2000 and PR-6xx open the ttyACM device numbered by the remembered port:
// a link of that name in a directory of this process leads to the terminal.
QString linkDir()
{
    static const QString dir = QStringLiteral("/tmp/fuzz_serialdriver_%1").arg(getpid());
    return dir;
}

std::vector<std::string> replies(FuzzInput& in)
{
    std::vector<std::string> list;
    while (!in.empty() && list.size() < 64)
        list.push_back(in.piece('\xff'));
    return list;
}

template <typename Sensor>
void storedPortSensor(Sensor& sensor, const PtyPeer& peer, uint8_t op)
{
    const QString link = linkDir() + QStringLiteral("/ttyACM%1").arg(kPortNumber);
    QFile::remove(link);
    if (!QFile::link(QString::fromStdString(peer.path()), link))
        std::abort();
    sensor.setDevicePattern(linkDir() + QStringLiteral("/ttyACM%1"));
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
    QDir().mkpath(linkDir());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, linkDir());
    CSensor::setComPort(kPortNumber);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    FuzzInput in(data, size);
    const uint8_t op = in.byte();
#if defined(FUZZ_DRIVER_CRXXX)
    PtyPeer peer(replies(in), '\r');
    if (!peer.isValid())
        std::abort();
    CRXXXCensor sensor;
    sensor.setReadDeadline(1000);
    if (sensor.init(QString::fromStdString(peer.path()))) {
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
    PtyPeer peer(replies(in), '\n');
    if (!peer.isValid())
        std::abort();
    CS2000Sensor sensor;
    sensor.setReplyDeadline(1000);
    storedPortSensor(sensor, peer, op);
#elif defined(FUZZ_DRIVER_PR6XX)
    PtyPeer peer(replies(in), '\r');
    if (!peer.isValid())
        std::abort();
    PR6xxSensor sensor;
    sensor.setCollectDeadline(1000);
    storedPortSensor(sensor, peer, op);
#elif defined(FUZZ_DRIVER_K10PORT)
    const std::vector<std::string> list = replies(in);
    double x = 0, y = 0, z = 0;
    for (const std::string& package : list)
        K10Sensor::parsePackageData(QByteArray::fromStdString(package), &x, &y, &z);
    PtyPeer peer(list, '\0');
    if (!peer.isValid())
        std::abort();
    SerialPort port(QString::fromStdString(peer.path()));
    if (port.open())
        K10Sensor::singleMeasure(port, &x, &y, &z, 500 + op);
#else
#error "no driver chosen"
#endif
    return 0;
}
