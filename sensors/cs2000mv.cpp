#include "cs2000mv.h"

#include "replyscan.h"

#include <QDebug>

Cs2000MV::Cs2000MV(QByteArray command, int replyLength)
    : Cs2000Cmd(std::move(command), replyLength)
{
}

bool Cs2000MV::handler(const QByteArray& reply)
{
    if (!isSuccess(reply))
        return false;
    int pos = 0;
    float xyz[3] = {m_x, m_y, m_z};
    int read = 0;
    if (ReplyScan::expect(reply, &pos, "OK00,")) {
        while (read < 3 && (read == 0 || ReplyScan::expect(reply, &pos, ","))
               && ReplyScan::readFloat(reply, &pos, &xyz[read]))
            ++read;
    }
    // As a scanf would: the numbers that were read are kept.
    m_x = xyz[0];
    m_y = xyz[1];
    m_z = xyz[2];
    qDebug() << "MV" << m_x << m_y << m_z;
    return read == 3;
}
