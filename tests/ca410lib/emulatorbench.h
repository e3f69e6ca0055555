#ifndef EMULATORBENCH_H
#define EMULATORBENCH_H

#include "ca410emulator.h"
#include "logcapture.h"
#include "mlink_ca410.h"

#include <QString>

#include <memory>
#include <string>

// What the library's tests against the emulated CA-410 share.
using Fault = Ca410Emulator::Fault;

inline bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A port on the given device with the instrument's own line settings.
inline ser_com* openPort(const std::string& path)
{
    ser_com* port = new_ser_com(path.c_str());
    if (ser_com_setport(port, 3, 10, 3, 2, 3) != 0) {
        ser_com_del(port);
        return nullptr;
    }
    return port;
}

// Patch k shows X = k, Y = 10 k, Z = 100 k, so that a reading tells whose it is.
inline void showPatch(Ca410Emulator& emulator, int patch)
{
    emulator.setMeasurement(patch, 10.0 * patch, 100.0 * patch);
}

inline QString patchValues(int patch)
{
    return QString("%1,%2,%3").arg(patch).arg(10 * patch).arg(100 * patch);
}

inline QString values(const double* xyz)
{
    return QString("%1,%2,%3").arg(xyz[0]).arg(xyz[1]).arg(xyz[2]);
}

// Every case starts with no faults armed, no commands recorded and a fresh log.
inline void startCase(Ca410Emulator& emulator, std::unique_ptr<LogCapture>& log)
{
    log = std::make_unique<LogCapture>(0);
    emulator.clearFaults();
    emulator.clearCommands();
}

#endif // EMULATORBENCH_H
