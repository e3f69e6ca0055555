#ifndef CS2000MVF_H
#define CS2000MVF_H

#include "cs2000cmd.h"
#include "xyzreading.h"

// Reads tristimulus values sent as raw IEEE 754 single floats, most significant
// byte first, at bytes 5, 10 and 15 of the reply.
class Cs2000MVF : public Cs2000Cmd, public XyzReading
{
public:
    Cs2000MVF(QByteArray command, int replyLength);

    // False for a reply too short to hold the three floats.
    bool handler(const QByteArray& reply) override;
};

#endif // CS2000MVF_H
