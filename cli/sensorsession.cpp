#include "sensorsession.h"

#include "alignmentprofile.h"
#include "command.h"
#include "crmodes.h"
#include "csensor.h"
#include "exitcode.h"
#include "measure.h"
#include "printabletext.h"
#include "sensortable.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

SensorSession::SensorSession(Measure& measure)
    : m_measure(measure)
{
    m_measure.setSensorFactory(&SensorTable::createForWindow);
}

bool SensorSession::parseType(const QString& text, int* type)
{
    bool isNumber = false;
    const int number = text.trimmed().toInt(&isNumber);
    if (isNumber) {
        if (number <= 0 || number >= kSensorTypeCount)
            return false;
        *type = number;
        return true;
    }
    for (int i = 1; i < kSensorTypeCount; ++i) {
        if (strSensors[i].compare(text.trimmed(), Qt::CaseInsensitive) == 0) {
            *type = i;
            return true;
        }
    }
    return false;
}

QString SensorSession::typeListText()
{
    QStringList types;
    for (int i = 1; i < kSensorTypeCount; ++i)
        types << QStringLiteral("%1 %2").arg(i).arg(strSensors[i]);
    return types.join(QStringLiteral(", "));
}

bool SensorSession::initSensor(int type, const QString& port)
{
    m_measure.createSensor(type);
    CSensor* const sensor = m_measure.currentSensor();
    if (CrModes* cr = sensor ? sensor->crModes() : nullptr; cr && m_replyTimeoutMs > 0)
        cr->setReadDeadline(m_replyTimeoutMs);
    // The driver made above is the one opened.
    return m_measure.initSensor(type, port);
}

bool SensorSession::reopen(int type, const QString& port)
{
    return initSensor(type, port);
}

int SensorSession::open(int type, const QString& port)
{
    const bool needsPort = sensorHasCom[type];
    if (needsPort) {
        if (port.isEmpty()) {
            Command::printError(QStringLiteral("The %1 needs --port.").arg(strSensors[type]));
            return ExitUsage;
        }
        // Said plainly here; the driver would only say it cannot open it.
        const QString path = Measure::devicePath(port);
        if (!QFileInfo::exists(path)) {
            Command::printError(QStringLiteral("Sensor port %1 does not exist.").arg(path));
            return ExitInstrument;
        }
    }
    if (!initSensor(type, port)) {
        Command::printError(m_measure.currentSensor()
                                ? QStringLiteral("The %1 could not be opened.").arg(strSensors[type])
                                : QStringLiteral("The %1 is not supported.").arg(strSensors[type]));
        return ExitInstrument;
    }
    return ExitDone;
}

int SensorSession::applyProfile(const QString& fileName)
{
    AlignmentProfile profile;
    QString reason;
    switch (profile.read(fileName, &reason)) {
    case AlignmentProfile::ReadResult::CannotOpen:
        Command::printError(reason.isEmpty()
                                ? QStringLiteral("Cannot read the profile %1.").arg(fileName)
                                : QStringLiteral("Cannot read the profile %1: %2.").arg(fileName, reason));
        return ExitFile;
    case AlignmentProfile::ReadResult::ParseError:
        Command::printError(reason.isEmpty()
                                ? QStringLiteral("%1 is not an alignment profile, or a damaged one.").arg(fileName)
                                : QStringLiteral("%1 is not an alignment profile: %2.").arg(fileName, reason));
        return ExitFile;
    case AlignmentProfile::ReadResult::Ok:
        break;
    }
    const CSensor* sensor = m_measure.currentSensor();
    const QString serial = sensor ? sensor->getSerialNumber() : QString();
    // The matrix corrects one instrument; applied to another it would make its
    // readings wrong without anyone noticing.
    if (profile.sensorType() != m_measure.getSensorType() || profile.serialNumber() != serial) {
        Command::printError(QStringLiteral("The profile %1 belongs to the %2 with serial number %3, "
                                           "not to this %4 with serial number %5; refused.")
                                .arg(fileName, strSensors[profile.sensorType()],
                                     PrintableText::from(profile.serialNumber()),
                                     strSensors[m_measure.getSensorType()], PrintableText::from(serial)));
        return ExitFile;
    }
    m_measure.SetMatrix(profile.matrix());
    return ExitDone;
}

CColor SensorSession::readRaw()
{
    CSensor* sensor = m_measure.currentSensor();
    if (!sensor || !sensor->getIsOpen())
        return noDataColor;
    sensor->startMeasure();
    // The instrument needs this long before the value can be collected; the
    // event loop keeps running meanwhile (signals, messages from other threads).
    if (sensor->getMeasureDelay() > 0) {
        QEventLoop loop;
        QTimer::singleShot(sensor->getMeasureDelay(), &loop, &QEventLoop::quit);
        loop.exec();
    }
    // Also announces the reading, so the controller publishes the corrected one.
    return sensor->GetColor();
}
