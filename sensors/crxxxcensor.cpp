#include "crxxxcensor.h"

#include "messenger.h"
#include "sensortable.h"
#include "serialport.h"

#include <QDeadlineTimer>
#include <QDebug>

#include <cmath>
#include <limits>

namespace {

// A reply value cut to whole units, kept inside the range of int.
int whole(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(value);
}

} // namespace

CRXXXCensor::CRXXXCensor(QObject* parent)
    : CSensor(parent), port(std::make_unique<SerialPort>())
{
    name = strSensors[13];
    spectrum = CSpectrum(380, 780, 401);
    hasComPort = sensorHasCom[13];
}

CRXXXCensor::~CRXXXCensor() = default;

bool CRXXXCensor::init(QString path)
{
    if (isOpen)
        return true;
    qDebug() << "CRXXXCensor init port:" << path;
    // A port left open by a failed attempt is opened afresh, on the path given now.
    port->close();
    port->setPortName(path);
    if (!port->open()) {
        Messenger::warning(nullptr, name, tr("Can't open %1!").arg(port->portName()));
        return false;
    }
    port->setBaudRate(115200);
    port->setDataBits(SerialPort::Data8);
    port->setStopBits(SerialPort::OneStop);
    port->setParity(SerialPort::ParityNone);
    port->setFlowControl(SerialPort::FlowOff);
    port->setTimeout(400);
    port->flush();

    if (getHwInfor())
        return CSensor::init(path);
    Messenger::warning(nullptr, name, tr("CRXXX Hardware Information Read Error"));
    return false;
}

void CRXXXCensor::release()
{
    port->close();
    calibModeList.clear();
    matrixList.clear();
    matchList.clear();
    syncModeList.clear();
    speedList.clear();
    CSensor::release();
}

int CRXXXCensor::startMeasure()
{
    // The instrument measures on request in GetColor(); nothing to start here.
    measureDelay = 0;
    return 100;
}

void CRXXXCensor::stopMeasure()
{
}

QString CRXXXCensor::readline()
{
    if (!port->isOpen())
        return QString();
    QDeadlineTimer deadline(readDeadline);
    char line[LineBufferSize];
    int length = 0;
    bool overlong = false;
    bool lastWasCr = false;
    char c = 0;
    for (;;) {
        if (!port->getChar(&c)) {
            if (deadline.hasExpired())
                break;
            if (!port->waitForReadyRead(int(qMin<qint64>(deadline.remainingTime(), 100))))
                continue;
            // Readable yet nothing to read: the line has hung up, and waiting
            // would only spin until the deadline.
            if (!port->getChar(&c))
                break;
        }
        if (overlong) {
            // Read to the end of the over-long line, so the next reply starts clean.
            if (c == '\n' && lastWasCr) {
                qDebug() << "CR-XXX: reply line longer than" << LineBufferSize << "bytes";
                port->flush();
                return QString();
            }
            lastWasCr = c == '\r';
            continue;
        }
        if (length == LineBufferSize) {
            overlong = true;
            lastWasCr = line[length - 1] == '\r';
            if (c == '\n' && lastWasCr) {
                port->flush();
                return QString();
            }
            lastWasCr = c == '\r';
            continue;
        }
        line[length++] = c;
        // A CR LF at the very start does not end the line: the instrument sends
        // one before some replies.
        if (c == '\n' && length >= 3 && line[length - 2] == '\r') {
            const QString text = QString::fromLatin1(line, length - 2);
            qDebug() << "CR-XXX:" << text;
            return text;
        }
    }
    port->flush();
    return QString();
}

bool CRXXXCensor::doCmd(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    if (port->write(bytes) != bytes.size()) {
        port->flush();
        return false;
    }
    lastReply = readline();
    return !lastReply.isEmpty() && lastReply.startsWith(QLatin1String("OK"));
}

bool CRXXXCensor::replyValue(QString* value) const
{
    const QStringList parts = lastReply.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (parts.size() < 4)
        return false;
    *value = parts.at(3);
    return true;
}

bool CRXXXCensor::readList(int count, QStringList* names)
{
    for (int i = 0; i < count; ++i) {
        lastReply = readline();
        if (lastReply.isEmpty())
            return false;
        const QStringList parts = lastReply.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (parts.size() < 2)
            return false;
        names->append(parts.at(1));
    }
    return true;
}

bool CRXXXCensor::queryFrequency(const QString& command, double* hz)
{
    QString value;
    if (!doCmd(command) || !replyValue(&value))
        return false;
    bool ok = false;
    *hz = value.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(0).toDouble(&ok);
    return ok;
}

bool CRXXXCensor::getHwInfor()
{
    // Lists are read afresh, also after an attempt that failed half-way.
    calibModeList.clear();
    matrixList.clear();
    matchList.clear();
    syncModeList.clear();
    speedList.clear();

    QString value;
    if (!doCmd(QStringLiteral("RC ID\r")) || !replyValue(&value))
        return false;
    serialNumber = value;

    if (!doCmd(QStringLiteral("RC Model\r")) || !replyValue(&value))
        return false;
    model = value;
    // The features dialog chooses its widgets by this name.
    name = model;

    if (model == QLatin1String("CR-100")) {
        if (!doCmd(QStringLiteral("RC UserCalibMode\r")) || !replyValue(&value))
            return false;
        calibMode = value.toInt();
        if (!readList(calibMode, &calibModeList))
            return false;
        if (!doCmd(QStringLiteral("RS UserCalibMode\r")) || !replyValue(&value))
            return false;
        // Not in the list: calibMode keeps the list's length, which means no selection.
        if (calibModeList.contains(value))
            calibMode = calibModeList.indexOf(value);

        if (!doCmd(QStringLiteral("RC Matrix\r")) || !replyValue(&value))
            return false;
        if (value == QLatin1String("None")) {
            matrixIndex = 0;
        } else {
            matrixIndex = value.split(QLatin1Char(','), Qt::SkipEmptyParts).value(0).toInt();
            if (!readList(matrixIndex, &matrixList))
                return false;
            if (!doCmd(QStringLiteral("RS Matrix\r")) || !replyValue(&value))
                return false;
            matrixIndex = value.toInt();
        }

        if (!doCmd(QStringLiteral("RC Match\r")) || !replyValue(&value))
            return false;
        if (value == QLatin1String("None")) {
            matchIndex = 0;
        } else {
            matchIndex = value.split(QLatin1Char(','), Qt::SkipEmptyParts).value(0).toInt();
            if (!readList(matchIndex, &matchList))
                return false;
            if (!doCmd(QStringLiteral("RS Match\r")) || !replyValue(&value))
                return false;
            matchIndex = value.toInt();
        }
    }

    if (model == QLatin1String("CR-250")) {
        if (!doCmd(QStringLiteral("RC Speed\r")) || !replyValue(&value))
            return false;
        speedMode = value.toInt();
        if (!readList(speedMode, &speedList))
            return false;
        if (!doCmd(QStringLiteral("RS Speed\r")) || !replyValue(&value))
            return false;
        if (speedList.contains(value))
            speedMode = speedList.indexOf(value);
    }

    if (!doCmd(QStringLiteral("RC SyncMode\r")) || !replyValue(&value))
        return false;
    syncMode = value.toInt();
    if (!readList(syncMode, &syncModeList))
        return false;
    if (!doCmd(QStringLiteral("RS SyncMode\r")) || !replyValue(&value))
        return false;
    if (syncModeList.contains(value))
        syncMode = syncModeList.indexOf(value);

    // The frequency is the instrument's own only in manual sync.
    if (value == QLatin1String("Manual")) {
        double hz = 0.0;
        if (!queryFrequency(QStringLiteral("RS SyncFreq\r"), &hz))
            return false;
        syncFreq = whole(hz);
    }
    return true;
}

bool CRXXXCensor::sendSetter(const QString& command, int value)
{
    return doCmd(QStringLiteral("%1 %2\r").arg(command).arg(value));
}

bool CRXXXCensor::setCalibMode(int mode)
{
    if (!sendSetter(QStringLiteral("SM UserCalibMode"), mode))
        return false;
    calibMode = mode;
    return true;
}

bool CRXXXCensor::setCalibMatrix(int index)
{
    if (!sendSetter(QStringLiteral("SM Matrix"), index))
        return false;
    matrixIndex = index;
    return true;
}

bool CRXXXCensor::setCalibMatch(int index)
{
    if (!sendSetter(QStringLiteral("SM Match"), index))
        return false;
    matchIndex = index;
    return true;
}

bool CRXXXCensor::setSyncMode(int mode)
{
    if (!sendSetter(QStringLiteral("SM SyncMode"), mode))
        return false;
    syncMode = mode;
    return true;
}

bool CRXXXCensor::setSpeedMode(int mode)
{
    if (!sendSetter(QStringLiteral("SM Speed"), mode))
        return false;
    speedMode = mode;
    return true;
}

bool CRXXXCensor::setSynFreq(int hz)
{
    double min = 0.0;
    double max = 0.0;
    if (!queryFrequency(QStringLiteral("RC MinSyncFreq\r"), &min)
        || !queryFrequency(QStringLiteral("RC MaxSyncFreq\r"), &max))
        return false;
    if (hz <= whole(min))
        hz = whole(min);
    if (hz > whole(max))
        hz = whole(max);
    if (!sendSetter(QStringLiteral("SM SyncFreq"), hz))
        return false;
    syncFreq = hz;
    return true;
}

CColor CRXXXCensor::GetColor()
{
    CColor result = noDataColor;

    const QByteArray measure("M\r");
    if (port->write(measure) != measure.size()) {
        port->flush();
        return result;
    }
    const QString reply = readline();
    if (reply.isEmpty())
        return result;
    if (!reply.startsWith(QLatin1String("OK"))) {
        // Too little light for a reading: the instrument answers -304 or -305,
        // and the reading is a dark one rather than a failed one.
        const QString code = reply.split(QLatin1Char(':'), Qt::SkipEmptyParts).value(1);
        if (code.startsWith(QLatin1String("-304")) || code.startsWith(QLatin1String("-305")))
            return CColor(0.0, 0.0, 0.0);
        return result;
    }

    const QByteArray readXyz("RM XYZ\r");
    if (port->write(readXyz) != readXyz.size()) {
        port->flush();
        return result;
    }
    lastReply = readline();
    QString value;
    if (lastReply.isEmpty() || !lastReply.startsWith(QLatin1String("OK")) || !replyValue(&value))
        return result;
    const QStringList xyz = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (xyz.size() < 3)
        return result;
    CColor reading;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        reading[i] = xyz.at(i).toDouble(&ok);
        // A value that is no number is a failed reading, not a dark one.
        if (!ok)
            return result;
    }
    emit colorChanged(reading);
    return reading;
}

void CRXXXCensor::cancelWaits()
{
    port->cancelWaits();
}

void CRXXXCensor::resumeWaits()
{
    port->resumeWaits();
}
