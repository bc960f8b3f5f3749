#include "persistence/content_table.h"

#include "persistence/byte_buffer.h"
#include "persistence/object_stream.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>

namespace quadrel {

namespace {

constexpr char kBase32[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
constexpr uint64_t kFileTimeEpochOffset = 116444736000000000ull; // 1601-01-01 to 1970-01-01 in 100 ns

void putLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void putLE64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t fileTime(const timespec& t) {
    if (t.tv_sec < 0) return kFileTimeEpochOffset;
    return kFileTimeEpochOffset + static_cast<uint64_t>(t.tv_sec) * 10000000ull + static_cast<uint64_t>(t.tv_nsec) / 100u;
}

std::array<uint8_t, 36> makeFindData(uint32_t attributes, uint64_t creation, uint64_t access, uint64_t write,
                                     uint64_t size) {
    std::array<uint8_t, 36> d{};
    putLE32(d.data(), attributes);
    putLE64(d.data() + 4, creation);
    putLE64(d.data() + 12, access);
    putLE64(d.data() + 20, write);
    putLE32(d.data() + 28, static_cast<uint32_t>(size >> 32));
    putLE32(d.data() + 32, static_cast<uint32_t>(size));
    return d;
}

bool hasForbiddenCharacter(const std::string& s) { return s.find_first_of("<>:\"/\\|") != std::string::npos; }

} // namespace

std::array<uint8_t, 36> findDataNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t t = fileTime(now);
    return makeFindData(0, t, t, t, 0);
}

std::array<uint8_t, 36> findDataOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return findDataNow();
    // Regular files carry the "normal" attribute; the platform has no birth time for every file system,
    // so the creation time is the status-change time.
    return makeFindData(0x80, fileTime(st.st_ctim), fileTime(st.st_atim), fileTime(st.st_mtim),
                        static_cast<uint64_t>(st.st_size));
}

std::string guidToId(const TGUID& g) {
    char buf[33];
    std::snprintf(buf, sizeof buf, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

std::optional<TGUID> idToGuid(const std::string& id) {
    if (id.size() != 32) return std::nullopt;
    for (char c : id)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    auto hex = [&](size_t pos, size_t n) { return std::stoull(id.substr(pos, n), nullptr, 16); };
    TGUID g;
    g.data1 = static_cast<uint32_t>(hex(0, 8));
    g.data2 = static_cast<uint16_t>(hex(8, 4));
    g.data3 = static_cast<uint16_t>(hex(12, 4));
    for (size_t i = 0; i < 8; ++i) g.data4[i] = static_cast<uint8_t>(hex(16 + 2 * i, 2));
    return g;
}

std::string base32Name(const TGUID& g) {
    std::array<uint8_t, 17> bytes{};
    const auto raw = g.bytes();
    std::copy(raw.begin(), raw.end(), bytes.begin());
    std::string out;
    for (int bit = 0; bit < 128; bit += 5) {
        unsigned v = 0;
        for (int k = 0; k < 5; ++k) {
            const int b = bit + k;
            v = (v << 1) | ((bytes[static_cast<size_t>(b / 8)] >> (7 - b % 8)) & 1u);
        }
        out += kBase32[v];
    }
    return out;
}

TGUID guidFromBase32(const std::string& name) {
    std::array<uint8_t, 16> bytes{};
    int bit = 0;
    for (char c : name) {
        if (bit >= 128) break;
        const unsigned v = (c >= 'A' && c <= 'Z') ? static_cast<unsigned>(c - 'A')
                                                  : static_cast<unsigned>(static_cast<unsigned char>(c) - 22) & 31u;
        for (int k = 4; k >= 0 && bit < 128; --k, ++bit)
            if ((v >> k) & 1u) bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80u >> (bit % 8));
    }
    return TGUID::fromBytes(bytes.data());
}

std::shared_ptr<TContentItem> TContentItem::create(const std::string& name, int32_t kind, bool compressed) {
    auto item = std::make_shared<TContentItem>();
    item->name = name;
    item->kind = kind;
    item->compressed = compressed;
    item->findData = findDataNow();
    item->setStorageName(name, true);
    return item;
}

void TContentItem::setStorageName(std::string s, bool stale) {
    m_storageName = std::move(s);
    m_stale = stale;
}

const std::string& TContentItem::storageName() {
    if (!m_stale) return m_storageName;
    m_stale = false;
    if (m_storageName.size() <= 31 && id.empty()) return m_storageName;
    std::optional<TGUID> guid = id.empty() ? std::nullopt : idToGuid(id);
    if (!guid) {
        guid = TGUID::create();
        id = guidToId(*guid);
    }
    if (m_storageName.size() <= 31 && !hasForbiddenCharacter(m_storageName)) return m_storageName;
    m_storageName = base32Name(*guid);
    return m_storageName;
}

std::vector<uint8_t> writeContentTable(ContentTable& table) {
    MemoryBuffer buf;
    {
        opstream os(&buf);
        os.put32(1);
        os.put32(static_cast<uint32_t>(table.size()));
        for (auto& [name, item] : table) {
            const std::string& element = item->storageName();
            os.put32(3);
            os.putText(item->id);
            os.putText(element);
            os.putText(item->name);
            os.putText(item->description);
            os.putInt32(item->kind);
            os.put32(item->compressed ? 1u : 0u);
            os.putInt32(item->storedSize);
            os.putRaw(item->findData.data(), item->findData.size());
            os.put32(1);
            os.put32(static_cast<uint32_t>(item->attributes.size()));
            for (const auto& [k, v] : item->attributes) {
                os.put32(1);
                os.putText(k);
                os.putText(v);
            }
        }
    }
    return buf.take();
}

namespace {

std::string cleanName(std::string name) {
    for (char& c : name)
        if (c == '/' || c == ':' || c == '\\') c = '_';
    return name;
}

} // namespace

bool readContentTable(std::span<const uint8_t> bytes, ContentTable& table, std::string& error) {
    SpanBuffer buf(bytes);
    ipstream is(&buf);
    is.getWord(); // table version
    const uint32_t count = is.getWord();
    // A record needs at least its version, four string lengths, four numbers and the find data.
    if (!is.checkCount(count, 4 * 4 + 4 * 3 + 36)) {
        error = "the table of contents claims more items than it holds";
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto item = std::make_shared<TContentItem>();
        const uint32_t version = is.getWord();
        if (version > 1) item->id = is.getText();
        std::string element = is.getText();
        item->name = is.getText();
        item->description = is.getText();
        item->kind = is.getWordInt();
        item->compressed = is.get32() != 0;
        item->storedSize = is.getWordInt();
        is.getRaw(item->findData.data(), item->findData.size());
        if (version > 2 && is.getWord() != 0) {
            const uint32_t n = is.getWord();
            if (!is.checkCount(n, 4)) break;
            for (uint32_t k = 0; k < n && is.isGood(); ++k) {
                if (is.getWord() == 0) continue;
                std::string key = is.getText(), value = is.getText();
                bool seen = false;
                for (const auto& a : item->attributes) seen |= a.first == key;
                if (!seen && is.isGood()) item->attributes.emplace_back(std::move(key), std::move(value));
            }
        }
        if (!is.isGood()) break;
        if (version == 1 && item->name.size() >= 32) item->id = guidToId(guidFromBase32(element));
        item->setStorageName(std::move(element), false);
        item->name = cleanName(item->name);
        table.emplace(item->name, item);
    }
    if (!is.isGood()) {
        error = "the table of contents is damaged";
        return false;
    }
    return true;
}

void TStorageElement::readFields(ipstream& is, uint32_t version) {
    name = is.getText();
    second = is.getText();
    third = is.getText();
    kind = is.getWordInt();
    if (version >= 2) {
        compressed = is.get32() != 0;
        storedSize = is.getInt32();
        is.getRaw(findData.data(), findData.size());
    }
}

void TStorageElement::writeFields(opstream& os) const {
    os.putText(name);
    os.putText(second);
    os.putText(third);
    os.putInt32(kind);
    os.put32(compressed ? 1u : 0u);
    os.putInt32(storedSize);
    os.putRaw(findData.data(), findData.size());
}

void TSetOfStorageElement::readFields(ipstream& is, uint32_t) {
    const uint32_t count = is.getWord();
    if (!is.checkCount(count, is.minFramedObjectBytes())) return;
    for (uint32_t i = 0; i < count; ++i) {
        auto e = std::make_shared<TStorageElement>();
        is.getObject(*e);
        if (!is.isGood()) return;
        bool duplicate = false;
        for (const auto& other : elements) duplicate |= other->name == e->name;
        if (!duplicate) elements.push_back(e);
    }
}

void TSetOfStorageElement::writeFields(opstream& os) const {
    os.put32(static_cast<uint32_t>(elements.size()));
    for (const auto& e : elements) os.putObject(*e);
}

void registerStorageStreamClasses(StreamClassRegistry& registry) {
    registry.registerClass<TStorageElement>("TStorageElement");
    registry.registerClass<TSetOfStorageElement>("TSetOfStorageElement");
}

bool readLegacyContents(std::span<const uint8_t> bytes, ContentTable& table, std::string& error) {
    SpanBuffer buf(bytes);
    ipstream is(&buf);
    TSetOfStorageElement set;
    try {
        is.getObject(set);
    } catch (const TXBase& e) {
        error = e.what();
        return false;
    }
    for (const auto& e : set.elements) {
        const std::string name = cleanName(e->name);
        if (table.count(name)) continue;
        auto item = std::make_shared<TContentItem>();
        item->name = name;
        item->setStorageName(e->name, false);
        item->kind = e->kind;
        item->compressed = e->compressed;
        item->description = e->third;
        item->storedSize = e->storedSize;
        item->findData = e->findData;
        table.emplace(name, item);
    }
    if (!is.isGood()) {
        error = "the legacy table of contents is damaged";
        return false;
    }
    return true;
}

} // namespace quadrel
