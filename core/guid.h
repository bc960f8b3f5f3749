#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace quadrel {

// A 16-byte globally unique identifier in the platform's field layout: Data1 (32-bit), Data2 and Data3
// (16-bit), Data4 (8 bytes). Stored little-endian field by field.
struct TGUID {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    // A new random (version 4) identifier.
    static TGUID create();

    bool isNull() const;
    // The 16 bytes as stored: Data1, Data2, Data3 little-endian, then Data4.
    std::array<uint8_t, 16> bytes() const;
    static TGUID fromBytes(const uint8_t* b16);
    // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    std::string toString() const;

    friend bool operator==(const TGUID&, const TGUID&) = default;
    friend auto operator<=>(const TGUID&, const TGUID&) = default;
};

} // namespace quadrel
