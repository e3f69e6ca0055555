#ifndef FUZZINPUT_H
#define FUZZINPUT_H

// Takes a fuzzer's input apart: small numbers from its front, and the rest cut
// into pieces at a separator byte, so one input can carry several replies.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }

    uint8_t byte()
    {
        return m_pos < m_size ? m_data[m_pos++] : 0;
    }

    int32_t int32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return static_cast<int32_t>(v);
    }

    double number()
    {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits = (bits << 8) | byte();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

    // The bytes up to the next separator (or the end), without it.
    std::string piece(char separator = '\n')
    {
        const size_t start = m_pos;
        while (m_pos < m_size && m_data[m_pos] != static_cast<uint8_t>(separator))
            ++m_pos;
        std::string text(reinterpret_cast<const char*>(m_data + start), m_pos - start);
        if (m_pos < m_size)
            ++m_pos;
        return text;
    }

    std::string rest()
    {
        std::string text(reinterpret_cast<const char*>(m_data + m_pos), m_size - m_pos);
        m_pos = m_size;
        return text;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

#endif // FUZZINPUT_H
