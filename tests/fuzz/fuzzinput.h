#pragma once

// Splits a fuzz input into the values a target needs: bytes taken from the
// front, numbers from the back, so a mutation of one rarely shifts the other.
// A number in [min, max] takes as many bytes as the span needs, the first one
// taken the most significant; missing bytes count as zero.

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    size_t remaining() const { return m_size; }

    template <typename T> T number(T min, T max)
    {
        static_assert(std::is_integral_v<T>);
        const uint64_t span = uint64_t(max) - uint64_t(min);
        uint64_t value = 0;
        for (int shift = 0; shift < 64 && (span >> shift) > 0 && m_size > 0; shift += 8)
            value = (value << 8) | m_data[--m_size];
        if (span != UINT64_MAX)
            value %= span + 1;
        return T(uint64_t(min) + value);
    }

    bool flag() { return number<uint8_t>(0, 255) & 1; }

    std::vector<char> bytes(size_t count)
    {
        if (count > m_size)
            count = m_size;
        std::vector<char> taken(m_data, m_data + count);
        m_data += count;
        m_size -= count;
        return taken;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};
