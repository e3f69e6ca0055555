#include "scriptedsensor.h"

#include <QThread>

ScriptedSensor::ScriptedSensor(QObject* parent)
    : CSensor(parent)
{
    name = QStringLiteral("Scripted");
}

bool ScriptedSensor::init(QString port)
{
    ++initCalls;
    if (isOpen)
        return true;
    if (!initResult.load())
        return false;
    return CSensor::init(port);
}

int ScriptedSensor::startMeasure()
{
    ++startCalls;
    insideStart.store(true);
    if (startDuration.load() > 0)
        QThread::msleep(static_cast<unsigned long>(startDuration.load()));
    insideStart.store(false);
    return startResult.load();
}

void ScriptedSensor::stopMeasure()
{
    ++stopCalls;
}

CColor ScriptedSensor::GetColor()
{
    CColor reading;
    {
        QMutexLocker lock(&readingsMutex);
        if (!readings.isEmpty())
            lastReading = readings.dequeue();
        reading = lastReading;
    }
    ++colorCalls;
    emit colorChanged(reading);
    return reading;
}

void ScriptedSensor::queueReading(const CColor& c)
{
    QMutexLocker lock(&readingsMutex);
    readings.enqueue(c);
}
