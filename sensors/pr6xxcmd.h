#ifndef PR6XXCMD_H
#define PR6XXCMD_H

#include <QByteArray>

// One exchange with a PR-6xx: the bytes to send (some commands have no line
// end), the number of reply bytes awaited (0: send only), and a handler that
// judges and decodes whatever reply was collected.
//
// Replies begin with a five-digit status, "00000" for success. A reply whose
// first five characters are not all digits carries no status at all (nothing
// arrived, or noise did) and fails every handler.
class PR6xxCmd
{
public:
    PR6xxCmd(QByteArray command, int replyLength);
    virtual ~PR6xxCmd();
    PR6xxCmd(const PR6xxCmd&) = default;
    PR6xxCmd& operator=(const PR6xxCmd&) = default;

    const QByteArray& command() const { return m_command; }
    int replyLength() const { return m_replyLength; }
    // The status of the last judged reply; -1 when it carried none.
    int errorCode() const { return m_errorCode; }

    // True when the reply ends in CR LF and its status is "00000".
    virtual bool handler(const QByteArray& reply);

    // Writes the command and the reply to standard output, unprintable bytes
    // as "[0x..]"; nothing for an empty command. A debugging aid.
    virtual void dump(const QByteArray& reply) const;
    // What dump() writes.
    QByteArray dumpText(const QByteArray& reply) const;

    // The status of a reply, or -1 when its first five characters are not all
    // decimal digits.
    static int status(const QByteArray& reply);

protected:
    // Sets errorCode() from the reply; true when it is a success status.
    bool takeStatus(const QByteArray& reply);

private:
    QByteArray m_command;
    int m_replyLength;
    int m_errorCode = -1;
};

#endif // PR6XXCMD_H
