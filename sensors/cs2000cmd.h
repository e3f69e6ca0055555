#ifndef CS2000CMD_H
#define CS2000CMD_H

#include <QByteArray>

// One exchange with a CS-2000: the bytes to send, the exact length of the reply,
// and a handler that checks and decodes the reply. Success replies begin with
// "OK00"; error replies with "ER" and a code, which the base handler keeps.
class Cs2000Cmd
{
public:
    Cs2000Cmd(QByteArray command, int replyLength);
    virtual ~Cs2000Cmd();
    Cs2000Cmd(const Cs2000Cmd&) = default;
    Cs2000Cmd& operator=(const Cs2000Cmd&) = default;

    // Empty for a command that only awaits a reply the instrument sends itself.
    const QByteArray& command() const { return m_command; }
    int replyLength() const { return m_replyLength; }
    // -1 after a success reply (and before any reply); the code of an "ER" reply.
    int errorCode() const { return m_errorCode; }

    // True when the reply is a success reply and could be decoded.
    virtual bool handler(const QByteArray& reply);

protected:
    static bool isSuccess(const QByteArray& reply) { return reply.startsWith("OK00"); }

private:
    QByteArray m_command;
    int m_replyLength;
    int m_errorCode = -1;
};

#endif // CS2000CMD_H
