#include "pr6xxmcmd.h"

PR6xxMCmd::PR6xxMCmd(QByteArray command, int replyLength)
    : PR6xxCmd(std::move(command), replyLength)
{
}

bool PR6xxMCmd::handler(const QByteArray& reply)
{
    if (!takeStatus(reply))
        return false;
    QByteArray field = reply.mid(6, 8);
    // A shorter field ends at the line end, which is no part of it.
    const int end = field.indexOf('\r');
    if (end >= 0)
        field.truncate(end);
    m_result = field;
    return true;
}
