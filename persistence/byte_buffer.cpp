#include "persistence/byte_buffer.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace quadrel {

int MemoryBuffer::peek() {
    return m_get < m_data.size() ? m_data[m_get] : -1;
}

size_t MemoryBuffer::read(uint8_t* dst, size_t n) {
    const size_t k = std::min(n, m_data.size() - m_get);
    if (k > 0) std::memcpy(dst, m_data.data() + m_get, k);
    m_get += k;
    return k;
}

size_t MemoryBuffer::write(const uint8_t* src, size_t n) {
    m_data.insert(m_data.end(), src, src + n);
    return n;
}

int SpanBuffer::peek() {
    return m_get < m_bytes.size() ? m_bytes[m_get] : -1;
}

size_t SpanBuffer::read(uint8_t* dst, size_t n) {
    const size_t k = std::min(n, m_bytes.size() - m_get);
    if (k > 0) std::memcpy(dst, m_bytes.data() + m_get, k);
    m_get += k;
    return k;
}

FileBuffer::FileBuffer(const std::filesystem::path& path, Mode mode) {
    m_file = std::fopen(path.c_str(), mode == Mode::Read ? "rb" : "wb");
    if (!m_file || mode == Mode::Write) return;
    struct stat st {};
    if (::fstat(fileno(m_file), &st) != 0 || !S_ISREG(st.st_mode)) {
        // A pipe or a device has no known length: refuse it rather than read without a bound.
        std::fclose(m_file);
        m_file = nullptr;
        return;
    }
    m_size = static_cast<uint64_t>(st.st_size);
}

FileBuffer::~FileBuffer() {
    close();
}

bool FileBuffer::close() {
    if (!m_file) return !m_writeFailed;
    const bool ok = std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok && !m_writeFailed;
}

int FileBuffer::peek() {
    if (!m_file) return -1;
    const int c = std::fgetc(m_file);
    if (c == EOF) return -1;
    std::ungetc(c, m_file);
    return c;
}

size_t FileBuffer::read(uint8_t* dst, size_t n) {
    if (!m_file || n == 0) return 0;
    const size_t k = std::fread(dst, 1, n, m_file);
    m_position += k;
    return k;
}

size_t FileBuffer::write(const uint8_t* src, size_t n) {
    if (!m_file || n == 0) return 0;
    const size_t k = std::fwrite(src, 1, n, m_file);
    if (k != n) m_writeFailed = true;
    return k;
}

} // namespace quadrel
