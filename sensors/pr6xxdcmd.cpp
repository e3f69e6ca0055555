#include "pr6xxdcmd.h"

#include "replyscan.h"

PR6xxDCmd::PR6xxDCmd(QByteArray command, int replyLength)
    : PR6xxCmd(std::move(command), replyLength)
{
}

bool PR6xxDCmd::handler(const QByteArray& reply)
{
    if (!takeStatus(reply))
        return false;
    int pos = 5;
    int second = 0;
    float xyz[3] = {m_x, m_y, m_z};
    int read = 0;
    if (ReplyScan::expect(reply, &pos, ",") && ReplyScan::readInt(reply, &pos, &second)) {
        while (read < 3 && ReplyScan::expect(reply, &pos, ",")
               && ReplyScan::readFloat(reply, &pos, &xyz[read]))
            ++read;
    }
    // As a scanf would: the numbers that were read are kept.
    m_x = xyz[0];
    m_y = xyz[1];
    m_z = xyz[2];
    return read == 3;
}
