#include "core/labelling.h"

#include "core/union_find.h"
#include "platform/large_buffer.h"

#include <algorithm>
#include <unordered_map>

namespace quadrel {

LabelResult labelMask(Bitmap& mask, uint32_t maxLabels) {
    LabelResult result;
    if (mask.pixelFormat() != PixelFormat::Argb32) {
        result.status = LabelStatus::NotA32BitMask;
        return result;
    }
    const int w = mask.width(), h = mask.height();
    clearBorder(mask, 0);
    if (w < 3 || h < 3) return result;
    maxLabels = std::min(maxLabels, kMaxLabelNumber);

    Equivalences eq;
    bool merged = false;
    for (int y = 1; y < h - 1; ++y) {
        uint32_t* row = mask.row32(y);
        const uint32_t* above = mask.row32(y - 1);
        for (int x = 1; x < w - 1; ++x) {
            if (row[x] == 0) continue;
            // Already visited neighbours in the scan's order: NE, N, NW, W.
            const uint32_t nb[4] = {above[x + 1], above[x], above[x - 1], row[x - 1]};
            uint32_t mine = firstLabelled(nb);
            if (mine == 0) {
                if (eq.count() >= maxLabels) {
                    result.status = LabelStatus::TooManyLabels;
                    result.provisionalCount = eq.count();
                    return result;
                }
                mine = kLabelBase + eq.add();
                row[x] = mine;
                continue;
            }
            row[x] = mine;
            for (uint32_t v : nb)
                if (v != 0 && v != mine) merged |= eq.unite(mine - kLabelBase, v - kLabelBase);
        }
    }
    result.provisionalCount = eq.count();
    result.lastLabel = kLabelBase + eq.count();
    if (!merged) return result;

    const std::vector<uint32_t>& rep = eq.flatten();
    for (int y = 1; y < h - 1; ++y) {
        uint32_t* row = mask.row32(y);
        for (int x = 1; x < w - 1; ++x)
            if (row[x] != 0) row[x] = kLabelBase + rep[row[x] - kLabelBase];
    }
    return result;
}

LabelResult relabelWithBackground(Bitmap& labels, const std::vector<uint32_t>& background, uint32_t maxLabels) {
    LabelResult result;
    if (labels.pixelFormat() != PixelFormat::Argb32) {
        result.status = LabelStatus::NotA32BitMask;
        return result;
    }
    const int w = labels.width(), h = labels.height();
    clearBorder(labels, 0);
    if (w < 3 || h < 3) return result;
    std::vector<uint32_t> bg(background);
    bg.push_back(0);
    std::sort(bg.begin(), bg.end());
    auto isBackground = [&](uint32_t v) { return std::binary_search(bg.begin(), bg.end(), v); };

    // Provisional numbers live in a side buffer: the new label values may equal old values of pixels
    // not yet visited.
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    LargeBuffer<uint32_t> index(n);
    Equivalences eq;
    std::vector<uint32_t> value{0}; // label value of each provisional number
    uint32_t counter = kLabelBase;
    for (int y = 1; y < h - 1; ++y) {
        const uint32_t* row = labels.row32(y);
        uint32_t* idx = index.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        const uint32_t* above = idx - w;
        for (int x = 1; x < w - 1; ++x) {
            if (isBackground(row[x])) continue;
            const uint32_t nb[4] = {above[x + 1], above[x], above[x - 1], idx[x - 1]};
            uint32_t mine = firstLabelled(nb);
            if (mine == 0) {
                do {
                    if (counter == 0xFFFFFFFFu || eq.count() >= maxLabels) {
                        result.status = LabelStatus::TooManyLabels;
                        return result;
                    }
                    ++counter;
                } while (isBackground(counter));
                mine = eq.add();
                value.push_back(counter);
            } else {
                for (uint32_t v : nb)
                    if (v != 0 && v != mine) eq.unite(mine, v);
            }
            idx[x] = mine;
        }
    }
    const std::vector<uint32_t>& rep = eq.flatten();
    for (int y = 1; y < h - 1; ++y) {
        uint32_t* row = labels.row32(y);
        const uint32_t* idx = index.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 1; x < w - 1; ++x)
            if (idx[x] != 0) row[x] = value[rep[idx[x]]];
    }
    result.provisionalCount = eq.count();
    result.lastLabel = counter;
    return result;
}

BitmapPtr outlineImage(const Bitmap& kept) {
    const int w = kept.width(), h = kept.height();
    BitmapPtr out = createGrey8(w, h);
    if (!out || kept.pixelFormat() != PixelFormat::Indexed8) return out;
    for (int y = 1; y < h - 1; ++y) {
        const uint8_t* up = kept.row(y - 1);
        const uint8_t* mid = kept.row(y);
        const uint8_t* down = kept.row(y + 1);
        uint8_t* o = out->row(y);
        for (int x = 1; x < w - 1; ++x) {
            if (mid[x] == 0) continue;
            const bool N = up[x], S = down[x], W = mid[x - 1], E = mid[x + 1];
            const bool NW = up[x - 1], NE = up[x + 1], SW = down[x - 1], SE = down[x + 1];
            if (N && S && W && E && NW && NE && SW && SE) continue;
            // A corner pixel whose two arms already carry the outline adds nothing to it.
            const bool redundant = (N && E && !W && !SW && !S) || (W && N && !E && !SE && !S) ||
                                   (W && S && !E && !NE && !N) || (E && S && !W && !N && !NW);
            if (!redundant) o[x] = 255;
        }
    }
    return out;
}

namespace {

constexpr uint8_t kInitialOrder[8] = {0, 2, 6, 4, 1, 7, 3, 5};
constexpr uint8_t kSearchOrder[8][8] = {
    {0, 2, 6, 1, 7, 3, 5, 4}, {2, 0, 1, 3, 7, 4, 6, 5}, {2, 4, 0, 3, 1, 5, 7, 6}, {4, 2, 3, 5, 1, 6, 0, 7},
    {4, 6, 2, 5, 3, 7, 1, 0}, {6, 4, 5, 7, 3, 0, 2, 1}, {6, 0, 4, 7, 5, 1, 3, 2}, {0, 6, 7, 1, 5, 2, 4, 3},
};

struct Point {
    int32_t x, y;
};

// The outline points of one cell, with a membership grid over their bounding box (one ring of margin so
// neighbour look-ups need no bounds test).
class PointSet {
public:
    explicit PointSet(std::vector<Point>& pts) : m_points(pts) {
        std::sort(m_points.begin(), m_points.end(),
                  [](const Point& a, const Point& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        int32_t x0 = m_points.front().x, x1 = x0, y0 = m_points.front().y, y1 = y0;
        for (const Point& p : m_points) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        m_x0 = x0 - 1;
        m_y0 = y0 - 1;
        m_w = static_cast<size_t>(x1 - x0 + 3);
        m_grid.assign(m_w * static_cast<size_t>(y1 - y0 + 3), 0);
        for (const Point& p : m_points) m_grid[index(p.x, p.y)] = 1;
        m_left = m_points.size();
    }
    bool has(int32_t x, int32_t y) const { return m_grid[index(x, y)] != 0; }
    void remove(int32_t x, int32_t y) {
        uint8_t& g = m_grid[index(x, y)];
        if (g) {
            g = 0;
            --m_left;
        }
    }
    bool empty() const { return m_left == 0; }
    // The remaining point with the smallest x, then the smallest y.
    Point first() {
        while (!has(m_points[m_next].x, m_points[m_next].y)) ++m_next;
        return m_points[m_next];
    }

private:
    size_t index(int32_t x, int32_t y) const {
        return static_cast<size_t>(y - m_y0) * m_w + static_cast<size_t>(x - m_x0);
    }
    std::vector<Point>& m_points;
    std::vector<uint8_t> m_grid;
    int32_t m_x0 = 0, m_y0 = 0;
    size_t m_w = 0;
    size_t m_left = 0;
    size_t m_next = 0;
};

void traceCell(std::vector<Point>& points, TSetOfChainCode& chains) {
    PointSet set(points);
    while (!set.empty()) {
        const Point start = set.first();
        int order = -1;
        for (int i = 0; i < 8; ++i) {
            const uint8_t d = kInitialOrder[i];
            if (set.has(start.x + kChainDx[d], start.y + kChainDy[d])) {
                order = i;
                break;
            }
        }
        if (order < 0) {
            set.remove(start.x, start.y);
            continue;
        }
        TChainCode chain(start.x, start.y);
        Point cur = start;
        for (;;) {
            set.remove(cur.x, cur.y);
            int taken = -1;
            for (uint8_t d : kSearchOrder[order]) {
                if (set.has(cur.x + kChainDx[d], cur.y + kChainDy[d])) {
                    taken = d;
                    break;
                }
            }
            if (taken < 0) break;
            chain.steps.push_back(static_cast<uint8_t>(taken));
            cur.x += kChainDx[taken];
            cur.y += kChainDy[taken];
            order = taken;
        }
        if (!chain.steps.empty()) chains.push_back(std::move(chain));
    }
}

} // namespace

void traceOutlines(const Bitmap& labelImage, const Bitmap& outline, TSetOfCellBounds& bounds) {
    const int w = std::min(labelImage.width(), outline.width());
    const int h = std::min(labelImage.height(), outline.height());
    if (labelImage.pixelFormat() != PixelFormat::Argb32 || outline.pixelFormat() != PixelFormat::Indexed8) return;

    std::unordered_map<uint32_t, std::vector<Point>> points;
    uint32_t lastLabel = 0;
    std::vector<Point>* lastPoints = nullptr;
    for (int y = 1; y < h - 1; ++y) {
        const uint8_t* o = outline.row(y);
        const uint32_t* l = labelImage.row32(y);
        for (int x = 1; x < w - 1; ++x) {
            if (o[x] == 0 || l[x] == 0) continue;
            if (l[x] != lastLabel || !lastPoints) {
                lastLabel = l[x];
                lastPoints = &points[lastLabel];
            }
            lastPoints->push_back({x, y});
        }
    }
    std::vector<uint32_t> labels;
    labels.reserve(points.size());
    for (const auto& kv : points) labels.push_back(kv.first);
    std::sort(labels.begin(), labels.end());

    std::unordered_map<uint32_t, size_t> existing;
    for (size_t i = 0; i < bounds.size(); ++i) existing.emplace(bounds[i].label, i);
    for (uint32_t label : labels) {
        auto it = existing.find(label);
        size_t index;
        if (it == existing.end()) {
            index = bounds.size();
            bounds.emplace_back(label);
            existing.emplace(label, index);
        } else {
            index = it->second;
        }
        traceCell(points[label], bounds[index].chains);
    }
}

std::vector<LabelCount> countLabels(const Bitmap& labelImage) {
    std::unordered_map<uint32_t, uint64_t> counts;
    const int w = labelImage.width(), h = labelImage.height();
    if (labelImage.pixelFormat() != PixelFormat::Argb32) return {};
    for (int y = 1; y < h - 1; ++y) {
        const uint32_t* l = labelImage.row32(y);
        int x = 1;
        while (x < w - 1) {
            const uint32_t v = l[x];
            int run = x + 1;
            while (run < w - 1 && l[run] == v) ++run;
            if (v != 0) counts[v] += static_cast<uint64_t>(run - x);
            x = run;
        }
    }
    std::vector<LabelCount> out;
    out.reserve(counts.size());
    for (const auto& kv : counts) out.push_back({kv.first, kv.second});
    std::sort(out.begin(), out.end(), [](const LabelCount& a, const LabelCount& b) { return a.label < b.label; });
    return out;
}

} // namespace quadrel
