#ifndef EMULATEDINSTRUMENT_H
#define EMULATEDINSTRUMENT_H

#include "emulatedport.h"
#include "recordingmessenger.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QMetaType>
#include <QtTest>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// A driver whose port the test can reach, to close it from another thread.
template <class Driver>
class Reachable : public Driver
{
public:
    SerialPort* serialPort() const { return this->port.get(); }
};

// What a test of a serial driver against an emulated instrument holds: the
// port the driver is led to, the messages it shows, the emulator and the
// driver. Tests of the CS-2000 and PR-6xx drivers derive from it.
template <class Emulator, class Driver>
class EmulatedInstrument
{
protected:
    using Sensor = Reachable<Driver>;

    // Both ways a line goes dead under a driver waiting for a reply.
    enum class Hangup { Unplugged, PortClosed };

    // With the longest the driver may take to see it: closing the port waits
    // for the read in progress to let the port go.
    static void addHangups()
    {
        QTest::addColumn<int>("hangup");
        QTest::addColumn<int>("bound");
        QTest::newRow("instrument unplugged") << int(Hangup::Unplugged) << 2000;
        QTest::newRow("port closed") << int(Hangup::PortClosed) << 4000;
    }

    // Runs exchange, which sends a command the instrument leaves unanswered,
    // and hangs the line up once the command is in; returns how long the
    // exchange took.
    qint64 timeHungUp(Hangup hangup, const std::function<void()>& exchange)
    {
        const size_t sent = device->commands().size();
        std::thread other([this, sent, hangup] {
            if (!device->waitForCommands(sent + 1, std::chrono::seconds(5)))
                return;
            if (hangup == Hangup::Unplugged)
                device->stop();
            else
                sensor->serialPort()->close();
        });
        QElapsedTimer clock;
        clock.start();
        exchange();
        const qint64 elapsed = clock.elapsed();
        other.join();
        return elapsed;
    }

    // A driver led to a port nothing is plugged into says so, titled title.
    void checkPortThatDoesNotOpen(const QString& title)
    {
        messages = std::make_unique<RecordingMessenger>();
        Driver unplugged;
        CSensor::setComPort(97);
        QVERIFY(!unplugged.init(QStringLiteral("ttyACM97")));
        QVERIFY(!unplugged.getIsOpen());
        QCOMPARE(messages->boxes(), QStringList{QStringLiteral("Warning %1: Can't open /dev/ttyACM97").arg(title)});
        QCOMPARE(messages->shown().first().buttons, Messenger::Buttons(Messenger::Ok));
    }

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
