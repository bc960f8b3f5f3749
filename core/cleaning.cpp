#include "core/cleaning.h"

#include "core/union_find.h"
#include "platform/large_buffer.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace quadrel {

void reconstruct(uint8_t* seed, int seedStride, uint8_t* mask, int maskStride, int w, int h, uint8_t value) {
    auto S = [&](int x, int y) -> uint8_t& { return seed[static_cast<ptrdiff_t>(y) * seedStride + x]; };
    auto M = [&](int x, int y) -> uint8_t& { return mask[static_cast<ptrdiff_t>(y) * maskStride + x]; };
    for (int y = 0; y < h; ++y) {
        S(0, y) = S(w - 1, y) = 0;
        M(0, y) = M(w - 1, y) = 0;
    }
    for (int x = 0; x < w; ++x) {
        S(x, 0) = S(x, h - 1) = 0;
        M(x, 0) = M(x, h - 1) = 0;
    }
    if (w < 3 || h < 3) return;

    // The pixels of the mask reached from a seed are those of the 8-connected components of
    // (mask or seed) that hold a seed. Label those components in one raster pass with union-find, then
    // fill every component that holds a seed: linear, and no queue the size of the image.
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    LargeBuffer<uint32_t> label(n);
    Equivalences eq;
    for (int y = 1; y < h - 1; ++y) {
        uint32_t* row = label.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        const uint32_t* above = row - w;
        for (int x = 1; x < w - 1; ++x) {
            if (S(x, y) == 0 && M(x, y) == 0) continue;
            const uint32_t nb[4] = {above[x + 1], above[x], above[x - 1], row[x - 1]};
            uint32_t mine = firstLabelled(nb);
            if (mine == 0) {
                mine = eq.add();
            } else {
                for (uint32_t v : nb)
                    if (v != 0 && v != mine) eq.unite(mine, v);
            }
            row[x] = mine;
        }
    }
    const std::vector<uint32_t>& parent = eq.flatten();
    std::vector<uint8_t> seeded(parent.size(), 0);
    for (int y = 1; y < h - 1; ++y) {
        const uint32_t* row = label.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 1; x < w - 1; ++x)
            if (row[x] != 0 && S(x, y) != 0) seeded[parent[row[x]]] = 1;
    }
    for (int y = 1; y < h - 1; ++y) {
        const uint32_t* row = label.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 1; x < w - 1; ++x)
            if (row[x] != 0 && S(x, y) == 0 && seeded[parent[row[x]]]) S(x, y) = value;
    }
}

FillHolesResult fillHoles(const Bitmap& labelImage, uint32_t maxLabels) {
    FillHolesResult result;
    if (labelImage.pixelFormat() != PixelFormat::Argb32) {
        result.status = LabelStatus::NotA32BitMask;
        return result;
    }
    const int w = labelImage.width(), h = labelImage.height();
    BitmapPtr out = Bitmap::create(w, h, PixelFormat::Argb32);
    if (!out) {
        result.status = LabelStatus::NotA32BitMask;
        return result;
    }
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    // Background mask (255 where no object) and the seed of the background reached from the frame.
    LargeBuffer<uint8_t> background(n), seed(n);
    for (int y = 0; y < h; ++y) {
        const uint32_t* l = labelImage.row32(y);
        uint8_t* b = background.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x) b[x] = l[x] == 0 ? 255 : 0;
    }
    // Seed the rectangle one pixel in from the edge, but only where it is background: seeding object
    // pixels there would leak the frame's background into holes behind them and erase those pixels.
    if (w >= 3 && h >= 3) {
        auto seedAt = [&](int x, int y) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            if (background[i]) seed[i] = 255;
        };
        for (int x = 1; x <= w - 2; ++x) {
            seedAt(x, 1);
            seedAt(x, h - 2);
        }
        for (int y = 1; y <= h - 2; ++y) {
            seedAt(1, y);
            seedAt(w - 2, y);
        }
    }
    reconstruct(seed.data(), w, background.data(), w, w, h, 255);

    // Everything not reached from the frame is an object or one of its holes.
    for (int y = 1; y < h - 1; ++y) {
        uint32_t* o = out->row32(y);
        const uint8_t* s = seed.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 1; x < w - 1; ++x) o[x] = s[x] == 0 ? 0xFFFFFFFFu : 0;
    }
    const LabelResult lr = labelMask(*out, maxLabels);
    result.status = lr.status;
    if (lr.status == LabelStatus::Ok) result.labels = out;
    return result;
}

std::set<uint32_t> borderCells(const Bitmap& labelImage, int borderSize) {
    std::set<uint32_t> cells;
    if (labelImage.pixelFormat() != PixelFormat::Argb32) return cells;
    const int w = labelImage.width(), h = labelImage.height();
    const int n = std::min({borderSize, w / 2 - 1, h / 2 - 1});
    uint32_t last = 0;
    auto add = [&](uint32_t v) {
        if (v != 0 && v != last) {
            cells.insert(v);
            last = v;
        }
    };
    for (int k = n; k >= 1; --k) {
        const uint32_t* top = labelImage.row32(k);
        const uint32_t* bottom = labelImage.row32(h - 1 - k);
        for (int x = k; x <= w - 1 - k; ++x) {
            add(top[x]);
            add(bottom[x]);
        }
        for (int y = k; y <= h - 1 - k; ++y) {
            add(labelImage.row32(y)[k]);
            add(labelImage.row32(y)[w - 1 - k]);
        }
    }
    return cells;
}

std::set<uint32_t> removalSet(const Bitmap& labelImage, const std::vector<LabelCount>& cells,
                              const CleaningSettings& settings) {
    std::set<uint32_t> removed;
    if (settings.removeBorder) removed = borderCells(labelImage, settings.borderSize);
    for (const LabelCount& c : cells)
        if (settings.minimumSize > static_cast<double>(c.count)) removed.insert(c.label);
    return removed;
}

BitmapPtr keptCellMask(const Bitmap& labelImage, const std::set<uint32_t>& removed) {
    const int w = labelImage.width(), h = labelImage.height();
    BitmapPtr mask = createGrey8(w, h);
    if (!mask || labelImage.pixelFormat() != PixelFormat::Argb32) return mask;
    const std::unordered_set<uint32_t> gone(removed.begin(), removed.end());
    for (int y = 1; y < h - 1; ++y) {
        const uint32_t* l = labelImage.row32(y);
        uint8_t* m = mask->row(y);
        uint32_t last = 0;
        bool lastKept = false;
        for (int x = 1; x < w - 1; ++x) {
            const uint32_t v = l[x];
            if (v == 0) continue;
            if (v != last) {
                last = v;
                lastKept = gone.find(v) == gone.end();
            }
            if (lastKept) m[x] = 255;
        }
    }
    return mask;
}

} // namespace quadrel
