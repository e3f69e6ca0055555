#ifndef CS2000SENSOR_H
#define CS2000SENSOR_H

#include "storedportsensor.h"

class Cs2000Cmd;

// Driver of the CS-2000 spectroradiometer: CR LF-terminated ASCII commands whose
// replies have a fixed length per command. The instrument is opened on the
// ttyACM device numbered by the remembered sensor port, put into command mode
// and identified; a reading is a started measurement, the instrument's own
// end-of-measurement message, then an XYZ readout.
//
// Every call blocks its thread until the instrument answers or the reply
// deadline passes, so one driver must not be used by two threads at once.
class CS2000Sensor : public StoredPortSensor
{
    Q_OBJECT

public:
    static constexpr int DefaultReplyDeadline = 40000;
    // How long one read of a reply waits for more bytes.
    static constexpr int ReadTimeout = 800;
    static constexpr int MinimumMeasureTime = 2000;
    // The longest time spent throwing away the rest of a broken reply, so a
    // line that keeps chattering cannot hold the driver.
    static constexpr int DiscardLimit = 4 * ReadTimeout;

    explicit CS2000Sensor(QObject* parent = nullptr);
    ~CS2000Sensor() override;

    bool init(QString port) override;
    void release() override;
    int startMeasure() override;
    void stopMeasure() override;
    CColor GetColor() override;

    // Sends the command, awaits a reply of exactly its reply length and hands it
    // to the command's handler.
    bool doCmd(Cs2000Cmd& cmd);

    // How long doCmd() waits for the first bytes of a reply, in ms.
    void setReplyDeadline(int msecs) { replyDeadline = msecs; }
    int getReplyDeadline() const { return replyDeadline; }

private:
    // Throws away what is left of a reply that came short or late, until the
    // line has been quiet for one read timeout.
    void discardRestOfReply();

    int replyDeadline = DefaultReplyDeadline;
};

#endif // CS2000SENSOR_H
