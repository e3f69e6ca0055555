#include "cmonitor.h"

#include "serialport.h"

#include <QDebug>
#include <QThread>

#include <cstring>

namespace {
constexpr char CR = '\r';
constexpr char LF = '\n';

int next(int pos)
{
    return (pos + 1) % CMonitor::BufferSize;
}
} // namespace

CMonitor::CMonitor(QObject* parent)
    : QObject(parent), port(std::make_unique<SerialPort>())
{
}

CMonitor::~CMonitor() = default;

bool CMonitor::init(QString path)
{
    qDebug() << "CMonitor::init   port=" << path;
    port->setPortName(path);
    if (!port->open())
        return false;
    port->setBaudRate(9600);
    port->setDataBits(SerialPort::Data8);
    port->setStopBits(SerialPort::TwoStop);
    port->setParity(SerialPort::ParityNone);
    port->setFlowControl(SerialPort::FlowOff);
    port->setTimeout(50);
    port->flush();
    clearRing();
    return port->isOpen();
}

bool CMonitor::GetInit() const
{
    return port->isOpen();
}

void CMonitor::release()
{
    port->close();
}

void CMonitor::flushBuffer()
{
    port->flush();
    clearRing();
}

void CMonitor::clearRing()
{
    std::memset(buffer, 0, sizeof buffer);
    readPos = 0;
    writePos = 0;
}

int CMonitor::stored() const
{
    return (writePos - readPos + BufferSize) % BufferSize;
}

void CMonitor::store(char c)
{
    buffer[writePos] = c;
    writePos = next(writePos);
    // A full ring would look empty: drop the oldest byte instead.
    if (writePos == readPos)
        readPos = next(writePos);
}

void CMonitor::drain()
{
    int count = 0;
    char c = 0;
    while (port->getChar(&c)) {
        store(c);
        ++count;
    }
    if (count > 0) {
        qDebug() << count << "timesRead";
        BufDump();
    }
}

bool CMonitor::skipLineEnds()
{
    // An LF is skipped like a CR: no command begins with one, and a display that
    // ends its lines with CR LF would otherwise lose every second request.
    while (readPos != writePos && (buffer[readPos] == CR || buffer[readPos] == LF))
        readPos = next(readPos);
    return readPos != writePos;
}

int CMonitor::findCr(int from) const
{
    for (int pos = from; pos != writePos; pos = next(pos)) {
        if (buffer[pos] == CR)
            return pos;
    }
    return -1;
}

QString CMonitor::requestText(int command)
{
    switch (command) {
    case StartMeasure:
        return QStringLiteral("MES,1");
    case StopMeasure:
        return QStringLiteral("MES,0");
    case SendValue:
        return QStringLiteral("MDR,1");
    default:
        return QStringLiteral("?");
    }
}

int CMonitor::codeFor(const QByteArray& text)
{
    if (text == "MES,1")
        return StartMeasure;
    if (text == "MES,0")
        return StopMeasure;
    if (text == "MDR,1")
        return SendValue;
    return NoCommand;
}

int CMonitor::readCommand()
{
    drain();
    if (readPos == writePos || !skipLineEnds())
        return NoCommand;
    const int cr = findCr(readPos);
    // An incomplete line stays stored until its CR arrives.
    if (cr < 0)
        return NoCommand;
    QByteArray text;
    while (text.size() < 5 && readPos != cr) {
        text.append(buffer[readPos]);
        readPos = next(readPos);
    }
    const int code = codeFor(text);
    qDebug() << "CMonitor:: readCommand  " << text;
    return code;
}

void CMonitor::skipCommand()
{
    drain();
    qDebug() << "skipCommand";
    readPos = writePos;
}

bool CMonitor::writeInstrument(QString text)
{
    const qint64 written = port->write(text.toLatin1());
    qDebug() << text;
    return written != -1;
}

int CMonitor::findBufCommand()
{
    if (readPos == writePos || !skipLineEnds())
        return NoCommand;
    const int cr = findCr(readPos);
    if (cr < 0)
        return NoCommand;
    for (int start = readPos; start != cr; start = next(start)) {
        QByteArray text;
        int pos = start;
        while (text.size() < 5 && pos != cr) {
            text.append(buffer[pos]);
            pos = next(pos);
        }
        const int code = text.size() == 5 ? codeFor(text) : NoCommand;
        if (code != NoCommand) {
            readPos = pos;
            return code;
        }
    }
    readPos = cr;
    return NoCommand;
}

void CMonitor::BufDump() const
{
    if (readPos == writePos) {
        qDebug() << "[bufDump] rp = wp = " << readPos;
        return;
    }
    QByteArray data = bufferedBytes();
    data.replace(CR, 'r');
    if (readPos < writePos)
        qDebug() << "[bufDump] size= " << stored() << data.size() << "rp=" << readPos << "wp="
                 << writePos << "data= " << data;
    else
        qDebug() << "[bufDump] size=" << stored() << data.size() << "rp=" << readPos << "wp="
                 << writePos << "data=" << data;
}

int CMonitor::bufAvailable() const
{
    return BufferSize - stored();
}

bool CMonitor::BufHasCommand() const
{
    return findCr(readPos) >= 0;
}

QByteArray CMonitor::bufferedBytes() const
{
    QByteArray bytes;
    bytes.reserve(stored());
    for (int pos = readPos; pos != writePos; pos = next(pos))
        bytes.append(buffer[pos]);
    return bytes;
}

qint64 CMonitor::bytesWaiting() const
{
    return port->bytesAvailable();
}

bool CMonitor::waitForData(int msecs)
{
    if (!port->isOpen()) {
        // Nothing can arrive; still take the time, so callers polling in a loop sleep.
        QThread::msleep(static_cast<unsigned long>(msecs > 0 ? msecs : 0));
        return false;
    }
    return port->waitForReadyRead(msecs);
}

bool CMonitor::isHungUp() const
{
    return port->isHungUp();
}

bool CMonitor::reopen()
{
    port->close();
    return init(port->portName());
}

QString CMonitor::portPath() const
{
    return port->portName();
}

void CMonitor::cancelWaits()
{
    port->cancelWaits();
}

void CMonitor::resumeWaits()
{
    port->resumeWaits();
}
