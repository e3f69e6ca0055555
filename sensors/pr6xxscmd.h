#ifndef PR6XXSCMD_H
#define PR6XXSCMD_H

#include "pr6xxcmd.h"

#include <array>

// Reads a spectrum of 128 values, one per line after the status header.
class PR6xxSCmd : public PR6xxCmd
{
public:
    static constexpr int ValueCount = 128;

    PR6xxSCmd(QByteArray command, int replyLength);

    const std::array<float, ValueCount>& values() const { return m_values; }

    bool handler(const QByteArray& reply) override;

private:
    std::array<float, ValueCount> m_values{};
};

#endif // PR6XXSCMD_H
