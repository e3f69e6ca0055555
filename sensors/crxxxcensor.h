#ifndef CRXXXCENSOR_H
#define CRXXXCENSOR_H

#include "csensor.h"
#include "crmodes.h"

#include <QString>
#include <QStringList>

#include <memory>

class SerialPort;

// Driver of the CR-100 and CR-250 colorimeters: CR-terminated text commands,
// replies ended by CR LF whose ":"-separated fields carry the status first and
// the value fourth. Opening reads the identity, the model and the instrument's
// selectable modes with the current choice of each; the setters change them.
//
// Every call blocks its thread until the instrument answers or the read
// deadline passes, so one driver must not be used by two threads at once.
class CRXXXCensor : public CSensor, public CrModes
{
    Q_OBJECT

public:
    // Longest reply line accepted; a longer one is a failed reply.
    static constexpr int LineBufferSize = 512;
    static constexpr int DefaultReadDeadline = 120000;

    explicit CRXXXCensor(QObject* parent = nullptr);
    ~CRXXXCensor() override;

    bool init(QString port) override;
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;
    void cancelWaits() override;
    void resumeWaits() override;

    CrModes* crModes() override { return this; }

    bool getHwInfor();
    bool doCmd(const QString& text);
    QString readline();

    bool setCalibMode(int mode) override;
    bool setCalibMatrix(int index) override;
    bool setCalibMatch(int index) override;
    bool setSyncMode(int mode) override;
    bool setSpeedMode(int mode) override;
    bool setSynFreq(int hz) override;

    // How long readline() waits for a complete line, in ms.
    void setReadDeadline(int msecs) override { readDeadline = msecs; }
    int getReadDeadline() const { return readDeadline; }

    QString getModel() const { return model; }
    QStringList getCalibModeList() const override { return calibModeList; }
    int getCalibMode() const override { return calibMode; }
    QStringList getMatrixList() const override { return matrixList; }
    int getMatrixIndex() const override { return matrixIndex; }
    QStringList getMatchList() const override { return matchList; }
    int getMatchIndex() const override { return matchIndex; }
    QStringList getSyncModeList() const override { return syncModeList; }
    int getSyncMode() const override { return syncMode; }
    int getSyncFreq() const override { return syncFreq; }
    QStringList getSpeedList() const override { return speedList; }
    int getSpeedMode() const override { return speedMode; }
    // The last reply line read by doCmd() or by a list read.
    QString getLastReply() const { return lastReply; }

private:
    bool readList(int count, QStringList* names);
    bool sendSetter(const QString& command, int value);
    bool queryFrequency(const QString& command, double* hz);
    // Part 3 of the last reply, or false when it has fewer than four parts.
    bool replyValue(QString* value) const;

    std::unique_ptr<SerialPort> port;
    QString model;
    QStringList calibModeList;
    int calibMode = 0;
    QStringList matrixList;
    int matrixIndex = 0;
    QStringList matchList;
    int matchIndex = 0;
    QStringList syncModeList;
    int syncMode = 0;
    int syncFreq = 0;
    QStringList speedList;
    int speedMode = 0;

    QString lastReply;
    int readDeadline = DefaultReadDeadline;
};

#endif // CRXXXCENSOR_H
