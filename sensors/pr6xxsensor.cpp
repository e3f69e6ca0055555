#include "pr6xxsensor.h"

#include "messenger.h"
#include "pr6xxcmd.h"
#include "pr6xxdcmd.h"
#include "pr6xxmcmd.h"
#include "sensortable.h"
#include "serialport.h"

#include <QDeadlineTimer>
#include <QDebug>

PR6xxSensor::PR6xxSensor(QObject* parent)
    : StoredPortSensor(parent)
{
    name = strSensors[6];
    spectrum = CSpectrum(380, 780, 401);
}

PR6xxSensor::~PR6xxSensor() = default;

bool PR6xxSensor::init(QString portArg)
{
    if (isOpen)
        return true;
    // The remembered port number names the device, not the argument.
    if (!openPort(ReadTimeout))
        return false;

    // Remote mode; its banner carries nothing the driver needs.
    PR6xxCmd remote(QByteArrayLiteral("PHOTO"), 12);
    doCmd(remote);

    // The serial number is also the proof that an instrument answers at all.
    PR6xxMCmd serial(QByteArrayLiteral("D110\r"), 16);
    if (!doCmd(serial)) {
        Messenger::warning(nullptr, name, tr("Get SN failed."));
        return false;
    }
    const QByteArray number = serial.result();
    if (!number.isEmpty()) {
        const int zero = number.indexOf('\0');
        serialNumber = QString::fromUtf8(zero < 0 ? number : number.left(zero));
    }

    PR6xxCmd units(QByteArrayLiteral("SU1\r"), 7);
    doCmd(units);
    PR6xxCmd exposure(QByteArrayLiteral("SE") + QByteArray::number(3000) + '\r', 7);
    doCmd(exposure);
    return CSensor::init(portArg);
}

void PR6xxSensor::release()
{
    PR6xxCmd quit(QByteArrayLiteral("Q"), 0);
    doCmd(quit);
    port->close();
    CSensor::release();
}

int PR6xxSensor::startMeasure()
{
    // The measurement happens inside GetColor(); this only tells the caller
    // how long to wait before asking for it.
    return MeasureTime;
}

void PR6xxSensor::stopMeasure()
{
}

CColor PR6xxSensor::GetColor()
{
    CColor result = noDataColor;
    PR6xxDCmd measure(QByteArrayLiteral("M2\r"), 39);
    if (doCmd(measure)) {
        result[0] = double(measure.x());
        result[1] = double(measure.y());
        result[2] = double(measure.z());
    }
    // A failed reading is announced too, as no data.
    emit colorChanged(result);
    return result;
}

bool PR6xxSensor::doCmd(PR6xxCmd& cmd)
{
    if (!port->isOpen())
        return false;
    port->flush();
    const QByteArray& command = cmd.command();
    for (const char byte : command) {
        if (port->write(&byte, 1) != 1) {
            port->flush();
            return false;
        }
    }
    if (!command.isEmpty())
        qDebug("CMD: %s", command.constData());

    const int length = cmd.replyLength();
    if (length <= 0)
        return cmd.handler(QByteArray());

    QByteArray reply;
    const QDeadlineTimer deadline(collectDeadline);
    do {
        // A reply may be a byte or two shorter than awaited; its line end marks it complete.
        if (reply.endsWith("\r\n") && reply.size() > length - 3) {
            qDebug("CMD: %s unexpected end received.", command.constData());
            break;
        }
        if (deadline.hasExpired()) {
            qDebug("CMD:%s timeout", command.constData());
            break;
        }
        if (!port->waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), ReadTimeout)))) {
            // A closed port answers at once, so only an open one is waited on.
            if (!port->isOpen())
                break;
            continue;
        }
        char chunk[64];
        const qint64 n = port->read(chunk, qMin<qint64>(sizeof chunk, length - reply.size()));
        // Readable yet nothing to read: the line has hung up (the device went
        // away) or the wait was called off. Waiting on would only spin until
        // the deadline.
        if (n <= 0) {
            qDebug("CMD: %s line closed", command.constData());
            break;
        }
        reply.append(chunk, int(n));
    } while (reply.size() < length);
    qDebug("RSP: %d|%s", reply.size(), reply.constData());
    return cmd.handler(reply);
}
