#ifndef SCRIPTEDSENSOR_H
#define SCRIPTEDSENSOR_H

#include "csensor.h"

#include <QMutex>
#include <QQueue>

#include <atomic>

// A sensor double whose answers and timing the test decides. It may be called
// from the alignment thread while the test inspects it from the main thread.
class ScriptedSensor : public CSensor
{
    Q_OBJECT

public:
    explicit ScriptedSensor(QObject* parent = nullptr);

    bool init(QString port) override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    // What startMeasure returns, and how long it blocks first (the instrument's
    // measuring time).
    void setStartResult(int ms) { startResult.store(ms); }
    void setStartDuration(int ms) { startDuration.store(ms); }
    void setInitResult(bool ok) { initResult.store(ok); }
    void setHasComPort(bool has) { hasComPort = has; }
    void setSerialNumber(const QString& sn) { serialNumber = sn; }
    // Readings handed out by GetColor in order; the last one repeats.
    void queueReading(const CColor& c);

    std::atomic<int> initCalls{0};
    std::atomic<int> startCalls{0};
    std::atomic<int> stopCalls{0};
    std::atomic<int> colorCalls{0};
    std::atomic<bool> insideStart{false};

private:
    std::atomic<int> startResult{500};
    std::atomic<int> startDuration{0};
    std::atomic<bool> initResult{true};
    QMutex readingsMutex;
    QQueue<CColor> readings;
    CColor lastReading{1.0, 2.0, 3.0};
};

#endif // SCRIPTEDSENSOR_H
