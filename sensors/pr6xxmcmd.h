#ifndef PR6XXMCMD_H
#define PR6XXMCMD_H

#include "pr6xxcmd.h"

// Reads an 8-character field after the status, such as the serial number in
// the reply "00000,XXXXXXXX" and CR LF.
class PR6xxMCmd : public PR6xxCmd
{
public:
    PR6xxMCmd(QByteArray command, int replyLength);

    QByteArray result() const { return m_result; }

    bool handler(const QByteArray& reply) override;

private:
    QByteArray m_result;
};

#endif // PR6XXMCMD_H
