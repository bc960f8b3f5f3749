#pragma once

// Builds expected stream bytes by hand, field by field, and reads and writes objects through memory streams.

#include "persistence/object_stream.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quadrel::testing {

using Bytes = std::vector<uint8_t>;

class ByteBuilder {
public:
    ByteBuilder& u8(uint8_t v) {
        m_bytes.push_back(v);
        return *this;
    }
    ByteBuilder& u16(uint16_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)); }
    ByteBuilder& u32(uint32_t v) { return u16(uint16_t(v)).u16(uint16_t(v >> 16)); }
    ByteBuilder& i32(int32_t v) { return u32(uint32_t(v)); }
    ByteBuilder& f64(double v) {
        uint8_t b[8];
        std::memcpy(b, &v, 8);
        return raw(b, 8);
    }
    ByteBuilder& raw(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
        return *this;
    }
    ByteBuilder& chars(const std::string& s) { return raw(s.data(), s.size()); }
    ByteBuilder& append(const Bytes& b) { return raw(b.data(), b.size()); }
    // The stream header of every writer.
    ByteBuilder& header() { return u8(':').u32(257); }
    // Strings of a stream with header: 4-byte length.
    ByteBuilder& str(const std::string& s) { return u32(uint32_t(s.size())).chars(s); }
    ByteBuilder& nullStr() { return u32(0xFFFFFFFFu); }
    // Strings of a legacy stream: 1-byte length.
    ByteBuilder& str8(const std::string& s) { return u8(uint8_t(s.size())).chars(s); }
    // The opening of a framed object in a stream with header; close it with end().
    ByteBuilder& begin(const std::string& cls, uint32_t version) { return u8('[').str(cls).u32(version); }
    // The opening of a framed object in a legacy stream: no class version.
    ByteBuilder& begin8(const std::string& cls) { return u8('[').str8(cls); }
    ByteBuilder& end() { return u8(']'); }
    ByteBuilder& rect(int32_t l, int32_t t, int32_t r, int32_t b) { return i32(l).i32(t).i32(r).i32(b); }

    const Bytes& bytes() const { return m_bytes; }
    operator Bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
};

// Everything an output stream writes, header included.
template <class Fn> Bytes writeStream(Fn&& fn) {
    MemoryBuffer buffer;
    opstream os(&buffer);
    fn(os);
    return buffer.data();
}

template <class T> Bytes writeObject(const T& object) {
    return writeStream([&](opstream& os) { os.putObject(object); });
}

// The bytes after the 5-byte header.
inline Bytes body(const Bytes& b) {
    return Bytes(b.begin() + 5, b.end());
}

} // namespace quadrel::testing
