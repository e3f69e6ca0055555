#ifndef MEASURE_H
#define MEASURE_H

#include "ccolor.h"
#include "instrumentworker.h"
#include "matrix.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <mutex>

class AlignmentThread;
class CMonitor;
class CSensor;

// The measurement controller: owns the current sensor driver, the link to the
// display under alignment, the alignment service thread and the 3 x 3 correction
// matrix, and turns every raw reading into the corrected colour.
class Measure : public QObject
{
    Q_OBJECT

public:
    // Creates the driver for a sensor type, or nullptr for a type without one.
    using SensorFactory = std::function<CSensor*(int type)>;

    // Off: the service sleeps. On: it serves the display. Stopping: switched off,
    // but the service is still inside an instrument call and holds the sensor and
    // the monitor until that call returns.
    enum class AlignmentState { Off, On, Stopping };
    Q_ENUM(AlignmentState)

    // The window's requests to the instruments, and how each ended.
    enum class Request { ConnectSensor, ConnectMonitor, SingleMeasure, Release, Job };
    Q_ENUM(Request)
    enum class RequestResult { Succeeded, Failed, Cancelled };
    Q_ENUM(RequestResult)

    explicit Measure(QObject* parent = nullptr);
    ~Measure() override;

    void release();
    void createSensor(int type);
    bool initSensor(int type, QString port);
    bool connectSensor();
    void releaseSensor();
    bool initMonitor();
    bool connectMonitor(QString portName);
    void releaseMonitor();

    void SetMatrix(Matrix m);
    void setSensorPort(int n);
    void setMonitorPort(int n);
    bool GetIsAlignment() const;
    AlignmentState alignmentState() const;
    // True unless the service is off and has let go of the sensor and the
    // monitor: anything else that would use them must wait or be refused.
    bool isAlignmentBusy() const { return alignmentState() != AlignmentState::Off; }
    // True while the alignment thread serves the display's requests.
    bool isServingAlignment() const;
    // Passes of the alignment service loop so far.
    quint64 alignmentPasses() const;
    // Writes the profile of the current sensor and matrix, whole or not at all;
    // false when there is no sensor or the file cannot be written, with the
    // reason in error.
    bool saveProfile(QString fileName, QString* error = nullptr);

    CSensor* currentSensor() const { return sensor; }
    CMonitor* currentMonitor() const { return monitor; }
    // A copy, safe to take from the alignment thread.
    Matrix correctionMatrix() const;
    int getSensorType() const { return sensorType; }
    int getSensorPort() const { return sensorPort; }
    int getMonitorPort() const { return monitorPort; }
    QString getSensorPortPath() const { return sensorPortPath; }

    // The device path of a port: a name under /dev as the window lists it
    // ("ttyACM0", "pts/3"), or a full path, kept as it stands.
    static QString devicePath(const QString& port);
    // Whether two ports lead to one device, also when one is a link to it.
    static bool samePort(const QString& a, const QString& b);
    // Whether port leads to the device the open sensor, or the open monitor,
    // uses already: one device cannot be both.
    bool isSensorPort(const QString& port) const;
    bool isMonitorPort(const QString& port) const;

    // The drivers come from the program that builds the controller (the sensor
    // table's factory), or doubles from a test; until one is handed over, and
    // after an empty one, every type is refused.
    void setSensorFactory(SensorFactory factory);

    // The window's way to the instruments: each request returns at once and
    // runs on the instrument thread, and requestFinished answers it on the
    // main thread. A request is refused, with a message and false, while
    // alignment is busy or while a request for the same instrument is pending.
    // The synchronous calls above stay for the command-line program; one that
    // replaces or deletes an instrument cancels its pending request and waits
    // for it, one that uses it is refused meanwhile.
    //
    // Opens a sensor of the type on the port (as initSensor); the sensor
    // there before is released first. Cancelled: none is left open and the
    // port is free.
    bool requestConnectSensor(int type, QString port);
    // Opens a new monitor link on the port (as initMonitor + connectMonitor).
    bool requestConnectMonitor(QString portName);
    // One reading (as doSingleMeasure), opening the sensor if it is closed;
    // colorChanged follows unless it is cancelled.
    bool requestSingleMeasure();
    // Releases and deletes the sensor, the monitor or both (the port scan).
    bool requestRelease(bool releaseSensor, bool releaseMonitor);
    // Runs job on the instrument thread with the sensor to itself (the
    // dialogs' instrument calls); done gets its result on the main thread
    // unless it was cancelled or context is gone. what says what the window
    // waits for.
    bool runInstrumentJob(QString what, std::function<QVariant()> job, QObject* context,
                          std::function<void(QVariant)> done);
    // True while a request is pending.
    bool isInstrumentBusy() const;
    // What the pending requests wait for; empty when none is.
    QString instrumentWaitText() const;
    // True while a request for the sensor is pending.
    bool isSensorBusy() const;
    // True while a cancelled request waits for its instrument call to return.
    bool isCancellingInstrumentRequest() const;
    // The refusal while a request is pending, for the window's own commands.
    QString waitingText() const;

signals:
    void sensorHasCom(bool hasCom);
    void colorChanged(CColor color);
    void rawColorChanged(CColor color);
    void matrixChanged(Matrix matrix);
    void sensorPortChanged(int port);
    void monitorPortChanged(int port);
    void sensorConnected(bool connected);
    void monitorConnected(bool connected);
    // One request of the display handled by the alignment service, delivered on
    // the main thread: the command (CMonitor::Command), the reply sent (empty
    // when none was), and for a value request the raw and corrected reading.
    void alignmentRequestServed(int command, QString reply, CColor raw, CColor corrected);
    // Emitted on the main thread whenever alignmentState() changes.
    void alignmentStateChanged(Measure::AlignmentState state);
    // During alignment the display's line hung up (the service has closed its
    // port and waits for the same path), or came back and is served again.
    // Delivered on the main thread, with the port's path.
    void monitorHungUp(QString portPath);
    void monitorReconnected(QString portPath);
    // A request of the window began or ended; what it waits for.
    void instrumentBusyChanged(bool busy, QString what);
    // A request of the window was answered (main thread).
    void requestFinished(Measure::Request request, Measure::RequestResult result);

public slots:
    void doColorChanged(CColor raw);
    void doSingleMeasure();
    bool doAlignment();
    void doSensorPortChanged(int n);
    void doMonitorPortChanged(int n);
    // Ends the pending requests: a serial wait at once, a library call when
    // it returns; each is answered Cancelled.
    void cancelInstrumentRequest();

private:
    // A reading of the sensor, from whichever thread took it.
    void forwardSensorColor(const CColor& raw);
    // Refuses, with a message titled title, while alignment is busy or a
    // request for one of the instruments is pending.
    bool refuseInstrumentRequest(const QString& title, int instruments);
    // Submits run for the instruments with the waits of the sensor and the
    // monitor given here (either may be null) as what a cancel ends. finish
    // is called on the main thread, with cancelled, and says how it went.
    void submitRequest(Request request, int instruments, const QString& what, CSensor* waitingSensor,
                       CMonitor* waitingMonitor, std::function<QVariant(InstrumentWorker::Job&)> run,
                       std::function<void(const QVariant&)> undo,
                       std::function<RequestResult(bool cancelled, const QVariant&)> finish);
    // Cancels the pending request for the instruments and waits for it.
    void holdInstrumentIdle(int instruments);

    // Keeps the alignment service off the sensor and the monitor while they are
    // replaced or deleted; switches alignment off if it is on.
    std::unique_lock<std::mutex> holdAlignmentIdle();

    CSensor* sensor = nullptr;
    CMonitor* monitor = nullptr;
    AlignmentThread* alignmentThread = nullptr;
    InstrumentWorker* worker = nullptr;
    Matrix matrix;
    QString sensorPortPath;
    int sensorType = 0;
    int sensorPort = 0;
    int monitorPort = 0;

    // The alignment thread copies the matrix while the user may set a new one.
    mutable QMutex matrixMutex;
    static SensorFactory noSensors();
    SensorFactory sensorFactory;
};

#endif // MEASURE_H
