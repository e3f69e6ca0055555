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
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    // What startMeasure returns, and how long it blocks first (the instrument's
    // measuring time).
    void setStartResult(int ms) { startResult.store(ms); }
    void setStartDuration(int ms) { startDuration.store(ms); }
    void setInitResult(bool ok) { initResult.store(ok); }
    // How long init blocks (a library opening its instrument).
    void setInitDuration(int ms) { initDuration.store(ms); }
    // How long release blocks (a library letting go of its instrument).
    void setReleaseDuration(int ms) { releaseDuration.store(ms); }
    void setHasComPort(bool has) { hasComPort = has; }
    void setSerialNumber(const QString& sn) { serialNumber = sn; }
    void setMeasureDelay(int ms) { measureDelay = ms; }
    // How long GetColor blocks (the instrument sending its values).
    void setColorDuration(int ms) { colorDuration.store(ms); }
    // A warning the driver raises in every startMeasure, as drivers do when
    // their instrument refuses.
    void setStartWarning(const QString& text);
    // Readings handed out by GetColor in order; the last one repeats.
    void queueReading(const CColor& c);

    std::atomic<int> initCalls{0};
    std::atomic<int> startCalls{0};
    std::atomic<int> stopCalls{0};
    std::atomic<int> colorCalls{0};
    std::atomic<bool> insideStart{false};
    std::atomic<bool> insideInit{false};
    std::atomic<bool> insideColor{false};
    std::atomic<bool> insideRelease{false};
    std::atomic<int> releaseCalls{0};
    // The most instrument calls that were ever in progress at once; a real
    // instrument library breaks when this exceeds 1.
    std::atomic<int> maxCallsAtOnce{0};

private:
    struct CallScope {
        explicit CallScope(ScriptedSensor& s);
        ~CallScope();
        ScriptedSensor& sensor;
    };
    std::atomic<int> callsInside{0};
    std::atomic<int> colorDuration{0};
    QString startWarning;
    std::atomic<int> startResult{500};
    std::atomic<int> startDuration{0};
    std::atomic<int> initDuration{0};
    std::atomic<int> releaseDuration{0};
    std::atomic<bool> initResult{true};
    QMutex readingsMutex;
    QQueue<CColor> readings;
    CColor lastReading{1.0, 2.0, 3.0};
};

#endif // SCRIPTEDSENSOR_H
