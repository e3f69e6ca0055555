#ifndef CS2000MEAS_H
#define CS2000MEAS_H

#include "cs2000cmd.h"

// Starts a measurement; the reply carries the instrument's measuring time in
// seconds.
class Cs2000MEAS : public Cs2000Cmd
{
public:
    Cs2000MEAS(QByteArray command, int replyLength);

    // Milliseconds; 0 when the reply carried no number.
    int measureTime() const { return m_measureTime; }

    bool handler(const QByteArray& reply) override;

private:
    int m_measureTime = 0;
};

#endif // CS2000MEAS_H
