#pragma once

#include <cstddef>
#include <cstdlib>
#include <sys/mman.h>
#include <cstring>
#include <new>
#include <utility>

namespace quadrel {

// Zeroed memory for whole images. Large blocks are asked for on huge pages: touching tens of megabytes of
// fresh memory one small page at a time costs more than the image step itself on virtual machines.
namespace detail {
constexpr size_t kHugePage = size_t{2} << 20;
}

inline void* allocateLarge(size_t bytes) {
    if (bytes == 0) return nullptr;
    if (bytes < detail::kHugePage) {
        void* p = std::calloc(1, bytes);
        if (!p) throw std::bad_alloc();
        return p;
    }
    const size_t rounded = (bytes + detail::kHugePage - 1) / detail::kHugePage * detail::kHugePage;
    if (rounded < bytes) throw std::bad_alloc();
    void* p = std::aligned_alloc(detail::kHugePage, rounded);
    if (!p) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE); // only advice: without huge pages the memory works the same
    std::memset(p, 0, bytes);
    return p;
}

inline void releaseLarge(void* p, size_t) { std::free(p); }


template <typename T>
class LargeBuffer {
public:
    LargeBuffer() = default;
    explicit LargeBuffer(size_t count) : m_count(count) {
        if (count > static_cast<size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        m_data = static_cast<T*>(allocateLarge(count * sizeof(T)));
    }
    LargeBuffer(const LargeBuffer& o) : LargeBuffer(o.m_count) {
        if (m_count) std::memcpy(m_data, o.m_data, m_count * sizeof(T));
    }
    LargeBuffer(LargeBuffer&& o) noexcept
        : m_data(std::exchange(o.m_data, nullptr)), m_count(std::exchange(o.m_count, 0)) {}
    LargeBuffer& operator=(LargeBuffer o) noexcept {
        std::swap(m_data, o.m_data);
        std::swap(m_count, o.m_count);
        return *this;
    }
    ~LargeBuffer() { releaseLarge(m_data, m_count * sizeof(T)); }

    T* data() { return m_data; }
    const T* data() const { return m_data; }
    size_t size() const { return m_count; }
    T& operator[](size_t i) { return m_data[i]; }
    const T& operator[](size_t i) const { return m_data[i]; }

private:
    T* m_data = nullptr;
    size_t m_count = 0;
};

} // namespace quadrel
