#ifndef SENSORINSTRUMENT_H
#define SENSORINSTRUMENT_H

#include "matchinginstrument.h"

#include <QString>

#include <memory>

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
    ~SensorInstrument() override;

    // Whether the program has a driver for the type.
    static bool hasDriver(int sensorType);

    bool open(QString* error) override;
    void close() override;
    RepeatStatistics::Xyz read() override;
    void cancel() override;
    void resume() override;
    MatchingSession::Instrument identity() const override;
    bool hasMatrixMemory() const override;
    bool storeMatrix(int index, const QString& name, const Matrix3x3& matrix, QString* error) override;

private:
    const int m_type;
    const QString m_port;
    std::unique_ptr<CSensor> m_sensor;
};

#endif // SENSORINSTRUMENT_H
