#include "cs2000meas.h"

#include "replyscan.h"

#include <QDebug>

#include <limits>

Cs2000MEAS::Cs2000MEAS(QByteArray command, int replyLength)
    : Cs2000Cmd(std::move(command), replyLength)
{
}

bool Cs2000MEAS::handler(const QByteArray& reply)
{
    if (!isSuccess(reply))
        return false;
    int pos = 0;
    int seconds = 0;
    if (!ReplyScan::expect(reply, &pos, "OK00,") || !ReplyScan::readInt(reply, &pos, &seconds))
        seconds = 0;
    // Kept inside int: a garbled reply must not overflow the product.
    constexpr int limit = std::numeric_limits<int>::max() / 1000;
    m_measureTime = qBound(-limit, seconds, limit) * 1000;
    qDebug() << "Time =" << m_measureTime;
    return true;
}
