#ifndef PR6XXSENSOR_H
#define PR6XXSENSOR_H

#include "storedportsensor.h"

class PR6xxCmd;

// Driver of the PR-6xx spectroradiometers: ASCII commands written byte by byte,
// replies that begin with a five-digit status. The instrument is opened on the
// ttyACM device numbered by the remembered sensor port, put into remote mode
// with "PHOTO" and identified; each reading is one measure-and-report command.
//
// Every call blocks its thread until the reply is complete or the collection
// deadline passes, so one driver must not be used by two threads at once.
class PR6xxSensor : public StoredPortSensor
{
    Q_OBJECT

public:
    static constexpr int DefaultCollectDeadline = 9000;
    // How long one read of a reply waits for bytes.
    static constexpr int ReadTimeout = 400;
    // What startMeasure() reports: the instrument needs about this long for
    // the reading that GetColor() takes.
    static constexpr int MeasureTime = 9000;

    explicit PR6xxSensor(QObject* parent = nullptr);
    ~PR6xxSensor() override;

    bool init(QString port) override;
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    // Sends the command and collects its reply until it has the awaited length,
    // ends in CR LF at most two bytes short of it, or the deadline passes; the
    // command's handler judges what was collected.
    bool doCmd(PR6xxCmd& cmd);

    // How long doCmd() collects a reply, in ms.
    void setCollectDeadline(int msecs) { collectDeadline = msecs; }
    int getCollectDeadline() const { return collectDeadline; }

private:
    int collectDeadline = DefaultCollectDeadline;
};

#endif // PR6XXSENSOR_H
