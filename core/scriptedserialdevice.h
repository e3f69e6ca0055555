#ifndef SCRIPTEDSERIALDEVICE_H
#define SCRIPTEDSERIALDEVICE_H

#include "serialdevice.h"

#include <QByteArray>
#include <QList>

// An instrument or display in memory that plays a script of replies: each
// command written to it (the bytes up to commandEnd, or with commandEnd 0 each
// write) is answered with the next reply, and a reader that waits with nothing
// to read gets the next reply unasked. An empty reply is silence: the next wait
// with nothing to read times out. Once every reply has been given and read, the
// device hangs up. No wait on it ever takes real time, so a driver's whole
// conversation with it runs as fast as the driver can parse.
class ScriptedSerialDevice : public SerialDevice
{
public:
    ScriptedSerialDevice(QList<QByteArray> replies, char commandEnd);

    qint64 write(const char* data, qint64 size) override;
    qint64 read(char* data, qint64 maxSize) override;
    qint64 bytesAvailable() const override;
    bool waitForReadyRead(int msecs) override;
    bool isHungUp() const override;
    void discardInput() override;

    // Everything written to the device so far.
    QByteArray written() const { return m_written; }
    // Replies not given yet.
    int repliesLeft() const { return m_replies.size() - m_next; }

private:
    void giveNextReply();
    int pendingSize() const;

    QList<QByteArray> m_replies;
    int m_next = 0;
    char m_commandEnd;
    // Received bytes not yet read are m_pending from m_readPos on.
    QByteArray m_pending;
    int m_readPos = 0;
    // Empty replies given whose time-out no wait has had yet.
    int m_silences = 0;
    QByteArray m_written;
};

#endif // SCRIPTEDSERIALDEVICE_H
