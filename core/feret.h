#pragma once

#include "core/cells.h"
#include "core/features.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quadrel {

struct OutlinePoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const OutlinePoint&, const OutlinePoint&) = default;
};

// The outline points of a cell in outline order: for every chain its start point, then the point after
// each step.
std::vector<OutlinePoint> outlinePoints(const TSetOfChainCode& chains);

// Even steps count 1, odd (diagonal) steps 1.414214; the total is truncated, and 0 becomes 1.
uint32_t chainPerimeter(const TSetOfChainCode& chains);

// Extent of the points across the directions 0, -45, -90 and -135 degrees (at least 1; 1 for no points).
std::array<float, 4> feretWidths(const std::vector<OutlinePoint>& points);

// The farthest pair of points: among all ordered pairs (i, j) with the largest squared distance, the one
// with the smallest i, then the smallest j. `found` is false only for no points; a single point (or
// points all in one place) pairs with itself.
struct FarthestPair {
    bool found = false;
    size_t first = 0;
    size_t second = 0;
    __uint128_t squaredDistance = 0;
};

// O(n log n): the farthest pair lies on the convex hull, where rotating calipers meet every antipodal
// pair; the tie rule is then applied among the pairs at the largest distance.
FarthestPair farthestPair(const std::vector<OutlinePoint>& points);
// The plain search over all ordered pairs, for checking the fast one.
FarthestPair farthestPairQuadratic(const std::vector<OutlinePoint>& points);

// Fills perimeter, Feret widths and the farthest pair of a record from its outline chains.
void applyOutline(TCellBaseFeature& record, const TSetOfChainCode& chains);

// The same for every record (sorted by label) that has cell bounds; records without bounds keep their
// outline fields.
void applyOutlines(std::vector<TCellBaseFeature>& records, const TSetOfCellBounds& bounds);

} // namespace quadrel
