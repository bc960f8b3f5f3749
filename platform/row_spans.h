#pragma once

#include <cstdint>
#include <vector>

namespace quadrel {

// The pixels of a region as horizontal runs, row by row. Whole-image walks (histograms, the partition of
// cells) use these instead of testing every pixel against a shape tree.
struct RowSpan {
    int32_t y = 0;
    int32_t x0 = 0; // first pixel inside
    int32_t x1 = 0; // one past the last pixel inside
};

class RowSpans {
public:
    RowSpans() = default;
    // Spans must come sorted by row and, within a row, by x without overlap.
    explicit RowSpans(std::vector<RowSpan> spans) : m_spans(std::move(spans)) {}

    const std::vector<RowSpan>& spans() const { return m_spans; }
    bool empty() const { return m_spans.empty(); }
    void add(int32_t y, int32_t x0, int32_t x1) {
        if (x1 > x0) m_spans.push_back({y, x0, x1});
    }
    uint64_t pixelCount() const {
        uint64_t n = 0;
        for (const RowSpan& s : m_spans) n += static_cast<uint64_t>(s.x1 - s.x0);
        return n;
    }

private:
    std::vector<RowSpan> m_spans;
};

} // namespace quadrel
