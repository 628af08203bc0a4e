#pragma once
// Little helpers for building and reading TDS byte streams.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorix::tds {

using Bytes = std::string;

// A client sent something this server cannot make sense of; the connection is closed.
struct ProtocolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void put8(Bytes &b, std::uint32_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
}
inline void put16(Bytes &b, std::uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
inline void put16be(Bytes &b, std::uint32_t v) {
    put8(b, v >> 8);
    put8(b, v);
}
inline void put32(Bytes &b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put64(Bytes &b, std::uint64_t v) {
    put32(b, static_cast<std::uint32_t>(v));
    put32(b, static_cast<std::uint32_t>(v >> 32));
}
// Little-endian integer of `n` bytes.
inline void putN(Bytes &b, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
        put8(b, static_cast<std::uint32_t>(v >> (8 * i)));
}

// Reads a byte range front to back; every read past the end throws ProtocolError.
class Cursor {
public:
    Cursor(const char *data, std::size_t size) : m_data(data), m_size(size) {}
    explicit Cursor(const Bytes &b) : Cursor(b.data(), b.size()) {}

    std::size_t pos() const { return m_pos; }
    std::size_t left() const { return m_size - m_pos; }
    bool atEnd() const { return m_pos >= m_size; }
    void seek(std::size_t pos) {
        if (pos > m_size)
            throw ProtocolError("offset past the end of the message");
        m_pos = pos;
    }

    std::uint8_t u8() { return static_cast<std::uint8_t>(*take(1)); }
    std::uint8_t peek() const {
        if (atEnd())
            throw ProtocolError("message ends too early");
        return static_cast<std::uint8_t>(m_data[m_pos]);
    }
    std::uint16_t u16() { return static_cast<std::uint16_t>(uN(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(uN(4)); }
    std::uint64_t u64() { return uN(8); }
    std::uint64_t uN(int n) {
        const char *p = take(static_cast<std::size_t>(n));
        std::uint64_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(p[i]);
        return v;
    }
    Bytes bytes(std::size_t n) { return Bytes(take(n), n); }
    const char *take(std::size_t n) {
        if (n > left())
            throw ProtocolError("message ends too early");
        const char *p = m_data + m_pos;
        m_pos += n;
        return p;
    }

private:
    const char *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace quorix::tds
