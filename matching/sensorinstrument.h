#ifndef SENSORINSTRUMENT_H
#define SENSORINSTRUMENT_H

#include "matchinginstrument.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class CSensor;

// A matching instrument driven by the program's own driver for a sensor type:
// every type with a driver, the CS-2000 and the PR-6xx included, whether or
// not the window offers it.
class SensorInstrument : public MatchingInstrument
{
public:
    // port: a name under /dev or a full path, kept as given; empty for an
    // instrument reached without one.
    SensorInstrument(int sensorType, QString port);
    // With the driver makeDriver hands over instead of the table's, for an
    // instrument the table cannot make (a stand-in); the type still names it.
    using DriverFactory = std::function<CSensor*()>;
    SensorInstrument(int sensorType, QString port, DriverFactory makeDriver);
    ~SensorInstrument() override;

    // Whether the program has a driver for the type.
    static bool hasDriver(int sensorType);

    bool open(QString* error) override;
    void close() override;
    RepeatStatistics::Xyz read() override;
    void cancel() override;
    void resume() override;
    MatchingSession::Instrument identity() const override;
    // Known once open: the driver says whether it keeps matrices.
    bool hasMatrixMemory() const override;
    bool storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error) override;

private:
    QString typeName() const;
    // False at once when cancelled, else after msecs.
    bool waitUnlessCancelled(int msecs);

    const int m_type;
    const QString m_port;
    const DriverFactory m_makeDriver;
    // Set and dropped on the instrument's thread; cancel() reaches it under the lock.
    std::unique_ptr<CSensor> m_sensor;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_cancelled = false;
    QString m_serialNumber;
    bool m_hasMatrixMemory = false;
};

#endif // SENSORINSTRUMENT_H
