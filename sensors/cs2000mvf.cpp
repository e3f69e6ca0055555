#include "cs2000mvf.h"

#include <QDebug>

#include <cstdint>
#include <cstring>

namespace {

float bigEndianFloat(const QByteArray& bytes, int at)
{
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | std::uint8_t(bytes.at(at + i));
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

Cs2000MVF::Cs2000MVF(QByteArray command, int replyLength)
    : Cs2000Cmd(std::move(command), replyLength)
{
}

bool Cs2000MVF::handler(const QByteArray& reply)
{
    if (!isSuccess(reply) || reply.size() < 19)
        return false;
    m_xyz[0] = bigEndianFloat(reply, 5);
    m_xyz[1] = bigEndianFloat(reply, 10);
    m_xyz[2] = bigEndianFloat(reply, 15);
    qDebug() << "MV" << x() << y() << z();
    return true;
}
