#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quadrel::test {

// A 32-bit mask from a picture drawn with '#' (foreground 0xFFFFFFFF) and '.' (background).
inline BitmapPtr maskFromArt(const std::vector<std::string>& rows) {
    const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows.front().size());
    BitmapPtr m = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#') m->row32(y)[x] = 0xFFFFFFFFu;
    return m;
}

// The same picture as an 8-bit kept-cell mask (255 on '#').
inline BitmapPtr byteMaskFromArt(const std::vector<std::string>& rows) {
    const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows.front().size());
    BitmapPtr m = createGrey8(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#') m->row(y)[x] = 255;
    return m;
}

// A picture of a label image: '.' for background, and a letter per distinct label in order of first
// appearance in the raster scan.
inline std::vector<std::string> labelArt(const Bitmap& labels) {
    std::vector<uint32_t> seen;
    std::vector<std::string> out;
    for (int y = 0; y < labels.height(); ++y) {
        std::string row;
        for (int x = 0; x < labels.width(); ++x) {
            const uint32_t v = labels.row32(y)[x];
            if (v == 0) {
                row += '.';
                continue;
            }
            size_t i = 0;
            while (i < seen.size() && seen[i] != v) ++i;
            if (i == seen.size()) seen.push_back(v);
            row += static_cast<char>('a' + i);
        }
        out.push_back(row);
    }
    return out;
}

} // namespace quadrel::test
