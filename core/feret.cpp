#include "core/feret.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quadrel {

namespace {

using i128 = __int128_t;
using u128 = __uint128_t;

// Squared distance and cross products in 128 bits: chain points may lie anywhere in 32 bits.
u128 squaredDistance(const OutlinePoint& a, const OutlinePoint& b) {
    const i128 dx = static_cast<i128>(a.x) - b.x;
    const i128 dy = static_cast<i128>(a.y) - b.y;
    return static_cast<u128>(dx * dx + dy * dy);
}

i128 cross(const OutlinePoint& o, const OutlinePoint& a, const OutlinePoint& b) {
    return (static_cast<i128>(a.x) - o.x) * (static_cast<i128>(b.y) - o.y) -
           (static_cast<i128>(a.y) - o.y) * (static_cast<i128>(b.x) - o.x);
}

// Cross product of the edge vectors a0->a1 and b0->b1.
i128 edgeCross(const OutlinePoint& a0, const OutlinePoint& a1, const OutlinePoint& b0, const OutlinePoint& b1) {
    return (static_cast<i128>(a1.x) - a0.x) * (static_cast<i128>(b1.y) - b0.y) -
           (static_cast<i128>(a1.y) - a0.y) * (static_cast<i128>(b1.x) - b0.x);
}

struct HullVertex {
    OutlinePoint p;
    size_t firstIndex; // the first position of this point in the outline
};

} // namespace

std::vector<OutlinePoint> outlinePoints(const TSetOfChainCode& chains) {
    size_t n = 0;
    for (const TChainCode& c : chains)
        n += c.steps.size() + 1;
    std::vector<OutlinePoint> points;
    points.reserve(n);
    for (const TChainCode& c : chains) {
        // Walked in unsigned arithmetic: a chain read from a damaged file may step past the 32-bit range,
        // which must wrap rather than overflow.
        uint32_t x = static_cast<uint32_t>(c.x), y = static_cast<uint32_t>(c.y);
        points.push_back({c.x, c.y});
        for (uint8_t d : c.steps) {
            x += static_cast<uint32_t>(kChainDx[d & 7]);
            y += static_cast<uint32_t>(kChainDy[d & 7]);
            points.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
        }
    }
    return points;
}

uint32_t chainPerimeter(const TSetOfChainCode& chains) {
    uint64_t even = 0, odd = 0;
    for (const TChainCode& c : chains)
        for (uint8_t d : c.steps)
            ((d & 1) ? odd : even) += 1;
    const double p = static_cast<double>(even) + static_cast<double>(odd) * 1.414214;
    const double limited = std::min(std::trunc(p), static_cast<double>(std::numeric_limits<uint32_t>::max()));
    const auto v = static_cast<uint32_t>(limited);
    return v == 0 ? 1 : v;
}

std::array<float, 4> feretWidths(const std::vector<OutlinePoint>& points) {
    std::array<float, 4> widths{1.0f, 1.0f, 1.0f, 1.0f};
    if (points.empty()) return widths;
    // Projections on the four directions are y, (x + y)/sqrt 2, x and (x - y)/sqrt 2; their extents are
    // taken on whole numbers, so the width of a cell does not depend on where it lies.
    int64_t lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = std::numeric_limits<int64_t>::max();
        hi[k] = std::numeric_limits<int64_t>::min();
    }
    for (const OutlinePoint& p : points) {
        const int64_t x = p.x, y = p.y;
        const int64_t proj[4] = {y, x + y, x, x - y};
        for (int k = 0; k < 4; ++k) {
            lo[k] = std::min(lo[k], proj[k]);
            hi[k] = std::max(hi[k], proj[k]);
        }
    }
    constexpr double kHalfRoot2 = 0.70710678118654752440;
    for (int k = 0; k < 4; ++k) {
        double w = static_cast<double>(hi[k] - lo[k]);
        if (k == 1 || k == 3) w *= kHalfRoot2;
        widths[static_cast<size_t>(k)] = w < 1.0 ? 1.0f : static_cast<float>(w);
    }
    return widths;
}

FarthestPair farthestPairQuadratic(const std::vector<OutlinePoint>& points) {
    FarthestPair best;
    for (size_t i = 0; i < points.size(); ++i) {
        for (size_t j = 0; j < points.size(); ++j) {
            const u128 d = squaredDistance(points[i], points[j]);
            if (!best.found || d > best.squaredDistance) {
                best.found = true;
                best.first = i;
                best.second = j;
                best.squaredDistance = d;
            }
        }
    }
    return best;
}

FarthestPair farthestPair(const std::vector<OutlinePoint>& points) {
    FarthestPair best;
    if (points.empty()) return best;
    best.found = true; // (0, 0) at distance 0 unless a farther pair exists

    // Distinct points in x, y order, each with its first outline position.
    std::vector<HullVertex> v;
    v.reserve(points.size());
    for (size_t i = 0; i < points.size(); ++i)
        v.push_back({points[i], i});
    std::sort(v.begin(), v.end(), [](const HullVertex& a, const HullVertex& b) {
        if (a.p.x != b.p.x) return a.p.x < b.p.x;
        if (a.p.y != b.p.y) return a.p.y < b.p.y;
        return a.firstIndex < b.firstIndex;
    });
    v.erase(std::unique(v.begin(), v.end(), [](const HullVertex& a, const HullVertex& b) { return a.p == b.p; }),
            v.end());
    if (v.size() == 1) return best;

    // Monotone chain hull, counter-clockwise, without collinear vertices.
    std::vector<HullVertex> h(2 * v.size());
    size_t k = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        while (k >= 2 && cross(h[k - 2].p, h[k - 1].p, v[i].p) <= 0)
            --k;
        h[k++] = v[i];
    }
    for (size_t i = v.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(h[k - 2].p, h[k - 1].p, v[i].p) <= 0)
            --k;
        h[k++] = v[i];
    }
    h.resize(k - 1);
    const size_t m = h.size();

    // Among pairs at the largest distance the search order prefers the smallest first position, then
    // the smallest second one; for two distinct points that is their two first positions in order.
    auto consider = [&](const HullVertex& a, const HullVertex& b) {
        const u128 d = squaredDistance(a.p, b.p);
        const size_t i = std::min(a.firstIndex, b.firstIndex), j = std::max(a.firstIndex, b.firstIndex);
        if (d > best.squaredDistance ||
            (d == best.squaredDistance && (i < best.first || (i == best.first && j < best.second)))) {
            best.squaredDistance = d;
            best.first = i;
            best.second = j;
        }
    };
    if (m == 2) {
        consider(h[0], h[1]);
        return best;
    }
    // For every edge, the vertices farthest from its line (two when the opposite edge is parallel) are
    // antipodal to both its ends; every pair at the diameter is among these.
    size_t j = 1;
    for (size_t i = 0; i < m; ++i) {
        const size_t ni = (i + 1) % m;
        while (edgeCross(h[i].p, h[ni].p, h[j].p, h[(j + 1) % m].p) > 0)
            j = (j + 1) % m;
        consider(h[i], h[j]);
        consider(h[ni], h[j]);
        if (edgeCross(h[i].p, h[ni].p, h[j].p, h[(j + 1) % m].p) == 0) {
            const size_t nj = (j + 1) % m;
            consider(h[i], h[nj]);
            consider(h[ni], h[nj]);
        }
    }
    return best;
}

void applyOutline(TCellBaseFeature& record, const TSetOfChainCode& chains) {
    record.perimeter = chainPerimeter(chains);
    const std::vector<OutlinePoint> points = outlinePoints(chains);
    record.feret.widths = feretWidths(points);
    const FarthestPair pair = farthestPair(points);
    if (pair.found) {
        record.feret.x1 = points[pair.first].x;
        record.feret.y1 = points[pair.first].y;
        record.feret.x2 = points[pair.second].x;
        record.feret.y2 = points[pair.second].y;
    }
}

void applyOutlines(std::vector<TCellBaseFeature>& records, const TSetOfCellBounds& bounds) {
    for (const TCellBounds& b : bounds) {
        auto it = std::lower_bound(records.begin(), records.end(), b.label,
                                   [](const TCellBaseFeature& r, uint32_t label) { return r.label < label; });
        if (it != records.end() && it->label == b.label) applyOutline(*it, b.chains);
    }
}

} // namespace quadrel
