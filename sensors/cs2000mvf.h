#ifndef CS2000MVF_H
#define CS2000MVF_H

#include "cs2000cmd.h"

// Reads tristimulus values sent as raw IEEE 754 single floats, most significant
// byte first, at bytes 5, 10 and 15 of the reply.
class Cs2000MVF : public Cs2000Cmd
{
public:
    Cs2000MVF(QByteArray command, int replyLength);

    float x() const { return m_x; }
    float y() const { return m_y; }
    float z() const { return m_z; }

    // False for a reply too short to hold the three floats.
    bool handler(const QByteArray& reply) override;

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

#endif // CS2000MVF_H
