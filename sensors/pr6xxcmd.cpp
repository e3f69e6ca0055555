#include "pr6xxcmd.h"

#include <cstdio>

PR6xxCmd::PR6xxCmd(QByteArray command, int replyLength)
    : m_command(std::move(command)), m_replyLength(replyLength)
{
}

PR6xxCmd::~PR6xxCmd() = default;

int PR6xxCmd::status(const QByteArray& reply)
{
    if (reply.size() < 5)
        return -1;
    int value = 0;
    for (int i = 0; i < 5; ++i) {
        const char c = reply.at(i);
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

bool PR6xxCmd::takeStatus(const QByteArray& reply)
{
    m_errorCode = status(reply);
    return m_errorCode == 0;
}

bool PR6xxCmd::handler(const QByteArray& reply)
{
    if (reply.size() < 6 || !reply.endsWith("\r\n"))
        return false;
    return reply.startsWith("00000");
}

QByteArray PR6xxCmd::dumpText(const QByteArray& reply) const
{
    if (m_command.isEmpty())
        return QByteArray();
    const auto render = [](const QByteArray& bytes) {
        QByteArray text;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte > 0x20 && byte < 0x7f)
                text.append(c);
            else
                text.append("[0x").append(QByteArray::number(byte, 16)).append(']');
        }
        return text;
    };
    QByteArray text = "CMD:" + render(m_command) + '\n';
    if (!reply.isEmpty())
        text += "RSP:" + render(reply) + '\n';
    return text;
}

void PR6xxCmd::dump(const QByteArray& reply) const
{
    const QByteArray text = dumpText(reply);
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}
