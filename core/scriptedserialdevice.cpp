#include "scriptedserialdevice.h"

#include <cstring>
#include <utility>

ScriptedSerialDevice::ScriptedSerialDevice(QList<QByteArray> replies, char commandEnd)
    : m_replies(std::move(replies)), m_commandEnd(commandEnd)
{
}

void ScriptedSerialDevice::giveNextReply()
{
    if (m_next == m_replies.size())
        return;
    const QByteArray& reply = m_replies.at(m_next++);
    if (reply.isEmpty())
        ++m_silences;
    m_pending += reply;
}

int ScriptedSerialDevice::pendingSize() const
{
    return m_pending.size() - m_readPos;
}

qint64 ScriptedSerialDevice::write(const char* data, qint64 size)
{
    // Like a terminal whose other side has closed: nothing more goes out.
    if (isHungUp())
        return -1;
    m_written.append(data, int(size));
    if (m_commandEnd == '\0') {
        if (size > 0)
            giveNextReply();
        return size;
    }
    for (qint64 i = 0; i < size; ++i) {
        if (data[i] == m_commandEnd)
            giveNextReply();
    }
    return size;
}

qint64 ScriptedSerialDevice::read(char* data, qint64 maxSize)
{
    const int n = int(qMin<qint64>(maxSize, pendingSize()));
    if (n <= 0)
        return 0;
    std::memcpy(data, m_pending.constData() + m_readPos, size_t(n));
    m_readPos += n;
    // Kept until all is read: removing from the front at every read would move
    // a long reply once per byte when a driver reads it byte by byte.
    if (m_readPos == m_pending.size())
        discardInput();
    return n;
}

qint64 ScriptedSerialDevice::bytesAvailable() const
{
    return pendingSize();
}

bool ScriptedSerialDevice::waitForReadyRead(int)
{
    if (pendingSize() == 0 && m_silences == 0)
        giveNextReply();
    if (pendingSize() > 0)
        return true;
    if (m_silences > 0) {
        --m_silences;
        return false;
    }
    return isHungUp();
}

bool ScriptedSerialDevice::isHungUp() const
{
    return m_next == m_replies.size() && pendingSize() == 0 && m_silences == 0;
}

void ScriptedSerialDevice::discardInput()
{
    m_pending.clear();
    m_readPos = 0;
}
