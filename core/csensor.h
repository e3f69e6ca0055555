#ifndef CSENSOR_H
#define CSENSOR_H

#include "ccolor.h"
#include "cspectrum.h"

#include <QObject>
#include <QString>

// Base of every instrument driver. Without an instrument it produces a simple
// deterministic series of readings, which keeps the measurement paths testable.
//
// A driver's constructor names the instrument and sets hasComPort; init() opens it
// and fills the identity; startMeasure() starts a reading and returns the wait in
// milliseconds; GetColor() collects it and announces it with colorChanged().
// A failed reading is noDataColor from every driver, told from the instrument's
// or library's result; zeros are a reading of black, never a failure.
class CrModes;
class MatrixStore;
class QTimer;

class CSensor : public QObject
{
    Q_OBJECT

public:
    explicit CSensor(QObject* parent = nullptr);
    ~CSensor() override;

    virtual bool init(QString port);
    virtual void release();
    virtual int startMeasure();
    virtual void stopMeasure();

    // Collects the reading after measureDelay milliseconds, from the event loop of
    // the thread this object lives in. Returns at once.
    void MeasureColor();
    // A reading armed by MeasureColor() and not collected yet.
    bool isReadingPending() const;
    // Drops the armed reading; nothing is collected for it.
    void cancelPendingReading();
    // True while MeasureColor()'s reading is being collected on this thread.
    bool isCollecting() const { return collecting; }

    // End the driver's waits on its serial line at once, from any thread, until
    // resumed: how switching alignment off interrupts a reading in progress.
    // Drivers whose waits are inside an outside library cannot be interrupted.
    virtual void cancelWaits();
    virtual void resumeWaits();

    QString getName() const { return name; }
    QString getSerialNumber() const { return serialNumber; }
    QString getFirmwareVersion() const { return firmwareVersion; }
    QString getPortName() const { return portName; }
    CColor getLastColor() const { return color; }
    CSpectrum getSpectrum() const { return spectrum; }
    int getMeasureDelay() const { return measureDelay; }
    bool getIsOpen() const { return isOpen; }
    bool getHasComPort() const { return hasComPort; }

    // What only some instruments have, handed out by the drivers that have it;
    // null otherwise. The sensor keeps ownership.
    virtual MatrixStore* matrixStore() { return nullptr; }
    virtual CrModes* crModes() { return nullptr; }

    // The remembered sensor port number in the per-user INI settings.
    static int getComPort();
    static void setComPort(int port);

signals:
    void colorChanged(CColor color);

public slots:
    virtual CColor GetColor();

protected:
    QString name;
    QString serialNumber;
    QString firmwareVersion;
    QString portName;
    CColor color;
    CSpectrum spectrum;
    int measureDelay = 0;
    bool isOpen = false;
    bool hasComPort = false;

private:
    QTimer* readingTimer = nullptr;
    bool collecting = false;
};

#endif // CSENSOR_H
