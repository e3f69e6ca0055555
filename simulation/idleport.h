#ifndef IDLEPORT_H
#define IDLEPORT_H

#include "ptydevice.h"

// A serial port with nothing talking on it: the USB port of an instrument the
// program reaches through its vendor's library, which is told the port's name
// but does its own talking.
class IdlePort : public PtyDevice
{
public:
    ~IdlePort() override { stop(); }

protected:
    void received(const std::string&) override {}
};

#endif // IDLEPORT_H
