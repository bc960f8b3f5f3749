#include "persistence/object_stream.h"

#include <cstring>

namespace quadrel {

namespace {

constexpr uint8_t kHeaderMark = 0x3A;  // ":"
constexpr uint8_t kObjectBegin = 0x5B; // "["
constexpr uint8_t kObjectEnd = 0x5D;   // "]"
constexpr uint8_t kPointerNull = 0x00;
constexpr uint8_t kPointerBackRef = 0x01;
constexpr uint8_t kPointerObject = 0x02;
constexpr uint32_t kNullString32 = 0xFFFFFFFFu;
constexpr uint8_t kNullString8 = 0xFF;
constexpr size_t kMaxClassNameLength = 127;
// Stream versions above this one carry 4-byte string lengths.
constexpr uint32_t kLongStringVersion = 256;

// Keeps the nesting depth of frames being read; refuses a frame beyond the limit.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    bool tooDeep() const { return m_depth > pstream::kMaxObjectDepth; }

private:
    int& m_depth;
};

} // namespace

// ---- input ----

ipstream::ipstream(ByteBuffer* buffer) : pstream(buffer) {
    if (buffer) readHeader();
}

void ipstream::readHeader() {
    ByteBuffer* b = buffer();
    if (!b || !isGood()) return;
    const int c = b->peek();
    if (c < 0) {
        setState(eof);
        m_version = 0;
        return;
    }
    if (c != kHeaderMark) {
        m_version = 0; // a stream written before headers existed
        return;
    }
    get8();
    m_version = get32();
}

bool ipstream::readBytes(void* dst, size_t n) {
    if (!isGood()) return false;
    ByteBuffer* b = buffer();
    if (n == 0) return true;
    // Check first, so that a short read never half-fills the destination.
    if (!b || b->remaining() < n) {
        setState(fail);
        return false;
    }
    if (b->read(static_cast<uint8_t*>(dst), n) != n) {
        setState(fail);
        return false;
    }
    return true;
}

uint8_t ipstream::get8() {
    uint8_t v = 0;
    readBytes(&v, 1);
    return v;
}

uint16_t ipstream::get16() {
    uint8_t b[2] = {0, 0};
    if (!readBytes(b, 2)) return 0;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint32_t ipstream::get32() {
    uint8_t b[4] = {0, 0, 0, 0};
    if (!readBytes(b, 4)) return 0;
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

void ipstream::getRaw(void* dst, size_t n) {
    readBytes(dst, n);
}

uint32_t ipstream::getWord() {
    return m_version == 0 ? get16() : get32();
}

double ipstream::getDouble() {
    uint8_t b[8] = {};
    double v = 0.0;
    if (readBytes(b, 8)) std::memcpy(&v, b, 8);
    return v;
}

StreamRect ipstream::getRect() {
    StreamRect r;
    r.left = getInt32();
    r.top = getInt32();
    r.right = getInt32();
    r.bottom = getInt32();
    return r;
}

StreamPoint ipstream::getPoint() {
    StreamPoint p;
    p.x = getInt32();
    p.y = getInt32();
    return p;
}

std::string ipstream::getText() {
    if (!isGood()) return {};
    uint32_t length;
    if (m_version > kLongStringVersion) {
        length = get32();
        if (!isGood() || length == kNullString32) return {};
    } else {
        length = get8();
        if (!isGood() || length == kNullString8) return {};
    }
    if (!checkCount(length, 1)) return {};
    std::string s(length, '\0');
    if (!readBytes(s.data(), length)) return {};
    // The text ends at its first NUL, as the writer's does.
    s.resize(std::strlen(s.c_str()));
    return s;
}

uint64_t ipstream::remaining() const {
    return buffer() ? buffer()->remaining() : 0;
}

bool ipstream::checkCount(uint64_t count, uint64_t minBytesEach) {
    if (!isGood()) return false;
    if (minBytesEach == 0) minBytesEach = 1;
    if (count > remaining() / minBytesEach) {
        setState(fail);
        return false;
    }
    return true;
}

uint64_t ipstream::minFramedObjectBytes() const {
    // "[", the length, at least one name byte, the class version when there is a header, "]".
    const uint64_t lengthBytes = m_version > kLongStringVersion ? 4 : 1;
    return 3 + lengthBytes + (m_version != 0 ? 4 : 0);
}

const StreamClassEntry* ipstream::readPrefix() {
    if (get8() != kObjectBegin || !isGood()) {
        setState(fail);
        return nullptr;
    }
    uint32_t length;
    bool null;
    if (m_version > kLongStringVersion) {
        length = get32();
        null = length == kNullString32;
    } else {
        length = get8();
        null = length == kNullString8;
    }
    if (!isGood() || null || length == 0 || length > kMaxClassNameLength) {
        setState(fail);
        return nullptr;
    }
    char name[kMaxClassNameLength + 1] = {};
    if (!readBytes(name, length)) return nullptr;
    name[length] = '\0';
    if (name[0] == '\0') {
        setState(fail);
        return nullptr;
    }
    return &StreamClassRegistry::global().lookup(name);
}

void ipstream::readBody(TStreamer& streamer) {
    const uint32_t classVersion = m_version != 0 ? get32() : 0;
    if (!isGood()) return;
    streamer.Read(*this, classVersion);
    if (!isGood()) return;
    if (get8() != kObjectEnd) setState(fail);
}

void ipstream::readFramedInto(TStreamableBase& object, const std::type_info& expected, KindCheck isExpected) {
    if (!isGood()) return;
    DepthGuard depth(m_depth);
    if (depth.tooDeep()) {
        setState(fail);
        return;
    }
    const StreamClassEntry* entry = readPrefix();
    if (!entry) return;
    // The frame must name the expected class or one derived from it, and the object must be one of those.
    std::unique_ptr<TStreamer> streamer = entry->build(&object);
    bool accepted = streamer != nullptr;
    if (accepted && *entry->type != expected) {
        std::unique_ptr<TStreamer> probe = entry->build(nullptr);
        accepted = probe && isExpected(probe->GetObject());
    }
    if (!accepted) {
        setState(fail);
        return;
    }
    registerObject(&object);
    readBody(*streamer);
}

bool ipstream::readPointer(std::shared_ptr<TStreamableBase>& ptr) {
    if (!isGood()) return false;
    const uint8_t tag = get8();
    if (!isGood()) return false;
    switch (tag) {
    case kPointerNull:
        ptr.reset();
        return true;
    case kPointerBackRef: {
        const uint32_t index = getWord();
        if (!isGood()) return false;
        // Only objects the stream created can be shared; an object read into a caller's variable belongs to
        // the caller and may be gone before the pointer, so a reference to it reads as null.
        if (index < m_objects.size())
            ptr = m_objects[index].owned;
        else
            ptr.reset();
        return true;
    }
    case kPointerObject: {
        DepthGuard depth(m_depth);
        if (depth.tooDeep()) {
            setState(fail);
            return false;
        }
        const StreamClassEntry* entry = readPrefix();
        if (!entry) return false;
        std::unique_ptr<TStreamer> streamer = entry->build(nullptr);
        auto* created = streamer ? dynamic_cast<TNewStreamer*>(streamer.get()) : nullptr;
        std::shared_ptr<TStreamableBase> object = created ? created->createdObject() : nullptr;
        if (!object) {
            setState(fail);
            return false;
        }
        m_indexOf[object.get()] = m_objects.size();
        m_objects.push_back(ReadObject{object, object.get()});
        ptr = object;
        readBody(*streamer);
        return true;
    }
    default:
        setState(fail);
        return false;
    }
}

void ipstream::registerObject(TStreamableBase* object) {
    ReadObject entry{nullptr, object};
    if (auto it = m_indexOf.find(object); it != m_indexOf.end() && m_objects[it->second].object == object)
        entry = m_objects[it->second];
    m_indexOf[object] = m_objects.size();
    m_objects.push_back(std::move(entry));
}

// ---- output ----

opstream::opstream(ByteBuffer* buffer) : pstream(buffer) {
    writeHeader();
}

void opstream::writeHeader() {
    put8(kHeaderMark);
    put32(kWriterVersion);
}

void opstream::writeBytes(const void* src, size_t n) {
    if (!isGood() || n == 0) return;
    ByteBuffer* b = buffer();
    if (!b || b->write(static_cast<const uint8_t*>(src), n) != n) setState(fail);
}

void opstream::put8(uint8_t v) {
    writeBytes(&v, 1);
}

void opstream::put16(uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    writeBytes(b, 2);
}

void opstream::put32(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    writeBytes(b, 4);
}

void opstream::putRaw(const void* src, size_t n) {
    writeBytes(src, n);
}

void opstream::putDouble(double v) {
    uint8_t b[8];
    std::memcpy(b, &v, 8);
    writeBytes(b, 8);
}

void opstream::putRect(const StreamRect& r) {
    putInt32(r.left);
    putInt32(r.top);
    putInt32(r.right);
    putInt32(r.bottom);
}

void opstream::putPoint(const StreamPoint& p) {
    putInt32(p.x);
    putInt32(p.y);
}

void opstream::putText(const char* s) {
    if (!s) {
        put32(kNullString32);
        return;
    }
    const size_t n = std::strlen(s);
    put32(static_cast<uint32_t>(n));
    writeBytes(s, n);
}

uint32_t opstream::findObject(const void* object) const {
    auto it = m_written.find(reinterpret_cast<uintptr_t>(object) + 1);
    return it == m_written.end() ? 0 : it->second;
}

uint32_t opstream::registerObject(const void* object) {
    const uint32_t id = ++m_nextId;
    m_written[reinterpret_cast<uintptr_t>(object) + 1] = id;
    return id;
}

void opstream::putObject(const TStreamableBase& object) {
    if (!isGood()) return;
    // Looked up first: an unregistered class throws before anything of it is written.
    const StreamClassEntry& entry = StreamClassRegistry::global().lookupObject(object);
    put8(kObjectBegin);
    putText(entry.name);
    if (!isGood()) return;
    registerObject(&object);
    std::unique_ptr<TStreamer> streamer = entry.build(const_cast<TStreamableBase*>(&object));
    if (!streamer) {
        setState(fail);
        return;
    }
    put32(streamer->ClassVersion());
    streamer->Write(*this);
    if (isGood()) put8(kObjectEnd);
}

void opstream::putPointer(const TStreamableBase* object) {
    if (!isGood()) return;
    if (!object) {
        put8(kPointerNull);
        return;
    }
    if (const uint32_t id = findObject(object)) {
        put8(kPointerBackRef);
        put32(id);
        return;
    }
    put8(kPointerObject);
    putObject(*object);
}

// ---- files ----

fpbase::fpbase(const std::filesystem::path& path, FileBuffer::Mode mode)
    : m_file(std::make_unique<FileBuffer>(path, mode)) {
    if (m_file->isOpen())
        setBuffer(m_file.get());
    else
        setState(openFailed);
}

bool fpbase::close() {
    if (!m_file->close()) setState(fail);
    return isGood();
}

ifpstream::ifpstream(const std::filesystem::path& path) : fpbase(path, FileBuffer::Mode::Read) {
    if (isGood()) readHeader();
}

ofpstream::ofpstream(const std::filesystem::path& path) : fpbase(path, FileBuffer::Mode::Write) {
    if (isGood()) writeHeader();
}

} // namespace quadrel
