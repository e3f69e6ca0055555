#ifndef CS2000MV_H
#define CS2000MV_H

#include "cs2000cmd.h"

// Reads tristimulus values sent as decimal text: "OK00,X,Y,Z" and CR LF.
class Cs2000MV : public Cs2000Cmd
{
public:
    Cs2000MV(QByteArray command, int replyLength);

    float x() const { return m_x; }
    float y() const { return m_y; }
    float z() const { return m_z; }

    // False also for a success reply that does not carry all three numbers:
    // a reading that cannot be read is no reading.
    bool handler(const QByteArray& reply) override;

private:
    float m_x = 0.0f;
    float m_y = 0.0f;
    float m_z = 0.0f;
};

#endif // CS2000MV_H
