// The monitor link's ring and command parser on whatever the display sends.
// The display is one in memory behind the monitor's serial port: the input is
// cut into pieces at 0xff bytes, each wait of the monitor for data brings the
// next piece, and the monitor is polled after each piece as the alignment
// thread polls it.
#include "cmonitor.h"
#include "fuzzinput.h"
#include "qtquiet.h"
#include "scriptedserialdevice.h"
#include "serialport.h"

#include <cstdlib>
#include <memory>

namespace {

// Not a path: the port finds the device registered under it.
const QString kPort = QStringLiteral("scripted:display");

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quietQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    QList<QByteArray> pieces;
    QList<QByteArray> sent;
    for (FuzzInput in(data, size); !in.empty();) {
        pieces.append(QByteArray::fromStdString(in.piece('\xff')));
        // An empty piece is polled like the others but brings nothing.
        if (!pieces.last().isEmpty())
            sent.append(pieces.last());
    }
    SerialPort::setDevice(kPort, std::make_shared<ScriptedSerialDevice>(sent, '\r'));
    {
        CMonitor monitor;
        if (!monitor.init(kPort))
            std::abort();
        for (const QByteArray& piece : pieces) {
            if (!piece.isEmpty() && !monitor.waitForData(100))
                std::abort();
            for (int polls = 0; polls < 64; ++polls) {
                const int command = monitor.readCommand();
                if (command < CMonitor::NoCommand || command > CMonitor::SendValue)
                    std::abort();
                if (monitor.bufAvailable() < 0 || monitor.bufAvailable() > CMonitor::BufferSize)
                    std::abort();
                if (command == CMonitor::NoCommand && monitor.bytesWaiting() == 0)
                    break;
            }
            monitor.BufHasCommand();
            monitor.findBufCommand();
        }
        monitor.skipCommand();
        // Everything sent has been taken, so the display has gone.
        if (!monitor.isHungUp())
            std::abort();
    }
    SerialPort::setDevice(kPort, nullptr);
    return 0;
}
