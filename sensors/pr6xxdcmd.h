#ifndef PR6XXDCMD_H
#define PR6XXDCMD_H

#include "pr6xxcmd.h"
#include "xyzreading.h"

// Measures and reports XYZ: status, a second number, then X, Y and Z, comma
// separated, and CR LF.
class PR6xxDCmd : public PR6xxCmd, public XyzReading
{
public:
    PR6xxDCmd(QByteArray command, int replyLength);

    // False also for a success status without all three numbers: a reading
    // that cannot be read is no reading.
    bool handler(const QByteArray& reply) override;
};

#endif // PR6XXDCMD_H
