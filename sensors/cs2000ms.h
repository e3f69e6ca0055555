#ifndef CS2000MS_H
#define CS2000MS_H

#include "cs2000cmd.h"

#include <array>

// Reads spectral data: "OK00," and comma-separated values, 101 of them in
// mode 4 and 100 otherwise.
class Cs2000MS : public Cs2000Cmd
{
public:
    static constexpr int MaxValues = 101;

    Cs2000MS(int mode, QByteArray command, int replyLength);

    int mode() const { return m_mode; }
    const std::array<float, MaxValues>& values() const { return m_values; }

    // Values the reply does not supply keep their contents.
    bool handler(const QByteArray& reply) override;

private:
    int m_mode;
    std::array<float, MaxValues> m_values{};
};

#endif // CS2000MS_H
