#pragma once

#include "core/threshold.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quadrel {

// Raised when an archive cannot be read: truncated data, an unknown class, a count that the data cannot
// hold. The object being read must not be used.
class CArchiveException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A small archive for the threshold classes. Little-endian; strings carry a length prefix of 1 byte
// (below 255), or 0xFF then 2 bytes (below 0xFFFF), or 0xFF 0xFFFF then 4 bytes. An object is preceded by
// its class: the first time as 0xFFFF, the schema (2 bytes), the name length (2 bytes) and the name;
// afterwards as 0x8000 | the class's index (1, 2, ... in order of first appearance).
class CArchive {
public:
    // A storing archive.
    CArchive() = default;
    // A loading archive over the given bytes.
    explicit CArchive(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)), m_loading(true) {}

    bool isLoading() const { return m_loading; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

    void writeU16(uint16_t v);
    void writeU32(uint32_t v);
    void writeI32(int32_t v) { writeU32(static_cast<uint32_t>(v)); }
    void writeDouble(double v);
    void writeString(const std::string& s);
    // Writes the class tag of an object about to follow.
    void writeClass(const std::string& className, uint16_t schema = 1);

    uint16_t readU16();
    uint32_t readU32();
    int32_t readI32() { return static_cast<int32_t>(readU32()); }
    double readDouble();
    std::string readString();
    // Reads a class tag and checks it names `expected`.
    void readClass(const std::string& expected);
    size_t remaining() const { return m_bytes.size() - m_pos; }

private:
    void need(size_t n) const;
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_loading = false;
    std::vector<std::string> m_classes; // index 0 unused
};

void storeThreshold(CArchive& ar, const CThreshold& t);
void storeThresholdObject(CArchive& ar, const CThresholdObject& t);
void storeThresholds(CArchive& ar, const CThresholds& list);
void storeThresholdObjects(CArchive& ar, const CThresholdObjects& list);

// Loading gives objects with the default colour and no hysteresis; a loaded threshold object has its
// markers at 0.25 and 0.75 whatever range it reads. Throws CArchiveException.
std::shared_ptr<CThreshold> loadThreshold(CArchive& ar);
std::shared_ptr<CThresholdObject> loadThresholdObject(CArchive& ar);
CThresholds loadThresholds(CArchive& ar);
CThresholdObjects loadThresholdObjects(CArchive& ar);

} // namespace quadrel
