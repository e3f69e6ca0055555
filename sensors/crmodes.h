#ifndef CRMODES_H
#define CRMODES_H

#include <QString>
#include <QStringList>

// The selectable modes of a CR-100 or CR-250 (calibration mode with its stored
// matrix or match entry, sync mode and frequency, speed), read when the
// instrument is opened and changed at once by the setters. Reached through
// CSensor::crModes() without knowing the driver.
class CrModes
{
public:
    virtual ~CrModes() = default;

    virtual QStringList getCalibModeList() const = 0;
    virtual int getCalibMode() const = 0;
    virtual QStringList getMatrixList() const = 0;
    virtual int getMatrixIndex() const = 0;
    virtual QStringList getMatchList() const = 0;
    virtual int getMatchIndex() const = 0;
    virtual QStringList getSyncModeList() const = 0;
    virtual int getSyncMode() const = 0;
    virtual int getSyncFreq() const = 0;
    virtual QStringList getSpeedList() const = 0;
    virtual int getSpeedMode() const = 0;

    virtual bool setCalibMode(int mode) = 0;
    virtual bool setCalibMatrix(int index) = 0;
    virtual bool setCalibMatch(int index) = 0;
    virtual bool setSyncMode(int mode) = 0;
    virtual bool setSpeedMode(int mode) = 0;
    virtual bool setSynFreq(int hz) = 0;

    // How long the driver waits for each reply line, in ms.
    virtual void setReadDeadline(int msecs) = 0;

protected:
    CrModes() = default;
    CrModes(const CrModes&) = default;
    CrModes& operator=(const CrModes&) = default;
};

#endif // CRMODES_H
