#include "cs2000id.h"

#include <QList>

Cs2000ID::Cs2000ID(QByteArray command, int replyLength)
    : Cs2000Cmd(std::move(command), replyLength)
{
}

bool Cs2000ID::handler(const QByteArray& reply)
{
    const int zero = reply.indexOf('\0');
    QByteArray text = zero < 0 ? reply : reply.left(zero);
    // The line end is no part of the last field, however short that field is.
    if (text.endsWith("\r\n"))
        text.chop(2);
    const QList<QByteArray> parts = text.split(',');
    m_first = QString::fromLatin1(parts.value(1));
    m_second = QString::fromLatin1(parts.value(2));
    m_third = QString::fromLatin1(parts.value(3)).left(7);
    return isSuccess(reply);
}
