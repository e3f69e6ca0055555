#ifndef CS2000MV_H
#define CS2000MV_H

#include "cs2000cmd.h"
#include "xyzreading.h"

// Reads tristimulus values sent as decimal text: "OK00,X,Y,Z" and CR LF.
class Cs2000MV : public Cs2000Cmd, public XyzReading
{
public:
    Cs2000MV(QByteArray command, int replyLength);

    // False also for a success reply that does not carry all three numbers:
    // a reading that cannot be read is no reading.
    bool handler(const QByteArray& reply) override;
};

#endif // CS2000MV_H
