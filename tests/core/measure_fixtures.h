#pragma once

// Hand-built cells for the measurement tests: pixel lists turned into records through the accumulator.

#include "core/features.h"
#include "core/measurement.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace quadrel::fixture {

struct Pixel {
    int32_t x;
    int32_t y;
};

inline std::vector<Pixel> rectanglePixels(int x0, int y0, int w, int h) {
    std::vector<Pixel> p;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            p.push_back({x, y});
    return p;
}

// A digitised ellipse with semi-axes a and b, its major axis turned by `angle` radians; the centre is off
// the pixel grid so that the shape has no accidental symmetry.
inline std::vector<Pixel> ellipsePixels(double a, double b, double angle, int ox = 0, int oy = 0) {
    std::vector<Pixel> p;
    const double cx = 0.3, cy = 0.2, c = std::cos(angle), s = std::sin(angle);
    const int r = static_cast<int>(std::ceil(std::max(a, b))) + 1;
    for (int y = -r; y <= r; ++y)
        for (int x = -r; x <= r; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double u = (dx * c + dy * s) / a, v = (-dx * s + dy * c) / b;
            if (u * u + v * v <= 1.0) p.push_back({x + ox, y + oy});
        }
    return p;
}

inline std::vector<Pixel> shifted(std::vector<Pixel> p, int dx, int dy) {
    for (Pixel& q : p) {
        q.x += dx;
        q.y += dy;
    }
    return p;
}

// Feeds the pixels in row order as the pixel pass would (the accumulator does not need that order).
inline TCellBaseFeature recordOf(const std::vector<Pixel>& pixels, uint32_t label = 0xFF000001u,
                                 uint32_t argb = 0xFF808080u, int32_t imageWidth = 65535, int32_t imageHeight = 65535) {
    CellAccumulator acc;
    for (const Pixel& q : pixels)
        acc.addPixel(static_cast<uint32_t>(q.x), static_cast<uint32_t>(q.y), argb);
    return acc.finish(label, imageWidth, imageHeight);
}

} // namespace quadrel::fixture
