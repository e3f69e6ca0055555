// The drivers that reach their instrument through an outside library (CA-410,
// K-10, i1Display Pro) against a hostile library of the expected file name,
// which answers every call from the fuzzer's bytes (see hostile/).
//
// Input: the driver (first byte mod 3), then the driver's operations up to a
// 0xff byte, each an operation byte followed by its arguments; the rest is
// what the library answers.
#include "fuzzinput.h"
#include "qtquiet.h"

#include "ca410sensor.h"
#include "calfile.h"
#include "i1d3sensor.h"
#include "k10sensor.h"
#include "sensorlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <dlfcn.h>

#include <cstdlib>

namespace {

using SetInputFn = int (*)(const uint8_t*, size_t);

// The hostile libraries stay loaded for the whole run, so the state their
// input lives in survives the drivers loading and unloading them.
SetInputFn setInput[3] = {nullptr, nullptr, nullptr};

// The i1Display Pro driver's clock: each look moves it on by a step the
// operations choose, so a reading can seem to take as long as they like.
qint64 fakeNow = 0;
qint64 fakeStep = 0;

Calfile calfileFrom(FuzzInput& ops)
{
    Calfile calfile;
    calfile.SetId(int(int8_t(ops.byte())));
    calfile.SetName(QString::fromLatin1(ops.piece('\0').c_str()));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            calfile.SetData(i, j, (int(ops.byte()) - 128) / 16.0);
    return calfile;
}

void calibration(CA410Sensor& sensor, int op, FuzzInput&)
{
    if (op == 4)
        sensor.GetCalList();
}

template <typename Sensor>
void calibration(Sensor& sensor, int op, FuzzInput& ops)
{
    switch (op) {
    case 4: sensor.GetCalList(); break;
    case 5: sensor.GetCalfile(int(int8_t(ops.byte()))); break;
    case 6: sensor.SaveCalfile(calfileFrom(ops)); break;
    case 7: sensor.DelCalfile(int(int8_t(ops.byte()))); break;
    default: break;
    }
}

template <typename Sensor>
void drive(Sensor& sensor, FuzzInput& ops)
{
    sensor.init(QStringLiteral("/dev/null"));
    for (int steps = 0; !ops.empty() && steps < 32; ++steps) {
        const int op = ops.byte() % 11;
        switch (op) {
        case 0: sensor.init(QStringLiteral("/dev/null")); break;
        case 1: sensor.startMeasure(); break;
        case 2: sensor.GetColor(); break;
        case 3: sensor.stopMeasure(); break;
        case 8: {
            // What the program shows of the instrument and the reading.
            const QString text = sensor.getSerialNumber() + sensor.getFirmwareVersion()
                + sensor.getCalNames().join(QLatin1Char(','));
            (void)text.size();
            (void)sensor.getCalChannels().size();
            const CColor reading = sensor.getReading();
            (void)reading;
            (void)sensor.isMeasured();
            (void)sensor.getMeasureDelay();
            break;
        }
        case 9: sensor.release(); break;
        case 10: fakeStep = qint64(ops.byte()) * 100; break;
        default: calibration(sensor, op, ops); break;
        }
    }
    sensor.release();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    quietQtLog();
    new QCoreApplication(*argc, *argv);
    const QString dir = QCoreApplication::applicationDirPath() + QStringLiteral("/hostile");
    SensorLibrary::setExtraDirectories({dir});
    const char* const names[3] = {"libmlink_ca410", "libmlink_k10", "libmlink_i1d3"};
    for (int i = 0; i < 3; ++i) {
        const QString path = QDir(dir).filePath(SensorLibrary::fileName(QString::fromLatin1(names[i])));
        void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!library)
            std::abort();
        setInput[i] = reinterpret_cast<SetInputFn>(dlsym(library, "hostileSetInput"));
        if (!setInput[i])
            std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    FuzzInput in(data, size);
    const int driver = in.byte() % 3;
    const std::string opBytes = in.piece('\xff');
    const std::string answers = in.rest();
    FuzzInput ops(reinterpret_cast<const uint8_t*>(opBytes.data()), opBytes.size());
    setInput[driver](reinterpret_cast<const uint8_t*>(answers.data()), answers.size());
    switch (driver) {
    case 0: {
        CA410Sensor sensor;
        drive(sensor, ops);
        break;
    }
    case 1: {
        K10Sensor sensor;
        drive(sensor, ops);
        break;
    }
    default: {
        fakeNow = 0;
        fakeStep = 0;
        I1d3Sensor sensor;
        sensor.setClock([] { return fakeNow += fakeStep; });
        drive(sensor, ops);
        break;
    }
    }
    // Every device handle the driver opened has been given back.
    if (setInput[driver](nullptr, 0) != 0)
        std::abort();
    return 0;
}
