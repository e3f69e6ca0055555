#include "measure.h"

#include "alignmentprofile.h"
#include "alignmentthread.h"
#include "cmonitor.h"
#include "csensor.h"
#include "instrumentworker.h"
#include "messenger.h"
#include "serialport.h"

#include <QDebug>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <memory>
#include <utility>

Measure::Measure(QObject* parent)
    : QObject(parent), sensorFactory(noSensors())
{
    qDebug() << "Measure::Measure() start";
    qRegisterMetaType<CColor>("CColor");
    qRegisterMetaType<Matrix>("Matrix");
    // For a window that takes the answers through a queued connection.
    qRegisterMetaType<Measure::Request>("Measure::Request");
    qRegisterMetaType<Measure::RequestResult>("Measure::RequestResult");
    release();
    matrix = Matrix::IdentityMatrix(3);
    alignmentThread = new AlignmentThread(this);
    // Emitted on the service thread, delivered here on the main thread.
    connect(alignmentThread, &AlignmentThread::periodChanged, this,
            [this] { emit alignmentStateChanged(alignmentState()); });
    connect(alignmentThread, &AlignmentThread::monitorHungUp, this, [this] {
        emit monitorConnected(false);
        emit monitorHungUp(monitor ? monitor->portPath() : QString());
    });
    connect(alignmentThread, &AlignmentThread::monitorReconnected, this, [this] {
        emit monitorConnected(true);
        emit monitorReconnected(monitor ? monitor->portPath() : QString());
    });
    connect(alignmentThread, &AlignmentThread::requestServed, this, &Measure::alignmentRequestServed);
    alignmentThread->start(QThread::InheritPriority);
    worker = new InstrumentWorker(this);
    connect(worker, &InstrumentWorker::busyChanged, this, &Measure::instrumentBusyChanged);
}

Measure::~Measure()
{
    qDebug() << " ~Measure() start";
    release();
    delete worker;
    worker = nullptr;
}

void Measure::release()
{
    qDebug() << "Measure::release() start";
    // A request still pending uses the sensor or the monitor deleted below.
    holdInstrumentIdle(InstrumentWorker::Sensor | InstrumentWorker::Monitor);
    // The thread goes first: its destructor waits for the pass in progress, which
    // may still be using the sensor and the monitor.
    delete alignmentThread;
    alignmentThread = nullptr;
    releaseSensor();
    releaseMonitor();
}

QString Measure::devicePath(const QString& port)
{
    return SerialPort::devicePath(port);
}

bool Measure::samePort(const QString& a, const QString& b)
{
    const auto resolved = [](const QString& port) {
        const QString path = devicePath(port);
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? path : canonical;
    };
    return resolved(a) == resolved(b);
}

bool Measure::isSensorPort(const QString& port) const
{
    return sensor && sensor->getIsOpen() && sensor->getHasComPort() && samePort(sensorPortPath, port);
}

bool Measure::isMonitorPort(const QString& port) const
{
    return monitor && monitor->GetInit() && samePort(monitor->portPath(), port);
}

Measure::SensorFactory Measure::noSensors()
{
    return [](int) -> CSensor* { return nullptr; };
}

void Measure::setSensorFactory(SensorFactory factory)
{
    sensorFactory = factory ? std::move(factory) : noSensors();
}

void Measure::createSensor(int type)
{
    if (sensor)
        return;
    holdInstrumentIdle(InstrumentWorker::Sensor);
    const auto idle = holdAlignmentIdle();
    sensor = sensorFactory(type);
    if (!sensor) {
        Messenger::warning(nullptr, tr("Warning"), tr("This sensor is not supported now!"));
        return;
    }
    // Direct, so that the reading's thread decides where it goes; see
    // forwardSensorColor().
    connect(sensor, &CSensor::colorChanged, this, [this](CColor raw) { forwardSensorColor(raw); },
            Qt::DirectConnection);
}

void Measure::forwardSensorColor(const CColor& raw)
{
    if (QThread::currentThread() == thread()) {
        doColorChanged(raw);
        return;
    }
    // A request's reading is shown when the request is answered, and not at
    // all when it was cancelled meanwhile.
    if (InstrumentWorker::Job* job = InstrumentWorker::currentJob()) {
        job->onSuccess([this, raw] { doColorChanged(raw); });
        return;
    }
    // The alignment service's reading.
    QMetaObject::invokeMethod(this, [this, raw] { doColorChanged(raw); }, Qt::QueuedConnection);
}

bool Measure::initSensor(int type, QString port)
{
    holdInstrumentIdle(InstrumentWorker::Sensor);
    sensorType = type;
    createSensor(type);
    if (!sensor)
        return false;
    if (sensor->getHasComPort()) {
        // The monitor's line: the sensor's commands would go to the display.
        if (isMonitorPort(port)) {
            qDebug() << "Measure initSensor: the monitor uses" << port;
            return false;
        }
        sensorPortPath = devicePath(port);
        qDebug() << "Measure initSensor " << sensorPortPath;
    } else {
        sensorPortPath = port;
    }
    return sensor->init(sensorPortPath);
}

bool Measure::connectSensor()
{
    // The instrument thread has the sensor.
    if (!sensor || worker->isBusy(InstrumentWorker::Sensor))
        return false;
    if (!sensor->getIsOpen())
        sensor->init(sensor->getHasComPort() ? sensorPortPath : QString());
    const bool open = sensor->getIsOpen();
    emit sensorConnected(open);
    return open;
}

void Measure::releaseSensor()
{
    holdInstrumentIdle(InstrumentWorker::Sensor);
    if (!sensor)
        return;
    const auto idle = holdAlignmentIdle();
    if (sensor->getIsOpen())
        sensor->release();
    delete sensor;
    sensor = nullptr;
}

bool Measure::initMonitor()
{
    // A monitor still there would otherwise be lost.
    holdInstrumentIdle(InstrumentWorker::Monitor);
    releaseMonitor();
    const auto idle = holdAlignmentIdle();
    monitor = new CMonitor;
    return true;
}

bool Measure::connectMonitor(QString portName)
{
    // The sensor's line: the service would answer the instrument as a display.
    // A pending request has the monitor.
    if (!monitor || isSensorPort(portName) || worker->isBusy(InstrumentWorker::Monitor)) {
        emit monitorConnected(false);
        return false;
    }
    if (!monitor->GetInit())
        qDebug() << "Measure connectMonitor " << portName;
    monitor->init(devicePath(portName));
    const bool open = monitor->GetInit();
    emit monitorConnected(open);
    return open;
}

void Measure::releaseMonitor()
{
    holdInstrumentIdle(InstrumentWorker::Monitor);
    if (!monitor)
        return;
    const auto idle = holdAlignmentIdle();
    if (monitor->GetInit())
        monitor->release();
    delete monitor;
    monitor = nullptr;
}

std::unique_lock<std::mutex> Measure::holdAlignmentIdle()
{
    // Switching alignment off right before a change is legal, and the pass in
    // progress may still be using the sensor or the monitor.
    return alignmentThread ? alignmentThread->holdIdle() : std::unique_lock<std::mutex>();
}

void Measure::SetMatrix(Matrix m)
{
    {
        QMutexLocker lock(&matrixMutex);
        matrix = m;
    }
    emit matrixChanged(m);
}

Matrix Measure::correctionMatrix() const
{
    QMutexLocker lock(&matrixMutex);
    return matrix;
}

void Measure::setSensorPort(int n)
{
    sensorPort = n;
    emit sensorPortChanged(n);
}

void Measure::setMonitorPort(int n)
{
    monitorPort = n;
    emit monitorPortChanged(n);
}

void Measure::doSensorPortChanged(int n)
{
    sensorPort = n;
    CSensor::setComPort(n);
}

void Measure::doMonitorPortChanged(int n)
{
    monitorPort = n;
}

bool Measure::GetIsAlignment() const
{
    return alignmentThread && alignmentThread->isAligning();
}

Measure::AlignmentState Measure::alignmentState() const
{
    if (!alignmentThread)
        return AlignmentState::Off;
    if (alignmentThread->isAligning())
        return AlignmentState::On;
    return alignmentThread->inPeriod() ? AlignmentState::Stopping : AlignmentState::Off;
}

bool Measure::isServingAlignment() const
{
    return alignmentThread && alignmentThread->isServing();
}

quint64 Measure::alignmentPasses() const
{
    return alignmentThread ? alignmentThread->passes() : 0;
}

void Measure::doColorChanged(CColor raw)
{
    emit rawColorChanged(raw);
    // A failed reading stays recognisable: multiplied by a correction matrix it
    // would pass for a value.
    if (raw.IsNoData()) {
        emit colorChanged(noDataColor);
        return;
    }
    CColor corrected = correctionMatrix() * raw;
    emit colorChanged(corrected);
}

void Measure::doSingleMeasure()
{
    if (!sensor) {
        Messenger::warning(nullptr, tr("Single measure"), tr("Sensor not connected!"));
        return;
    }
    if (worker->isBusy(InstrumentWorker::Sensor)) {
        refuseInstrumentRequest(tr("Single measure"), InstrumentWorker::Sensor);
        return;
    }
    if (!connectSensor())
        return;
    // Also while the service is still finishing its last instrument call: two
    // threads must never talk to one instrument.
    if (isAlignmentBusy()) {
        Messenger::warning(nullptr, tr("Single measure"),
                           alignmentState() == AlignmentState::Stopping
                               ? tr("Alignment is stopping. Try again when it has stopped.")
                               : tr("Alignment is on."));
        return;
    }
    sensor->startMeasure();
    sensor->MeasureColor();
}

bool Measure::doAlignment()
{
    // Switching off needs neither instrument: a display unplugged during
    // alignment (whose port the service has closed) must not lock the user in.
    if (GetIsAlignment()) {
        const bool on = alignmentThread->doAlignment();
        emit alignmentStateChanged(alignmentState());
        return on;
    }
    if (sensor && sensor->getIsOpen() && monitor && monitor->GetInit() && alignmentThread) {
        // The service would talk to an instrument a request is talking to.
        if (worker->isBusy()) {
            Messenger::warning(nullptr, tr("Error!"), waitingText());
            return false;
        }
        // A single reading collected on this thread right now (a driver's box
        // runs its own loop) would overlap with the service's calls.
        if (sensor->isCollecting()) {
            Messenger::warning(nullptr, tr("Error!"), tr("The sensor is busy with a reading."));
            return false;
        }
        // The service takes the instrument over: a single reading still armed
        // would run on this thread while the service measures.
        sensor->cancelPendingReading();
        const bool on = alignmentThread->doAlignment();
        emit alignmentStateChanged(alignmentState());
        return on;
    }
    Messenger::critical(nullptr, tr("Error!"), tr("Connect Sensor and Monitor First!"));
    return false;
}

bool Measure::saveProfile(QString fileName, QString* error)
{
    if (!sensor) {
        if (error)
            *error = tr("Sensor not connected!");
        return false;
    }
    const AlignmentProfile profile(sensorType, sensor->getSerialNumber(), correctionMatrix());
    return profile.write(fileName, error);
}

void Measure::holdInstrumentIdle(int instruments)
{
    if (worker)
        worker->cancelAndWait(InstrumentWorker::Instruments(instruments));
}

bool Measure::isInstrumentBusy() const
{
    return worker && worker->isBusy();
}

bool Measure::isSensorBusy() const
{
    return worker && worker->isBusy(InstrumentWorker::Sensor);
}

QString Measure::instrumentWaitText() const
{
    return worker ? worker->waitingFor() : QString();
}

QString Measure::waitingText() const
{
    return tr("Waiting for the instrument: %1. Try again when it has answered, or cancel.")
        .arg(instrumentWaitText());
}

bool Measure::isCancellingInstrumentRequest() const
{
    return worker && worker->isCancelling();
}

void Measure::cancelInstrumentRequest()
{
    if (worker)
        worker->cancel();
}

bool Measure::refuseInstrumentRequest(const QString& title, int instruments)
{
    // Also while the service is still finishing an instrument call.
    if (isAlignmentBusy()) {
        Messenger::warning(nullptr, title,
                           alignmentState() == AlignmentState::Stopping
                               ? tr("Alignment is stopping. Try again when it has stopped.")
                               : tr("Alignment is on."));
        return true;
    }
    if (worker->isBusy(InstrumentWorker::Instruments(instruments))) {
        Messenger::warning(nullptr, title, waitingText());
        return true;
    }
    if ((instruments & InstrumentWorker::Sensor) && sensor) {
        // A reading of the synchronous calls, collected on this thread right
        // now or armed to be, would talk to the sensor beside the request.
        if (sensor->isCollecting()) {
            Messenger::warning(nullptr, title, tr("The sensor is busy with a reading."));
            return true;
        }
        sensor->cancelPendingReading();
    }
    return false;
}

void Measure::submitRequest(Request request, int instruments, const QString& what, CSensor* waitingSensor,
                            CMonitor* waitingMonitor, std::function<QVariant(InstrumentWorker::Job&)> run,
                            std::function<void(const QVariant&)> undo,
                            std::function<RequestResult(bool cancelled, const QVariant&)> finish)
{
    InstrumentWorker::Request r;
    r.instruments = InstrumentWorker::Instruments(instruments);
    r.what = what;
    r.run = std::move(run);
    r.undo = std::move(undo);
    r.interrupt = [waitingSensor, waitingMonitor] {
        if (waitingSensor)
            waitingSensor->cancelWaits();
        if (waitingMonitor)
            waitingMonitor->cancelWaits();
    };
    // The next user of the instruments must be able to wait again.
    r.resume = [waitingSensor, waitingMonitor] {
        if (waitingSensor)
            waitingSensor->resumeWaits();
        if (waitingMonitor)
            waitingMonitor->resumeWaits();
    };
    r.done = [this, request, finish](InstrumentWorker::Outcome outcome, const QVariant& result) {
        const bool cancelled = outcome == InstrumentWorker::Outcome::Cancelled;
        const RequestResult how = finish(cancelled, result);
        emit requestFinished(request, cancelled ? RequestResult::Cancelled : how);
    };
    worker->submit(std::move(r));
}

bool Measure::requestConnectSensor(int type, QString port)
{
    if (refuseInstrumentRequest(tr("Sensor"), InstrumentWorker::Sensor))
        return false;
    sensorType = type;
    // An open sensor is released on the instrument thread (a library call)
    // and deleted once that has returned; a closed one needs no instrument.
    CSensor* old = nullptr;
    if (sensor) {
        const auto idle = holdAlignmentIdle();
        if (sensor->getIsOpen())
            old = sensor;
        else
            delete sensor;
        sensor = nullptr;
    }
    createSensor(type);
    CSensor* fresh = sensor;
    QString path = port;
    // The monitor's line: the sensor's commands would go to the display.
    bool shared = false;
    if (fresh && fresh->getHasComPort()) {
        shared = isMonitorPort(port);
        path = devicePath(port);
    }
    if (fresh && !shared)
        sensorPortPath = path;
    submitRequest(
        Request::ConnectSensor, InstrumentWorker::Sensor, tr("Connecting the sensor"), fresh, nullptr,
        [old, fresh, path, shared](InstrumentWorker::Job&) {
            if (old)
                old->release();
            return QVariant(fresh && !shared && fresh->init(path));
        },
        [fresh](const QVariant&) {
            // Cancelled while opening: nothing stays open, and the port is
            // free, which a driver that failed to open may still be holding.
            if (fresh)
                fresh->release();
        },
        [this, old](bool cancelled, const QVariant& result) {
            delete old;
            const bool open = !cancelled && result.toBool();
            emit sensorConnected(open);
            return open ? RequestResult::Succeeded : RequestResult::Failed;
        });
    return true;
}

bool Measure::requestConnectMonitor(QString portName)
{
    if (refuseInstrumentRequest(tr("Monitor"), InstrumentWorker::Monitor))
        return false;
    initMonitor();
    CMonitor* link = monitor;
    // The sensor's line: the service would answer the instrument as a display.
    const bool shared = isSensorPort(portName);
    const QString path = devicePath(portName);
    submitRequest(
        Request::ConnectMonitor, InstrumentWorker::Monitor, tr("Connecting the monitor"), nullptr, link,
        [link, path, shared](InstrumentWorker::Job&) { return QVariant(!shared && link->init(path)); },
        [link](const QVariant&) { link->release(); },
        [this](bool cancelled, const QVariant& result) {
            const bool open = !cancelled && result.toBool();
            emit monitorConnected(open);
            return open ? RequestResult::Succeeded : RequestResult::Failed;
        });
    return true;
}

bool Measure::requestSingleMeasure()
{
    if (!sensor) {
        Messenger::warning(nullptr, tr("Single measure"), tr("Sensor not connected!"));
        return false;
    }
    if (refuseInstrumentRequest(tr("Single measure"), InstrumentWorker::Sensor))
        return false;
    CSensor* reading = sensor;
    const QString path = reading->getHasComPort() ? sensorPortPath : QString();
    // Opened here when closed; undone when cancelled, as the reading is.
    auto openedHere = std::make_shared<std::atomic<bool>>(false);
    submitRequest(
        Request::SingleMeasure, InstrumentWorker::Sensor, tr("Measuring"), reading, nullptr,
        [reading, path, openedHere](InstrumentWorker::Job& job) {
            if (!reading->getIsOpen()) {
                if (!reading->init(path))
                    return QVariant(false);
                openedHere->store(true);
            }
            reading->startMeasure();
            // Not the sensor's own timer: that would need this thread's event
            // loop, and could not be cut short by a cancel.
            if (!job.sleep(reading->getMeasureDelay()))
                return QVariant(true);
            // Its colorChanged comes through forwardSensorColor(), held until
            // the request is answered.
            reading->GetColor();
            return QVariant(true);
        },
        [reading, openedHere](const QVariant&) {
            if (openedHere->load() && reading->getIsOpen())
                reading->release();
        },
        [this](bool cancelled, const QVariant& result) {
            if (cancelled)
                return RequestResult::Cancelled;
            const bool open = result.toBool();
            emit sensorConnected(open);
            return open ? RequestResult::Succeeded : RequestResult::Failed;
        });
    return true;
}

bool Measure::requestRelease(bool releaseSensor, bool releaseMonitor)
{
    const int instruments = (releaseSensor ? InstrumentWorker::Sensor : 0)
                            | (releaseMonitor ? InstrumentWorker::Monitor : 0);
    if (!instruments || refuseInstrumentRequest(tr("Warning"), instruments))
        return false;
    CSensor* oldSensor = nullptr;
    CMonitor* oldMonitor = nullptr;
    {
        // Out of the service's reach before they are let go of.
        const auto idle = holdAlignmentIdle();
        if (releaseSensor)
            std::swap(oldSensor, sensor);
        if (releaseMonitor)
            std::swap(oldMonitor, monitor);
    }
    submitRequest(
        Request::Release, instruments, tr("Releasing the instruments"), oldSensor, oldMonitor,
        [oldSensor, oldMonitor](InstrumentWorker::Job&) {
            if (oldSensor && oldSensor->getIsOpen())
                oldSensor->release();
            if (oldMonitor && oldMonitor->GetInit())
                oldMonitor->release();
            return QVariant(true);
        },
        {},
        // Let go of also when cancelled: a release has nothing to take back.
        [oldSensor, oldMonitor](bool, const QVariant&) {
            delete oldSensor;
            delete oldMonitor;
            return RequestResult::Succeeded;
        });
    return true;
}

bool Measure::runInstrumentJob(QString what, std::function<QVariant()> job, QObject* context,
                               std::function<void(QVariant)> done)
{
    if (!job || refuseInstrumentRequest(tr("Warning"), InstrumentWorker::Sensor))
        return false;
    const QPointer<QObject> receiver(context);
    submitRequest(Request::Job, InstrumentWorker::Sensor, what, sensor, nullptr,
                  [job](InstrumentWorker::Job&) { return job(); }, {},
                  [receiver, context, done](bool cancelled, const QVariant& result) {
                      // A dialog closed meanwhile gets nothing.
                      if (!cancelled && done && (!context || receiver))
                          done(result);
                      return RequestResult::Succeeded;
                  });
    return true;
}
