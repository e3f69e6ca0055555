#ifndef PTYPEER_H
#define PTYPEER_H

// The far end of a pseudo-terminal playing a serial device for a fuzz target:
// the driver under test opens path() like any serial port. Each command the
// driver ends with commandEnd (or, with commandEnd 0, each burst it writes) is
// answered with the next of the replies; a driver that waits without asking
// gets the next reply after a short silence. Once the replies are used up and
// read, the peer hangs up, which ends every wait of the driver at once.

#include <string>
#include <thread>
#include <vector>

class PtyPeer
{
public:
    PtyPeer(std::vector<std::string> replies, char commandEnd);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return m_slave != -1; }
    std::string path() const { return m_path; }

private:
    void run();
    bool send(const std::string& reply);
    void hangUpWhenRead();

    std::vector<std::string> m_replies;
    char m_commandEnd;
    int m_master = -1;
    int m_slave = -1;
    int m_stop = -1;
    std::string m_path;
    std::thread m_thread;
};

#endif // PTYPEER_H
