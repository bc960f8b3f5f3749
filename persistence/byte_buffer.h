#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <vector>

namespace quadrel {

// The byte source and sink under the object streams. Reads report how many bytes they moved; the streams
// turn a short read or write into their failure state.
class ByteBuffer {
public:
    virtual ~ByteBuffer() = default;

    // The next byte without consuming it, or -1 at the end of the data.
    virtual int peek() = 0;
    virtual size_t read(uint8_t* dst, size_t n) = 0;
    virtual size_t write(const uint8_t* src, size_t n) = 0;
    // Bytes that a reader can still get. Counts and lengths read from a stream are checked against it before
    // anything is allocated for them.
    virtual uint64_t remaining() const = 0;
};

// A growable memory buffer with separate get and put positions: writes append, reads consume from the start.
class MemoryBuffer : public ByteBuffer {
public:
    MemoryBuffer() = default;
    explicit MemoryBuffer(std::vector<uint8_t> bytes) : m_data(std::move(bytes)) {}
    explicit MemoryBuffer(std::span<const uint8_t> bytes) : m_data(bytes.begin(), bytes.end()) {}

    int peek() override;
    size_t read(uint8_t* dst, size_t n) override;
    size_t write(const uint8_t* src, size_t n) override;
    uint64_t remaining() const override { return m_data.size() - m_get; }

    const std::vector<uint8_t>& data() const { return m_data; }
    std::vector<uint8_t> take() {
        m_get = 0;
        return std::move(m_data);
    }
    size_t getPosition() const { return m_get; }

private:
    std::vector<uint8_t> m_data;
    size_t m_get = 0;
};

// A read-only view over bytes owned by someone else; used to read items without copying them.
class SpanBuffer : public ByteBuffer {
public:
    explicit SpanBuffer(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    int peek() override;
    size_t read(uint8_t* dst, size_t n) override;
    size_t write(const uint8_t*, size_t) override { return 0; }
    uint64_t remaining() const override { return m_bytes.size() - m_get; }

private:
    std::span<const uint8_t> m_bytes;
    size_t m_get = 0;
};

// A file opened either for binary reading or for binary writing (created or truncated). Only regular files
// are opened for reading, so that the size of the data is known before anything is read from it.
class FileBuffer : public ByteBuffer {
public:
    enum class Mode { Read, Write };
    FileBuffer(const std::filesystem::path& path, Mode mode);
    ~FileBuffer() override;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    int peek() override;
    size_t read(uint8_t* dst, size_t n) override;
    size_t write(const uint8_t* src, size_t n) override;
    uint64_t remaining() const override { return m_size > m_position ? m_size - m_position : 0; }
    // Flushes and closes; false when the data could not be written completely.
    bool close();

private:
    std::FILE* m_file = nullptr;
    uint64_t m_size = 0;
    uint64_t m_position = 0;
    bool m_writeFailed = false;
};

} // namespace quadrel
