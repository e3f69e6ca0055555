#ifndef CS2000ID_H
#define CS2000ID_H

#include "cs2000cmd.h"

#include <QString>

// Reads the identification: "OK00," and three comma-separated fields, the
// third being the serial number.
class Cs2000ID : public Cs2000Cmd
{
public:
    Cs2000ID(QByteArray command, int replyLength);

    QString firstField() const { return m_first; }
    QString secondField() const { return m_second; }
    // The serial number, at most 7 characters.
    QString thirdField() const { return m_third; }

    // The fields are taken from any reply; the result says whether it was a
    // success reply.
    bool handler(const QByteArray& reply) override;

private:
    QString m_first;
    QString m_second;
    QString m_third;
};

#endif // CS2000ID_H
