#include "cs2000cmd.h"

#include "replyscan.h"

Cs2000Cmd::Cs2000Cmd(QByteArray command, int replyLength)
    : m_command(std::move(command)), m_replyLength(replyLength)
{
}

Cs2000Cmd::~Cs2000Cmd() = default;

bool Cs2000Cmd::handler(const QByteArray& reply)
{
    if (isSuccess(reply)) {
        m_errorCode = -1;
        return true;
    }
    int pos = 0;
    int code = 0;
    if (ReplyScan::expect(reply, &pos, "ER") && ReplyScan::readInt(reply, &pos, &code))
        m_errorCode = code;
    return false;
}
