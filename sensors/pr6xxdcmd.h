#ifndef PR6XXDCMD_H
#define PR6XXDCMD_H

#include "pr6xxcmd.h"

// Measures and reports XYZ: status, a second number, then X, Y and Z, comma
// separated, and CR LF.
class PR6xxDCmd : public PR6xxCmd
{
public:
    PR6xxDCmd(QByteArray command, int replyLength);

    float x() const { return m_x; }
    float y() const { return m_y; }
    float z() const { return m_z; }

    // False also for a success status without all three numbers: a reading
    // that cannot be read is no reading.
    bool handler(const QByteArray& reply) override;

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

#endif // PR6XXDCMD_H
