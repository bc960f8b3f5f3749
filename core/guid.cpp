#include "core/guid.h"

#include <cstdio>
#include <random>

namespace quadrel {

TGUID TGUID::create() {
    // One generator per thread, seeded from the system's entropy source.
    thread_local std::mt19937_64 gen{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }()};
    std::array<uint8_t, 16> b{};
    for (size_t i = 0; i < 16; i += 8) {
        const uint64_t v = gen();
        for (size_t k = 0; k < 8; ++k) b[i + k] = static_cast<uint8_t>(v >> (8 * k));
    }
    TGUID g = fromBytes(b.data());
    g.data3 = static_cast<uint16_t>((g.data3 & 0x0FFF) | 0x4000);
    g.data4[0] = static_cast<uint8_t>((g.data4[0] & 0x3F) | 0x80);
    return g;
}

bool TGUID::isNull() const { return *this == TGUID{}; }

std::array<uint8_t, 16> TGUID::bytes() const {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(data1 >> (8 * i));
    b[4] = static_cast<uint8_t>(data2);
    b[5] = static_cast<uint8_t>(data2 >> 8);
    b[6] = static_cast<uint8_t>(data3);
    b[7] = static_cast<uint8_t>(data3 >> 8);
    for (size_t i = 0; i < 8; ++i) b[8 + i] = data4[i];
    return b;
}

TGUID TGUID::fromBytes(const uint8_t* b) {
    TGUID g;
    g.data1 = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
              static_cast<uint32_t>(b[3]) << 24;
    g.data2 = static_cast<uint16_t>(b[4] | b[5] << 8);
    g.data3 = static_cast<uint16_t>(b[6] | b[7] << 8);
    for (size_t i = 0; i < 8; ++i) g.data4[i] = b[8 + i];
    return g;
}

std::string TGUID::toString() const {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2, data3, data4[0],
                  data4[1], data4[2], data4[3], data4[4], data4[5], data4[6], data4[7]);
    return buf;
}

} // namespace quadrel
