#include "core/threshold_archive.h"

#include <bit>
#include <cstring>

namespace quadrel {

namespace {
// The smallest number of bytes one more element of each list can take: a class tag and its fields.
constexpr size_t kMinElementBytes = 2;
} // namespace

void CArchive::writeU16(uint16_t v) {
    m_bytes.push_back(static_cast<uint8_t>(v));
    m_bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void CArchive::writeU32(uint32_t v) {
    for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void CArchive::writeDouble(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) m_bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void CArchive::writeString(const std::string& s) {
    const size_t n = s.size();
    if (n < 0xFF) {
        m_bytes.push_back(static_cast<uint8_t>(n));
    } else if (n < 0xFFFF) {
        m_bytes.push_back(0xFF);
        writeU16(static_cast<uint16_t>(n));
    } else {
        m_bytes.push_back(0xFF);
        writeU16(0xFFFF);
        writeU32(static_cast<uint32_t>(n));
    }
    m_bytes.insert(m_bytes.end(), s.begin(), s.end());
}

void CArchive::writeClass(const std::string& className, uint16_t schema) {
    for (size_t i = 1; i < m_classes.size(); ++i)
        if (m_classes[i] == className) {
            writeU16(static_cast<uint16_t>(0x8000u | i));
            return;
        }
    if (m_classes.empty()) m_classes.emplace_back();
    m_classes.push_back(className);
    writeU16(0xFFFF);
    writeU16(schema);
    writeU16(static_cast<uint16_t>(className.size()));
    m_bytes.insert(m_bytes.end(), className.begin(), className.end());
}

void CArchive::need(size_t n) const {
    if (!m_loading) throw CArchiveException("archive is not loading");
    if (n > m_bytes.size() - m_pos) throw CArchiveException("unexpected end of archive");
}

uint16_t CArchive::readU16() {
    need(2);
    const uint16_t v = static_cast<uint16_t>(m_bytes[m_pos] | m_bytes[m_pos + 1] << 8);
    m_pos += 2;
    return v;
}

uint32_t CArchive::readU32() {
    need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(m_bytes[m_pos + static_cast<size_t>(i)]) << (8 * i);
    m_pos += 4;
    return v;
}

double CArchive::readDouble() {
    need(8);
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(m_bytes[m_pos + static_cast<size_t>(i)]) << (8 * i);
    m_pos += 8;
    return std::bit_cast<double>(bits);
}

std::string CArchive::readString() {
    need(1);
    size_t n = m_bytes[m_pos++];
    if (n == 0xFF) {
        n = readU16();
        if (n == 0xFFFF) n = readU32();
    }
    need(n);
    std::string s(reinterpret_cast<const char*>(m_bytes.data() + m_pos), n);
    m_pos += n;
    return s;
}

void CArchive::readClass(const std::string& expected) {
    const uint16_t tag = readU16();
    std::string name;
    if (tag == 0xFFFF) {
        readU16(); // schema
        const uint16_t len = readU16();
        need(len);
        name.assign(reinterpret_cast<const char*>(m_bytes.data() + m_pos), len);
        m_pos += len;
        if (m_classes.empty()) m_classes.emplace_back();
        m_classes.push_back(name);
    } else if ((tag & 0x8000u) != 0 && (tag & 0x7FFFu) != 0 && (tag & 0x7FFFu) < m_classes.size()) {
        name = m_classes[tag & 0x7FFFu];
    } else {
        throw CArchiveException("bad class tag in archive");
    }
    if (name != expected) throw CArchiveException("archive holds a '" + name + "' where a '" + expected + "' belongs");
}

void storeThreshold(CArchive& ar, const CThreshold& t) {
    ar.writeString(t.name);
    ar.writeU16(static_cast<uint16_t>(t.channel));
    ar.writeU16(static_cast<uint16_t>(t.operation));
    ar.writeI32(t.minimum);
    ar.writeI32(t.maximum);
    ar.writeI32(t.hysteresisMinimum);
    ar.writeI32(t.hysteresisMaximum);
}

void storeThresholdObject(CArchive& ar, const CThresholdObject& t) {
    ar.writeString(t.name);
    ar.writeU16(static_cast<uint16_t>(t.channel));
    ar.writeU16(static_cast<uint16_t>(t.operation));
    ar.writeDouble(t.minimum);
    ar.writeDouble(t.maximum);
}

void storeThresholds(CArchive& ar, const CThresholds& list) {
    ar.writeU32(list.word);
    ar.writeU32(static_cast<uint32_t>(list.items.size()));
    for (const auto& t : list.items) {
        ar.writeClass("CThreshold");
        storeThreshold(ar, *t);
    }
}

void storeThresholdObjects(CArchive& ar, const CThresholdObjects& list) {
    ar.writeU32(list.word);
    ar.writeU32(static_cast<uint32_t>(list.items.size()));
    for (const auto& t : list.items) {
        ar.writeClass("CThresholdObject");
        storeThresholdObject(ar, *t);
    }
}

std::shared_ptr<CThreshold> loadThreshold(CArchive& ar) {
    auto t = std::make_shared<CThreshold>();
    t->name = ar.readString();
    t->channel = ar.readU16();
    t->operation = ar.readU16();
    t->minimum = ar.readI32();
    t->maximum = ar.readI32();
    t->hysteresisMinimum = ar.readI32();
    t->hysteresisMaximum = ar.readI32();
    t->buildLookupTable();
    return t;
}

std::shared_ptr<CThresholdObject> loadThresholdObject(CArchive& ar) {
    auto t = std::make_shared<CThresholdObject>(0.25f, 0.75f);
    t->name = ar.readString();
    t->channel = ar.readU16();
    t->operation = ar.readU16();
    t->minimum = ar.readDouble();
    t->maximum = ar.readDouble();
    t->buildLookupTable();
    return t;
}

namespace {
uint32_t readCount(CArchive& ar) {
    const uint32_t n = ar.readU32();
    if (n > ar.remaining() / kMinElementBytes) throw CArchiveException("archive claims more elements than it holds");
    return n;
}
} // namespace

CThresholds loadThresholds(CArchive& ar) {
    CThresholds list;
    list.word = ar.readU32();
    const uint32_t n = readCount(ar);
    for (uint32_t i = 0; i < n; ++i) {
        ar.readClass("CThreshold");
        list.items.push_back(loadThreshold(ar));
    }
    return list;
}

CThresholdObjects loadThresholdObjects(CArchive& ar) {
    CThresholdObjects list;
    list.word = ar.readU32();
    const uint32_t n = readCount(ar);
    for (uint32_t i = 0; i < n; ++i) {
        ar.readClass("CThresholdObject");
        list.items.push_back(loadThresholdObject(ar));
    }
    return list;
}

} // namespace quadrel
