#include "measure.h"

#include "alignmentprofile.h"
#include "alignmentthread.h"
#include "cmonitor.h"
#include "csensor.h"
#include "messenger.h"

#include <QDebug>
#include <QFileInfo>

#include <utility>

Measure::Measure(QObject* parent)
    : QObject(parent), sensorFactory(noSensors())
{
    qDebug() << "Measure::Measure() start";
    qRegisterMetaType<CColor>("CColor");
    qRegisterMetaType<Matrix>("Matrix");
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
}

Measure::~Measure()
{
    qDebug() << " ~Measure() start";
    release();
}

void Measure::release()
{
    qDebug() << "Measure::release() start";
    // The thread goes first: its destructor waits for the pass in progress, which
    // may still be using the sensor and the monitor.
    delete alignmentThread;
    alignmentThread = nullptr;
    releaseSensor();
    releaseMonitor();
}

QString Measure::devicePath(const QString& port)
{
    // A full path (a symlink a udev rule keeps for whichever device is plugged
    // in) is kept as given, so the device is reopened by that name.
    if (port.startsWith(QLatin1Char('/')))
        return port;
    return QStringLiteral("/dev/%1").arg(port);
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
    const auto idle = holdAlignmentIdle();
    sensor = sensorFactory(type);
    if (!sensor) {
        Messenger::warning(nullptr, tr("Warning"), tr("This sensor is not supported now!"));
        return;
    }
    connect(sensor, &CSensor::colorChanged, this, &Measure::doColorChanged);
}

bool Measure::initSensor(int type, QString port)
{
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
    if (!sensor)
        return false;
    if (!sensor->getIsOpen())
        sensor->init(sensor->getHasComPort() ? sensorPortPath : QString());
    const bool open = sensor->getIsOpen();
    emit sensorConnected(open);
    return open;
}

void Measure::releaseSensor()
{
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
    releaseMonitor();
    const auto idle = holdAlignmentIdle();
    monitor = new CMonitor;
    return true;
}

bool Measure::connectMonitor(QString portName)
{
    // The sensor's line: the service would answer the instrument as a display.
    if (!monitor || isSensorPort(portName)) {
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
