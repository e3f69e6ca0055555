#ifndef EMULATEDINSTRUMENT_H
#define EMULATEDINSTRUMENT_H

#include "emulatedport.h"
#include "recordingmessenger.h"

#include <QMetaType>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// What a test of a serial driver against an emulated instrument holds: the
// port the driver is led to, the messages it shows, the emulator and the
// driver. Tests of the CS-2000 and PR-6xx drivers derive from it.
template <class Emulator, class Sensor>
class EmulatedInstrument
{
protected:
    // For initTestCase(); the test checks port->isValid().
    void createPort()
    {
        qRegisterMetaType<CColor>("CColor");
        port = std::make_unique<EmulatedPort>();
    }

    // For cleanup(): the driver goes before the emulator it talks to.
    void discardInstrument()
    {
        sensor.reset();
        device.reset();
        messages.reset();
        CSensor::setComPort(EmulatedPort::Number);
    }

    // Starts an emulator and points a new driver at it, without opening it.
    bool startInstrument(const typename Emulator::Config& config)
    {
        messages = std::make_unique<RecordingMessenger>();
        device = std::make_unique<Emulator>(config);
        if (!device->start() || !port->connect(device->devicePath()))
            return false;
        sensor = std::make_unique<Sensor>();
        sensor->setDevicePattern(port->pattern());
        return true;
    }

    // The commands an emulator records, written as a list.
    static std::vector<std::string> lines(std::initializer_list<const char*> list)
    {
        return std::vector<std::string>(list.begin(), list.end());
    }

    std::unique_ptr<EmulatedPort> port;
    std::unique_ptr<RecordingMessenger> messages;
    std::unique_ptr<Emulator> device;
    std::unique_ptr<Sensor> sensor;
};

#endif // EMULATEDINSTRUMENT_H
