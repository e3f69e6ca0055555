#include "alignmentthread.h"

#include "ccolor.h"
#include "cmonitor.h"
#include "csensor.h"
#include "measure.h"

#include <QDebug>

#include <cmath>

AlignmentThread::AlignmentThread(Measure* owner_, QObject* parent)
    : QThread(parent), owner(owner_)
{
}

AlignmentThread::~AlignmentThread()
{
    {
        QMutexLocker lock(&mutex);
        exiting.store(true);
        wakeCondition.wakeOne();
    }
    cancelWaits();
    wait();
}

bool AlignmentThread::doAlignment()
{
    bool on = false;
    {
        QMutexLocker lock(&mutex);
        aligning.store(!aligning.load());
        wakeCondition.wakeOne();
        on = aligning.load();
    }
    // Switched back on before the period ended: its waits must work again.
    if (on)
        resumeWaits();
    else
        cancelWaits();
    return on;
}

std::unique_lock<std::mutex> AlignmentThread::holdIdle()
{
    {
        QMutexLocker lock(&mutex);
        aligning.store(false);
        wakeCondition.wakeOne();
    }
    cancelWaits();
    // Switched off, the period in progress ends after its current pass.
    return std::unique_lock<std::mutex>(serviceMutex);
}

void AlignmentThread::cancelWaits()
{
    std::lock_guard<std::mutex> lock(periodMutex);
    if (periodSensor)
        periodSensor->cancelWaits();
    if (periodMonitor)
        periodMonitor->cancelWaits();
}

void AlignmentThread::resumeWaits()
{
    std::lock_guard<std::mutex> lock(periodMutex);
    if (periodSensor)
        periodSensor->resumeWaits();
    if (periodMonitor)
        periodMonitor->resumeWaits();
}

void AlignmentThread::beginPeriod(CSensor* sensor, CMonitor* monitor)
{
    {
        std::lock_guard<std::mutex> lock(periodMutex);
        periodSensor = sensor;
        periodMonitor = monitor;
        periodActive.store(true);
    }
    emit periodChanged();
}

void AlignmentThread::endPeriod()
{
    {
        std::lock_guard<std::mutex> lock(periodMutex);
        // Waits cancelled to end this period must not stay cancelled for the
        // next user of the sensor and the monitor.
        periodSensor->resumeWaits();
        periodMonitor->resumeWaits();
        periodSensor = nullptr;
        periodMonitor = nullptr;
        periodActive.store(false);
    }
    emit periodChanged();
}

bool AlignmentThread::waitForMonitor(CMonitor* monitor)
{
    for (;;) {
        {
            QMutexLocker lock(&mutex);
            if (!exiting.load() && aligning.load())
                wakeCondition.wait(&mutex, ReconnectPollMs);
        }
        if (exiting.load() || !aligning.load())
            return false;
        if (monitor->reopen())
            return true;
    }
}

bool AlignmentThread::isSendable(const CColor& color)
{
    return std::isfinite(color[0]) && std::isfinite(color[1]) && std::isfinite(color[2]);
}

QString AlignmentThread::startReply(int waitMs)
{
    return QString::asprintf("OK00,%05d\r", waitMs);
}

QString AlignmentThread::valueReply(double x, double y, double z)
{
    return QString::asprintf("OK01,%07.3f;%07.3f;%07.3f\r", x, y, z);
}

void AlignmentThread::run()
{
    qDebug() << "thread start";
    for (;;) {
        {
            QMutexLocker lock(&mutex);
            if (!exiting.load() && !aligning.load())
                wakeCondition.wait(&mutex);
        }
        qDebug() << "run -----------------";
        if (exiting.load())
            return;
        {
            std::lock_guard<std::mutex> period(serviceMutex);
            // Switched on and off again before this thread woke, or woken only
            // to let go of the instruments: no period begins. The monitor is
            // left alone, as the main thread may be replacing it; the next
            // period flushes it when it begins.
            if (aligning.load())
                serve();
        }
        if (exiting.load())
            return;
    }
}

// One alignment period: from switch-on until it is switched off or stopped.
void AlignmentThread::serve()
{
    CSensor* sensor = owner->currentSensor();
    CMonitor* monitor = owner->currentMonitor();
    const Matrix matrix = owner->correctionMatrix();
    if (!sensor || !monitor) {
        // Nothing to serve; sleep instead of spinning until switched off.
        QMutexLocker lock(&mutex);
        if (!exiting.load() && aligning.load())
            wakeCondition.wait(&mutex, IdleWaitMs);
        return;
    }
    beginPeriod(sensor, monitor);
    struct PeriodEnd {
        AlignmentThread* thread;
        ~PeriodEnd()
        {
            thread->serving.store(false);
            thread->endPeriod();
        }
    } periodEnd{this};
    monitor->flushBuffer();
    serving.store(true);

    bool skip = false;
    while (aligning.load()) {
        if (exiting.load())
            return;
        if (monitor->isHungUp() || !monitor->GetInit()) {
            qDebug() << "monitor line lost:" << monitor->portPath();
            monitor->release();
            emit monitorHungUp();
            if (!waitForMonitor(monitor))
                return;
            qDebug() << "monitor line back:" << monitor->portPath();
            emit monitorReconnected();
            skip = false;
            continue;
        }
        if (skip) {
            monitor->skipCommand();
            skip = false;
        }
        const int code = monitor->readCommand();
        switch (code) {
        case CMonitor::StartMeasure: {
            qDebug() << "cmd start  measure     -------------------- ";
            int t = sensor->startMeasure();
            if (t == 0) {
                qDebug() << "skipCMD --> true";
                skip = true;
                t = 500;
            }
            const QString reply = startReply(t);
            monitor->writeInstrument(reply);
            emit requestServed(code, reply, noDataColor, noDataColor);
            break;
        }
        case CMonitor::StopMeasure:
            qDebug() << "cmd stop measure   --------------------  ";
            sensor->stopMeasure();
            emit requestServed(code, QString(), noDataColor, noDataColor);
            break;
        case CMonitor::SendValue: {
            qDebug() << "cmd read val   -----------------------   ";
            const CColor raw = sensor->GetColor();
            const CColor corrected = raw.IsNoData() ? noDataColor : CColor(matrix * raw);
            QString reply;
            // A display sets its gains from the reply: no value is better than
            // NaN or infinity, whatever produced them.
            if (!corrected.IsNoData() && isSendable(corrected)) {
                reply = valueReply(corrected[0], corrected[1], corrected[2]);
                monitor->writeInstrument(reply);
            }
            emit requestServed(code, reply, raw, corrected);
            break;
        }
        default:
            // Sleep until the monitor sends something, but only briefly, so that
            // switching off and stopping are still seen within one short pass.
            if (!monitor->BufHasCommand())
                monitor->waitForData(IdleWaitMs);
            break;
        }
        ++passCount;
    }
}
