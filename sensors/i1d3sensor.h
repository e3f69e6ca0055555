#ifndef I1D3SENSOR_H
#define I1D3SENSOR_H

#include "calfile.h"
#include "csensor.h"
#include "matrixstore.h"

#include <QLibrary>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

// Text for an i1Display Pro library result code, chosen by its low 8 bits.
QString i1d3_err(int32_t code);
// Text for the library family's general error class, bits 16-23 of a code.
QString mlink_err(int32_t code);

// Driver of the i1Display Pro colorimeter, reached only through the outside
// library libmlink_i1d3, loaded at run time by file name.
//
// Dark patches can take the instrument more than five seconds. After such a
// reading the next startMeasure() does not measure but tells the caller to wait
// for GetColor(), which then takes the reading itself; see startMeasure().
// The instrument's LED is off while a reading started by startMeasure() waits
// to be collected and on otherwise.
//
// The instrument keeps calibration matrices in slots 0 to 17.
class I1d3Sensor : public CSensor, public MatrixStore
{
    Q_OBJECT

public:
    static constexpr int MaxCalIndex = 17;
    // A reading of this many ms or more is slow.
    static constexpr int SlowReading = 5001;
    static constexpr int DefaultWait = 500;
    static constexpr int FailedWait = 100;
    static constexpr int SlowWaitExtra = 1000;

    // Monotonic milliseconds; what the duration of a reading is measured with.
    using Clock = std::function<qint64()>;

    explicit I1d3Sensor(QObject* parent = nullptr);
    ~I1d3Sensor() override;

    bool init(QString port) override;
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    // Names "MAT[index]_name" of the stored matrices; empty on failure.
    MatrixStore* matrixStore() override { return this; }

    QStringList GetCalList() override;
    // The matrix at position listIndex of the last GetCalList(); a Calfile with
    // an empty name on failure.
    Calfile GetCalfile(int listIndex) override;
    // 0 when stored, 1 otherwise.
    int SaveCalfile(Calfile calfile) override;
    // 0 when deleted, 1 otherwise.
    int DelCalfile(int index) override;

    int getUsrEnabled() const override { return usrEnabled; }
    bool isMeasured() const { return measured; }
    bool isDelayMode() const { return delayMode; }
    CColor getReading() const { return reading; }
    QStringList getCalNames() const { return calNames; }
    QList<int> getCalChannels() const { return calChannels; }

    // Replaces the clock, for instance by the simulated instrument's own;
    // an empty one restores the steady system clock.
    void setClock(Clock clock);

private:
    struct Api;

    bool openDevice();
    bool bindLibrary();
    // Releases the device and tells the user why opening failed.
    bool failOpen(const QString& text, int32_t code);
    void closeDevice();
    void closeLibrary();
    // One reading; the library's code, or its code for a missing device.
    int32_t measureXYZ(double* xyz);
    // The LED's state does not decide anything, so failures are ignored.
    void setLed(int32_t state);
    int elapsedSince(qint64 start) const;

    QLibrary library;
    std::unique_ptr<Api> api;
    void* handle = nullptr;
    CColor reading;
    int32_t usrEnabled = 0;
    bool measured = false;
    bool delayMode = false;
    QStringList calNames;
    QList<int> calChannels;
    Clock clock;
};

#endif // I1D3SENSOR_H
