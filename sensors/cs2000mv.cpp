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
    int read = 0;
    // As a scanf would: the numbers read before a fault are kept (readFloat()
    // stores only what it reads).
    if (ReplyScan::expect(reply, &pos, "OK00,")) {
        while (read < 3 && (read == 0 || ReplyScan::expect(reply, &pos, ","))
               && ReplyScan::readFloat(reply, &pos, &m_xyz[read]))
            ++read;
    }
    qDebug() << "MV" << x() << y() << z();
    return read == 3;
}
