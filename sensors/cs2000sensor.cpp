#include "cs2000sensor.h"

#include "cs2000cmd.h"
#include "cs2000id.h"
#include "cs2000meas.h"
#include "cs2000mv.h"
#include "sensortable.h"
#include "serialport.h"

#include <QDeadlineTimer>
#include <QDebug>

namespace {

// The instrument's code for "measurement still running".
constexpr int kBusy = 20;

} // namespace

CS2000Sensor::CS2000Sensor(QObject* parent)
    : StoredPortSensor(parent)
{
    name = strSensors[10];
}

CS2000Sensor::~CS2000Sensor() = default;

bool CS2000Sensor::init(QString portArg)
{
    if (isOpen)
        return true;
    // The remembered port number names the device, not the argument.
    if (!openPort(ReadTimeout))
        return false;

    Cs2000Cmd remote(QByteArrayLiteral("RMTS,1\r\n"), 6);
    if (!doCmd(remote))
        return false;
    // Identification is a courtesy: an instrument that fails it still measures.
    Cs2000ID identity(QByteArrayLiteral("IDDR\r\n"), 26);
    if (doCmd(identity))
        serialNumber = identity.thirdField();
    return CSensor::init(portArg);
}

void CS2000Sensor::release()
{
    Cs2000Cmd local(QByteArrayLiteral("RMTS,0\r\n"), 6);
    doCmd(local);
    port->close();
    CSensor::release();
}

int CS2000Sensor::startMeasure()
{
    Cs2000MEAS measure(QByteArrayLiteral("MEAS,1\r\n"), 10);
    if (!doCmd(measure))
        return 0;
    // The instrument is not asked for its reading before two seconds have passed.
    measureDelay = qMax(measure.measureTime(), MinimumMeasureTime);
    return measureDelay;
}

void CS2000Sensor::stopMeasure()
{
    Cs2000Cmd cancel(QByteArrayLiteral("MEAS,0\r\n"), 6);
    doCmd(cancel);
}

CColor CS2000Sensor::GetColor()
{
    CColor result = noDataColor;
    // The instrument reports the end of the measurement by itself, answering
    // "busy" for as long as it is still measuring.
    for (;;) {
        Cs2000Cmd finished(QByteArray(), 6);
        if (doCmd(finished))
            break;
        if (finished.errorCode() != kBusy)
            return result;
    }
    Cs2000MV readout(QByteArrayLiteral("MEDR,2,0,01\r\n"), 36);
    if (!doCmd(readout))
        return result;
    result[0] = double(readout.x());
    result[1] = double(readout.y());
    result[2] = double(readout.z());
    emit colorChanged(result);
    return result;
}

bool CS2000Sensor::doCmd(Cs2000Cmd& cmd)
{
    if (!port->isOpen())
        return false;
    const QByteArray& command = cmd.command();
    if (!command.isEmpty()) {
        // Whatever is waiting now cannot be the reply to this command: it is
        // the remainder of an earlier reply that came too late.
        port->flush();
        if (port->write(command) != command.size())
            return false;
    }

    const int length = cmd.replyLength();
    if (length <= 0)
        return cmd.handler(QByteArray());
    QByteArray reply(length, '\0');
    int received = 0;
    const QDeadlineTimer deadline(replyDeadline);
    // The first bytes may take until the deadline; the rest of a reply that
    // has begun follows within the read timeout, and a reply read in pieces is
    // still one reply.
    while (received < length) {
        const int wait = received == 0 ? int(qMin<qint64>(deadline.remainingTime(), ReadTimeout)) : ReadTimeout;
        if (!port->waitForReadyRead(wait)) {
            // A closed port answers at once, so only an open one is waited on.
            if (received == 0 && !deadline.hasExpired() && port->isOpen())
                continue;
            break;
        }
        // Readable yet nothing to read: the line has hung up, or the wait was
        // called off. Waiting on would only spin until the deadline.
        const qint64 n = port->read(reply.data() + received, length - received);
        if (n <= 0)
            break;
        received += int(n);
    }
    reply.resize(received);
    if (received != length) {
        qDebug() << "CS-2000:" << command.trimmed() << "reply of" << received << "bytes, expected"
                 << length;
        discardRestOfReply();
        return false;
    }
    return cmd.handler(reply);
}

void CS2000Sensor::discardRestOfReply()
{
    // The next command may send nothing (the wait for the end of a
    // measurement) and so has no write to flush before; a remainder still on
    // its way must not become the start of its reply.
    port->flush();
    const QDeadlineTimer limit(DiscardLimit);
    char scrap[64];
    while (!limit.hasExpired()) {
        if (!port->waitForReadyRead(int(qMin<qint64>(limit.remainingTime(), ReadTimeout))))
            break;
        // Readable yet nothing to read: hung up or called off.
        if (port->read(scrap, sizeof scrap) <= 0)
            break;
    }
}
