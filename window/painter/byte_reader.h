// Bounds-checked little-endian reading of untrusted bytes: a read past the
// end yields zero and marks the reader failed, so decoders check once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace morvex::painter {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> bytes, std::size_t position = 0)
        : m_bytes(bytes), m_position(position), m_failed(position > bytes.size()) {}

    uint8_t u8() {
        if (!has(1))
            return fail();
        return m_bytes[m_position++];
    }
    uint16_t u16() {
        if (!has(2))
            return fail();
        const uint16_t value = static_cast<uint16_t>(m_bytes[m_position] | (m_bytes[m_position + 1] << 8));
        m_position += 2;
        return value;
    }
    uint32_t u32() {
        if (!has(4))
            return fail();
        uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | m_bytes[m_position + static_cast<std::size_t>(i)];
        m_position += 4;
        return value;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    void skip(std::size_t count) {
        if (!has(count)) {
            fail();
            return;
        }
        m_position += count;
    }
    // The next `count` bytes, or an empty span (and failure) when they are not there.
    std::span<const uint8_t> take(std::size_t count) {
        if (!has(count)) {
            fail();
            return {};
        }
        const std::span<const uint8_t> part = m_bytes.subspan(m_position, count);
        m_position += count;
        return part;
    }

    bool has(std::size_t count) const {
        return !m_failed && m_position <= m_bytes.size() && count <= m_bytes.size() - m_position;
    }
    bool failed() const { return m_failed; }
    bool at_end() const { return m_position >= m_bytes.size(); }
    std::size_t position() const { return m_position; }
    std::size_t remaining() const { return m_position < m_bytes.size() ? m_bytes.size() - m_position : 0; }

private:
    uint8_t fail() {
        m_failed = true;
        return 0;
    }

    std::span<const uint8_t> m_bytes;
    std::size_t m_position;
    bool m_failed;
};

} // namespace morvex::painter
