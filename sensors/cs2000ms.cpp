#include "cs2000ms.h"

#include "replyscan.h"

#include <QList>

Cs2000MS::Cs2000MS(int mode, QByteArray command, int replyLength)
    : Cs2000Cmd(std::move(command), replyLength), m_mode(mode)
{
}

bool Cs2000MS::handler(const QByteArray& reply)
{
    if (!isSuccess(reply))
        return false;
    const QByteArray data = reply.size() > 7 ? reply.mid(5, reply.size() - 7) : QByteArray();
    const QList<QByteArray> parts = data.split(',');
    const int wanted = m_mode == 4 ? MaxValues : MaxValues - 1;
    const int count = qMin(wanted, data.isEmpty() ? 0 : parts.size());
    for (int i = 0; i < count; ++i)
        m_values[size_t(i)] = ReplyScan::leadingFloat(parts.at(i));
    return true;
}
