#include "scriptedsensor.h"

#include "messenger.h"

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
    if (initDuration.load() > 0) {
        insideInit.store(true);
        QThread::msleep(static_cast<unsigned long>(initDuration.load()));
        insideInit.store(false);
    }
    if (!initResult.load())
        return false;
    return CSensor::init(port);
}

void ScriptedSensor::release()
{
    ++releaseCalls;
    if (releaseDuration.load() > 0) {
        insideRelease.store(true);
        QThread::msleep(static_cast<unsigned long>(releaseDuration.load()));
        insideRelease.store(false);
    }
    CSensor::release();
}

ScriptedSensor::CallScope::CallScope(ScriptedSensor& s)
    : sensor(s)
{
    const int now = ++sensor.callsInside;
    int seen = sensor.maxCallsAtOnce.load();
    while (now > seen && !sensor.maxCallsAtOnce.compare_exchange_weak(seen, now)) {
    }
}

ScriptedSensor::CallScope::~CallScope()
{
    --sensor.callsInside;
}

void ScriptedSensor::setStartWarning(const QString& text)
{
    startWarning = text;
}

int ScriptedSensor::startMeasure()
{
    const CallScope call(*this);
    ++startCalls;
    if (!startWarning.isEmpty())
        Messenger::warning(nullptr, name, startWarning);
    insideStart.store(true);
    if (startDuration.load() > 0)
        QThread::msleep(static_cast<unsigned long>(startDuration.load()));
    insideStart.store(false);
    return startResult.load();
}

void ScriptedSensor::stopMeasure()
{
    const CallScope call(*this);
    ++stopCalls;
}

CColor ScriptedSensor::GetColor()
{
    const CallScope call(*this);
    insideColor.store(true);
    if (colorDuration.load() > 0)
        QThread::msleep(static_cast<unsigned long>(colorDuration.load()));
    insideColor.store(false);
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
