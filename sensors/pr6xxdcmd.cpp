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
    int read = 0;
    // As a scanf would: the numbers read before a fault are kept (readFloat()
    // stores only what it reads).
    if (ReplyScan::expect(reply, &pos, ",") && ReplyScan::readInt(reply, &pos, &second)) {
        while (read < 3 && ReplyScan::expect(reply, &pos, ",")
               && ReplyScan::readFloat(reply, &pos, &m_xyz[read]))
            ++read;
    }
    return read == 3;
}
