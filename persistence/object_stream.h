#pragma once

#include "persistence/byte_buffer.h"
#include "persistence/stream_registry.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace quadrel {

// Rectangles and points as the persisted classes write them: four and two 32-bit integers.
struct StreamRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const StreamRect&, const StreamRect&) = default;
};
struct StreamPoint {
    int32_t x = 0, y = 0;
    friend bool operator==(const StreamPoint&, const StreamPoint&) = default;
};

// Shared base of the object streams: a non-owning reference to the byte buffer and the state word.
class pstream {
public:
    enum : int { good = 0, eof = 1, fail = 2, openFailed = 4 };

    // Version that writers put into the header.
    static constexpr uint32_t kWriterVersion = 257;
    // Objects nest at most this deep; deeper frames are refused, so a crafted stream cannot exhaust the stack.
    static constexpr int kMaxObjectDepth = 32;

    virtual ~pstream() = default;
    pstream(const pstream&) = delete;
    pstream& operator=(const pstream&) = delete;

    int state() const { return m_state; }
    bool isGood() const { return m_state == good; }
    // Failures accumulate; the state never returns to good.
    void setState(int s) { m_state |= s; }
    ByteBuffer* buffer() const { return m_buffer; }

protected:
    explicit pstream(ByteBuffer* buffer = nullptr) : m_buffer(buffer) {}
    void setBuffer(ByteBuffer* buffer) { m_buffer = buffer; }

private:
    ByteBuffer* m_buffer;
    int m_state = good;
};

class ipstream : public virtual pstream {
public:
    // Reads the header when a buffer is given.
    explicit ipstream(ByteBuffer* buffer);

    uint32_t version() const { return m_version; }

    uint8_t get8();
    uint16_t get16();
    uint32_t get32();
    // A short read fails the stream and leaves dst untouched.
    void getRaw(void* dst, size_t n);
    // A 2-byte value (zero-extended) in a stream without header, 4 bytes otherwise.
    uint32_t getWord();
    int32_t getInt32() { return static_cast<int32_t>(get32()); }
    int32_t getWordInt() { return static_cast<int32_t>(getWord()); }
    double getDouble();
    bool getBool32() { return get32() != 0; }
    StreamRect getRect();
    StreamPoint getPoint();
    // A string; the null string reads as empty. The length is checked against the data left first.
    std::string getText();

    // Bytes that a count may still claim: the data left in the buffer.
    uint64_t remaining() const;
    // Fails the stream unless `count` items of at least `minBytesEach` bytes fit into the data left.
    // Called before anything is allocated for a count read from the stream.
    bool checkCount(uint64_t count, uint64_t minBytesEach);
    // The smallest number of bytes a framed object can take in this stream.
    uint64_t minFramedObjectBytes() const;
    // The smallest number of bytes a pointer can take (the null tag).
    static constexpr uint64_t kMinPointerBytes = 1;

    // Reads a framed object into `object`. The frame must name T or a class derived from it, of which
    // `object` is an instance; any other class fails the stream (state 2) and leaves `object` as it was.
    // An unregistered class name throws TXBase.
    template <class T> void getObject(T& object) {
        readFramedInto(object, typeid(T),
                       [](const TStreamableBase* p) { return dynamic_cast<const T*>(p) != nullptr; });
    }

    // Reads a pointer. A framed object is created by the class named in the stream and owned by a shared
    // pointer; a back-reference shares ownership of an object read earlier. Objects of a class that is not a T
    // read as null (their bytes are consumed). An unregistered class name throws TXBase.
    template <class T> void getPointer(std::shared_ptr<T>& ptr) {
        std::shared_ptr<TStreamableBase> any;
        if (!readPointer(any)) return;
        ptr = std::dynamic_pointer_cast<T>(any);
    }
    // The raw form: false when the stream was not good (the pointer is left as it was).
    bool readPointer(std::shared_ptr<TStreamableBase>& ptr);

    // Appends an object that a class reads inline to the read-object table, so later back-references count
    // it. An object that is already in the table shares its ownership; others are referenced without it.
    void registerObject(TStreamableBase* object);
    size_t readObjectCount() const { return m_objects.size(); }

protected:
    // For the file-backed stream, which opens its file before it reads the header.
    ipstream() = default;
    void readHeader();

private:
    struct ReadObject {
        std::shared_ptr<TStreamableBase> owned; // null for objects read into a caller's object
        TStreamableBase* object = nullptr;
    };
    using KindCheck = bool (*)(const TStreamableBase*);

    bool readBytes(void* dst, size_t n);
    const StreamClassEntry* readPrefix();
    void readFramedInto(TStreamableBase& object, const std::type_info& expected, KindCheck isExpected);
    void readBody(TStreamer& streamer);

    uint32_t m_version = 0;
    int m_depth = 0;
    std::vector<ReadObject> m_objects{ReadObject{}};
    std::unordered_map<const TStreamableBase*, size_t> m_indexOf;
};

class opstream : public virtual pstream {
public:
    // Writes the header.
    explicit opstream(ByteBuffer* buffer);

    void put8(uint8_t v);
    void put16(uint16_t v);
    void put32(uint32_t v);
    void putRaw(const void* src, size_t n);
    void putInt32(int32_t v) { put32(static_cast<uint32_t>(v)); }
    void putDouble(double v);
    void putBool32(bool v) { put32(v ? 1u : 0u); }
    void putRect(const StreamRect& r);
    void putPoint(const StreamPoint& p);
    // A string up to its first NUL, or the null string for nullptr.
    void putText(const char* s);
    void putText(const std::string& s) { putText(s.c_str()); }

    // Writes a whole framed object. An object of an unregistered class throws TXBase.
    void putObject(const TStreamableBase& object);
    // Writes null, a back-reference to an object already written, or the framed object.
    void putPointer(const TStreamableBase* object);
    template <class T> void putPointer(const std::shared_ptr<T>& object) {
        putPointer(static_cast<const TStreamableBase*>(object.get()));
    }

    // The id of an object already written, 0 when it was not.
    uint32_t findObject(const void* object) const;
    // Enters an object under the next id and returns it.
    uint32_t registerObject(const void* object);

protected:
    opstream() = default;
    void writeHeader();

private:
    void writeBytes(const void* src, size_t n);

    // Keyed by address + 1, so that a null never matches.
    std::unordered_map<uintptr_t, uint32_t> m_written;
    uint32_t m_nextId = 0;
};

// Base of the file-backed streams: owns the file. State 4 when the file could not be opened.
class fpbase : public virtual pstream {
public:
    fpbase(const std::filesystem::path& path, FileBuffer::Mode mode);
    // Closes the file; a file that could not be written completely fails the stream (false).
    bool close();

protected:
    std::unique_ptr<FileBuffer> m_file;
};

class ifpstream : public fpbase, public ipstream {
public:
    explicit ifpstream(const std::filesystem::path& path);
};

class ofpstream : public fpbase, public opstream {
public:
    explicit ofpstream(const std::filesystem::path& path);
};

} // namespace quadrel
