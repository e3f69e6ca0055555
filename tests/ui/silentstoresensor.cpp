#include "silentstoresensor.h"

#include "sensortable.h"

#include <chrono>

const QString SilentStoreSensor::kListed = QStringLiteral("MAT[3]_stored");
const QString SilentStoreSensor::kListedLate = QStringLiteral("MAT[9]_late");
const QString SilentStoreSensor::kStoredName = QStringLiteral("stored");

SilentStoreSensor::SilentStoreSensor(QObject* parent)
    : CSensor(parent)
{
    name = strSensors[5];
    hasComPort = true;
}

void SilentStoreSensor::cancelWaits()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        cancelled = true;
    }
    changed.notify_all();
}

void SilentStoreSensor::resumeWaits()
{
    std::lock_guard<std::mutex> lock(mutex);
    cancelled = false;
}

void SilentStoreSensor::answer()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        answered = true;
    }
    changed.notify_all();
}

void SilentStoreSensor::call()
{
    ++callCount;
    if (!silent.load())
        return;
    std::unique_lock<std::mutex> lock(mutex);
    answered = false;
    waiting.store(true);
    changed.wait_for(lock, std::chrono::seconds(10), [this] { return cancelled || answered; });
    waiting.store(false);
}

QStringList SilentStoreSensor::GetCalList()
{
    const bool late = silent.load();
    call();
    return {late ? kListedLate : kListed};
}

Calfile SilentStoreSensor::GetCalfile(int)
{
    call();
    Calfile stored;
    stored.SetName(kStoredName);
    stored.SetId(kStoredId);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            stored.SetData(r, c, kStoredValue);
    }
    return stored;
}

int SilentStoreSensor::SaveCalfile(Calfile)
{
    call();
    return 0;
}

int SilentStoreSensor::DelCalfile(int)
{
    call();
    return 0;
}
